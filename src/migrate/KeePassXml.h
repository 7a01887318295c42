#pragma once

#include <QByteArray>

class Module;

struct KeePassExport {
    QByteArray xml;
    qint64 groups = 0; // the root group "全部分类" included
    qint64 entries = 0;
};

// The vault open in module as a KeePass 2 XML file (the form KeePass and KeePassXC import):
// the categories as nested groups under the root group "全部分类", each entry with Title,
// UserName, Password, URL and Notes in plain text and its account kind as the field "类型".
// Categories and entries the tree cannot reach (a parent or category that no longer exists)
// are kept too, directly under the root group. Throws VaultError when a value holds a
// character XML cannot carry, naming the entry, so nothing is exported with a field cut short.
KeePassExport keePassXmlOf(Module& module);
