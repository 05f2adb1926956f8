// Column decoding: dense, packed-string (by either string rule) and
// large-matrix encodings, real or complex, single or double precision,
// into compressed sparse columns.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "decode.h"

#include "memory.h"
#include "text_records.h"

#ifndef ZORVANE_FIRST_ALLOTMENT
#define ZORVANE_FIRST_ALLOTMENT (int64_t(1) << 22)
#endif

namespace {

// The format's own drop threshold: the solvers' readers take magnitudes up
// to it for zeros, compared in the value's own precision.
constexpr double SINGLE_THRESHOLD = static_cast<double>(1e-32f);
constexpr double DOUBLE_THRESHOLD = 1e-32;
constexpr int64_t FIRST_ALLOTMENT = ZORVANE_FIRST_ALLOTMENT;
constexpr int64_t MEGABYTE = 1 << 20;
// Column pointers asked for at a time as columns start.
constexpr int64_t POINTER_ALLOTMENT = int64_t(1) << 16;

// How a matrix's string records give their strings' lengths.
enum StringRule { RULE_UNDECIDED, RULE_WORDS, RULE_VALUE_COUNT };

// Working state of one DECODECOLUMNS call.
struct Decoder {
    MatrixChannel *ch;
    SparseOutput *output;
    int64_t capacity;
    int64_t row_count;
    int64_t column_count;
    int32_t selector;
    ValueLayout layout;
    int64_t entry_count;
    int64_t column_start; // first entry of the column started last
    int64_t last_row;     // row stored last in that column
    int32_t column;       // the current record's column field
    int32_t status;
    char *problem;
    int run_is_safe;      // no value of the current run can fail a check
    int64_t file_limit;   // entries the rest of the file could hold at most
    StringRule rule;
    RecordView view;
};

// Damage in the matrix's records: "Damaged file: ", in a text file the
// line that holds the damaged word (0: the record's own column line),
// then what is wrong.
__attribute__((format(printf, 3, 4))) int damage(Decoder *d, int64_t word, const char *format, ...)
{
    char what[PROBLEM_LENGTH - 48];
    va_list args;
    va_start(args, format);
    vsnprintf(what, sizeof what, format, args);
    va_end(args);
    if (d->ch->text)
        snprintf(d->problem, PROBLEM_LENGTH, "Damaged file: line %lld: %s",
                 static_cast<long long>(text_word_line(d->ch, word)), what);
    else
        snprintf(d->problem, PROBLEM_LENGTH, "Damaged file: %s", what);
    d->status = DECODE_DAMAGED;
    return 1;
}

int no_memory(Decoder *d, int64_t needed, int64_t available)
{
    snprintf(d->problem, PROBLEM_LENGTH, "Out of memory: the matrix needs %lld MB, the process can get %lld MB.",
             static_cast<long long>(needed / MEGABYTE), static_cast<long long>(available / MEGABYTE));
    d->status = DECODE_NO_MEMORY;
    return 1;
}

// Grows the output to slots entries when the process can hold it; 0 on success.
int grow_to(Decoder *d, int64_t slots)
{
    SparseOutput *out = d->output;
    int complex_values = out->imag != nullptr;
    int64_t needed = result_bytes(d->ch, out->pointer_slots - 1, slots, complex_values);
    int64_t available = memory_available(d->ch);
    if (!memory_fits(needed, output_bytes(out->pointer_slots - 1, out->slots, complex_values) / 2, available))
        return no_memory(d, needed, available);
    if (out->grow(out, slots, out->context) != 0) {
        snprintf(d->problem, PROBLEM_LENGTH, "Out of memory for the matrix's entries.");
        d->status = DECODE_NO_MEMORY;
        return 1;
    }
    return 0;
}

// Makes room for count more entries, growing the output up to the
// capacity and what the rest of the file can hold; 0 when there is room.
// When doubling does not fit in memory, the least growth is tried.
int ensure_room(Decoder *d, int64_t count)
{
    SparseOutput *out = d->output;
    if (count <= out->slots - d->entry_count)
        return 0;
    int64_t limit = d->capacity < d->file_limit ? d->capacity : d->file_limit;
    int64_t least = d->entry_count + count;
    int64_t wanted = out->slots > limit / 2 ? limit : 2 * out->slots;
    if (wanted < least)
        wanted = least;
    if (wanted > limit || out->grow == nullptr)
        return 1;
    if (grow_to(d, wanted) == 0)
        return 0;
    int64_t modest = out->slots + out->slots / 8 > least ? out->slots + out->slots / 8 : least;
    if (modest >= wanted || modest > limit)
        return 1;
    return grow_to(d, modest);
}

// Checks one entry before it is stored; nonzero when decoding must stop.
int check_entry(Decoder *d, int64_t row)
{
    if (row < 1 || row > d->row_count)
        return damage(d, 0, "row %lld of column %d lies outside the matrix.", static_cast<long long>(row),
                    d->column);
    if (d->entry_count > d->column_start && row <= d->last_row)
        return damage(d, 0, "row %lld of column %d is not greater than the row stored before it.",
                    static_cast<long long>(row), d->column);
    if (d->entry_count >= d->capacity) {
        snprintf(d->problem, PROBLEM_LENGTH, "Too many non-zeros in matrix.");
        d->status = DECODE_CAPACITY;
        return 1;
    }
    if (ensure_room(d, 1) != 0) {
        if (d->status != DECODE_NO_MEMORY)
            damage(d, 0, "more entries than the file can hold (%lld, column %d).",
                 static_cast<long long>(d->entry_count), d->column);
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
inline int store(Decoder *d, int64_t row, double real, double imaginary)
{
    if (!d->run_is_safe && check_entry(d, row) != 0)
        return 1;
    d->output->rows[d->entry_count] = row - 1;
    d->output->values[d->entry_count] = real;
    if (d->output->imag != nullptr)
        d->output->imag[d->entry_count] = imaginary;
    ++d->entry_count;
    d->last_row = row;
    return 0;
}

// The fewest bytes of file a stored value can come from: its words, or in
// a text file a digit and a separator.
int64_t bytes_per_value(const MatrixChannel *ch, int32_t value_type)
{
    if (ch->text)
        return 2;
    return value_type == VALUE_TYPE_DOUBLE ? 8 : 4;
}

// The value whose first word is word k; H: a double's high half comes first.
template <ValueLayout L, bool H> inline void take_value(const RecordView *view, int64_t k, double *real, double *imaginary)
{
    if (L == LAYOUT_SINGLE) {
        *real = view_single(view, k);
        *imaginary = 0.0;
    } else if (L == LAYOUT_DOUBLE) {
        *real = view_double_in_order<H>(view, k);
        *imaginary = 0.0;
    } else if (L == LAYOUT_COMPLEX_SINGLE) {
        *real = view_single(view, k);
        *imaginary = view_single(view, k + 1);
    } else {
        *real = view_double_in_order<H>(view, k);
        *imaginary = view_double_in_order<H>(view, k + 2);
    }
}

// The drop threshold in the values' own precision; a complex value passes
// when either part does. NaN never passes.
template <ValueLayout L> inline bool passes_threshold(double real, double imaginary)
{
    constexpr double threshold = layout_is_double(L) ? DOUBLE_THRESHOLD : SINGLE_THRESHOLD;
    return std::fabs(real) > threshold || (layout_is_complex(L) && std::fabs(imaginary) > threshold);
}

int upper_kept(const Decoder *d, int64_t row) { return row <= d->column; }

// The three-way rule of the double-precision and large-matrix string paths.
int three_way_kept(const Decoder *d, int64_t row)
{
    if (d->selector > 0)
        return row <= d->column;
    if (d->selector < 0)
        return row >= d->column;
    return 1;
}

// Packed strings: single precision keeps by the upper rule and the
// threshold, double precision by the three-way rule alone. The rule
// depends on the precision because the format's own reader has two code
// paths here, and files written for it are read as it reads them.
template <ValueLayout L> inline bool packed_kept(const Decoder *d, int64_t row, double real, double imaginary)
{
    if (layout_is_double(L))
        return three_way_kept(d, row);
    return (d->selector <= 0 || upper_kept(d, row)) && passes_threshold<L>(real, imaginary);
}

template <ValueLayout L, bool H> int decode_dense(Decoder *d, int32_t first_row)
{
    constexpr int64_t w = layout_words(L);
    int64_t count = d->view.count / w;
    if (d->view.count % w != 0)
        return w == 2 && !layout_is_complex(L)
                   ? damage(d, 0, "%lld words in a double-precision record of column %d; values need pairs.",
                          static_cast<long long>(d->view.count), d->column)
                   : damage(d, 0, "%lld words in a complex record of column %d; values need %lld words each.",
                          static_cast<long long>(d->view.count), d->column, static_cast<long long>(w));
    begin_run(d, first_row, count);
    for (int64_t k = 0; k < count; ++k) {
        int64_t row = static_cast<int64_t>(first_row) + k;
        double real, imaginary;
        take_value<L, H>(&d->view, 1 + k * w, &real, &imaginary);
        if ((d->selector != 1 || upper_kept(d, row)) && passes_threshold<L>(real, imaginary) &&
            store(d, row, real, imaginary) != 0)
            return 1;
    }
    return 0;
}

// Strings whose length counts their words + 1.
template <ValueLayout L, bool H> int decode_packed(Decoder *d)
{
    constexpr int64_t w = layout_words(L);
    const RecordView *view = &d->view;
    for (int64_t m = 1; m < view->count;) {
        int64_t length, first;
        split_string_header(view_int(view, m), &length, &first);
        if (length < 1)
            return damage(d, m, "string header word %lld of column %d has a length below 1.",
                        static_cast<long long>(m), d->column);
        if (!view_holds(view, m, length))
            return damage(d, m, "the string at word %lld of column %d runs past the record.",
                        static_cast<long long>(m), d->column);
        begin_run(d, first, (length - 1 + w - 1) / w);
        for (int64_t j = 1; j <= length - 1; j += w) {
            if (!view_holds(view, m + j, w))
                return damage(d, m, "the string at word %lld of column %d runs past the record.",
                            static_cast<long long>(m), d->column);
            int64_t row = first + (j - 1) / w;
            double real, imaginary;
            take_value<L, H>(view, m + j, &real, &imaginary);
            if (packed_kept<L>(d, row, real, imaginary) && store(d, row, real, imaginary) != 0)
                return 1;
        }
        m += length;
    }
    return 0;
}

// Strings whose length counts their values (the other solver family's).
template <ValueLayout L, bool H> int decode_value_count(Decoder *d)
{
    constexpr int64_t w = layout_words(L);
    const RecordView *view = &d->view;
    for (int64_t m = 1; m < view->count;) {
        int64_t count, first;
        split_string_header(view_int(view, m), &count, &first);
        if (count < 1 || !view_holds(view, m + 1, count * w)) // tiling was checked; kept as the guard of the reads
            return damage(d, m, "the string at word %lld of column %d runs past the record.",
                        static_cast<long long>(m), d->column);
        begin_run(d, first, count);
        for (int64_t k = 0; k < count; ++k) {
            int64_t row = first + k;
            double real, imaginary;
            take_value<L, H>(view, m + 1 + k * w, &real, &imaginary);
            if (packed_kept<L>(d, row, real, imaginary) && store(d, row, real, imaginary) != 0)
                return 1;
        }
        m += 1 + count * w;
    }
    return 0;
}

// Whether the record's strings tile it exactly under a rule: every string
// holds whole values of rows inside the matrix, and the last one ends at
// the record's last word.
int strings_tile(const RecordView *view, StringRule rule, int64_t w, int64_t row_count)
{
    int64_t m = 1;
    while (m <= view->count) {
        int64_t length, first;
        split_string_header(view_int(view, m), &length, &first);
        int64_t values = rule == RULE_WORDS ? (length - 1) / w : length;
        int64_t words = rule == RULE_WORDS ? length : 1 + length * w;
        if (length < 1 || (rule == RULE_WORDS && (length - 1) % w != 0) || !view_holds(view, m, words))
            return 0;
        if (values > 0 && (first < 1 || first + values - 1 > row_count))
            return 0;
        m += words;
    }
    return m == view->count + 1;
}

// Picks the string rule: the first string record decides, every later one
// must follow it.
int choose_string_rule(Decoder *d)
{
    const RecordView *view = &d->view;
    int64_t w = layout_words(d->layout);
    if (view->count <= 1)
        return 0;
    if (d->rule == RULE_UNDECIDED) {
        d->rule = !strings_tile(view, RULE_WORDS, w, d->row_count) &&
                          strings_tile(view, RULE_VALUE_COUNT, w, d->row_count)
                      ? RULE_VALUE_COUNT
                      : RULE_WORDS;
        return 0;
    }
    StringRule other = d->rule == RULE_WORDS ? RULE_VALUE_COUNT : RULE_WORDS;
    if (!strings_tile(view, d->rule, w, d->row_count) &&
        (d->rule == RULE_VALUE_COUNT || strings_tile(view, other, w, d->row_count)))
        return damage(d, 0, "mixed string layouts: the strings of column %d do not count %s as the matrix's "
                       "first string record does.",
                    d->column, d->rule == RULE_WORDS ? "words" : "values");
    return 0;
}

template <ValueLayout L, bool H> int decode_large(Decoder *d)
{
    constexpr int64_t w = layout_words(L);
    const RecordView *view = &d->view;
    for (int64_t m = 1; m < view->count;) {
        int64_t length = view_int(view, m);
        int64_t first = view_int(view, m + 1);
        if (length < 0)
            return damage(d, m, "the string at word %lld of column %d has a negative length.",
                        static_cast<long long>(m), d->column);
        if (!view_holds(view, m, length + 1))
            return damage(d, m, "the string at word %lld of column %d runs past the record.",
                        static_cast<long long>(m), d->column);
        int64_t count = (length - 1) / w;
        begin_run(d, first, count);
        for (int64_t k = 1; k <= count; ++k) {
            int64_t row = first + k - 1;
            double real, imaginary;
            take_value<L, H>(view, m + 2 + (k - 1) * w, &real, &imaginary);
            if (three_way_kept(d, row) && store(d, row, real, imaginary) != 0)
                return 1;
        }
        m += length + 1;
    }
    return 0;
}

template <ValueLayout L, bool H> int decode_in_layout(Decoder *d, const ColumnHead *head, int32_t large_flag)
{
    if (head->first_row != 0)
        return decode_dense<L, H>(d, head->first_row);
    if (large_flag > 0)
        return decode_large<L, H>(d);
    if (choose_string_rule(d) != 0)
        return 1;
    return d->rule == RULE_VALUE_COUNT ? decode_value_count<L, H>(d) : decode_packed<L, H>(d);
}

// Each layout and half order decoded by code of its own, so that the
// loops over values hold no test of either.
template <ValueLayout L> int decode_in_order(Decoder *d, const ColumnHead *head, int32_t large_flag)
{
    return d->view.high_half_first ? decode_in_layout<L, true>(d, head, large_flag)
                                   : decode_in_layout<L, false>(d, head, large_flag);
}

int decode_record(Decoder *d, const ColumnHead *head, int32_t large_flag)
{
    switch (d->layout) {
    case LAYOUT_SINGLE: return decode_in_order<LAYOUT_SINGLE>(d, head, large_flag);
    case LAYOUT_DOUBLE: return decode_in_order<LAYOUT_DOUBLE>(d, head, large_flag);
    case LAYOUT_COMPLEX_SINGLE: return decode_in_order<LAYOUT_COMPLEX_SINGLE>(d, head, large_flag);
    default: return decode_in_order<LAYOUT_COMPLEX_DOUBLE>(d, head, large_flag);
    }
}

int read_failure(Decoder *d, RecordOutcome outcome, int64_t record)
{
    auto r = static_cast<long long>(record);
    if (d->ch->text && outcome == RECORD_DAMAGED && d->ch->problem[0] != '\0') {
        snprintf(d->problem, PROBLEM_LENGTH, "%s", d->ch->problem); // names its line already
        d->status = DECODE_DAMAGED;
        return 1;
    }
    if (outcome == RECORD_END_OF_FILE)
        return damage(d, 0, "the file ends after %lld column records, before the matrix ends (last column %d).",
                    r - 1, d->column);
    if (outcome == RECORD_READ_ERROR)
        return damage(d, 0, "column record %lld (after column %d) is shorter than its word count.", r,
                    d->column);
    if (outcome == RECORD_OVERSIZED)
        return damage(d, 0, "column record %lld (after column %d) holds more words than memory can take.", r,
                    d->column);
    return damage(d, 0, "the length word of column record %lld (after column %d) cannot be followed.", r,
                d->column);
}

// Sets pointers from .. through to value, growing the pointers first
// when through lies beyond them; nonzero without memory.
int fill_pointers(Decoder *d, int64_t from, int64_t through, int64_t value)
{
    SparseOutput *out = d->output;
    if (out->columns_start != nullptr) {
        if (out->columns_start(out, from, through, value, out->context) == 0)
            return 0;
        snprintf(d->problem, PROBLEM_LENGTH, "Out of memory for the matrix's columns.");
        d->status = DECODE_NO_MEMORY;
        return 1;
    }
    if (through >= out->pointer_slots) {
        int64_t wanted = through + 1;
        if (wanted < d->column_count + 1 && wanted < 2 * out->pointer_slots)
            wanted = 2 * out->pointer_slots < d->column_count + 1 ? 2 * out->pointer_slots : d->column_count + 1;
        int complex_values = out->imag != nullptr;
        int64_t needed = result_bytes(d->ch, wanted - 1, out->slots, complex_values);
        int64_t available = memory_available(d->ch);
        if (!memory_fits(needed, output_bytes(out->pointer_slots - 1, out->slots, complex_values) / 2, available))
            return no_memory(d, needed, available);
        if (out->grow_pointers == nullptr || out->grow_pointers(out, wanted, out->context) != 0) {
            snprintf(d->problem, PROBLEM_LENGTH, "Out of memory for the matrix's entries.");
            d->status = DECODE_NO_MEMORY;
            return 1;
        }
    }
    for (int64_t slot = from; slot <= through; ++slot)
        out->column_pointers[slot] = value;
    return 0;
}

// Reads and decodes up to column_count records; nonzero when it stopped early.
int decode_records(Decoder *d, int32_t column_count, int32_t large_flag, int64_t *next_column, int *end_record_read)
{
    for (int64_t record = 1; record <= column_count; ++record) {
        if (d->output->matrix_ends_here != nullptr && d->output->matrix_ends_here(d->ch, d->output->watch)) {
            *end_record_read = 1;
            return 0;
        }
        ColumnHead head = {0, 0, 0};
        RecordOutcome outcome = read_column(d->ch, &head, &d->view, d->output->long_records);
        // A whole record shorter than its word count whose column lies
        // beyond the matrix is its end record (the next header, where the
        // end record is missing): its words are never decoded.
        if (outcome == RECORD_READ_ERROR && head.column > column_count) {
            *end_record_read = 1;
            return 0;
        }
        if (outcome != RECORD_DONE)
            return read_failure(d, outcome, record);
        if (head.column > column_count) {
            *end_record_read = 1;
            return 0;
        }
        d->column = head.column;
        if (head.column >= *next_column) {
            if (fill_pointers(d, *next_column - 1, head.column - 1, d->entry_count) != 0)
                return 1;
            *next_column = static_cast<int64_t>(head.column) + 1;
            d->column_start = d->entry_count;
        } else if (*next_column == 1) {
            // Entries before the first column's start would break the pointers.
            return damage(d, 0, "column record %lld has column number %d before any column started.",
                        static_cast<long long>(record), head.column);
        }
        if (decode_record(d, &head, large_flag) != 0)
            return 1;
    }
    return 0;
}

} // namespace

int decode_problem(int decode_status)
{
    switch (decode_status) {
    case DECODE_DONE: return PROBLEM_NONE;
    case DECODE_CAPACITY: return PROBLEM_TOO_LARGE;
    case DECODE_NO_MEMORY: return PROBLEM_OUT_OF_MEMORY;
    default: return PROBLEM_BAD_FILE;
    }
}

int32_t selector_from_double(double value)
{
    if (!(value > -2147483649.0 && value < 2147483648.0))
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

void SIZESFROMHEADER(int32_t row_count, int32_t column_count, int32_t *large_flag, int32_t *rows,
                     int64_t *capacity)
{
    *large_flag = header_is_large(row_count);
    *rows = static_cast<int32_t>(header_rows(row_count));
    *capacity = static_cast<int64_t>(*rows) * column_count;
    if (*capacity > CAPACITY_LIMIT)
        *capacity = CAPACITY_LIMIT;
}

int64_t INITIALSLOTS(const MatrixChannel *ch, int64_t capacity, int32_t value_type)
{
    int64_t slots = channel_remaining(ch) / bytes_per_value(ch, value_type);
    if (slots > capacity)
        slots = capacity;
    if (slots > FIRST_ALLOTMENT)
        slots = FIRST_ALLOTMENT;
    return slots > 1 ? slots : 1;
}

int FIRSTRECORDCHECK(MatrixChannel *ch, int32_t column_count, char problem[PROBLEM_LENGTH])
{
    RecordOutcome outcome = column_count >= 1 ? peek_record(ch) : RECORD_DONE;
    if (outcome == RECORD_DONE)
        return 0;
    Decoder d = {};
    d.ch = ch;
    d.problem = problem;
    return read_failure(&d, outcome, 1);
}

int plan_matrix(MatrixChannel *ch, const HeaderRecord *header, int32_t selector, MatrixPlan *plan,
                char problem[PROBLEM_LENGTH])
{
    if (!header_is_valid(header->row_count, header->column_count)) {
        snprintf(problem, PROBLEM_LENGTH, "Damaged file: the matrix header gives %d rows and %d columns.",
                 header->row_count, header->column_count);
        return DECODE_DAMAGED;
    }
    if (FIRSTRECORDCHECK(ch, header->column_count, problem) != 0)
        return DECODE_DAMAGED;
    *plan = MatrixPlan{};
    plan->column_count = header->column_count;
    plan->value_type = header->value_type;
    plan->selector = selector;
    plan->complex_values = value_type_is_complex(header->value_type);
    SIZESFROMHEADER(header->row_count, header->column_count, &plan->large_flag, &plan->rows, &plan->capacity);
    plan->initial_slots = INITIALSLOTS(ch, plan->capacity, header->value_type);
    // Pointers for the columns the file can reach at first; more as they start.
    plan->pointer_slots = header->column_count + 1 < POINTER_ALLOTMENT ? header->column_count + 1 : POINTER_ALLOTMENT;
    int64_t needed = result_bytes(ch, plan->pointer_slots - 1, plan->initial_slots, plan->complex_values);
    int64_t available = memory_available(ch);
    if (!memory_fits(needed, 0, available)) {
        snprintf(problem, PROBLEM_LENGTH, "Out of memory: the matrix needs %lld MB, the process can get %lld MB.",
                 static_cast<long long>(needed / MEGABYTE), static_cast<long long>(available / MEGABYTE));
        return DECODE_NO_MEMORY;
    }
    int64_t file_limit = channel_remaining(ch) / bytes_per_value(ch, header->value_type) + 1;
    int64_t bound = file_limit < plan->capacity ? file_limit : plan->capacity;
    int64_t reservable = reservable_bytes(ch, available) / (plan->complex_values ? 24 : 16);
    plan->reserve_slots = bound < reservable ? bound : reservable;
    return DECODE_DONE;
}

int strings_count_values(const RecordView *view, int32_t value_type, int64_t row_count)
{
    int64_t w = words_per_value(value_type);
    return view->count > 1 && !strings_tile(view, RULE_WORDS, w, row_count) &&
           strings_tile(view, RULE_VALUE_COUNT, w, row_count);
}

void DECODECOLUMNS(MatrixChannel *ch, SparseOutput *output, const MatrixPlan *plan, int32_t *decode_status,
                   char problem[PROBLEM_LENGTH], int *end_record_read)
{
    Decoder d = {};
    d.ch = ch;
    d.output = output;
    d.capacity = plan->capacity;
    d.row_count = plan->rows;
    d.column_count = plan->column_count;
    d.selector = plan->selector;
    d.layout = layout_of(plan->value_type);
    d.status = DECODE_DONE;
    d.problem = problem;
    d.file_limit = channel_remaining(ch) / bytes_per_value(ch, plan->value_type) + 1;
    int64_t next_column = 1;
    problem[0] = '\0';
    *end_record_read = 0;
    int32_t columns = plan->column_count;
    if ((columns >= 1 && decode_records(&d, columns, plan->large_flag, &next_column, end_record_read) != 0) ||
        (columns >= 0 && fill_pointers(&d, next_column - 1, columns, d.entry_count) != 0)) {
        *decode_status = d.status;
        return;
    }
    *decode_status = DECODE_DONE;
}

void READCOLUMNS(MatrixChannel *ch, SparseOutput *output, const MatrixPlan *plan, int32_t *decode_status,
                 char problem[PROBLEM_LENGTH])
{
    int end_record_read = 0;
    DECODECOLUMNS(ch, output, plan, decode_status, problem, &end_record_read);
    close_channel(ch);
}
