#include "LinuxRegistry.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString MsinfoKey = QStringLiteral("software\\microsoft\\shared tools\\msinfo");

// Registry paths ignore case and a trailing backslash.
bool isMsinfoKey(RegistryRoot root, const QString& keyPath) {
    QString path = keyPath.toLower();
    while (path.endsWith(QLatin1Char('\\'))) {
        path.chop(1);
    }
    return root == RegistryRoot::LocalMachine && path == MsinfoKey;
}

} // namespace

QStringList LinuxRegistry::systemInformationTools() {
    return {QStringLiteral("hardinfo2"),
            QStringLiteral("hardinfo"),
            QStringLiteral("kinfocenter"),
            QStringLiteral("gnome-system-monitor"),
            QStringLiteral("mate-system-monitor"),
            QStringLiteral("xfce4-taskmanager"),
            QStringLiteral("lxtask"),
            QStringLiteral("ksysguard")};
}

// Only absolute folders of PATH count: an empty or relative entry would mean the current folder,
// and a program must not be picked up from wherever the user happens to be.
QString LinuxRegistry::findSystemInformationTool() {
    const QStringList folders = QString::fromLocal8Bit(qgetenv("PATH")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& tool : systemInformationTools()) {
        for (const QString& folder : folders) {
            if (!QDir::isAbsolutePath(folder)) {
                continue;
            }
            const QFileInfo candidate(QDir(folder).filePath(tool));
            if (candidate.isFile() && candidate.isExecutable()) {
                return QDir::cleanPath(candidate.absoluteFilePath());
            }
        }
    }
    return {};
}

bool LinuxRegistry::keyExists(RegistryRoot root, const QString& keyPath) {
    return isMsinfoKey(root, keyPath) && !findSystemInformationTool().isEmpty();
}

std::optional<RegistryValue> LinuxRegistry::query(RegistryRoot root, const QString& keyPath, const QString& valueName) {
    if (!isMsinfoKey(root, keyPath) || valueName.compare(QLatin1String("PATH"), Qt::CaseInsensitive) != 0) {
        return std::nullopt;
    }
    const QString tool = findSystemInformationTool();
    if (tool.isEmpty()) {
        return std::nullopt;
    }
    return RegistryValue{RegistryValue::String, tool.toLocal8Bit()};
}
