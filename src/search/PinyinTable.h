#pragma once

#include <span>
#include <string_view>

// The toneless pinyin readings of the Han characters, generated at build time from the Unihan
// readings (tools/pinyingen). Characters with the same readings share one reading set.
namespace PinyinTable {

extern const int syllableCount;
extern const char* const syllables[];
extern const int readingSetCount;
extern const unsigned readingSetStart[];
extern const unsigned short readingSetSyllables[];
extern const unsigned short pageOfCodePoint[0x1100];
extern const unsigned short readingSetOnPage[][256];

// The reading set of a code point; 0 for one without readings.
inline int readingSetOf(char32_t codePoint) {
    if (codePoint > 0x10FFFF) {
        return 0;
    }
    return readingSetOnPage[pageOfCodePoint[codePoint >> 8]][codePoint & 0xFF];
}

// The syllables of a reading set, as indices into syllables.
inline std::span<const unsigned short> syllablesOf(int readingSet) {
    return {readingSetSyllables + readingSetStart[readingSet], readingSetSyllables + readingSetStart[readingSet + 1]};
}

} // namespace PinyinTable
