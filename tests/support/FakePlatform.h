#pragma once

#include "platform/Platform.h"

#include <QList>
#include <QMap>
#include <QQueue>
#include <QStringList>
#include <functional>
#include <utility>

struct RecordedBox {
    QString text;
    QString title;
    BoxButtons buttons;
    BoxIcon icon;
};

// Records every box; answers from a queue. With nothing queued an OK box answers Ok and a
// question answers No, so an unexpected question never writes anything.
class FakeMessageBoxes : public MessageBoxes {
public:
    BoxAnswer show(QWidget*, const QString& text, const QString& title, BoxButtons buttons, BoxIcon icon) override {
        shown.append({text, title, buttons, icon});
        if (whileShown) {
            // What another program does while the user reads the box.
            std::exchange(whileShown, nullptr)();
        }
        if (!answers.isEmpty()) {
            return answers.dequeue();
        }
        return buttons == BoxButtons::Ok ? BoxAnswer::Ok : BoxAnswer::No;
    }
    void queueAnswer(BoxAnswer answer) { answers.enqueue(answer); }
    QStringList texts() const {
        QStringList result;
        for (const auto& box : shown) {
            result << box.text;
        }
        return result;
    }
    RecordedBox last() const { return shown.isEmpty() ? RecordedBox{} : shown.last(); }

    QList<RecordedBox> shown;
    QQueue<BoxAnswer> answers;
    std::function<void()> whileShown; // runs once, at the next box
};

class FakeClipboard : public Clipboard {
public:
    void clear() override {
        ++clears;
        text.clear();
        holdsOwn = false;
    }
    void setSecretText(const QString& newText) override {
        text = newText;
        holdsOwn = true;
        ++sets;
    }
    void clearOwnText() override {
        if (holdsOwn) {
            text.clear();
            holdsOwn = false;
        }
    }
    // Another program copies a text of its own: ours is gone from the clipboard.
    void copiedElsewhere(const QString& otherText) {
        text = otherText;
        holdsOwn = false;
    }
    QString text;
    bool holdsOwn = false;
    int clears = 0;
    int sets = 0;
};

class FakeShell : public Shell {
public:
    bool open(const QString& target) override {
        opened << target;
        return result;
    }
    QStringList opened;
    bool result = true;
};

class FakeRegistry : public Registry {
public:
    static QString keyId(RegistryRoot root, const QString& keyPath) {
        return QString::number(static_cast<int>(root)) + QLatin1Char(':') + keyPath.toLower();
    }
    void addKey(RegistryRoot root, const QString& keyPath) { keys[keyId(root, keyPath)]; }
    void setValue(RegistryRoot root, const QString& keyPath, const QString& valueName, const RegistryValue& value) {
        keys[keyId(root, keyPath)][valueName.toLower()] = value;
    }
    void setString(RegistryRoot root, const QString& keyPath, const QString& valueName, const QString& text) {
        setValue(root, keyPath, valueName, RegistryValue{RegistryValue::String, text.toLocal8Bit()});
    }
    bool keyExists(RegistryRoot root, const QString& keyPath) override { return keys.contains(keyId(root, keyPath)); }
    std::optional<RegistryValue> query(RegistryRoot root, const QString& keyPath, const QString& valueName) override {
        const auto key = keys.constFind(keyId(root, keyPath));
        if (key == keys.constEnd() || !key->contains(valueName.toLower())) {
            return std::nullopt;
        }
        return key->value(valueName.toLower());
    }
    QMap<QString, QMap<QString, RegistryValue>> keys;
};

class FakeProcessStarter : public ProcessStarter {
public:
    bool startDetached(const QString& program) override {
        started << program;
        return result;
    }
    QStringList started;
    bool result = true;
};

class FakeProgramEnd : public ProgramEnd {
public:
    void endProgram(int exitCode) override {
        ++calls;
        lastExitCode = exitCode;
    }
    bool ended() const { return calls > 0; }
    int calls = 0;
    int lastExitCode = 0;
};

// One of each fake, presented as the Platform the windows take.
class FakePlatform {
public:
    FakeMessageBoxes boxes;
    FakeClipboard clipboard;
    FakeShell shell;
    FakeRegistry registry;
    FakeProcessStarter processes;
    FakeProgramEnd programEnd;
    Platform platform{boxes, clipboard, shell, registry, processes, programEnd};
};
