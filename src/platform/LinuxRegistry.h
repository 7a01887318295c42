#pragma once

#include "Registry.h"

#include <QStringList>

// This desktop has no registry. The one thing the program looks up in it is where the system
// information tool lives, so that key is answered from the system-information programs installed
// on PATH; every other key and value does not exist.
class LinuxRegistry : public Registry {
public:
    bool keyExists(RegistryRoot root, const QString& keyPath) override;
    std::optional<RegistryValue> query(RegistryRoot root, const QString& keyPath, const QString& valueName) override;

    // The programs tried, best first.
    static QStringList systemInformationTools();

private:
    // The full path of the first tool found on PATH, or nothing.
    static QString findSystemInformationTool();
};
