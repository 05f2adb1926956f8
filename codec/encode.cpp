// The writer's side of decoding: each column's entries become the words
// of one record, in the layout and precision of the plan.
#include "encode.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "decode.h"

namespace {

// The largest record payload a length word can give.
constexpr int64_t MAX_RECORD_WORDS = (INT32_MAX - COLUMN_HEAD_BYTES) / 4;

bool is_entry(double real, double imaginary) { return real != 0 || imaginary != 0 || std::isnan(real) || std::isnan(imaginary); }

// The entries of one column, one after another.
struct ColumnCursor {
    const MatrixSource *source;
    int64_t next;
    int64_t end;
    int64_t offset; // full matrices: index of the column's first row
};

ColumnCursor column_cursor(const MatrixSource *s, int64_t column)
{
    if (s->column_pointers != nullptr)
        return ColumnCursor{s, s->column_pointers[column], s->column_pointers[column + 1], 0};
    return ColumnCursor{s, column * s->rows, (column + 1) * s->rows, column * s->rows};
}

// The next entry's 0-based row and index; 0 when there is none.
int next_entry(ColumnCursor *c, int64_t *row, int64_t *index)
{
    const MatrixSource *s = c->source;
    if (s->column_pointers != nullptr) {
        if (c->next >= c->end)
            return 0;
        *index = c->next++;
        *row = s->row_indices[*index];
        return 1;
    }
    for (; c->next < c->end; ++c->next)
        if (is_entry(s->real[c->next], s->imag != nullptr ? s->imag[c->next] : 0.0)) {
            *index = c->next++;
            *row = *index - c->offset;
            return 1;
        }
    return 0;
}

// What one column needs: its entries, first and last rows, runs of rows.
struct ColumnShape {
    int64_t entries;
    int64_t first_row;
    int64_t last_row;
    int64_t runs;
    int64_t strings; // packed and value-count: runs split to the string limit
};

ColumnShape column_shape(const MatrixSource *s, int64_t column, int64_t string_values)
{
    ColumnShape shape = {0, -1, -1, 0, 0};
    ColumnCursor cursor = column_cursor(s, column);
    int64_t row = 0, index = 0, run = 0;
    while (next_entry(&cursor, &row, &index)) {
        if (shape.entries == 0 || row != shape.last_row + 1) {
            shape.strings += run > 0 ? (run + string_values - 1) / string_values : 0;
            ++shape.runs;
            run = 0;
        }
        if (shape.entries == 0)
            shape.first_row = row;
        shape.last_row = row;
        ++shape.entries;
        ++run;
    }
    shape.strings += run > 0 ? (run + string_values - 1) / string_values : 0;
    return shape;
}

// The words of the column's record under the plan.
int64_t record_words(const EncodePlan *plan, const ColumnShape *shape)
{
    int64_t w = words_per_value(plan->header.value_type);
    switch (plan->encoding) {
    case ENCODING_DENSE: return (shape->last_row - shape->first_row + 1) * w;
    case ENCODING_LARGE: return shape->entries * w + 2 * shape->runs;
    default: return shape->entries * w + shape->strings;
    }
}

int digits_of(int64_t value)
{
    int digits = value < 0 ? 2 : 1;
    for (int64_t v = value < 0 ? -value : value; v >= 10; v /= 10)
        ++digits;
    return digits;
}

// A value's words at out: binary32 or binary64 (halves in the file's order), real then imaginary.
struct ValueWriter {
    int single;
    int complex_values;
    int high_half_first;
};

void put_number(const ValueWriter *v, double value, uint32_t *out)
{
    if (v->single) {
        auto rounded = static_cast<float>(value);
        memcpy(out, &rounded, 4);
        return;
    }
    words_of_double(value, v->high_half_first, out);
}

int64_t put_value(const ValueWriter *v, double real, double imaginary, uint32_t *out)
{
    int64_t n = v->single ? 1 : 2;
    put_number(v, real, out);
    if (v->complex_values)
        put_number(v, imaginary, out + n);
    return v->complex_values ? 2 * n : n;
}

struct Encoder {
    MatrixChannel *ch;
    const MatrixSource *source;
    const EncodePlan *plan;
    ValueWriter writer;
    int64_t w; // words per value
    char *problem;
    char label[NAME_LENGTH + 1]; // the name, for messages
};

// A finite value beyond binary32's range cannot be written in single precision.
int out_of_range(const Encoder *e, double real, double imaginary, int64_t row, int64_t column)
{
    if (!e->writer.single)
        return 0;
    const double parts[] = {real, imaginary};
    for (double part : parts)
        if (std::isfinite(part) && std::isinf(static_cast<float>(part))) {
            snprintf(e->problem, PROBLEM_LENGTH, "%s: the value %.17g at row %lld, column %lld lies beyond single precision.",
                     e->label, part, static_cast<long long>(row + 1), static_cast<long long>(column + 1));
            return 1;
        }
    return 0;
}

double imaginary_at(const MatrixSource *s, int64_t index) { return s->imag != nullptr ? s->imag[index] : 0.0; }

// Fills words with a dense record's values, zeros between; ENCODE_DONE or a status.
int dense_words(Encoder *e, int64_t column, const ColumnShape *shape, uint32_t *words)
{
    const MatrixSource *s = e->source;
    ColumnCursor cursor = column_cursor(s, column);
    int64_t row = 0, index = 0;
    memset(words, 0, static_cast<size_t>(record_words(e->plan, shape)) * 4);
    if (s->column_pointers == nullptr) {
        // A full column's zeros between its entries keep their sign, as a Fortran runtime writes -0.
        for (row = shape->first_row; row <= shape->last_row; ++row)
            if (std::signbit(s->real[cursor.offset + row]) || std::signbit(imaginary_at(s, cursor.offset + row)))
                put_value(&e->writer, s->real[cursor.offset + row], imaginary_at(s, cursor.offset + row),
                          words + (row - shape->first_row) * e->w);
    }
    while (next_entry(&cursor, &row, &index)) {
        double re = s->real[index], im = imaginary_at(s, index);
        if (out_of_range(e, re, im, row, column))
            return ENCODE_RANGE;
        put_value(&e->writer, re, im, words + (row - shape->first_row) * e->w);
    }
    return ENCODE_DONE;
}

// A sparse column's stored entries, as a cursor of its own (no test of
// the kind of matrix per entry).
struct SparseEntries {
    const int64_t *row_indices;
    int64_t next;
    int64_t end;
};

int next_entry(SparseEntries *c, int64_t *row, int64_t *index)
{
    if (c->next >= c->end)
        return 0;
    *index = c->next++;
    *row = c->row_indices[*index];
    return 1;
}

// A column in a string encoding, in one pass over its entries: the words
// and their count. One precision and kind of value per instance, so that
// the loop holds no test of either.
template <typename Entries, bool SINGLE, bool COMPLEX>
int64_t string_words(Encoder *e, int64_t column, Entries entries, uint32_t *words, int *status)
{
    const double *re = e->source->real, *im = e->source->imag;
    const int large = e->plan->encoding == ENCODING_LARGE, value_count = e->plan->encoding == ENCODING_VALUE_COUNT;
    const int64_t limit = large ? INT64_MAX : e->plan->string_values;
    constexpr int64_t w = (SINGLE ? 1 : 2) * (COMPLEX ? 2 : 1);
    int64_t at = 0, start = -1, count = 0, first = 0, previous = -2;
    auto close_string = [&]() {
        if (start < 0)
            return;
        if (large) {
            words[start] = static_cast<uint32_t>(count * w + 1);
            words[start + 1] = static_cast<uint32_t>(first + 1);
        } else {
            int64_t length = value_count ? count : count * w + 1;
            words[start] = static_cast<uint32_t>(length * PACKED_ROW_FACTOR + first + 1);
        }
    };
    int64_t row = 0, k = 0;
    while (next_entry(&entries, &row, &k)) {
        if (row != previous + 1 || count == limit) {
            close_string();
            start = at;
            first = row;
            count = 0;
            at += large ? 2 : 1;
        }
        double real = re[k], imaginary = COMPLEX ? im[k] : 0.0;
        if (SINGLE && out_of_range(e, real, imaginary, row, column)) {
            *status = ENCODE_RANGE;
            return 0;
        }
        if (SINGLE) {
            auto a = static_cast<float>(real);
            memcpy(&words[at], &a, 4);
            if (COMPLEX) {
                auto b = static_cast<float>(imaginary);
                memcpy(&words[at + 1], &b, 4);
            }
        } else {
            put_number(&e->writer, real, &words[at]);
            if (COMPLEX)
                put_number(&e->writer, imaginary, &words[at + 2]);
        }
        at += w;
        ++count;
        previous = row;
    }
    close_string();
    return at;
}

template <typename Entries> int64_t string_words_in(Encoder *e, int64_t column, Entries entries, uint32_t *words, int *status)
{
    if (e->writer.single)
        return e->writer.complex_values ? string_words<Entries, true, true>(e, column, entries, words, status)
                                        : string_words<Entries, true, false>(e, column, entries, words, status);
    return e->writer.complex_values ? string_words<Entries, false, true>(e, column, entries, words, status)
                                    : string_words<Entries, false, false>(e, column, entries, words, status);
}

// The column's string words, whatever kind of matrix holds it.
int64_t column_string_words(Encoder *e, int64_t column, uint32_t *words, int *status)
{
    const MatrixSource *s = e->source;
    if (s->column_pointers == nullptr)
        return string_words_in(e, column, column_cursor(s, column), words, status);
    SparseEntries entries = {s->row_indices, s->column_pointers[column], s->column_pointers[column + 1]};
    return string_words_in(e, column, entries, words, status);
}

// The shape of a sparse column where the encoding needs only its first
// and last rows (dense records).
ColumnShape sparse_dense_shape(const MatrixSource *s, int64_t column)
{
    int64_t begin = s->column_pointers[column], end = s->column_pointers[column + 1];
    if (begin == end)
        return ColumnShape{0, -1, -1, 0, 0};
    return ColumnShape{end - begin, s->row_indices[begin], s->row_indices[end - 1], 1, 1};
}

// Room for count words: the word buffer, or the store beyond it.
uint32_t *room_for(Encoder *e, WordStore *store, int64_t count)
{
    if (count <= WORD_BUFFER_WORDS)
        return e->ch->words;
    if (store == nullptr || (store->capacity < count && store->enlarge(store, count, store->context) != 0))
        return nullptr;
    return store->words;
}

// Value-count strings that the packed-string reading also tiles would read
// back as packed strings, since a matrix's first string record decides
// between the two. Splitting a string of two values or more in two changes
// that reading (with two words a value, splitting the first string settles
// it); a few splits are tried before the column is refused.
constexpr int VALUE_COUNT_SPLITS = 8;

int settle_value_count(Encoder *e, int64_t column, uint32_t *words, int64_t *count, int64_t room)
{
    int64_t m = 1; // the string to split next (1-based word of its header)
    for (int split = 0;; ++split) {
        RecordView view = {words, *count, e->writer.high_half_first};
        if (strings_count_values(&view, e->plan->header.value_type, e->source->rows))
            return ENCODE_DONE;
        int64_t n = 0;
        for (; m <= *count; m += 1 + n * e->w)
            if ((n = words[m - 1] / PACKED_ROW_FACTOR) >= 2)
                break;
        if (m > *count || *count >= room || split == VALUE_COUNT_SPLITS)
            break;
        // The string's last value becomes a string of its own.
        int64_t first = words[m - 1] % PACKED_ROW_FACTOR, header = m + 1 + (n - 1) * e->w;
        memmove(&words[header], &words[header - 1], static_cast<size_t>(*count - header + 1) * 4);
        words[m - 1] = static_cast<uint32_t>((n - 1) * PACKED_ROW_FACTOR + first);
        words[header - 1] = static_cast<uint32_t>(PACKED_ROW_FACTOR + first + n - 1);
        *count += 1;
        m = header;
    }
    snprintf(e->problem, PROBLEM_LENGTH,
             "%s: the value-count strings of column %lld would read back as packed strings (its values' words also "
             "read as string headers); write the matrix dense or packed.",
             e->label, static_cast<long long>(column + 1));
    return ENCODE_ENCODING;
}

// Whether every value passes the reader's drop threshold: it drops values
// of magnitude 1e-32 or less (compared in the value's precision) and NaN
// from dense records and single-precision packed strings; double and
// large-matrix strings keep every value.
int values_pass_threshold(const MatrixSource *s, int single)
{
    auto passes = [single](double v) {
        return single ? std::fabs(static_cast<float>(v)) > 1e-32f : std::fabs(v) > 1e-32;
    };
    int64_t count = s->column_pointers != nullptr ? s->column_pointers[s->columns] : s->rows * s->columns;
    for (int64_t k = 0; k < count; ++k) {
        double re = s->real[k], im = imaginary_at(s, k);
        // A complex value is dropped only when both its parts would be.
        if (is_entry(re, im) && !passes(re) && !(s->imag != nullptr && passes(im)))
            return 0;
    }
    return 1;
}

// What auto writes: dense for a full matrix, packed strings for a sparse
// one (large-matrix strings above 65535 rows), unless the reader would
// drop some of its values there; then strings that keep every value.
Encoding automatic_encoding(const MatrixSource *s, int single)
{
    Encoding first = s->column_pointers == nullptr ? ENCODING_DENSE
                     : s->rows > LARGE_ROW_BOUND   ? ENCODING_LARGE
                                                   : ENCODING_PACKED;
    int drops = first == ENCODING_DENSE || (first == ENCODING_PACKED && single);
    if (!drops || values_pass_threshold(s, single))
        return first;
    return single || s->rows > LARGE_ROW_BOUND ? ENCODING_LARGE : ENCODING_PACKED;
}

int write_failed(Encoder *e)
{
    snprintf(e->problem, PROBLEM_LENGTH, "%s: the file could not be written.", e->label);
    return ENCODE_CANNOT_WRITE;
}

} // namespace

