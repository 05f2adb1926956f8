// Column decoding: dense, packed-string and large-matrix encodings in the
// single and double layouts, into compressed sparse columns.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "reader.h"

namespace {

constexpr float SINGLE_THRESHOLD = 1e-32f;
constexpr double DOUBLE_THRESHOLD = 1e-32;
constexpr int64_t FIRST_ALLOTMENT = int64_t(1) << 22;

// Working state of one READCOLUMNS call.
struct Decoder {
    SparseOutput *output;
    int64_t capacity;
    int64_t row_count;
    int32_t selector;
    int64_t entry_count;
    int64_t column_start; // first entry of the column started last
    int64_t last_row;     // row stored last in that column
    int32_t column;       // the current record's column field
    int32_t status;
    char *problem;
    int run_is_safe;      // no value of the current run can fail a check
    int64_t file_limit;   // entries the rest of the file could hold at most
};

// Word k of the record, k from 1.
int32_t word_int(int64_t k) { return static_cast<int32_t>(word_buffer[k - 1]); }

float word_single(int64_t k)
{
    float value;
    memcpy(&value, &word_buffer[k - 1], sizeof value);
    return value;
}

// Low half in word k, high half in word k + 1.
double word_double(int64_t k)
{
    uint64_t bits = static_cast<uint64_t>(word_buffer[k]) << 32 | word_buffer[k - 1];
    double value;
    memcpy(&value, &bits, sizeof value);
    return value;
}

int fail(Decoder *d, const char *what, int64_t detail)
{
    snprintf(d->problem, PROBLEM_LENGTH, what, static_cast<long long>(detail), d->column);
    d->status = DECODE_DAMAGED;
    return 1;
}

// Makes room for count more entries, growing the output up to the
// capacity and what the rest of the file can hold; 0 when there is room.
int ensure_room(Decoder *d, int64_t count)
{
    SparseOutput *out = d->output;
    if (count <= out->slots - d->entry_count)
        return 0;
    int64_t limit = d->capacity < d->file_limit ? d->capacity : d->file_limit;
    int64_t wanted = out->slots > limit / 2 ? limit : 2 * out->slots;
    if (wanted < d->entry_count + count)
        wanted = d->entry_count + count;
    if (wanted > limit || out->grow == nullptr)
        return 1;
    if (out->grow(out, wanted, out->context) != 0) {
        d->status = DECODE_NO_MEMORY;
        return 1;
    }
    return 0;
}

// Checks one entry before it is stored; nonzero when decoding must stop.
int check_entry(Decoder *d, int64_t row)
{
    if (row < 1 || row > d->row_count)
        return fail(d, "Damaged file: row %lld of column %d lies outside the matrix.", row);
    if (d->entry_count > d->column_start && row <= d->last_row)
        return fail(d, "Damaged file: row %lld of column %d is not greater than the row stored before it.", row);
    if (d->entry_count >= d->capacity) {
        d->status = DECODE_CAPACITY;
        return 1;
    }
    if (ensure_room(d, 1) != 0) {
        if (d->status != DECODE_NO_MEMORY)
            fail(d, "Damaged file: more entries than the file can hold (%lld, column %d).", d->entry_count);
        return 1;
    }
    return 0;
}

// A run of count values for rows first .. first + count - 1 needs no
// per-entry checks when all of them could be stored.
void begin_run(Decoder *d, int64_t first, int64_t count)
{
    d->run_is_safe = count <= 0 || (first >= 1 && first + count - 1 <= d->row_count &&
                                    (d->entry_count == d->column_start || first > d->last_row) &&
                                    count <= d->capacity - d->entry_count && ensure_room(d, count) == 0);
    d->status = DECODE_DONE; // a growth that failed here is tried again entry by entry
}

// Stores one entry; nonzero when decoding must stop.
inline int store(Decoder *d, int64_t row, double value)
{
    if (!d->run_is_safe && check_entry(d, row) != 0)
        return 1;
    d->output->rows[d->entry_count] = row - 1;
    d->output->values[d->entry_count] = value;
    ++d->entry_count;
    d->last_row = row;
    return 0;
}

int upper_kept(const Decoder *d, int64_t row) { return row <= d->column; }

// The three-way rule of the double-layout string paths.
int three_way_kept(const Decoder *d, int64_t row)
{
    if (d->selector > 0)
        return row <= d->column;
    if (d->selector < 0)
        return row >= d->column;
    return 1;
}

int decode_dense_single(Decoder *d, int32_t first_row, int64_t word_count)
{
    begin_run(d, first_row, word_count);
    for (int64_t j = 1; j <= word_count; ++j) {
        int64_t row = static_cast<int64_t>(first_row) + j - 1;
        float value = word_single(j);
        if ((d->selector != 1 || upper_kept(d, row)) && std::fabs(value) > SINGLE_THRESHOLD &&
            store(d, row, value) != 0)
            return 1;
    }
    return 0;
}

int decode_dense_double(Decoder *d, int32_t first_row, int64_t word_count)
{
    if (word_count % 2 != 0)
        return fail(d, "Damaged file: %lld words in a double-precision record of column %d; values need pairs.",
                    word_count);
    begin_run(d, first_row, word_count / 2);
    for (int64_t k = 0; k < word_count / 2; ++k) {
        int64_t row = static_cast<int64_t>(first_row) + k;
        double value = word_double(2 * k + 1);
        if ((d->selector != 1 || upper_kept(d, row)) && std::fabs(value) > DOUBLE_THRESHOLD &&
            store(d, row, value) != 0)
            return 1;
    }
    return 0;
}

int decode_packed(Decoder *d, int64_t word_count, int double_layout)
{
    for (int64_t m = 1; m < word_count;) {
        int32_t header = word_int(m);
        int64_t length = header / 65536;
        int64_t first = header - 65536 * length;
        if (length < 1)
            return fail(d, "Damaged file: string header word %lld of column %d has a length below 1.", m);
        if (m + length - 1 > word_count)
            return fail(d, "Damaged file: the string at word %lld of column %d runs past the record.", m);
        begin_run(d, first, double_layout ? length / 2 : length - 1);
        for (int64_t j = 1; j <= length - 1; j += double_layout ? 2 : 1) {
            if (double_layout) {
                if (m + j + 1 > word_count)
                    return fail(d, "Damaged file: the string at word %lld of column %d runs past the record.", m);
                int64_t row = first + (j - 1) / 2;
                if (three_way_kept(d, row) && store(d, row, word_double(m + j)) != 0)
                    return 1;
            } else {
                int64_t row = first + j - 1;
                float value = word_single(m + j);
                if ((d->selector <= 0 || upper_kept(d, row)) && std::fabs(value) > SINGLE_THRESHOLD &&
                    store(d, row, value) != 0)
                    return 1;
            }
        }
        m += length;
    }
    return 0;
}

int decode_large(Decoder *d, int64_t word_count)
{
    for (int64_t m = 1; m < word_count;) {
        int64_t length = word_int(m);
        int64_t first = word_int(m + 1);
        if (length < 0)
            return fail(d, "Damaged file: the string at word %lld of column %d has a negative length.", m);
        if (m + length > word_count)
            return fail(d, "Damaged file: the string at word %lld of column %d runs past the record.", m);
        begin_run(d, first, (length - 1) / 2);
        for (int64_t k = 1; k <= (length - 1) / 2; ++k) {
            int64_t row = first + k - 1;
            if (three_way_kept(d, row) && store(d, row, word_double(m + 2 * k)) != 0)
                return 1;
        }
        m += length + 1;
    }
    return 0;
}

int decode_record(Decoder *d, const ColumnHead *head, int32_t value_type, int32_t large_flag)
{
    int64_t word_count = head->word_count > 0 ? head->word_count : 0;
    int double_layout = value_type == 2;
    if (head->first_row != 0)
        return double_layout ? decode_dense_double(d, head->first_row, word_count)
                             : decode_dense_single(d, head->first_row, word_count);
    if (large_flag <= 0)
        return decode_packed(d, word_count, double_layout);
    if (!double_layout)
        return fail(d, "Unsupported file: single-precision values in the large-matrix encoding (%lld words, column %d).",
                    word_count);
    return decode_large(d, word_count);
}

int read_failure(Decoder *d, RecordOutcome outcome, int64_t record)
{
    if (outcome == RECORD_END_OF_FILE)
        return fail(d, "Damaged file: the file ends after %lld column records, before the matrix ends (last column %d).",
                    record - 1);
    if (outcome == RECORD_READ_ERROR)
        return fail(d, "Damaged file: column record %lld (after column %d) is shorter than its word count.", record);
    if (outcome == RECORD_OVERSIZED)
        return fail(d, "Damaged file: column record %lld (after column %d) holds more than 1000000 words.", record);
    return fail(d, "Damaged file: the length word of column record %lld (after column %d) cannot be followed.",
                record);
}

void fill_pointers(int64_t *pointers, int64_t from, int64_t through, int64_t value)
{
    for (int64_t slot = from; slot <= through; ++slot)
        pointers[slot] = value;
}

// Reads and decodes up to column_count records; nonzero when it stopped early.
int decode_records(Decoder *d, int32_t column_count, int32_t value_type, int32_t large_flag, int64_t *next_column)
{
    for (int64_t record = 1; record <= column_count; ++record) {
        ColumnHead head;
        RecordOutcome outcome = read_column(&head);
        if (outcome != RECORD_DONE)
            return read_failure(d, outcome, record);
        if (head.column > column_count)
            return 0;
        d->column = head.column;
        if (head.column >= *next_column) {
            fill_pointers(d->output->column_pointers, *next_column - 1, head.column - 1, d->entry_count);
            *next_column = static_cast<int64_t>(head.column) + 1;
            d->column_start = d->entry_count;
        } else if (*next_column == 1) {
            // Entries before the first column's start would break the pointers.
            return fail(d, "Damaged file: column record %lld has column number %d before any column started.", record);
        }
        if (decode_record(d, &head, value_type, large_flag) != 0)
            return 1;
    }
    return 0;
}

} // namespace

