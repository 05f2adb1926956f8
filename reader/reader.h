// The reader's routines: locating a matrix by name, bounding its entries,
// and decoding its column records into compressed sparse columns.
#ifndef READER_READER_H
#define READER_READER_H

#include <cstddef>
#include <cstdint>

#include "records.h"

enum LocateStatus { LOCATE_FOUND = 0, LOCATE_NOT_OPENED = 1, LOCATE_NOT_FOUND = 2 };
enum DecodeStatus { DECODE_DONE = 0, DECODE_CAPACITY = 1, DECODE_DAMAGED = 2, DECODE_NO_MEMORY = 3 };

constexpr int64_t CAPACITY_LIMIT = 100000000;

// The format's numbers: value types, the packing of a string header word
// (length x 65536 + row), and the highest row count of packed strings.
constexpr int32_t VALUE_TYPE_SINGLE = 1;
constexpr int32_t VALUE_TYPE_DOUBLE = 2;
constexpr int32_t VALUE_TYPE_COMPLEX_SINGLE = 3;
constexpr int32_t VALUE_TYPE_COMPLEX_DOUBLE = 4;
constexpr int32_t PACKED_ROW_FACTOR = 65536;
constexpr int32_t LARGE_ROW_BOUND = 65535;

// What one value is made of; every value type other than 2, 3, 4 is single.
enum ValueLayout { LAYOUT_SINGLE, LAYOUT_DOUBLE, LAYOUT_COMPLEX_SINGLE, LAYOUT_COMPLEX_DOUBLE };
ValueLayout layout_of(int32_t value_type);
int value_type_is_complex(int32_t value_type);
int value_type_is_double(int32_t value_type); // double precision, real or complex
constexpr size_t PROBLEM_LENGTH = 256;

// A name whose 8 bytes all lie in 0x20 .. 0x7A.
int is_printable_name(const char name[NAME_LENGTH]);

// The third input truncated toward zero; NaN and out-of-range give INT32_MIN.
int32_t selector_from_double(double value);

void LOCATEMATRIX(const char file_name_field[FILE_NAME_LENGTH], const char wanted_name_field[NAME_LENGTH],
                  double third_input, int32_t *selector, int32_t *row_count, int32_t *column_count,
                  int32_t *value_type, int32_t *locate_status);

// The output's sizes from a located header: the large flag (row_count
// above 65535 as an unsigned number), the row count's absolute value and
// the capacity rows x columns, lowered to CAPACITY_LIMIT. The header has
// been checked: row_count is not INT32_MIN and column_count is not negative.
void SIZESFROMHEADER(int32_t row_count, int32_t column_count, int32_t *large_flag, int32_t *rows,
                     int64_t *capacity);

// Room to create the output with: what the rest of the file can hold, but
// no more than the capacity and a first allotment; the output grows later.
int64_t INITIALSLOTS(int64_t capacity, int32_t value_type);

// What READCOLUMNS fills; slots is the room in values and rows. When the
// room runs out below the capacity, grow (if set) is asked for more: it
// returns 0 with values, rows, imag and slots updated, or 1 without memory.
struct SparseOutput {
    double *values;
    int64_t *rows;
    int64_t *column_pointers; // column_count + 1 slots
    int64_t slots;
    int (*grow)(struct SparseOutput *output, int64_t slots, void *context);
    void *context;
    double *imag = nullptr;            // imaginary parts of a complex matrix, else null
    WordStore *long_records = nullptr; // room for records longer than the word buffer, or null
    int (*matrix_ends_here)() = nullptr; // asked before each record, when set: 1 ends the matrix there
};

// Before any output exists: whether the matrix's first column record can
// be followed. 0 when it can (or none is needed), else DECODE_DAMAGED with
// problem saying what decoding would have said.
int FIRSTRECORDCHECK(int32_t column_count, char problem[PROBLEM_LENGTH]);

// Decodes into *output; row_count is the matrix's (positive) row count.
// On DECODE_DAMAGED, problem says what is wrong and where.
void READCOLUMNS(SparseOutput *output, int32_t column_count, int64_t capacity, int32_t row_count,
                 int32_t value_type, int32_t selector, int32_t large_flag, int32_t *decode_status,
                 char problem[PROBLEM_LENGTH]);

// READCOLUMNS without the close: the channel stays open behind the last
// record read; end_record_read tells whether that was the end record.
void DECODECOLUMNS(SparseOutput *output, int32_t column_count, int64_t capacity, int32_t row_count,
                   int32_t value_type, int32_t selector, int32_t large_flag, int32_t *decode_status,
                   char problem[PROBLEM_LENGTH], int *end_record_read);

// 1 when a string record's strings count values rather than words + 1.
int strings_count_values(const RecordView *view, int32_t value_type, int64_t row_count);

#endif
