#include "support/SuiteGuard.h"
#include "vault/SecretCipher.h"
#include "vault/VaultError.h"

#include <QRandomGenerator>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>

#include <algorithm>
#include <initializer_list>
#include <optional>

namespace {

const QString Key = QStringLiteral("Tavernix@#");

QString points(std::initializer_list<char32_t> list) {
    return QString::fromUcs4(list.begin(), static_cast<qsizetype>(list.size()));
}

// XOR of an ASCII character with an ASCII key character: both codes are their Unicode values.
char32_t x(char32_t ch, char32_t key) {
    return ch ^ key;
}

// The classic transform written from its description, on Qt's own GBK converter (ICU's table
// of Windows' code page 936), independent of the cipher's tables. Empty when a step is not
// defined by the code page.
std::optional<QString> classicEncode(const QString& text, const QString& key) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        QStringEncoder encoder("GBK");
        const QByteArray bytes = encoder.encode(QString(text.at(i)));
        if (encoder.hasError() || bytes.isEmpty() || bytes.size() > 2)
            return std::nullopt;
        int code = static_cast<uchar>(bytes.at(0));
        if (bytes.size() == 2)
            code = code * 256 + static_cast<uchar>(bytes.at(1));
        code ^= key.at(i % key.size()).unicode();
        QByteArray scrambled;
        if (code > 0xFF)
            scrambled.append(static_cast<char>(code >> 8));
        scrambled.append(static_cast<char>(code & 0xFF));
        QStringDecoder decoder("GBK");
        const QString ch = decoder.decode(scrambled);
        if (decoder.hasError() || ch.size() != 1)
            return std::nullopt;
        out += ch;
    }
    if (out.size() % 2 == 0) {
        std::reverse(out.begin(), out.begin() + out.size() / 2);
        std::reverse(out.begin() + out.size() / 2, out.end());
    }
    return out;
}

QString gbkChar(uchar lead, uchar trail) {
    const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    return QStringDecoder("GBK").decode(QByteArrayView(bytes, 2));
}

char32_t randomPoint(QRandomGenerator& rng, bool asciiAllowed) {
    switch (rng.bounded(asciiAllowed ? 12 : 9)) {
    case 0:
        return 0x4E00 + rng.bounded(0x9FA6 - 0x4E00); // Chinese, all of it in GBK
    case 1:
        return 0x20AC; // €
    case 2:
        return 0x1F300 + rng.bounded(0x700); // emoji
    case 3:
        return 0xE000 + rng.bounded(0x1900); // private use of the BMP
    case 4:
        return 0xF0000 + rng.bounded(0x10000); // the plane undefined codes are stored in
    case 5:
        return 0xD800 + rng.bounded(0x800); // lone surrogate unit
    case 6:
        return 0xAC00 + rng.bounded(0x2BA4); // Hangul, not in GBK
    case 7:
        return 0xA0 + rng.bounded(0x60); // Latin-1, partly in GBK
    case 8:
        return rng.bounded(2) ? 0xFFFF : 0x100000 + rng.bounded(0x10000);
    case 9:
        return 0; // NUL
    case 10:
        return rng.bounded(2) ? rng.bounded(0x20) : 0x7F; // control characters
    default:
        return 0x20 + rng.bounded(0x5F); // printable ASCII
    }
}

QString randomText(QRandomGenerator& rng, qsizetype length, bool asciiAllowed) {
    QString text;
    for (qsizetype i = 0; i < length; ++i) {
        const char32_t point = randomPoint(rng, asciiAllowed);
        if (point >= 0xD800 && point <= 0xDFFF)
            text.append(QChar(static_cast<char16_t>(point)));
        else
            text.append(QString::fromUcs4(&point, 1));
    }
    return text;
}

} // namespace

class TestCipher : public QObject {
    Q_OBJECT

private slots:
    void workedExample() {
        const QString key = QStringLiteral("K7");
        const QString stored = EncodeSecret(QStringLiteral("abcd"), key);
        QCOMPARE(stored, points({x('b', '7'), x('a', 'K'), x('d', '7'), x('c', 'K')}));
        QCOMPARE(DecodeSecret(stored, key), QStringLiteral("abcd"));
    }

    void halvesReversedForEvenLength() {
        const QString stored = EncodeSecret(QStringLiteral("abcdef"), Key);
        QCOMPARE(stored, points({x('c', 'v'), x('b', 'a'), x('a', 'T'), x('f', 'n'), x('e', 'r'), x('d', 'e')}));
        QCOMPARE(DecodeSecret(stored, Key), QStringLiteral("abcdef"));
    }

