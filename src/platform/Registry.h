#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

enum class RegistryRoot { ClassesRoot, CurrentUser, LocalMachine, Users };

struct RegistryValue {
    static constexpr int String = 1;
    static constexpr int Binary = 3;
    static constexpr int DWord = 4;
    int type = String;
    QByteArray data; // the value's bytes as stored (a string without its terminating NUL)
};

// A read-only view of the settings store the program consults for the system-information tool.
class Registry {
public:
    virtual ~Registry() = default;
    // False when the key cannot be opened.
    virtual bool keyExists(RegistryRoot root, const QString& keyPath) = 0;
    // Nothing when the key or the value does not exist.
    virtual std::optional<RegistryValue> query(RegistryRoot root, const QString& keyPath, const QString& valueName) = 0;
};
