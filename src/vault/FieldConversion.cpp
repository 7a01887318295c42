#include "FieldConversion.h"

#include "VaultError.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace {

[[noreturn]] void raiseNull(const QString& column) {
    throw VaultError(VaultError::InvalidUseOfNull, QStringLiteral("无效使用 Null：列“%1”的值为 Null。").arg(column));
}

[[noreturn]] void raiseTypeMismatch(const QString& column, const QString& detail) {
    throw VaultError(VaultError::TypeMismatch,
                     QStringLiteral("类型不匹配：列“%1”的值“%2”不是数字。").arg(column, detail));
}

// The whole-number value of a field, as a conversion of the value to a number would give it.
qint64 wholeNumber(const QVariant& value, const QString& column) {
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Long:
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::Bool:
        return value.toLongLong();
    case QMetaType::Float:
    case QMetaType::Double: {
        // Halves go to the even neighbour, as the classic conversion to an integer does.
        const double rounded = std::nearbyint(value.toDouble());
        if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0)) {
            throw VaultError(VaultError::Overflow,
                             QStringLiteral("溢出：列“%1”的值 %2 超出整数的范围。").arg(column).arg(value.toDouble()));
        }
        return static_cast<qint64>(rounded);
    }
    case QMetaType::QString: {
        const QString text = value.toString().trimmed();
        bool ok = false;
        const qint64 number = text.toLongLong(&ok);
        if (ok) {
            return number;
        }
        const double real = text.toDouble(&ok);
        if (ok) {
            return wholeNumber(QVariant(real), column);
        }
        raiseTypeMismatch(column, value.toString());
    }
    default:
        raiseTypeMismatch(column, value.toString());
    }
}

} // namespace

namespace FieldConversion {

QString toText(const QVariant& value, const QString& column) {
    if (value.isNull()) {
        raiseNull(column);
    }
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::LongLong:
        return QString::number(value.toLongLong());
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::QByteArray:
        return QString::fromUtf8(value.toByteArray());
    default:
        return value.toString();
    }
}

qint64 toInteger(const QVariant& value, const QString& column) {
    if (value.isNull()) {
        raiseNull(column);
    }
    return wholeNumber(value, column);
}

qint16 toInt16(const QVariant& value, const QString& column) {
    const qint64 number = toInteger(value, column);
    if (number < std::numeric_limits<qint16>::min() || number > std::numeric_limits<qint16>::max()) {
        throw VaultError(
            VaultError::Overflow,
            QStringLiteral("溢出：列“%1”的值 %2 超出 16 位整数的范围（-32768 到 32767）。").arg(column).arg(number));
    }
    return static_cast<qint16>(number);
}

} // namespace FieldConversion
