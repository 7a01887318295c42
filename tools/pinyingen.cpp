// Writes the pinyin table the search compiles in, from the Unihan readings at build time, so that
// every reading of every character comes from a kept data set rather than a hand-typed list.
//
//   pinyingen UNIHAN_READINGS OUTPUT.cpp
//     UNIHAN_READINGS is Unihan_Readings.txt, or the .bz2 Debian ships (read through bzcat).
//     Readings are taken from kMandarin, kHanyuPinyin, kXHC1983, kHanyuPinlu and kTGHZ2013, tones
//     dropped: a user types "hang", not "háng". A ü is kept both as v (what pinyin keyboards
//     take) and as u (what people type without one). The output defines what search/PinyinTable.h
//     declares.

#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <vector>

namespace {

const QSet<QString> ReadingFields{QStringLiteral("kMandarin"), QStringLiteral("kHanyuPinyin"),
                                  QStringLiteral("kXHC1983"), QStringLiteral("kHanyuPinlu"),
                                  QStringLiteral("kTGHZ2013")};

[[noreturn]] void fail(const QString& message) {
    std::fprintf(stderr, "pinyingen: %s\n", qPrintable(message));
    std::exit(1);
}

QByteArray readInput(const QString& path) {
    if (path.endsWith(QStringLiteral(".bz2"))) {
        QProcess bzcat;
        bzcat.start(QStringLiteral("bzcat"), {QStringLiteral("--"), path});
        if (!bzcat.waitForFinished(120000) || bzcat.exitStatus() != QProcess::NormalExit || bzcat.exitCode() != 0) {
            fail(QStringLiteral("bzcat could not read %1: %2")
                     .arg(path, QString::fromLocal8Bit(bzcat.readAllStandardError())));
        }
        return bzcat.readAllStandardOutput();
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(QStringLiteral("cannot read %1").arg(path));
    }
    return file.readAll();
}

// "lǜ" -> {"lv", "lu"}; "ǹg" -> {"ng"}; "ê̄" -> {"e"}. Empty when the reading is not pinyin.
QStringList tonelessForms(const QString& reading) {
    const QString decomposed = reading.normalized(QString::NormalizationForm_D).toLower();
    QString plain;
    bool umlaut = false;
    for (const QChar ch : decomposed) {
        if (ch.unicode() >= 0x300 && ch.unicode() <= 0x36F) {
            if (ch.unicode() == 0x308 && plain.endsWith(QLatin1Char('u'))) {
                plain.back() = QLatin1Char('v');
                umlaut = true;
            }
            continue;
        }
        if (ch < QLatin1Char('a') || ch > QLatin1Char('z')) {
            return {};
        }
        plain += ch;
    }
    if (plain.isEmpty()) {
        return {};
    }
    QStringList forms{plain};
    if (umlaut || plain.contains(QLatin1Char('v'))) {
        forms << QString(plain).replace(QLatin1Char('v'), QLatin1Char('u'));
    }
    return forms;
}

// The readings of one field's value: "10001.010:yī,yāo 1351.020:yì", "yī(32747) yí(5)", "yī".
QStringList readingsOf(const QString& value) {
    static const QRegularExpression count(QStringLiteral("\\(.*\\)$"));
    QStringList readings;
    for (QString token : value.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        token = token.mid(token.lastIndexOf(QLatin1Char(':')) + 1).remove(count);
        readings += token.split(QLatin1Char(','), Qt::SkipEmptyParts);
    }
    return readings;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: pinyingen UNIHAN_READINGS OUTPUT.cpp\n");
        return 2;
    }
    const QString input = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[2]);

    std::map<char32_t, std::set<QString>> readings;
    const QByteArray text = readInput(input);
    for (const QByteArray& rawLine : text.split('\n')) {
        if (!rawLine.startsWith("U+")) {
            continue;
        }
        const QStringList parts = QString::fromUtf8(rawLine).trimmed().split(QLatin1Char('\t'));
        if (parts.size() != 3 || !ReadingFields.contains(parts[1])) {
            continue;
        }
        bool ok = false;
        const auto codePoint = static_cast<char32_t>(parts[0].mid(2).toUInt(&ok, 16));
        if (!ok || codePoint > 0x10FFFF) {
            fail(QStringLiteral("bad line: %1").arg(QString::fromUtf8(rawLine)));
        }
        for (const QString& reading : readingsOf(parts[2])) {
            for (const QString& form : tonelessForms(reading)) {
                readings[codePoint].insert(form);
            }
        }
    }
    // A truncated or foreign file must fail the build, not ship a search that finds nothing.
    if (readings.size() < 20000) {
        fail(QStringLiteral("only %1 characters with readings in %2").arg(readings.size()).arg(input));
    }

    std::set<QString> allSyllables;
    for (const auto& [codePoint, forms] : readings) {
        allSyllables.insert(forms.begin(), forms.end());
    }
    const std::vector<QString> syllables(allSyllables.begin(), allSyllables.end());
    const auto syllableIndex = [&syllables](const QString& s) {
        return static_cast<int>(std::lower_bound(syllables.begin(), syllables.end(), s) - syllables.begin());
    };

    // Characters with the same readings share one set; set 0 means "no readings".
    std::map<std::vector<int>, int> setIds;
    std::vector<std::vector<int>> sets{{}};
    std::map<char32_t, int> setOf;
    for (const auto& [codePoint, forms] : readings) {
        std::vector<int> key;
        for (const QString& form : forms) {
            key.push_back(syllableIndex(form));
        }
        auto [it, added] = setIds.emplace(key, static_cast<int>(sets.size()));
        if (added) {
            sets.push_back(key);
        }
        setOf[codePoint] = it->second;
    }
    if (sets.size() > 0xFFFF) {
        fail(QStringLiteral("%1 reading sets do not fit 16 bits").arg(sets.size()));
    }

    // Two stages: the page of 256 code points, then the set of each code point in it. Page 0 is
    // the empty page every code point without readings falls on.
    std::vector<std::vector<int>> pages{std::vector<int>(256, 0)};
    std::vector<int> pageOf(0x1100, 0);
    for (const auto& [codePoint, set] : setOf) {
        int& page = pageOf[codePoint >> 8];
        if (page == 0) {
            page = static_cast<int>(pages.size());
            pages.emplace_back(256, 0);
        }
        pages[static_cast<size_t>(page)][codePoint & 0xFF] = set;
    }

    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly)) {
        fail(QStringLiteral("cannot write %1").arg(output));
    }
    QTextStream out(&file);
    out << "// Generated by tools/pinyingen from " << input.section(QLatin1Char('/'), -1) << "; do not edit.\n"
        << "#include \"search/PinyinTable.h\"\n\nnamespace PinyinTable {\n\n";
    out << "const int syllableCount = " << syllables.size() << ";\n";
    out << "const char* const syllables[] = {\n";
    for (const QString& s : syllables) {
        out << "    \"" << s << "\",\n";
    }
    out << "};\n\nconst int readingSetCount = " << sets.size() << ";\n";
    out << "const unsigned readingSetStart[] = {";
    size_t offset = 0;
    for (size_t i = 0; i < sets.size(); ++i) {
        out << (i % 16 == 0 ? "\n    " : " ") << offset << ',';
        offset += sets[i].size();
    }
    out << "\n    " << offset << "};\n";
    out << "const unsigned short readingSetSyllables[] = {";
    size_t n = 0;
    for (const auto& set : sets) {
        for (int s : set) {
            out << (n++ % 16 == 0 ? "\n    " : " ") << s << ',';
        }
    }
    out << "\n};\n\nconst unsigned short pageOfCodePoint[0x1100] = {";
    for (size_t i = 0; i < pageOf.size(); ++i) {
        out << (i % 32 == 0 ? "\n    " : " ") << pageOf[i] << ',';
    }
    out << "\n};\n\nconst unsigned short readingSetOnPage[][256] = {\n";
    for (const auto& page : pages) {
        out << "    {";
        for (size_t i = 0; i < page.size(); ++i) {
            out << (i % 32 == 0 ? "\n        " : " ") << page[i] << ',';
        }
        out << "\n    },\n";
    }
    out << "};\n\n} // namespace PinyinTable\n";
    out.flush();
    if (!file.commit()) {
        fail(QStringLiteral("cannot write %1").arg(output));
    }
    std::printf("pinyingen: %zu characters, %zu syllables, %zu reading sets, %zu pages\n", readings.size(),
                syllables.size(), sets.size(), pages.size());
    return 0;
}
