#include "VaultKey.h"

#include "VaultError.h"

#include <QFile>
#include <QRandomGenerator>

#include <argon2.h>

#include <atomic>
#include <cstring>

namespace VaultKey {

namespace {

constexpr char Mark[] = {'V', 'R', 'Y', 'K'};
constexpr quint8 Layout = 1;
constexpr int KeySize = 32;
constexpr int RandomOffset = 8;

// What a file may ask of the derivation: from 8 MiB up to 1 GiB, at most 16 passes and lanes.
constexpr quint8 MinMemoryLog2 = 13;
constexpr quint8 MaxMemoryLog2 = 20;
constexpr quint8 MaxPasses = 16;
constexpr quint8 MaxLanes = 16;

std::atomic<quint32> newMemoryKiB{0};
std::atomic<quint32> newPasses{0};
std::atomic<quint32> newLanes{0};

quint8 log2Of(quint32 value) {
    quint8 log = 0;
    while ((quint32{1} << (log + 1)) <= value && log < 31) {
        ++log;
    }
    return log;
}

} // namespace

Cost programCost() {
    return {quint32{1} << 16, 3, 2};
}

Cost costForNewKeys() {
    const Cost set{newMemoryKiB.load(), newPasses.load(), newLanes.load()};
    return set.memoryKiB == 0 ? programCost() : set;
}

void setCostForNewKeys(const Cost& cost) {
    newMemoryKiB = cost.memoryKiB;
    newPasses = cost.passes;
    newLanes = cost.lanes;
}

std::optional<Header> parseHeader(const QByteArray& firstBytes) {
    if (firstBytes.size() < HeaderSize || std::memcmp(firstBytes.constData(), Mark, sizeof Mark) != 0) {
        return std::nullopt;
    }
    const auto byteAt = [&](int i) { return static_cast<quint8>(firstBytes.at(i)); };
    const quint8 memoryLog2 = byteAt(5);
    const quint8 passes = byteAt(6);
    const quint8 lanes = byteAt(7);
    if (byteAt(4) != Layout || memoryLog2 < MinMemoryLog2 || memoryLog2 > MaxMemoryLog2 || passes < 1 ||
        passes > MaxPasses || lanes < 1 || lanes > MaxLanes) {
        return std::nullopt;
    }
    return Header{firstBytes.left(HeaderSize), Cost{quint32{1} << memoryLog2, passes, lanes}};
}

std::optional<Header> headerOfFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return parseHeader(file.read(HeaderSize));
}

Header newHeader(const Cost& cost) {
    QByteArray bytes(HeaderSize, '\0');
    std::memcpy(bytes.data(), Mark, sizeof Mark);
    bytes[4] = static_cast<char>(Layout);
    bytes[5] = static_cast<char>(log2Of(cost.memoryKiB));
    bytes[6] = static_cast<char>(cost.passes);
    bytes[7] = static_cast<char>(cost.lanes);
    quint32 random[2];
    QRandomGenerator::system()->fillRange(random);
    std::memcpy(bytes.data() + RandomOffset, random, sizeof random);
    // Read back, so that a cost the header cannot carry fails here and not at the next login.
    std::optional<Header> header = parseHeader(bytes);
    if (!header || header->cost != cost) {
        throw VaultError(VaultError::InvalidCall, QStringLiteral("无法用这组参数生成数据文件的密钥。"));
    }
    return *header;
}

QByteArray derive(const QString& password, const Header& header) {
    const QByteArray secret = password.toUtf8();
    unsigned char key[KeySize];
    const int rc =
        argon2id_hash_raw(header.cost.passes, header.cost.memoryKiB, header.cost.lanes, secret.constData(),
                          static_cast<size_t>(secret.size()), header.bytes.constData(), HeaderSize, key, KeySize);
    if (rc != ARGON2_OK) {
        throw VaultError(
            rc == ARGON2_MEMORY_ALLOCATION_ERROR ? VaultError::OutOfMemory : VaultError::InternalError,
            QStringLiteral("无法由主密码计算数据文件的密钥：%1").arg(QString::fromUtf8(argon2_error_message(rc))));
    }
    QByteArray engineKey =
        "x'" + QByteArray(reinterpret_cast<const char*>(key), KeySize).toHex() + header.bytes.toHex() + "'";
    std::memset(key, 0, sizeof key);
    return engineKey;
}

bool isDerivedKey(const QByteArray& key) {
    return key.size() == 3 + 2 * (KeySize + HeaderSize) && key.startsWith("x'") && key.endsWith('\'') &&
           parseHeader(QByteArray::fromHex(key.mid(2 + 2 * KeySize, 2 * HeaderSize))).has_value();
}

} // namespace VaultKey
