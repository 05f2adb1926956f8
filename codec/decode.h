// Decoding a located matrix's column records into compressed sparse
// columns: its plan (sizes, capacity, the first record's framing, memory),
// then the records, whatever their encoding.
#ifndef CODEC_DECODE_H
#define CODEC_DECODE_H

#include <cstdint>

#include "problem.h"
#include "records.h"

enum DecodeStatus { DECODE_DONE = 0, DECODE_CAPACITY = 1, DECODE_DAMAGED = 2, DECODE_NO_MEMORY = 3 };

// The problem status (problem.h) of a decode status, for the front ends' identifiers.
int decode_problem(int decode_status);

// What decoding a matrix needs to know, from its header and the call.
struct MatrixPlan {
    int32_t column_count;
    int32_t rows;          // the row count's absolute value
    int32_t value_type;
    int32_t selector;
    int32_t large_flag;    // row_count above 65535 as an unsigned number
    int complex_values;
    int64_t capacity;      // rows x columns, lowered to CAPACITY_LIMIT
    int64_t initial_slots; // room to create the output with; it grows later
    int64_t reserve_slots; // room worth reserving unwritten: every entry the rest of the file can hold
    int64_t pointer_slots; // column pointers to create the output with
};

// What DECODECOLUMNS fills; slots is the room in values and rows. When the
// room runs out below the capacity, grow (if set) is asked for more: it
// returns 0 with values, rows, imag and slots updated, or 1 without memory.
// Column pointers likewise: pointer_slots of them, grow_pointers (if set)
// asked for more before a column beyond them starts, so that a damaged
// header costs no memory for columns the file never reaches.
struct SparseOutput {
    double *values;
    double *imag; // imaginary parts of a complex matrix, else null
    int64_t *rows;
    int64_t slots;
    int (*grow)(struct SparseOutput *output, int64_t slots, void *context);
    int64_t *column_pointers;
    int64_t pointer_slots;
    int (*grow_pointers)(struct SparseOutput *output, int64_t slots, void *context);
    void *context;
    WordStore *long_records; // room for records longer than the word buffer, or null
    // Asked before each record, when set: 1 ends the matrix there.
    int (*matrix_ends_here)(MatrixChannel *ch, void *watch);
    void *watch;
    // When set, no column pointers are kept: it is told instead that the
    // columns first .. last (0-based; last = column_count for the final
    // pointer) start at entry start; nonzero without memory.
    int (*columns_start)(struct SparseOutput *output, int64_t first, int64_t last, int64_t start, void *context);
};

// The third input truncated toward zero; NaN and out-of-range give INT32_MIN.
int32_t selector_from_double(double value);

// The output's sizes from a located header: the large flag, the rows and
// the capacity. The header has been checked (header_is_valid).
void SIZESFROMHEADER(int32_t row_count, int32_t column_count, int32_t *large_flag, int32_t *rows,
                     int64_t *capacity);

// Room to create the output with: what the rest of the file can hold, but
// no more than the capacity and a first allotment.
int64_t INITIALSLOTS(const MatrixChannel *ch, int64_t capacity, int32_t value_type);

// Before any output exists: whether the matrix's first column record can
// be followed. 0 when it can (or none is needed), else DECODE_DAMAGED with
// problem saying what decoding would have said.
int FIRSTRECORDCHECK(MatrixChannel *ch, int32_t column_count, char problem[PROBLEM_LENGTH]);

// The plan of the matrix whose header was read last: DECODE_DONE, or
// DECODE_DAMAGED / DECODE_NO_MEMORY with problem set, before any memory
// is taken. A header with sizes no matrix can have is damage.
int plan_matrix(MatrixChannel *ch, const HeaderRecord *header, int32_t selector, MatrixPlan *plan,
                char problem[PROBLEM_LENGTH]);

// Decodes into *output. On a status other than DECODE_DONE, problem says
// what is wrong and where. The channel stays open behind the last record
// read; end_record_read tells whether that was the end record.
void DECODECOLUMNS(MatrixChannel *ch, SparseOutput *output, const MatrixPlan *plan, int32_t *decode_status,
                   char problem[PROBLEM_LENGTH], int *end_record_read);
// DECODECOLUMNS, then the channel closed on every way out.
void READCOLUMNS(MatrixChannel *ch, SparseOutput *output, const MatrixPlan *plan, int32_t *decode_status,
                 char problem[PROBLEM_LENGTH]);

// 1 when a string record's strings count values rather than words + 1.
int strings_count_values(const RecordView *view, int32_t value_type, int64_t row_count);

#endif
