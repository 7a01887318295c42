#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A read-only copy of a vault, in a folder anyone may enter but only its owner may write, and
// a way to try writing it for real. Root writes any file whatever its mode, so when the tests
// run as root the attempt is made by a copy of the test program running as nobody.
class ReadOnlyCopy {
public:
    explicit ReadOnlyCopy(const QString& vaultFile);

    bool isValid() const { return m_valid; }
    QString folder() const { return m_dir.path(); }
    QString file() const;
    QByteArray bytes() const;

    struct Outcome {
        bool ran = false;
        QString output; // what the attempt printed
        QString whyNot; // when it could not run
    };
    // Runs this test program again with the arguments (as nobody when this process is root)
    // and returns what it printed on its standard output.
    Outcome runThisProgram(const QStringList& arguments) const;

private:
    QTemporaryDir m_dir;
    bool m_valid = false;
};
