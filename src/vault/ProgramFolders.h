#pragma once

#include <QString>

// Where the program finds its vault (DB.xml, Backup/) and its looks (Skin/, Icons/).
struct ProgramFolders {
    QString data;
    QString resources;
    // The vault lives in the user's data home, apart from the program: the first start makes it.
    bool vaultInDataHome = false;
};

// The user's data home by the XDG base directory rules, from the two environment values: a
// relative or empty XDG_DATA_HOME counts as unset.
QString dataHomeFrom(const QString& xdgDataHome, const QString& home);

// A program whose folder holds Skin/ keeps everything in that folder: a user install, a copy on a
// stick, the build tree. Any other (one installed under /usr by the package) takes its skin and
// icons from ../share/vaultry beside its own folder and its vault from <dataHome>/vaultry.
ProgramFolders programFoldersFor(const QString& executableFolder, const QString& dataHome);

// Makes a fresh vault (folder 0700, file 0600) when the vault lives in the data home and nothing is
// in the place of its DB.xml. Whatever is there already, even a dangling link or a folder, is left
// for the connection to report. Throws VaultError when the folder or the file cannot be made.
void prepareVault(const ProgramFolders& folders);
