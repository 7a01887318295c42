#pragma once

#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <vector>

// Case and full-/half-width forms compare equal after this: compatibility composition (NFKC),
// then case folding. Query and texts both go through it.
QString foldForSearch(const QString& text);

// One search term (no blanks), folded, matched against folded texts.
//
// A term matches a text when it matches a contiguous run of the text's characters, from any
// character on, each character of the run taking up the next piece of the term:
//   - the character itself (支 takes 支, a takes a);
//   - for a Han character, one of its toneless readings whole (支 takes "zhi"), its first letter
//     ("z"), or, for a reading beginning zh, ch or sh, those two letters ("zh");
//   - at the end of the term only, any beginning of one of its readings ("zhif" finds 支付).
// Every reading of a character with several counts (行 takes "hang" and "xing"). A term longer
// than 63 characters is matched as plain text only.
class TermMatcher {
public:
    explicit TermMatcher(const QString& foldedTerm);

    bool matches(QStringView foldedText) const;

private:
    static constexpr int MaxShift = 6; // the longest syllables: zhuang, chuang, shuang
    // What a Han character of one reading set does with the term: from a position whose bit is in
    // byShift[k], it takes k characters of the term; from one in toEnd, the rest of the term.
    struct Reading {
        std::array<std::uint64_t, MaxShift + 1> byShift{};
        std::uint64_t toEnd = 0;
    };

    std::uint64_t literalMask(char32_t ch) const;
    bool matchesLiterally(QStringView text) const;

    std::u32string m_term;
    QString m_folded;
    bool m_literalOnly = false;
    std::uint64_t m_accept = 0;
    std::array<std::uint64_t, 128> m_ascii{};
    std::vector<std::pair<char32_t, std::uint64_t>> m_otherChars;
    std::vector<Reading> m_readings; // by reading set
};
