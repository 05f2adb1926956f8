// One parser and one formatter for every build, so that a text reads the
// same in every host and a written number reads back bit for bit.
#include "text_numbers.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "format.h"
#include "words.h"

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The decimal magnitude of a plain number's text (digits before the
// point of its first nonzero digit, plus its exponent): above 0 for a
// number of at least 1. Only asked of numbers out of range, which lie far
// from 1 either way.
int64_t decimal_magnitude(const char *p, const char *end)
{
    if (p < end && (*p == '-' || *p == '+'))
        ++p;
    int64_t magnitude = 0;
    bool seen_nonzero = false, after_point = false;
    for (; p < end && (is_digit(*p) || *p == '.'); ++p) {
        if (*p == '.') {
            after_point = true;
            continue;
        }
        if (!seen_nonzero && *p != '0') {
            seen_nonzero = true;
            if (after_point)
                ++magnitude;
        }
        if (seen_nonzero && !after_point)
            ++magnitude;
        if (!seen_nonzero && after_point)
            --magnitude;
    }
    if (p < end && (*p == 'E' || *p == 'e')) {
        ++p;
        bool negative = p < end && *p == '-';
        if (p < end && (*p == '-' || *p == '+'))
            ++p;
        int64_t exponent = 0;
        for (; p < end && is_digit(*p); ++p)
            exponent = exponent > 100000 ? exponent : exponent * 10 + (*p - '0'); // saturates
        magnitude += negative ? -exponent : exponent;
    }
    return magnitude;
}

// The value nearest to a plain text (no D, no letterless exponent).
template <typename T> int nearest_value(const char *begin, const char *end, T *value)
{
    const char *p = begin;
    if (p < end && *p == '+')
        ++p; // from_chars takes no plus sign
    auto result = std::from_chars(p, end, *value, std::chars_format::general);
    if (result.ptr != end)
        return 1;
    if (result.ec == std::errc::result_out_of_range) {
        T magnitude = decimal_magnitude(p, end) > 0 ? std::numeric_limits<T>::infinity() : T(0);
        *value = *p == '-' ? -magnitude : magnitude;
        return 0;
    }
    return result.ec != std::errc();
}

int words_of(const char *begin, const char *end, int words_per_number, uint32_t words[2])
{
    if (words_per_number == 1) {
        float value = 0;
        if (nearest_value(begin, end, &value) != 0)
            return 1;
        memcpy(&words[0], &value, 4);
        return 0;
    }
    double value = 0;
    if (nearest_value(begin, end, &value) != 0)
        return 1;
    words_of_double(value, false, words);
    return 0;
}

// Copies length characters right-aligned into a field of width, or
// stars when they do not fit, as Fortran does.
int put_right_aligned(const char *text, int length, int width, char *out)
{
    if (width <= 0)
        return 0;
    if (length > width) {
        memset(out, '*', static_cast<size_t>(width));
        return width;
    }
    memset(out, ' ', static_cast<size_t>(width - length));
    memcpy(out + width - length, text, static_cast<size_t>(length));
    return width;
}

int put_word(const char *word, int width, char *out)
{
    return put_right_aligned(word, static_cast<int>(strlen(word)), width, out);
}

} // namespace

int number_words(const char *text, int64_t length, int words_per_number, uint32_t words[2])
{
    if (length <= 0 || length > MAX_NUMBER_TEXT)
        return 1;
    const char *end = text + length, *k = end;
    while (k > text && is_digit(*(k - 1)))
        --k;
    bool rewrite = (k > text && (*(k - 1) == 'D' || *(k - 1) == 'd')) ||
                   (k - 1 > text && (*(k - 1) == '+' || *(k - 1) == '-') && *(k - 2) != 'E' && *(k - 2) != 'e');
    if (!rewrite)
        return words_of(text, end, words_per_number, words);
    // Fortran's exponent forms rewritten as E exponents.
    char buffer[MAX_NUMBER_TEXT + 2];
    int used = 0, has_exponent = 0;
    for (const char *p = text; p < end; ++p) {
        char c = *p;
        if ((c == '+' || c == '-') && used > 0 && !has_exponent && (is_digit(buffer[used - 1]) || buffer[used - 1] == '.')) {
            has_exponent = 1;
            buffer[used++] = 'E';
        }
        if (c == 'D' || c == 'd' || c == 'E' || c == 'e') {
            has_exponent = 1;
            c = 'E';
        }
        buffer[used++] = c;
    }
    return words_of(buffer, buffer + used, words_per_number, words);
}

int format_fortran_e(double value, int digits, int width, char *out)
{
    if (std::isnan(value))
        return put_word("NaN", width, out);
    if (std::isinf(value)) {
        const char *word = value < 0 ? (width >= 9 ? "-Infinity" : "-Inf") : (width >= 8 ? "Infinity" : "Inf");
        return put_word(word, width, out);
    }
    // to_chars gives the correctly rounded d.ddde[+-]xx; Fortran's exponent
    // takes two digits after its letter, three without it.
    char text[64];
    auto result = std::to_chars(text, text + sizeof text - 2, value, std::chars_format::scientific, digits);
    if (result.ec != std::errc())
        return put_word("*", width, out);
    char *end = result.ptr, *e = end - 4; // "e+dd"
    if (*e != 'e')
        --e; // "e+ddd"
    if (digits == 0) {
        // "de+dd": the point goes before the exponent.
        memmove(e + 1, e, static_cast<size_t>(end - e));
        *e++ = '.';
        ++end;
    }
    if (end - e == 4) {
        *e = 'E';
    } else {
        memmove(e, e + 1, 4); // "+ddd" without the letter
        --end;
    }
    return put_right_aligned(text, static_cast<int>(end - text), width, out);
}
