#pragma once

#include <QString>
#include <exception>

// The one error type of the program. Every failure that a handler may have to report
// carries a number and a Simplified-Chinese description; the windows show both in the
// "错误" box (title "错误" + number). Every number the program raises is named here.
class VaultError : public std::exception {
public:
    // Any failure of the database engine: missing file, wrong password, not a vault,
    // read-only, locked, disk full, I/O. The windows rely on this exact value: the category
    // dialog ends the program for it alone.
    static constexpr long EngineFailure = -2147467259L;
    // The cursor stands on no row (empty result, or moved past the end).
    static constexpr long NoCurrentRow = 3021;
    // A Null read as text or number.
    static constexpr long InvalidUseOfNull = 94;
    // A value that does not fit the 16-bit integer it is converted to.
    static constexpr long Overflow = 6;
    // A value of the wrong kind (a text that is no number where a number is needed).
    static constexpr long TypeMismatch = 13;
    // The data layer used in a way it does not allow: a record set that is not open, a column the
    // result does not have, a statement given more or fewer values than it has marks, a row added
    // to or changed in a result that is not one table's rows. A fault of the program, not of the
    // data file, so it must not read as an engine failure (the old runtime's "operation not
    // allowed in this context").
    static constexpr long OperationNotAllowed = 3219;
    // An argument a procedure cannot take: an empty cipher key, no code page to convert with, a
    // tree node key that is taken or names no node (std::invalid_argument).
    static constexpr long InvalidCall = 5;
    // An index outside a list (std::out_of_range).
    static constexpr long OutOfRange = 9;
    // Memory ran out (std::bad_alloc).
    static constexpr long OutOfMemory = 7;
    // Any other failure inside the program that has no number of its own (another
    // std::exception). Not an engine failure: nothing says the data file is at fault.
    static constexpr long InternalError = 51;

    VaultError(long number, QString description);
    // Any exception as the program's error, so a failure has the same number wherever it is
    // caught: a VaultError keeps its own, a standard one gets the number named above for its
    // kind, and nothing foreign is ever taken for an engine failure.
    static VaultError from(const std::exception& error);

    long number() const noexcept { return m_number; }
    const QString& description() const noexcept { return m_description; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    long m_number;
    QString m_description;
    QByteArray m_utf8;
};
