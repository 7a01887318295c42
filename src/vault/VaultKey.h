#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <optional>

// The key of a protected data file, derived from the master password with Argon2id.
//
// SQLCipher keeps the first 16 bytes of a file unencrypted as its salt, and takes a raw key
// together with the salt it writes there. Those 16 bytes are all a file carries in the clear, so
// they hold what is needed to derive its key again, on any machine: a mark that tells a protected
// file from every other (before a password is tried), the derivation's cost, and 8 random bytes.
// The whole 16 bytes are the derivation's salt.
//
//   0..3   "VRYK"
//   4      layout, 1
//   5      memory, log2 of KiB (16 = 64 MiB)
//   6      passes
//   7      lanes
//   8..15  random, from the system's generator
namespace VaultKey {

struct Cost {
    quint32 memoryKiB = 0; // a power of two
    quint32 passes = 0;
    quint32 lanes = 0;
    friend bool operator==(const Cost&, const Cost&) = default;
};

// 64 MiB, 3 passes, 2 lanes: about half a second on the two-core machine the program is measured
// on, with other work beside it; 2 passes came to 0.3 s there, too close to the floor.
Cost programCost();
// The cost new keys are made with: programCost() unless a test or benchmark set a cheaper one,
// so that it does not spend a second on every key it makes. Files name their own cost, so the
// keys of existing files are derived as they were made either way.
Cost costForNewKeys();
void setCostForNewKeys(const Cost& cost);

inline constexpr int HeaderSize = 16;

struct Header {
    QByteArray bytes; // the 16 bytes, as the file starts with them
    Cost cost;
};

// The header when these are the first bytes of a protected file. A cost outside what the
// program would ever make (a foreign file that happens to start with the mark) is no header:
// deriving from it could ask for more memory than the machine has.
std::optional<Header> parseHeader(const QByteArray& firstBytes);
// The header of the file at path, when it is a protected file; nothing for any other file,
// a missing or unreadable one included.
std::optional<Header> headerOfFile(const QString& path);
// A header for a new key: the mark, the cost, fresh random bytes.
Header newHeader(const Cost& cost = costForNewKeys());

// The key for the engine ("x'<key><salt>'", as sqlite3_key takes it): Argon2id of the password's
// UTF-8 bytes under the header. Safe to call from any thread. Throws VaultError (OutOfMemory when
// the derivation cannot have its memory).
QByteArray derive(const QString& password, const Header& header);

// Whether a key for the engine is one derive() made, rather than a database password.
bool isDerivedKey(const QByteArray& key);

} // namespace VaultKey
