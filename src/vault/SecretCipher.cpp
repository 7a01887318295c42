#include "SecretCipher.h"

#include "VaultError.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <cstdint>
#include <iconv.h>

namespace {

using Code = std::uint16_t;
using Codes = QVarLengthArray<Code, 64>;

// An undefined code travels in the stored form as U+F0000 + code (plane 15, private use):
// the whole 16-bit range fits in that plane, so every code has a character.
constexpr char32_t UndefinedBase = 0xF0000;
constexpr char32_t UndefinedLast = UndefinedBase + 0xFFFF;
// A character that has no code is written as three codes with this lead byte, 7 bits of the
// code point each (21 bits cover all of Unicode). No code page 936 character has lead byte 0xFF
// and no other path produces it, so decoding recognises the triple once the XOR is undone.
constexpr Code EscapeLead = 0xFF00;
constexpr int EscapeBits = 7;
constexpr Code EscapeMask = 0x7F;
// Sentinels of the tables. U+FFFF is a noncharacter no code page maps to, and 0xFFFF has the
// escape lead byte, so neither can stand for a real mapping.
constexpr char16_t NoChar = 0xFFFF;
constexpr Code NoCode = 0xFFFF;

bool isHighSurrogate(char32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool isLowSurrogate(char32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}
bool isSurrogate(char32_t u) {
    return u >= 0xD800 && u <= 0xDFFF;
}
bool hasEscapeLead(Code code) {
    return (code & 0xFF00) == EscapeLead;
}
bool isEscapePart(Code code) {
    return (code & 0xFF80) == EscapeLead;
}

// Code page 936 as two lookup tables, built once. Only mappings that go both ways are kept,
// so that character -> code -> character and code -> character -> code are both exact.
class CodePage936 {
public:
    static const CodePage936& instance() {
        static const CodePage936 table; // thread-safe initialisation
        return table;
    }

    bool defined(Code code) const { return m_charOf[code] != NoChar; }
    char16_t charOf(Code code) const { return m_charOf[code]; }
    // NoCode for a character outside the code page (and for every surrogate unit).
    Code codeOf(char16_t ch) const { return m_codeOf[ch]; }

private:
    CodePage936() {
        m_charOf.fill(NoChar);
        m_codeOf.fill(NoCode);
        // Both tables are needed: without one, stored forms would differ from those written
        // where it is present, and some of them would not decode there.
        if (!fromIconv() || !fromWindowsTable()) {
            throw VaultError(VaultError::InvalidCall,
                             QStringLiteral("系统缺少 GBK 代码页（CP936）的转换表，无法加密或解密。"));
        }
    }

    static bool candidate(int code) {
        if (code < 0x100) {
            return true;
        }
        const int lead = code >> 8;
        const int trail = code & 0xFF;
        return lead >= 0x81 && lead <= 0xFE && trail >= 0x40 && trail <= 0xFE && trail != 0x7F;
    }

    static QByteArray bytesOf(int code) {
        if (code < 0x100) {
            return QByteArray(1, static_cast<char>(code));
        }
        const char pair[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
        return QByteArray(pair, 2);
    }

    void define(int code, char32_t ch) {
        if (ch > 0xFFFF || isSurrogate(ch) || ch == NoChar || hasEscapeLead(static_cast<Code>(code))) {
            return;
        }
        const auto u = static_cast<char16_t>(ch);
        if (m_codeOf[u] != NoCode || m_charOf[code] != NoChar) {
            return;
        }
        m_charOf[code] = u;
        m_codeOf[u] = static_cast<Code>(code);
    }

    // glibc's CP936: the code page proper, with 0x80 as the euro sign.
    bool fromIconv() {
        const iconv_t toUnicode = iconv_open("UTF-32LE", "CP936");
        const iconv_t fromUnicode = iconv_open("CP936", "UTF-32LE");
        const bool available =
            toUnicode != reinterpret_cast<iconv_t>(-1) && fromUnicode != reinterpret_cast<iconv_t>(-1);
        if (available) {
            for (int code = 0; code <= 0xFFFF; ++code) {
                if (!candidate(code)) {
                    continue;
                }
                const QByteArray bytes = bytesOf(code);
                const char32_t ch = decodeOne(toUnicode, bytes);
                if (ch != NoChar && encodeOne(fromUnicode, ch) == bytes) {
                    define(code, ch);
                }
            }
        }
        if (toUnicode != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(toUnicode);
        }
        if (fromUnicode != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(fromUnicode);
        }
        return available;
    }

    // Windows' code page 936 also defines what glibc leaves out: the user-defined areas
    // (AAA1-AFFE, F8A1-FEFE, A140-A7A0 -> U+E000-U+E765), the other private-use assignments
    // and 0xFF -> U+F8F5. Stored forms written on Windows hold these characters, so they must
    // keep decoding. Qt's GBK converter (ICU's windows-936-2000) carries that table.
    bool fromWindowsTable() {
        if (!QStringDecoder("GBK").isValid() || !QStringEncoder("GBK").isValid()) {
            return false;
        }
        for (int code = 0; code <= 0xFFFF; ++code) {
            if (!candidate(code) || defined(static_cast<Code>(code))) {
                continue;
            }
            // Fresh converters each time: resetState() does not clear an ICU converter's error flag.
            const QByteArray bytes = bytesOf(code);
            QStringDecoder toUnicode("GBK", QStringConverter::Flag::Stateless);
            const QString ch = toUnicode.decode(bytes);
            if (toUnicode.hasError() || ch.size() != 1 || ch.at(0) == QChar::ReplacementCharacter) {
                continue;
            }
            QStringEncoder fromUnicode("GBK", QStringConverter::Flag::Stateless);
            const QByteArray back = fromUnicode.encode(ch);
            if (!fromUnicode.hasError() && back == bytes) {
                define(code, ch.at(0).unicode());
            }
        }
        return true;
    }

    // CP936 keeps no shift state, so a converter needs a reset only after a failed call.
    static char32_t decodeOne(iconv_t cd, const QByteArray& bytes) {
        char in[2];
        std::copy(bytes.cbegin(), bytes.cend(), in);
        unsigned char out[8];
        char* inPtr = in;
        size_t inLeft = static_cast<size_t>(bytes.size());
        char* outPtr = reinterpret_cast<char*>(out);
        size_t outLeft = sizeof out;
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            return NoChar;
        }
        if (inLeft != 0 || sizeof out - outLeft != 4) {
            return NoChar;
        }
        return static_cast<char32_t>(out[0]) | static_cast<char32_t>(out[1]) << 8 |
               static_cast<char32_t>(out[2]) << 16 | static_cast<char32_t>(out[3]) << 24;
    }

    static QByteArray encodeOne(iconv_t cd, char32_t ch) {
        char in[4] = {static_cast<char>(ch & 0xFF), static_cast<char>(ch >> 8 & 0xFF),
                      static_cast<char>(ch >> 16 & 0xFF), static_cast<char>(ch >> 24 & 0xFF)};
        char out[8];
        char* inPtr = in;
        size_t inLeft = sizeof in;
        char* outPtr = out;
        size_t outLeft = sizeof out;
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            return {};
        }
        return QByteArray(out, static_cast<qsizetype>(sizeof out - outLeft));
    }

    std::array<char16_t, 0x10000> m_charOf;
    std::array<Code, 0x10000> m_codeOf;
};

// Text -> codes. Works on code points, so a surrogate pair is one character; a lone surrogate
// is a character of its own and is escaped like any other character without a code.
void appendCodes(const CodePage936& table, const QString& text, Codes& codes) {
    const qsizetype size = text.size();
    const QChar* units = text.constData();
    for (qsizetype i = 0; i < size; ++i) {
        char32_t point = units[i].unicode();
        if (isHighSurrogate(point) && i + 1 < size && isLowSurrogate(units[i + 1].unicode())) {
            point = QChar::surrogateToUcs4(units[i], units[i + 1]);
            ++i;
        } else {
            const Code code = table.codeOf(static_cast<char16_t>(point));
            if (code != NoCode) {
                codes.append(code);
                continue;
            }
        }
        if (point >= UndefinedBase && point <= UndefinedLast) {
            // The stored form of an undefined code, typed or pasted back: it is that code.
            const auto code = static_cast<Code>(point - UndefinedBase);
            if (!table.defined(code) && !hasEscapeLead(code)) {
                codes.append(code);
                continue;
            }
        }
        codes.append(static_cast<Code>(EscapeLead | (point >> (2 * EscapeBits) & EscapeMask)));
        codes.append(static_cast<Code>(EscapeLead | (point >> EscapeBits & EscapeMask)));
        codes.append(static_cast<Code>(EscapeLead | (point & EscapeMask)));
    }
}

// Writes one code point; a lone surrogate value stays the single unit it was in the text.
QChar* putPoint(QChar* dst, char32_t point) {
    if (point > 0xFFFF) {
        *dst++ = QChar::highSurrogate(point);
        *dst++ = QChar::lowSurrogate(point);
    } else {
        *dst++ = QChar(static_cast<char16_t>(point));
    }
    return dst;
}

// Codes -> text, the inverse of appendCodes.
QString textOf(const CodePage936& table, const Codes& codes) {
    const qsizetype size = codes.size();
    QString out(size * 2, Qt::Uninitialized); // no code gives more than two units
    QChar* dst = out.data();
    for (qsizetype i = 0; i < size; ++i) {
        const Code code = codes[i];
        if (table.defined(code)) {
            *dst++ = QChar(table.charOf(code));
            continue;
        }
        if (i + 2 < size && isEscapePart(code) && isEscapePart(codes[i + 1]) && isEscapePart(codes[i + 2])) {
            const char32_t point = static_cast<char32_t>(code & EscapeMask) << (2 * EscapeBits) |
                                   static_cast<char32_t>(codes[i + 1] & EscapeMask) << EscapeBits |
                                   static_cast<char32_t>(codes[i + 2] & EscapeMask);
            if (point <= 0x10FFFF) {
                dst = putPoint(dst, point);
                i += 2;
                continue;
            }
        }
        // An undefined code, or a lead-0xFF run that no encoding wrote (a damaged or hand-made
        // stored form): keep the code visible rather than fail or drop it.
        dst = putPoint(dst, UndefinedBase + code);
    }
    out.truncate(dst - out.constData());
    return out;
}

// Codes -> stored form: one character per code.
QString storedOf(const CodePage936& table, const Codes& codes) {
    QString out(codes.size() * 2, Qt::Uninitialized);
    QChar* dst = out.data();
    for (const Code code : codes) {
        dst = table.defined(code) ? putPoint(dst, table.charOf(code)) : putPoint(dst, UndefinedBase + code);
    }
    out.truncate(dst - out.constData());
    return out;
}

[[noreturn]] void throwDamaged(qsizetype position, char32_t point) {
    const QString hex = QString::number(static_cast<uint>(point), 16).toUpper().rightJustified(4, u'0');
    throw VaultError(VaultError::TypeMismatch,
                     QStringLiteral("保存的密文已损坏：第 %1 个字符（U+%2）不是加密能够产生的字符，无法解密。")
                         .arg(position)
                         .arg(hex));
}

// Stored form -> codes: the exact inverse of storedOf; anything storedOf cannot write is refused.
Codes codesOfStored(const CodePage936& table, const QString& stored) {
    Codes codes;
    codes.reserve(stored.size());
    const qsizetype size = stored.size();
    const QChar* units = stored.constData();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = units[i].unicode();
        if (!isSurrogate(unit)) {
            const Code code = table.codeOf(unit);
            if (code == NoCode) {
                throwDamaged(codes.size() + 1, unit);
            }
            codes.append(code);
            continue;
        }
        if (!isHighSurrogate(unit) || i + 1 == size || !isLowSurrogate(units[i + 1].unicode())) {
            throwDamaged(codes.size() + 1, unit);
        }
        const char32_t point = QChar::surrogateToUcs4(units[i], units[i + 1]);
        ++i;
        const auto code = static_cast<Code>(point - UndefinedBase);
        if (point < UndefinedBase || point > UndefinedLast || table.defined(code)) {
            throwDamaged(codes.size() + 1, point);
        }
        codes.append(code);
    }
    return codes;
}

