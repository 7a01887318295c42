#include "WindowFrame.h"

#include <QDialog>
#include <QFileInfo>
#include <QLatin1String>

QIcon programIcon(const QString& programFolder) {
    const QString file = programFolder + QStringLiteral("/Icons/vaultry.png");
    return QFileInfo::exists(file) ? QIcon(file) : QIcon();
}

void setUpFixedDialog(QDialog& dialog, const char* name, const QString& caption, const QString& programFolder,
                      QSize clientSize) {
    dialog.setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    dialog.setObjectName(QLatin1String(name));
    dialog.setWindowTitle(caption);
    dialog.setWindowIcon(programIcon(programFolder));
    dialog.setFixedSize(clientSize);
}
