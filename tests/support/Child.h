#pragma once

#include <QObject>
#include <QString>
#include <QtTest>

#include <source_location>
#include <stdexcept>

// Thrown after the failure has been recorded, to leave the test function at once; the suite's
// guard (SuiteGuard.h) lets it end that test alone without a second report.
struct RecordedFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The descendant of parent named name, as a T. A missing control fails the running test with the
// name looked for, where a bare findChild would hand back null for the next line to crash on.
template <typename T>
T* child(const QObject* parent, const QString& name, std::source_location where = std::source_location::current()) {
    if (parent != nullptr) {
        if (T* found = parent->findChild<T*>(name)) {
            return found;
        }
    }
    const QByteArray message = QStringLiteral("no %1 named \"%2\" under %3")
                                   .arg(QString::fromLatin1(T::staticMetaObject.className()), name,
                                        parent == nullptr ? QStringLiteral("a null parent")
                                                          : QString::fromLatin1(parent->metaObject()->className()))
                                   .toUtf8();
    QTest::qFail(message.constData(), where.file_name(), static_cast<int>(where.line()));
    throw RecordedFailure(message.toStdString());
}

template <typename T>
T* child(const QObject& parent, const QString& name, std::source_location where = std::source_location::current()) {
    return child<T>(&parent, name, where);
}
