// Numbers and names in the fields of bulk-data cards (DMIG, DMI), both
// directions: what a field's text means, and the text that carries a
// value in a field of a given width.
#ifndef FORMAT_CARD_NUMBERS_H
#define FORMAT_CARD_NUMBERS_H

#include <cstdint>

constexpr int SMALL_FIELD = 8;  // columns of a small-field data field
constexpr int LARGE_FIELD = 16; // columns of a large-field data field
constexpr int CARD_NAME_LENGTH = 8;

enum CardNumberStatus {
    CARD_NUMBER_DONE = 0,
    CARD_NUMBER_NO_POINT,  // digits only where a real belongs
    CARD_NUMBER_POINT,     // a decimal point where an integer belongs
    CARD_NUMBER_BAD,       // text that is no number
    CARD_NUMBER_RANGE      // beyond the precision's range
};

// A field's text without its surrounding blanks (length 0: blank).
// Integers: an optional sign and digits; blank is 0; the value must fit
// 32 bits.
int card_integer(const char *text, int64_t length, int64_t *value);
// Reals: an optional sign, digits with a decimal point, an optional
// exponent (E or D with an optional sign, or a sign alone); blank is 0.0.
// The nearest binary32 (single) widened, or the nearest binary64.
int card_real(const char *text, int64_t length, int single, double *value);
// 1 when the text is a real's (it holds a decimal point), for fields that
// may hold either.
int card_text_is_real(const char *text, int64_t length);

// The text of value for a field of width columns, at most width
// characters (no padding): the shortest text that reads back as the value
// (in single precision: as its binary32) when that fits, else the most
// significant digits that fit, correctly rounded, toward zero where
// rounding up would overflow the precision. Double precision always
// carries a D exponent, single precision never does. Returns the length;
// 0 for NaN and infinities, which no field carries.
int format_card_real(double value, int single, int width, char *out);

// A matrix name both solver families take: 1 to 8 letters or digits, a
// letter first. upper gets it in upper case, terminated.
int card_name_is_valid(const char *text, int64_t length, char upper[CARD_NAME_LENGTH + 1]);

#endif
