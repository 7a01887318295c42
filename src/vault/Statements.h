#pragma once

#include <QString>

// Every statement text the program sends, in one place. Numbers, keys included, are put in as
// their plain decimal text (a minus sign for negatives, no blank).
namespace Statements {

QString loginRow();                                // read the stored master password
QString allEntries();                              // count every entry
QString rootCategory();                            // the root row, for RootSeq
QString setRootSeq(qint64 rootSeq);                // draw a new RootSeq into the root row
QString loginRowForChange();                       // read the stored master password (password dialog)
QString setLoginPass();                            // store the master password: one "?" parameter
QString childCategories(qint64 parentId);          // one level of the tree
QString category(qint64 id);                       // one category row
QString deleteCategory(qint64 id);                 //
QString entriesOfCategoryCount(qint64 categoryId); // does a category hold entries?
QString entriesOfCategory(qint64 categoryId);      // the entry list
QString entry(qint64 entryId);                     // one entry, for the detail pane
QString entryForSave(qint64 entryId);              // one entry (0 for a new one), for saving
QString deleteEntry(qint64 entryId);               //
QString searchCategories();                        // every category, for the search
QString searchEntries();                           // every entry without its password, for the search

} // namespace Statements