void SIZESFROMHEADER(int32_t row_count, int32_t column_count, int32_t *large_flag, int32_t *rows,
                     int64_t *capacity)
{
    *large_flag = static_cast<uint32_t>(row_count) > 65535u ? 1 : 0;
    *rows = row_count < 0 ? -row_count : row_count;
    *capacity = static_cast<int64_t>(*rows) * column_count;
    if (*capacity > CAPACITY_LIMIT)
        *capacity = CAPACITY_LIMIT;
}

int64_t INITIALSLOTS(int64_t capacity, int32_t value_type)
{
    int64_t slots = channel_remaining() / (value_type == 2 ? 8 : 4);
    if (slots > capacity)
        slots = capacity;
    if (slots > FIRST_ALLOTMENT)
        slots = FIRST_ALLOTMENT;
    return slots > 1 ? slots : 1;
}

void READCOLUMNS(SparseOutput *output, int32_t column_count, int64_t capacity, int32_t row_count,
                 int32_t value_type, int32_t selector, int32_t large_flag, int32_t *decode_status,
                 char problem[PROBLEM_LENGTH])
{
    int64_t file_limit = channel_remaining() / (value_type == 2 ? 8 : 4) + 1;
    Decoder d = {output, capacity, row_count, selector, 0, 0, 0, 0, DECODE_DONE, problem, 0, file_limit};
    int64_t next_column = 1;
    problem[0] = '\0';
    if (column_count >= 1 && decode_records(&d, column_count, value_type, large_flag, &next_column) != 0) {
        close_channel();
        *decode_status = d.status;
        return;
    }
    if (column_count >= 0)
        fill_pointers(output->column_pointers, next_column - 1, column_count, d.entry_count);
    close_channel();
    *decode_status = DECODE_DONE;
}
