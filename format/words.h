// How the format's numbers lie in its 32-bit words, in one place: a word's
// bytes in the file's byte order, and a double's two words (low half
// first in little-endian files, high half first in big-endian ones).
#ifndef FORMAT_WORDS_H
#define FORMAT_WORDS_H

#include <cstdint>
#include <cstring>

// A word between the machine's byte order and the file's.
inline uint32_t word_in_order(uint32_t word, int big_endian) { return big_endian ? __builtin_bswap32(word) : word; }

// The double made of two consecutive words.
inline double double_of_words(uint32_t first, uint32_t second, bool high_half_first)
{
    uint64_t bits = high_half_first ? static_cast<uint64_t>(first) << 32 | second : static_cast<uint64_t>(second) << 32 | first;
    double value;
    memcpy(&value, &bits, sizeof value);
    return value;
}

// A double as two consecutive words.
inline void words_of_double(double value, bool high_half_first, uint32_t out[2])
{
    uint64_t bits;
    memcpy(&bits, &value, sizeof bits);
    auto low = static_cast<uint32_t>(bits), high = static_cast<uint32_t>(bits >> 32);
    out[0] = high_half_first ? high : low;
    out[1] = high_half_first ? low : high;
}

inline float single_of_word(uint32_t word)
{
    float value;
    memcpy(&value, &word, sizeof value);
    return value;
}

#endif
