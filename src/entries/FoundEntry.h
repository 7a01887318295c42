#pragma once

#include <QtGlobal>

class EntryPane;
struct EntryPaneWidgets;

// Shows an entry the user found as if they had clicked it: its category chosen in the tree and
// listed, then the entry chosen in the list and shown in the pane. Whatever the pane held is let
// go, as a click on a category lets it go.
void showFoundEntry(EntryPane& pane, const EntryPaneWidgets& widgets, qint64 categoryKey, qint64 entryKey);
