#pragma once

#include <QObject>
#include <functional>

class FlatEdit;
class QAction;
class QWidget;
struct Platform;

// Gives the password field its generator: "生成密码…" in the field's context menu and Ctrl+G in
// the field, both only while the pane is writable. The password taken goes into the field; the
// user saves it as any other edit.
class PasswordGeneration : public QObject {
    Q_OBJECT
public:
    PasswordGeneration(Platform& platform, FlatEdit& field, QWidget* window, const QString& programFolder,
                       std::function<bool()> writable);

    void connectHandlers();
    QAction* action() const { return m_action; }

    // Opens the generator; does nothing while the pane is read-only.
    void Generate();

private:
    void showContextMenu(const QPoint& at);

    Platform& m_platform;
    FlatEdit& m_field;
    QWidget* m_window;
    QString m_programFolder;
    std::function<bool()> m_writable;
    QAction* m_action = nullptr;
};
