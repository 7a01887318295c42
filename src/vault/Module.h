#pragma once

#include "Connection.h"
#include "Recordset.h"

#include <QString>
#include <memory>

// The values the windows share for the life of the process. main() makes one and hands it by
// reference to every window; tests make their own.
class Module {
public:
    Module() = default;
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    // The cipher key every caller of EncodeSecret / DecodeSecret passes.
    static inline const QString SecretKey = QStringLiteral("Tavernix@#");

    // Every operation starts with a fresh result set, which discards whatever an interrupted
    // earlier operation left open. The caller shares the object with VaultRecordset: the next
    // operation replaces the shared one, but what a caller still holds stays alive and open.
    std::shared_ptr<Recordset> freshRecordset() {
        VaultRecordset = std::make_shared<Recordset>();
        return VaultRecordset;
    }

    // The rows a query finds, counted on a fresh shared result set.
    qint64 countRows(const QString& sql) {
        const auto rs = freshRecordset();
        rs->open(sql, VaultConnection);
        const qint64 count = rs->recordCount();
        rs->close();
        return count;
    }

    // The decimal text of RootSeq that is appended to the master password before it is stored.
    QString rootSeqSuffix() const { return QString::number(RootSeq); }

    Connection VaultConnection;
    std::shared_ptr<Recordset> VaultRecordset = std::make_shared<Recordset>();
    QString SqlText;
    qint16 RootSeq = 0;
    bool MustSetPassword = false;
};
