#pragma once

#include <QString>
#include <QVariant>

// A field's value read as the type the program wants, the way the classic record set converted
// it; the column's name only goes into the error. A Null throws InvalidUseOfNull, a value that
// is no number TypeMismatch, a number too large for its type Overflow.
namespace FieldConversion {

QString toText(const QVariant& value, const QString& column);
qint64 toInteger(const QVariant& value, const QString& column);
qint16 toInt16(const QVariant& value, const QString& column);

} // namespace FieldConversion
