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

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_sign(char c) { return c == '+' || c == '-'; }

// The shape of a real's text: [sign] digits [. digits] [exponent], with at
// least one digit in the mantissa; *point tells whether it had a point.
bool real_shape(const char *t, int64_t n, bool *point)
{
    int64_t p = 0, digits = 0;
    *point = false;
    if (p < n && is_sign(t[p]))
        ++p;
    for (; p < n && (is_digit(t[p]) || (t[p] == '.' && !*point)); ++p) {
        if (t[p] == '.')
            *point = true;
        else
            ++digits;
    }
    if (digits == 0)
        return false;
    if (p == n)
        return true;
    char c = t[p];
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
        ++p;
        if (p < n && is_sign(t[p]))
            ++p;
    } else if (is_sign(c)) {
        ++p;
    } else {
        return false;
    }
    int64_t exponent_digits = 0;
    for (; p < n && is_digit(t[p]); ++p)
        ++exponent_digits;
    return exponent_digits > 0 && p == n;
}

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
    if (single)
        n += snprintf(exponent_form + n, sizeof exponent_form - static_cast<size_t>(n), "%+d", d->exponent);
    else
        n += snprintf(exponent_form + n, sizeof exponent_form - static_cast<size_t>(n), "D%d", d->exponent);
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

int card_real(const char *t, int64_t n, int single, double *value)
{
    *value = 0.0;
    if (n == 0)
        return CARD_NUMBER_DONE;
    bool point = false;
    if (!real_shape(t, n, &point))
        return CARD_NUMBER_BAD;
    if (!point)
        return CARD_NUMBER_NO_POINT;
    uint32_t words[2];
    if (number_words(t, n, single ? 1 : 2, words) != 0)
        return CARD_NUMBER_BAD;
    if (single) {
        float f;
        memcpy(&f, words, 4);
        *value = f;
    } else {
        uint64_t bits = static_cast<uint64_t>(words[1]) << 32 | words[0];
        memcpy(value, &bits, 8);
    }
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
    for (int precision = shortest.count - 1; precision >= 1; --precision) {
        Decimal d = digits_of(value, single, precision);
        length = render(&d, single, text);
        if (length > width)
            continue;
        if (!reads_finite(text, length, single)) {
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
