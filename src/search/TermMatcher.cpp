#include "TermMatcher.h"

#include "PinyinTable.h"

#include <QList>
#include <cstring>

QString foldForSearch(const QString& text) {
    return text.normalized(QString::NormalizationForm_KC).toCaseFolded();
}

namespace {

// Where a syllable can take up the term, as bits of the positions it starts from.
struct SyllableMasks {
    std::uint64_t whole = 0;     // the syllable in full
    std::uint64_t twoLetter = 0; // zh, ch, sh
    std::uint64_t toEnd = 0;     // the rest of the term begins the syllable
};

SyllableMasks masksOf(const std::u32string& term, const char* syllable) {
    SyllableMasks masks;
    const size_t n = term.size();
    const size_t length = std::strlen(syllable);
    const bool retroflex =
        length >= 3 && syllable[1] == 'h' && (syllable[0] == 'z' || syllable[0] == 'c' || syllable[0] == 's');
    for (size_t p = 0; p < n; ++p) {
        size_t same = 0;
        while (p + same < n && same < length && term[p + same] == static_cast<char32_t>(syllable[same])) {
            ++same;
        }
        const std::uint64_t bit = std::uint64_t{1} << p;
        if (same == length) {
            masks.whole |= bit;
        } else if (p + same == n) {
            masks.toEnd |= bit;
        }
        if (retroflex && same >= 2) {
            masks.twoLetter |= bit;
        }
    }
    return masks;
}

} // namespace

TermMatcher::TermMatcher(const QString& foldedTerm) : m_folded(foldedTerm) {
    const QList<uint> ucs4 = foldedTerm.toUcs4();
    m_term.assign(ucs4.begin(), ucs4.end());
    if (m_term.size() > 63) {
        m_literalOnly = true;
        return;
    }
    m_accept = std::uint64_t{1} << m_term.size();
    for (size_t p = 0; p < m_term.size(); ++p) {
        const char32_t ch = m_term[p];
        const std::uint64_t bit = std::uint64_t{1} << p;
        if (ch < 128) {
            m_ascii[ch] |= bit;
            continue;
        }
        bool known = false;
        for (auto& [other, mask] : m_otherChars) {
            if (other == ch) {
                mask |= bit;
                known = true;
            }
        }
        if (!known) {
            m_otherChars.emplace_back(ch, bit);
        }
    }

    std::vector<SyllableMasks> syllables(static_cast<size_t>(PinyinTable::syllableCount));
    std::vector<int> lengths(syllables.size());
    for (size_t s = 0; s < syllables.size(); ++s) {
        syllables[s] = masksOf(m_term, PinyinTable::syllables[s]);
        lengths[s] = static_cast<int>(std::strlen(PinyinTable::syllables[s]));
    }
    m_readings.resize(static_cast<size_t>(PinyinTable::readingSetCount));
    for (int set = 1; set < PinyinTable::readingSetCount; ++set) {
        Reading& reading = m_readings[static_cast<size_t>(set)];
        for (const unsigned short s : PinyinTable::syllablesOf(set)) {
            const SyllableMasks& masks = syllables[s];
            reading.byShift[static_cast<size_t>(lengths[s])] |= masks.whole;
            reading.byShift[2] |= masks.twoLetter;
            reading.byShift[1] |= m_ascii[static_cast<unsigned char>(PinyinTable::syllables[s][0])];
            reading.toEnd |= masks.toEnd;
        }
    }
}

std::uint64_t TermMatcher::literalMask(char32_t ch) const {
    for (const auto& [other, mask] : m_otherChars) {
        if (other == ch) {
            return mask;
        }
    }
    return 0;
}

bool TermMatcher::matchesLiterally(QStringView text) const {
    return text.contains(m_folded);
}

// Every position of the term the runs ending at the current character have reached is a bit of
// `reached`; a run may also start at each character. All runs advance together, one character at
// a time, so a text is read once however many readings its characters have.
bool TermMatcher::matches(QStringView foldedText) const {
    if (m_literalOnly) {
        return matchesLiterally(foldedText);
    }
    std::uint64_t reached = 0;
    const QChar* it = foldedText.begin();
    const QChar* const end = foldedText.end();
    while (it != end) {
        char32_t ch = it->unicode();
        ++it;
        if (QChar::isHighSurrogate(ch) && it != end && it->isLowSurrogate()) {
            ch = QChar::surrogateToUcs4(static_cast<char16_t>(ch), it->unicode());
            ++it;
        }
        const std::uint64_t from = reached | 1;
        std::uint64_t next;
        if (ch < 128) {
            next = (from & m_ascii[ch]) << 1;
        } else {
            next = (from & literalMask(ch)) << 1;
            if (const int set = PinyinTable::readingSetOf(ch); set != 0) {
                const Reading& reading = m_readings[static_cast<size_t>(set)];
                if ((from & reading.toEnd) != 0) {
                    return true;
                }
                for (size_t k = 1; k <= MaxShift; ++k) {
                    next |= (from & reading.byShift[k]) << k;
                }
            }
        }
        if ((next & m_accept) != 0) {
            return true;
        }
        reached = next;
    }
    return false;
}