int matrix_is_symmetric(const MatrixSource *s)
{
    if (s->rows != s->columns)
        return 0;
    int64_t n = s->rows;
    if (s->column_pointers == nullptr) {
        for (int64_t j = 0; j < n; ++j)
            for (int64_t i = j; i < n; ++i) {
                int64_t a = i + j * n, b = j + i * n;
                if (!(s->real[a] == s->real[b]) || (s->imag != nullptr && !(s->imag[a] == s->imag[b])))
                    return 0;
            }
        return 1;
    }
    // Each stored entry against its mirror, found by bisection in the mirror's column.
    for (int64_t j = 0; j < n; ++j)
        for (int64_t k = s->column_pointers[j]; k < s->column_pointers[j + 1]; ++k) {
            int64_t i = s->row_indices[k];
            double re = s->real[k], im = imaginary_at(s, k);
            if (std::isnan(re) || std::isnan(im))
                return 0;
            int64_t low = s->column_pointers[i], high = s->column_pointers[i + 1];
            while (low < high) {
                int64_t mid = low + (high - low) / 2;
                if (s->row_indices[mid] < j)
                    low = mid + 1;
                else
                    high = mid;
            }
            int found = low < s->column_pointers[i + 1] && s->row_indices[low] == j;
            double mirror_re = found ? s->real[low] : 0.0, mirror_im = found ? imaginary_at(s, low) : 0.0;
            if (!(re == mirror_re) || !(im == mirror_im))
                return 0;
        }
    return 1;
}