Codes keyCodes(const CodePage936& table, const QString& key) {
    if (key.isEmpty()) {
        throw VaultError(VaultError::InvalidCall, QStringLiteral("加密密钥不能为空。"));
    }
    Codes codes;
    appendCodes(table, key, codes);
    return codes;
}

void applyKey(Codes& codes, const Codes& key) {
    const qsizetype keySize = key.size();
    qsizetype j = 0;
    for (Code& code : codes) {
        code ^= key[j];
        if (++j == keySize) {
            j = 0;
        }
    }
}

// Its own inverse; the halves are counted in codes, i.e. in characters of the stored form.
void reverseHalves(Codes& codes) {
    if (codes.size() % 2 != 0) {
        return;
    }
    const auto middle = codes.begin() + codes.size() / 2;
    std::reverse(codes.begin(), middle);
    std::reverse(middle, codes.end());
}

} // namespace

QString EncodeSecret(const QString& text, const QString& key) {
    const CodePage936& table = CodePage936::instance();
    const Codes keyCode = keyCodes(table, key);
    Codes codes;
    codes.reserve(text.size());
    appendCodes(table, text, codes);
    applyKey(codes, keyCode);
    reverseHalves(codes);
    return storedOf(table, codes);
}

QString DecodeSecret(const QString& text, const QString& key) {
    const CodePage936& table = CodePage936::instance();
    const Codes keyCode = keyCodes(table, key);
    Codes codes = codesOfStored(table, text);
    reverseHalves(codes);
    applyKey(codes, keyCode);
    return textOf(table, codes);
}
