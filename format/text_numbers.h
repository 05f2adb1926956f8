// Numbers as Fortran writes them in text matrix files, both directions:
// the parser gives the binary32 or binary64 nearest to a number's text;
// the formatter writes a value as Fortran's 1PEw.d edit descriptor does.
#ifndef FORMAT_TEXT_NUMBERS_H
#define FORMAT_TEXT_NUMBERS_H

#include <cstdint>

// One number's text as its words: a binary32 (one word) or a binary64
// (two, low half first), rounded once from the text. Takes E or D
// exponents, an exponent without its letter (1.0-100), a leading +, NaN
// and Infinity; a number beyond the range is an infinity of its sign, one
// below it a zero of its sign. 0 on success.
int number_words(const char *text, int64_t length, int words_per_number, uint32_t words[2]);

// Writes value as 1PEw.d (one digit before the point, digits after it,
// w = digits + 7), right-aligned in width characters: E+dd, or +ddd/-ddd
// without the letter beyond 99; NaN, Infinity, -Infinity. Returns the
// characters written (width), out needs width bytes.
int format_fortran_e(double value, int digits, int width, char *out);

#endif