int32_t default_form(const MatrixSource *s)
{
    if (s->rows != s->columns)
        return 2;
    return matrix_is_symmetric(s) ? 6 : 1;
}

int plan_encoding(int text, const MatrixSource *s, const char name[NAME_LENGTH], int32_t form,
                  int single, Encoding encoding, int digits, EncodePlan *plan, char problem[PROBLEM_LENGTH])
{
    char label[NAME_LENGTH + 1];
    trimmed_name(name, label);
    if (encoding == ENCODING_AUTO)
        encoding = automatic_encoding(s, single);
    if (text && encoding == ENCODING_VALUE_COUNT) {
        snprintf(problem, PROBLEM_LENGTH, "%s: the value-count encoding is binary only.", label);
        return ENCODE_ENCODING;
    }
    if ((encoding == ENCODING_PACKED || encoding == ENCODING_VALUE_COUNT) && s->rows > LARGE_ROW_BOUND) {
        snprintf(problem, PROBLEM_LENGTH, "%s: %s strings hold at most 65535 rows; the matrix has %lld.", label,
                 encoding == ENCODING_PACKED ? "packed" : "value-count", static_cast<long long>(s->rows));
        return ENCODE_ENCODING;
    }
    if (s->rows > INT32_MAX || s->columns >= INT32_MAX) {
        snprintf(problem, PROBLEM_LENGTH, "%s: a matrix file holds at most 2147483647 rows and 2147483646 columns.",
                 label);
        return ENCODE_ENCODING;
    }
    *plan = EncodePlan{};
    auto rows = static_cast<int32_t>(s->rows);
    plan->header = HeaderRecord{static_cast<int32_t>(s->columns), encoding == ENCODING_LARGE ? -rows : rows, form,
                                value_type_of(!single, s->imag != nullptr), {}};
    memcpy(plan->header.name, name, NAME_LENGTH);
    plan->encoding = encoding;
    plan->single = single;
    plan->digits = digits;
    int64_t w = words_per_value(plan->header.value_type);
    int64_t string_words = text ? MAX_TEXT_STRING_WORDS : MAX_STRING_WORDS;
    plan->string_values = encoding == ENCODING_VALUE_COUNT ? MAX_STRING_LENGTH : string_words / w;
    // Every integer of the matrix, and whether one needs more than 8 characters.
    int64_t widest = digits_of(s->columns + 1) > digits_of(plan->header.row_count) ? digits_of(s->columns + 1)
                                                                                 : digits_of(plan->header.row_count);
    for (int64_t c = 0; text && c < s->columns && widest <= T1_FIELD; ++c) {
        ColumnShape shape = column_shape(s, c, plan->string_values);
        if (shape.entries > 0 && digits_of(record_words(plan, &shape)) > widest)
            widest = digits_of(record_words(plan, &shape));
    }
    plan->wide = text && widest > T1_FIELD;
    return ENCODE_DONE;
}

