#include "Statements.h"

namespace Statements {

QString loginRow() {
    return QStringLiteral("Select * from Quorvane_Login Where ID=1");
}

QString allEntries() {
    return QStringLiteral("Select * from Quorvane_Pass");
}

QString rootCategory() {
    return QStringLiteral("Select * from Quorvane_Type where Pid=-1");
}

QString setRootSeq(qint64 rootSeq) {
    return QStringLiteral("Update Quorvane_Type Set Seq = ") + QString::number(rootSeq) +
           QStringLiteral(" Where PID=-1");
}

QString loginRowForChange() {
    return QStringLiteral("Select * from Quorvane_Login where id=1");
}

// The stored form of a master password may hold U+0000, which would end a text spliced into
// the statement and lock the user out; it travels as a bound parameter instead.
QString setLoginPass() {
    return QStringLiteral("Update Quorvane_Login Set Pass = ? Where ID=1");
}

QString childCategories(qint64 parentId) {
    return QStringLiteral("Select * from Quorvane_Type Where PID =") + QString::number(parentId) +
           QStringLiteral(" Order by Seq,ID");
}

QString category(qint64 id) {
    return QStringLiteral("Select * from Quorvane_Type Where ID =") + QString::number(id);
}

QString deleteCategory(qint64 id) {
    return QStringLiteral("Delete From Quorvane_Type Where ID =") + QString::number(id);
}

QString entriesOfCategoryCount(qint64 categoryId) {
    return QStringLiteral("Select * from Quorvane_Pass Where Type =") + QString::number(categoryId);
}

QString entriesOfCategory(qint64 categoryId) {
    return QStringLiteral("Select * from Quorvane_Pass Where Type =") + QString::number(categoryId) +
           QStringLiteral(" Order by Seq,ID");
}

QString entry(qint64 entryId) {
    return QStringLiteral("Select * from Quorvane_Pass Where ID =") + QString::number(entryId) +
           QStringLiteral(" Order by Seq");
}

QString entryForSave(qint64 entryId) {
    return QStringLiteral("Select * from Quorvane_Pass where ID=") + QString::number(entryId);
}

QString deleteEntry(qint64 entryId) {
    return QStringLiteral("Delete from Quorvane_Pass Where ID=") + QString::number(entryId);
}

// The search names its columns: a password has no business in its memory.
QString searchCategories() {
    return QStringLiteral("Select ID, PID, Name from Quorvane_Type Order by Seq,ID");
}

QString searchEntries() {
    return QStringLiteral("Select ID, Type, Caption, Name, Www, Remark from Quorvane_Pass Order by Type,Seq,ID");
}

} // namespace Statements
