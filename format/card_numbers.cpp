// The rules of the cards' numbers: a real has a decimal point, an
// exponent may lack its letter; reading rounds once to the input's
// precision, writing gives as many digits as the field holds.
#include "card_numbers.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "text_numbers.h"
#include "words.h"

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_sign(char c) { return c == '+' || c == '-'; }

// Digits and decimal exponent of a value's scientific text d.ddde[+-]x.
struct Decimal {
    char digits[800];
    int count;
    int exponent; // of the first digit
    bool negative;
};

Decimal decimal_of(const char *text, const char *end)
{
    Decimal d = {};
    const char *p = text;
    d.negative = *p == '-';
    if (d.negative)
        ++p;
    for (; p < end && *p != 'e'; ++p)
        if (is_digit(*p))
            d.digits[d.count++] = *p;
    // The exponent, read within the text (it is not terminated).
    int sign = 1, exponent = 0;
    for (const char *q = p + 1; q < end; ++q) {
        if (*q == '-')
            sign = -1;
        else if (is_digit(*q))
            exponent = exponent * 10 + (*q - '0');
    }
    d.exponent = sign * exponent;
    while (d.count > 1 && d.digits[d.count - 1] == '0')
        --d.count; // trailing zeros carry nothing
    return d;
}

// The value's digits: shortest round trip (precision < 0) or correctly rounded to precision digits.
Decimal digits_of(double value, int single, int precision)
{
    char text[900];
    std::to_chars_result r;
    if (precision < 0)
        r = single ? std::to_chars(text, text + sizeof text, static_cast<float>(value), std::chars_format::scientific)
                   : std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
    else
        r = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, precision - 1);
    return decimal_of(text, r.ptr);
}

// A decimal as text: exponent form (double: D and its exponent; single: the
// exponent's sign alone), or for single precision the positional form
// where that is shorter. Returns the length.
int render(const Decimal *d, int single, char *out)
{
    char exponent_form[64], positional[64];
    int n = 0;
    if (d->negative)
        exponent_form[n++] = '-';
    exponent_form[n++] = d->digits[0];
    exponent_form[n++] = '.';
    for (int k = 1; k < d->count; ++k)
        exponent_form[n++] = d->digits[k];
    // Single: the exponent's sign alone; double: D, then a sign only when negative.
    if (!single)
        exponent_form[n++] = 'D';
    if (single || d->exponent < 0)
        exponent_form[n++] = d->exponent < 0 ? '-' : '+';
    int magnitude = d->exponent < 0 ? -d->exponent : d->exponent;
    n = static_cast<int>(std::to_chars(exponent_form + n, exponent_form + sizeof exponent_form, magnitude).ptr - exponent_form);
    int m = 0;
    if (single && d->exponent >= -3 && d->exponent < 9) {
        if (d->negative)
            positional[m++] = '-';
        if (d->exponent < 0) {
            positional[m++] = '.';
            for (int k = -1; k > d->exponent; --k)
                positional[m++] = '0';
            for (int k = 0; k < d->count; ++k)
                positional[m++] = d->digits[k];
        } else {
            for (int k = 0; k <= d->exponent || k < d->count; ++k) {
                if (k == d->exponent + 1)
                    positional[m++] = '.';
                positional[m++] = k < d->count ? d->digits[k] : '0';
            }
            if (d->count <= d->exponent + 1)
                positional[m++] = '.';
        }
    }
    if (m > 0 && m < n) {
        memcpy(out, positional, static_cast<size_t>(m));
        return m;
    }
    memcpy(out, exponent_form, static_cast<size_t>(n));
    return n;
}

// Reads back as the value would, in the precision: finite.
bool reads_finite(const char *text, int length, int single)
{
    double value = 0;
    return card_real(text, length, single, &value) == CARD_NUMBER_DONE;
}

// The decimal cut to count digits toward zero (from the value's exact digits).
Decimal truncated(double value, int count)
{
    Decimal exact = digits_of(value, 0, 780);
    if (exact.count > count)
        exact.count = count;
    return exact;
}

} // namespace

int card_integer(const char *t, int64_t n, int64_t *value)
{
    *value = 0;
    if (n == 0)
        return CARD_NUMBER_DONE;
    int64_t p = is_sign(t[0]) ? 1 : 0;
    if (p == n)
        return CARD_NUMBER_BAD;
    int64_t v = 0;
    for (int64_t k = p; k < n; ++k) {
        if (t[k] == '.')
            return CARD_NUMBER_POINT;
        if (!is_digit(t[k]))
            return CARD_NUMBER_BAD;
        v = v * 10 + (t[k] - '0');
        if (v > INT32_MAX)
            return CARD_NUMBER_RANGE;
    }
    *value = t[0] == '-' ? -v : v;
    return CARD_NUMBER_DONE;
}

int card_text_is_real(const char *t, int64_t n) { return memchr(t, '.', static_cast<size_t>(n)) != nullptr; }

