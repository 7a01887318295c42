#pragma once

#include <sqlcipher/sqlite3.h>

class QTreeWidget;

// The limit of a tree build: every category in one query on the bare engine, the nodes made from
// its rows off the view, then put into the tree in one go and every node expanded. Returns the
// number of nodes, the root's included.
int fillBareCategoryTree(sqlite3* db, QTreeWidget& tree);