    void shortTexts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stored");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("one char: XOR only") << QStringLiteral("A") << points({x('A', 'T')});
        QTest::newRow("two chars stay in place") << QStringLiteral("AB") << points({x('A', 'T'), x('B', 'a')});
        QTest::newRow("three chars keep their order")
            << QStringLiteral("ABC") << points({x('A', 'T'), x('B', 'a'), x('C', 'v')});
        QTest::newRow("text char equal to key char gives NUL") << QStringLiteral("T") << points({0});
        QTest::newRow("two NULs") << QStringLiteral("Ta") << points({0, 0});
    }

    void shortTexts() {
        QFETCH(QString, text);
        QFETCH(QString, stored);
        QCOMPARE(EncodeSecret(text, Key), stored);
        QCOMPARE(EncodeSecret(text, Key).size(), stored.size());
        QCOMPARE(DecodeSecret(stored, Key), text);
    }

    // Against the classic transform: key cycling past its end, and the exact stored form of texts
    // whose every step the code page defines (so stored files of the classic program stay readable).
    void matchesClassicWhereDefined_data() {
        QTest::addColumn<QString>("text");
        const QString ascii = QStringLiteral("p4ss-W0rd!~ {Tavernix@#} q");
        for (const int length : {9, 10, 11, 20, 21, 26})
            QTest::addRow("ASCII, length %d", length) << ascii.left(length);
        QTest::newRow("Chinese") << QStringLiteral("中文密码测试");
        QTest::newRow("mixed") << QStringLiteral("我的账户Ab12！备注：银行卡");
        // 獉 (AA80) meets 'T': AAD4, in the user-defined area Windows maps to U+E033.
        QTest::newRow("code in the user-defined area") << gbkChar(0xAA, 0x80) + QStringLiteral("x");
    }

    void matchesClassicWhereDefined() {
        QFETCH(QString, text);
        const std::optional<QString> classic = classicEncode(text, Key);
        QVERIFY2(classic.has_value(), "the test text must stay inside the code page");
        QCOMPARE(EncodeSecret(text, Key), *classic);
        QCOMPARE(DecodeSecret(*classic, Key), text);
    }

    void undefinedCodeIsStoredInPlane15() {
        // 乀 is 8154; 'T' XOR 54 leaves trail byte 00, which GBK does not define.
        const QString ch = gbkChar(0x81, 0x54);
        QCOMPARE(ch, QStringLiteral("乀"));
        const QString stored = EncodeSecret(ch, Key);
        QCOMPARE(stored, points({0xF8100}));
        QCOMPARE(DecodeSecret(stored, Key), ch);
        // A lone lead byte: € (80) meets 'T' as 0xD4.
        QCOMPARE(EncodeSecret(QStringLiteral("€"), Key), points({0xF00D4}));
    }

    void everyTextComesBack() {
        QRandomGenerator rng(20240611);
        const QStringList keys = {Key, QStringLiteral("x"), QStringLiteral("密钥€"), QStringLiteral("🔑")};
        for (int round = 0; round < 400; ++round) {
            const QString text = randomText(rng, rng.bounded(40), true);
            const QString& key = keys.at(round % keys.size());
            const QString stored = EncodeSecret(text, key);
            QCOMPARE(DecodeSecret(stored, key), text);
        }
        const QString longText = randomText(rng, 40000, true);
        QCOMPARE(DecodeSecret(EncodeSecret(longText, Key), Key), longText);
        // What an undefined code turns into comes back as that code: the stored form of text.
        const QString stored = EncodeSecret(QStringLiteral("乀€"), QStringLiteral("x"));
        QCOMPARE(DecodeSecret(EncodeSecret(stored, Key), Key), stored);
    }

    void nothingIsReplacedByQuestionMarks() {
        // Without ASCII in the text no code can scramble into '?': any '?' would be a substitute.
        QRandomGenerator rng(7);
        for (int round = 0; round < 200; ++round) {
            const QString text = randomText(rng, 1 + rng.bounded(30), false);
            const QString stored = EncodeSecret(text, Key);
            QVERIFY2(!stored.contains(u'?'), qPrintable(text));
            QVERIFY(!stored.contains(QChar::ReplacementCharacter));
            QVERIFY(stored.size() >= text.size());
        }
    }

    void impossibleStoredFormIsRefused_data() {
        QTest::addColumn<QString>("stored");
        QTest::newRow("character outside GBK") << QStringLiteral("ab가d");
        QTest::newRow("lone surrogate") << QStringLiteral("a") + QChar(0xD800);
        QTest::newRow("supplementary character outside plane 15") << QStringLiteral("😀");
        QTest::newRow("plane 15 form of a defined code") << QStringLiteral("ab") + points({0xF0041});
    }

    void impossibleStoredFormIsRefused() {
        QFETCH(QString, stored);
        try {
            DecodeSecret(stored, Key);
            QFAIL("no error for a damaged stored form");
        } catch (const VaultError& error) {
            QCOMPARE(error.number(), VaultError::TypeMismatch);
            QVERIFY(error.description().contains(QStringLiteral("损坏")));
        }
    }

    void brokenEscapeRunDecodesVisibly() {
        // Codes with lead byte FF that form no escape: each one is kept as its plane 15 character.
        QCOMPARE(DecodeSecret(points({0xFFF41}), Key), points({0xFFF41 ^ 'T'}));
        QCOMPARE(DecodeSecret(points({0xFFF41, 0x41, 0xFFF42}), Key),
                 points({0xFFF41 ^ 'T', 0x41 ^ 'a', 0xFFF42 ^ 'v'}));
    }

    void emptyKeyIsRefused() {
        QVERIFY_THROWS_EXCEPTION(VaultError, EncodeSecret(QStringLiteral("a"), QString()));
        QVERIFY_THROWS_EXCEPTION(VaultError, DecodeSecret(QStringLiteral("a"), QString()));
    }
};

VAULTRY_GUILESS_TEST_MAIN(TestCipher)
#include "tst_cipher.moc"