namespace {

// Exact powers of ten: every one up to 10^22 is a double, up to 10^10 a float.
constexpr double DOUBLE_POWERS[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr float SINGLE_POWERS[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};

// A real's text in one pass: its digits as an integer (while they fit),
// their count, the power of ten they are scaled by, and whether it has a
// point; false when the text is no real's.
struct RealText {
    uint64_t digits;
    int count;       // significant digits
    int64_t scale;   // value = digits x 10^scale
    bool negative, point;
};

bool scan_real(const char *t, int64_t n, RealText *r)
{
    *r = RealText{};
    int64_t p = 0, mantissa_digits = 0;
    r->negative = t[0] == '-';
    if (is_sign(t[0]))
        ++p;
    for (; p < n; ++p) {
        char c = t[p];
        if (c == '.' && !r->point) {
            r->point = true;
            continue;
        }
        if (!is_digit(c))
            break;
        ++mantissa_digits;
        if (r->count == 0 && c == '0') {
            if (r->point)
                --r->scale;
            continue;
        }
        if (r->count < 19) {
            r->digits = r->digits * 10 + static_cast<uint64_t>(c - '0');
            ++r->count;
            if (r->point)
                --r->scale;
        } else {
            r->count = 20; // more digits than the fast way takes
            if (!r->point)
                ++r->scale;
        }
    }
    if (mantissa_digits == 0)
        return false;
    if (p == n)
        return true;
    char c = t[p];
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd')
        ++p;
    else if (!is_sign(c))
        return false;
    bool negative_exponent = p < n && t[p] == '-';
    if (p < n && is_sign(t[p]))
        ++p;
    int64_t exponent = 0, exponent_digits = 0;
    for (; p < n && is_digit(t[p]); ++p, ++exponent_digits)
        exponent = exponent < 100000 ? exponent * 10 + (t[p] - '0') : exponent;
    r->scale += negative_exponent ? -exponent : exponent;
    return exponent_digits > 0 && p == n;
}

} // namespace

int card_real(const char *t, int64_t n, int single, double *value)
{
    *value = 0.0;
    if (n == 0)
        return CARD_NUMBER_DONE;
    RealText r;
    if (!scan_real(t, n, &r))
        return CARD_NUMBER_BAD;
    if (!r.point)
        return CARD_NUMBER_NO_POINT;
    // Few digits and a small scale: one exact product or quotient, rounded
    // once (the value is the one nearest its text, as the slow way gives).
    if (!single && r.count <= 15 && r.scale >= -22 && r.scale <= 22) {
        double m = static_cast<double>(r.digits);
        *value = r.scale >= 0 ? m * DOUBLE_POWERS[r.scale] : m / DOUBLE_POWERS[-r.scale];
        *value = r.negative ? -*value : *value;
        return CARD_NUMBER_DONE;
    }
    if (single && r.count <= 7 && r.scale >= -10 && r.scale <= 10) {
        float m = static_cast<float>(r.digits);
        float f = r.scale >= 0 ? m * SINGLE_POWERS[r.scale] : m / SINGLE_POWERS[-r.scale];
        *value = r.negative ? -static_cast<double>(f) : static_cast<double>(f);
        return CARD_NUMBER_DONE;
    }
    uint32_t words[2];
    if (number_words(t, n, single ? 1 : 2, words) != 0)
        return CARD_NUMBER_BAD;
    *value = single ? single_of_word(words[0]) : double_of_words(words[0], words[1], false);
    return std::isinf(*value) ? CARD_NUMBER_RANGE : CARD_NUMBER_DONE;
}

int format_card_real(double value, int single, int width, char *out)
{
    if (!std::isfinite(value) || (single && std::isinf(static_cast<float>(value))))
        return 0;
    char text[64];
    Decimal shortest = digits_of(value, single, -1);
    int length = render(&shortest, single, text);
    if (length <= width) {
        memcpy(out, text, static_cast<size_t>(length));
        return length;
    }
    // Doubles: the digits "d.ddd" leaves room for beside the sign and the
    // shortest text's exponent (rounding moves that exponent by one at
    // most); singles may do better without an exponent, so they try all.
    int magnitude = shortest.exponent < 0 ? -shortest.exponent : shortest.exponent;
    int exponent_length = 1 + (shortest.exponent < 0) + (magnitude >= 100 ? 3 : magnitude >= 10 ? 2 : 1);
    int fits = width - (shortest.negative ? 1 : 0) - 1 - exponent_length;
    int start = single || fits + 1 > shortest.count - 1 ? shortest.count - 1 : fits + 1;
    for (int precision = start > 1 ? start : 1; precision >= 1; --precision) {
        Decimal d = digits_of(value, single, precision);
        length = render(&d, single, text);
        if (length > width)
            continue;
        // Rounding up can pass the precision's largest value; then toward zero.
        bool near_top = std::fabs(value) > (single ? 3.0e38 : 1.7e308);
        if (near_top && !reads_finite(text, length, single)) {
            d = truncated(value, precision);
            length = render(&d, single, text);
            if (length > width)
                continue;
        }
        memcpy(out, text, static_cast<size_t>(length));
        return length;
    }
    return 0;
}

int card_name_is_valid(const char *t, int64_t n, char upper[CARD_NAME_LENGTH + 1])
{
    if (n < 1 || n > CARD_NAME_LENGTH)
        return 0;
    for (int64_t k = 0; k < n; ++k) {
        char c = t[k];
        char u = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        bool letter = u >= 'A' && u <= 'Z';
        if (!letter && (k == 0 || !is_digit(c)))
            return 0;
        upper[k] = u;
    }
    upper[n] = '\0';
    return 1;
}