int64_t longest_record_bound(const MatrixSource *s, const EncodePlan *plan)
{
    int64_t w = words_per_value(plan->header.value_type);
    int64_t longest = 0;
    if (s->column_pointers != nullptr && plan->encoding != ENCODING_DENSE) {
        // What the one-pass encoding of sparse strings asks room for.
        for (int64_t c = 0; c < s->columns; ++c) {
            int64_t words = (s->column_pointers[c + 1] - s->column_pointers[c]) * (w + 2);
            longest = words > longest ? words : longest;
        }
        return longest;
    }
    // A string header for every value at the most; counted exactly only
    // when that bound leaves the word buffer.
    int64_t bound = s->rows * (w + 2);
    if (bound <= WORD_BUFFER_WORDS)
        return bound;
    for (int64_t c = 0; c < s->columns; ++c) {
        ColumnShape shape = s->column_pointers != nullptr ? sparse_dense_shape(s, c) : column_shape(s, c, plan->string_values);
        if (shape.entries > 0 && record_words(plan, &shape) > longest)
            longest = record_words(plan, &shape);
    }
    return longest;
}

namespace {

int record_too_long(Encoder *e, int64_t column, int64_t count)
{
    snprintf(e->problem, PROBLEM_LENGTH, "%s: column %lld needs a record of %lld words, more than a record holds.",
             e->label, static_cast<long long>(column + 1), static_cast<long long>(count));
    return ENCODE_ENCODING;
}

// One column's record: its words (in the word buffer or the store), then
// the record itself; nothing for a column without entries.
int encode_column(Encoder *e, int64_t c, WordStore *store, int *strings_settled)
{
    const MatrixSource *s = e->source;
    const EncodePlan *plan = e->plan;
    int sparse = s->column_pointers != nullptr, dense = plan->encoding == ENCODING_DENSE;
    int64_t count = 0;
    ColumnShape shape = {0, 0, 0, 0, 0};
    uint32_t *words = nullptr;
    int status = ENCODE_DONE;
    if (sparse && !dense) {
        // One pass: room for a string header beside every value at the most.
        int64_t entries = s->column_pointers[c + 1] - s->column_pointers[c];
        if (entries == 0)
            return ENCODE_DONE;
        words = room_for(e, store, entries * (e->w + 2));
        if (words != nullptr)
            count = column_string_words(e, c, words, &status);
    } else {
        shape = sparse ? sparse_dense_shape(s, c) : column_shape(s, c, plan->string_values);
        if (shape.entries == 0)
            return ENCODE_DONE;
        count = record_words(plan, &shape);
        if (count > MAX_RECORD_WORDS)
            return record_too_long(e, c, count);
        words = room_for(e, store, count);
        if (words != nullptr && dense)
            status = dense_words(e, c, &shape, words);
        else if (words != nullptr)
            column_string_words(e, c, words, &status);
    }
    if (words == nullptr) {
        snprintf(e->problem, PROBLEM_LENGTH, "%s: no memory for the words of column %lld.", e->label,
                 static_cast<long long>(c + 1));
        return ENCODE_NO_MEMORY;
    }
    if (status == ENCODE_DONE && plan->encoding == ENCODING_VALUE_COUNT && !*strings_settled) {
        status = settle_value_count(e, c, words, &count, words == e->ch->words ? WORD_BUFFER_WORDS : count);
        *strings_settled = 1;
    }
    if (status != ENCODE_DONE)
        return status;
    if (count > MAX_RECORD_WORDS)
        return record_too_long(e, c, count);
    int32_t first_row = dense ? static_cast<int32_t>(shape.first_row + 1) : 0;
    ColumnHead head = {static_cast<int32_t>(c + 1), first_row, static_cast<int32_t>(count)};
    return write_column(e->ch, &head, words, count) != 0 ? write_failed(e) : ENCODE_DONE;
}

} // namespace

int ENCODEMATRIX(MatrixChannel *ch, const MatrixSource *s, const EncodePlan *plan, WordStore *store,
                 char problem[PROBLEM_LENGTH])
{
    Encoder e = {ch, s, plan, {plan->single, s->imag != nullptr, ch->big_endian}, words_per_value(plan->header.value_type),
                 problem, {}};
    trimmed_name(plan->header.name, e.label);
    if (write_header(ch, &plan->header, plan->digits, plan->wide) != 0)
        return write_failed(&e);
    int strings_settled = 0; // whether a string record has decided how the matrix's strings count
    for (int64_t c = 0; c < s->columns; ++c) {
        int status = encode_column(&e, c, store, &strings_settled);
        if (status != ENCODE_DONE)
            return status;
    }
    // The end record: one zero value.
    uint32_t zero[4] = {0, 0, 0, 0};
    ColumnHead end = {static_cast<int32_t>(s->columns + 1), 1, static_cast<int32_t>(e.w)};
    if (write_column(ch, &end, zero, e.w) != 0)
        return write_failed(&e);
    return ENCODE_DONE;
}
