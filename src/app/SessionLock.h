#pragma once

#include <QObject>
#include <QString>
#include <functional>

class Main;
class Module;
struct Platform;

// What a lock does to the open vault. Both are empty for a vault under the program's own key, whose
// file any copy of the program opens anyway. A vault keyed by the master password closes its file on
// lock, so that no key stays in memory while the program is locked, and opens it again with the key
// the password typed at unlock derives.
struct VaultSession {
    // Runs once every dialog is gone and every handler has returned, right before the login shows.
    std::function<void()> close;
    // Runs from the login's OK with the typed password, before the password is checked against the
    // vault (which needs the file open); false when that password does not open the file, and the
    // login refuses it as it refuses a wrong one.
    std::function<bool(const QString& password)> reopen;
};

// Locks the main window and lets the master password in again. A lock takes away whatever shows a
// secret (the window, every dialog over it, the detail pane, our text on the clipboard) at once, then
// waits until the dialogs' loops have returned before the vault closes and the login shows, so that no
// handler of a closed dialog goes on behind the login with the vault gone.
class SessionLock : public QObject {
    Q_OBJECT
public:
    SessionLock(Main& window, Module& module, Platform& platform, QString programFolder);

    void setVaultSession(VaultSession session) { m_vault = std::move(session); }
    // Requests lock from now on: the start-up's login has admitted the user.
    void arm() { m_armed = true; }
    // May be called from anywhere: a menu command, or the desktop's signal arriving while a dialog runs.
    void lock();
    bool isLocked() const { return m_locked; }

private:
    // Ends every dialog and pop-up menu over the window; true when there was one.
    bool closeDialogs();
    void hideSecrets();
    // Runs again from the event loop until the loop level holds still with no dialog left: then the
    // loops of the closed dialogs have returned.
    void settle(int lastLoopLevel);
    void settleLater(int loopLevel);
    void askForPassword();

    Main& m_window;
    Module& m_module;
    Platform& m_platform;
    QString m_programFolder;
    VaultSession m_vault;
    bool m_armed = false;
    bool m_locked = false;
};
