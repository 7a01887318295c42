#include "BackupNotice.h"
#include "MainWindow.h"
#include "controls/Fonts.h"
#include "platform/LockSignals.h"
#include "platform/RealPlatform.h"
#include "vault/Module.h"
#include "vault/ProgramFolders.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QTranslator>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane密码箱"));
    // The menu entry's name: Wayland compositors and docks find the program's icon through it.
    QGuiApplication::setDesktopFileName(QStringLiteral(VAULTRY_APP_ID));

    // The program speaks Chinese only, Qt's own words (确定, 是(Y), 否(N), context menus) included.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    QTranslator qtWords;
    if (qtWords.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtWords);
    }
    QApplication::setFont(songTiFont(9));

    const ProgramFolders folders = programFoldersFor(
        QCoreApplication::applicationDirPath(), dataHomeFrom(qEnvironmentVariable("XDG_DATA_HOME"), QDir::homePath()));
    RealPlatform desktop;
    Module module;
    armBackupBeforeFirstWrite(module.VaultConnection, desktop.platform());
    Main window(module, desktop.platform(), folders);
    // Placed before the load, so that the login and password dialogs centre over it.
    const QRect screen = window.screen()->availableGeometry();
    window.move(screen.center() - window.rect().center());
    if (!window.load()) {
        return 1;
    }
    window.lockOn(LockSignals::ofTheDesktop(&window));
    window.show();
    // The login had the keyboard; the main window takes it over, so its shortcuts work at once
    // even where no window manager hands the focus on.
    window.activateWindow();
    return QApplication::exec();
}
