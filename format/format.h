// The matrix file format as data: sizes, limits and the records' fields,
// and every question about a value type or a header answered once.
#ifndef FORMAT_FORMAT_H
#define FORMAT_FORMAT_H

#include <cstddef>
#include <cstdint>

constexpr int NAME_LENGTH = 8;
constexpr int64_t HEADER_BYTES = 24;      // columns, rows, form, value type, name
constexpr int64_t COLUMN_HEAD_BYTES = 12; // column, first row, word count
constexpr int32_t WORD_BUFFER_WORDS = 1000000;
constexpr int64_t CAPACITY_LIMIT = 100000000;
constexpr size_t PROBLEM_LENGTH = 256;

// Value types, the packing of a string header word (length x 65536 + row),
// the highest row of packed strings and the longest packed string.
constexpr int32_t VALUE_TYPE_SINGLE = 1;
constexpr int32_t VALUE_TYPE_DOUBLE = 2;
constexpr int32_t VALUE_TYPE_COMPLEX_SINGLE = 3;
constexpr int32_t VALUE_TYPE_COMPLEX_DOUBLE = 4;
constexpr int32_t PACKED_ROW_FACTOR = 65536;
constexpr int32_t LARGE_ROW_BOUND = 65535;
constexpr int64_t MAX_STRING_LENGTH = 32767;             // L of a packed or value-count string
constexpr int64_t MAX_STRING_WORDS = MAX_STRING_LENGTH - 1; // data words of a packed string
constexpr int64_t MAX_TEXT_STRING_WORDS = 1523;          // a text string header H fits 8 characters

// Text layouts: T1's fixed integer fields (16 wide in "|I16" files) and
// the longest line any layout writes.
constexpr int T1_FIELD = 8;
constexpr int T1_WIDE_FIELD = 16;
constexpr int64_t MAX_TEXT_LINE = 400;
constexpr int MAX_NUMBER_TEXT = 64;

struct HeaderRecord {
    int32_t column_count;
    int32_t row_count;
    int32_t form;
    int32_t value_type;
    char name[NAME_LENGTH];
};

struct ColumnHead {
    int32_t column;
    int32_t first_row;
    int32_t word_count;
};

// What one value is made of; every value type other than 2, 3, 4 is single.
enum ValueLayout { LAYOUT_SINGLE, LAYOUT_DOUBLE, LAYOUT_COMPLEX_SINGLE, LAYOUT_COMPLEX_DOUBLE };

constexpr ValueLayout layout_of(int32_t value_type)
{
    return value_type == VALUE_TYPE_DOUBLE           ? LAYOUT_DOUBLE
           : value_type == VALUE_TYPE_COMPLEX_SINGLE ? LAYOUT_COMPLEX_SINGLE
           : value_type == VALUE_TYPE_COMPLEX_DOUBLE ? LAYOUT_COMPLEX_DOUBLE
                                                     : LAYOUT_SINGLE;
}
constexpr bool layout_is_double(ValueLayout l) { return l == LAYOUT_DOUBLE || l == LAYOUT_COMPLEX_DOUBLE; }
constexpr bool layout_is_complex(ValueLayout l) { return l == LAYOUT_COMPLEX_SINGLE || l == LAYOUT_COMPLEX_DOUBLE; }
constexpr int64_t layout_words(ValueLayout l)
{
    return l == LAYOUT_SINGLE ? 1 : l == LAYOUT_COMPLEX_DOUBLE ? 4 : 2;
}

constexpr int value_type_is_complex(int32_t value_type) { return layout_is_complex(layout_of(value_type)); }
constexpr int value_type_is_double(int32_t value_type) { return layout_is_double(layout_of(value_type)); }
constexpr int64_t words_per_value(int32_t value_type) { return layout_words(layout_of(value_type)); }
constexpr int32_t value_type_of(int is_double, int is_complex)
{
    return is_complex ? (is_double ? VALUE_TYPE_COMPLEX_DOUBLE : VALUE_TYPE_COMPLEX_SINGLE)
                      : (is_double ? VALUE_TYPE_DOUBLE : VALUE_TYPE_SINGLE);
}

// The large flag: row_count above 65535 as an unsigned number.
constexpr int header_is_large(int32_t row_count)
{
    return static_cast<uint32_t>(row_count) > static_cast<uint32_t>(LARGE_ROW_BOUND);
}
// The row count's absolute value (INT32_MIN is ruled out by header_is_valid).
constexpr int64_t header_rows(int32_t row_count) { return row_count < 0 ? -int64_t(row_count) : row_count; }
// Sizes an output can be created from.
constexpr int header_is_valid(int32_t row_count, int32_t column_count)
{
    return row_count != INT32_MIN && column_count >= 0;
}

// A name whose 8 bytes all lie in 0x20 .. 0x7A.
inline int is_printable_name(const char name[NAME_LENGTH])
{
    for (int i = 0; i < NAME_LENGTH; ++i)
        if (static_cast<unsigned char>(name[i]) < 0x20 || static_cast<unsigned char>(name[i]) > 0x7A)
            return 0;
    return 1;
}

// The name that asks a reader for the list of a file's matrices.
constexpr char LIST_MODE_NAME[] = "XXXXXXXX";

// A name field: text left-aligned, blank-filled to its length.
inline void blank_filled(const char *text, size_t length, char field[NAME_LENGTH])
{
    for (size_t i = 0; i < static_cast<size_t>(NAME_LENGTH); ++i)
        field[i] = i < length ? text[i] : ' ';
}

// 1 when name (a C string) can name a matrix in a file: 1 to 8 characters
// from ! to z, and not the list-mode name; field gets it blank-filled.
inline int writable_name(const char *name, char field[NAME_LENGTH])
{
    size_t length = 0;
    while (name[length] != '\0' && length <= static_cast<size_t>(NAME_LENGTH))
        ++length;
    if (length == 0 || length > static_cast<size_t>(NAME_LENGTH))
        return 0;
    int list_mode = length == static_cast<size_t>(NAME_LENGTH);
    for (size_t k = 0; k < length; ++k) {
        if (name[k] < '!' || name[k] > 'z')
            return 0;
        list_mode &= name[k] == LIST_MODE_NAME[k];
    }
    if (list_mode)
        return 0;
    blank_filled(name, length, field);
    return 1;
}

// The name without its trailing blanks, as a C string.
inline void trimmed_name(const char name[NAME_LENGTH], char text[NAME_LENGTH + 1])
{
    int length = NAME_LENGTH;
    while (length > 0 && name[length - 1] == ' ')
        --length;
    for (int i = 0; i < length; ++i)
        text[i] = name[i];
    text[length] = '\0';
}

// The string header word H = length x 65536 + row, split by signed
// division truncating toward zero.
inline void split_string_header(int32_t header, int64_t *length, int64_t *row)
{
    *length = header / PACKED_ROW_FACTOR;
    *row = header - PACKED_ROW_FACTOR * *length;
}

#endif
