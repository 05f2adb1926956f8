// Text records, so that locating and decoding do not know the difference
// from binary ones. Values are parsed from their text, correctly rounded
// to the matrix's precision, into the words a binary file holds; written
// values are formatted as a Fortran runtime writes them.
#include "text_records.h"

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "text_numbers.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A whole field as an int32, blanks around it allowed; 0 on success.
int parse_int(const char *text, int64_t length, int32_t *value)
{
    int64_t first = 0, last = length;
    while (first < last && is_blank(text[first]))
        ++first;
    while (last > first && is_blank(text[last - 1]))
        --last;
    if (first < last && text[first] == '+')
        ++first;
    if (first == last)
        return 1;
    auto result = std::from_chars(text + first, text + last, *value);
    return result.ec != std::errc() || result.ptr != text + last;
}

// Blank-separated integers; the number found, or -1 when a field is not one.
int token_ints(const char *line, int64_t length, int32_t *values, int most)
{
    int count = 0;
    for (int64_t p = 0; p < length;) {
        while (p < length && is_blank(line[p]))
            ++p;
        int64_t start = p;
        while (p < length && !is_blank(line[p]))
            ++p;
        if (p == start)
            break;
        if (count == most || parse_int(line + start, p - start, &values[count]) != 0)
            return -1;
        ++count;
    }
    return count;
}

// Fixed-width integer fields; 0 when each parses.
int fixed_ints(const char *line, int64_t length, const int *widths, int count, int32_t *values)
{
    int64_t p = 0;
    for (int k = 0; k < count; ++k) {
        if (p + widths[k] > length || parse_int(line + p, widths[k], &values[k]) != 0)
            return 1;
        p += widths[k];
    }
    return 0;
}

// A line of integers only: digits, signs and blanks (a value line always
// holds a point or a word such as NaN).
int is_integer_line(const char *line, int64_t length)
{
    for (int64_t p = 0; p < length; ++p)
        if (!is_digit(line[p]) && !is_blank(line[p]) && line[p] != '+' && line[p] != '-')
            return 0;
    return 1;
}

// A T1 line of string header integers: cut into its fields when it is a
// whole number of them (fields touch from 10^7 on), else blank-separated.
int integer_fields(const MatrixChannel *ch, const char *line, int64_t length, int32_t *values, int most)
{
    int width = ch->text_state.integer_width;
    if (ch->text_state.layout == TEXT_T1 && length > 0 && length % width == 0 && length / width <= most) {
        int widths[4] = {width, width, width, width};
        int count = static_cast<int>(length / width);
        if (fixed_ints(line, length, widths, count, values) == 0)
            return count;
    }
    return token_ints(line, length, values, most);
}

// The line as a message may quote it: at most 40 of its own characters,
// anything unprintable as '?'.
void quoted_line(const char *line, int64_t length, char out[41])
{
    int64_t n = length < 40 ? length : 40;
    for (int64_t i = 0; i < n; ++i) {
        auto c = static_cast<unsigned char>(line[i]);
        out[i] = c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    out[n] = '\0';
}

// The value field width of a Fortran format such as "1P,3E23.16"; 0 when none.
int format_field_width(const char *text, int64_t length)
{
    for (int64_t p = 0; p < length; ++p) {
        char c = text[p];
        if ((c == 'E' || c == 'D' || c == 'G' || c == 'F' || c == 'e' || c == 'd') && p + 1 < length &&
            is_digit(text[p + 1])) {
            int32_t width = 0;
            int64_t q = p + 1;
            for (; q < length && is_digit(text[q]); ++q)
                width = width > MAX_NUMBER_TEXT ? width : width * 10 + (text[q] - '0'); // saturates: no overflow
            if (q < length && text[q] == '.' && width > 0 && width <= MAX_NUMBER_TEXT)
                return width;
        }
    }
    return 0;
}

int printable_line(const char *line, int64_t length)
{
    for (int64_t p = 0; p < length; ++p)
        if ((static_cast<unsigned char>(line[p]) < 0x20 && line[p] != '\t') || static_cast<unsigned char>(line[p]) > 0x7E)
            return 0;
    return 1;
}

void set_name(HeaderRecord *h, const char *text, int64_t length)
{
    blank_filled(text, static_cast<size_t>(length < NAME_LENGTH ? length : NAME_LENGTH), h->name);
}

// T1: four integers in fixed fields (8 wide; the counts 16 wide when the
// format ends in "|I16"), the name in the next 8 characters, the format.
int parse_t1_header(const char *line, int64_t length, HeaderRecord *h, TextState *m)
{
    int wide = length >= 4 && memcmp(line + length - 4, "|I16", 4) == 0;
    const int narrow_widths[] = {8, 8, 8, 8}, wide_widths[] = {16, 16, 8, 8};
    int64_t name_at = wide ? 48 : 32;
    int32_t v[4];
    if (length <= name_at + NAME_LENGTH || fixed_ints(line, length, wide ? wide_widths : narrow_widths, 4, v) != 0 ||
        is_blank(line[name_at]))
        return 1;
    int width = format_field_width(line + name_at + NAME_LENGTH, length - name_at - NAME_LENGTH);
    if (width == 0)
        return 1;
    *h = HeaderRecord{v[0], v[1], v[2], v[3], {}};
    set_name(h, line + name_at, NAME_LENGTH);
    m->layout = TEXT_T1;
    m->field_width = width;
    m->integer_width = wide ? T1_WIDE_FIELD : T1_FIELD;
    return 0;
}

// T2: four blank-separated integers, then the name.
int parse_t2_header(const char *line, int64_t length, HeaderRecord *h, TextState *m)
{
    int32_t v[4];
    int64_t p = 0;
    for (int k = 0; k < 4; ++k) {
        while (p < length && is_blank(line[p]))
            ++p;
        int64_t start = p;
        while (p < length && !is_blank(line[p]))
            ++p;
        if (p == start || parse_int(line + start, p - start, &v[k]) != 0)
            return 1;
    }
    while (p < length && is_blank(line[p]))
        ++p;
    int64_t end = length;
    while (end > p && is_blank(line[end - 1]))
        --end;
    if (end == p || end - p > NAME_LENGTH)
        return 1;
    *h = HeaderRecord{v[0], v[1], v[2], v[3], {}};
    set_name(h, line + p, end - p);
    m->layout = TEXT_T2;
    m->field_width = 0;
    m->integer_width = T1_FIELD;
    return 0;
}

int parse_header_line(const char *line, int64_t length, HeaderRecord *h, TextState *m)
{
    if (!printable_line(line, length))
        return 1;
    if (parse_t1_header(line, length, h, m) != 0 && parse_t2_header(line, length, h, m) != 0)
        return 1;
    int32_t type = h->value_type;
    m->words_per_number = value_type_is_double(type) ? 2 : 1;
    m->numbers_per_value = value_type_is_complex(type) ? 2 : 1;
    m->large = header_is_large(h->row_count);
    return 0;
}

__attribute__((format(printf, 3, 4))) RecordOutcome damaged(MatrixChannel *ch, int64_t line_start, const char *format, ...)
{
    char what[PROBLEM_LENGTH - 48];
    va_list args;
    va_start(args, format);
    vsnprintf(what, sizeof what, format, args);
    va_end(args);
    snprintf(ch->problem, sizeof ch->problem, "Damaged file: line %lld: %s", static_cast<long long>(channel_line_number(ch, line_start)),
             what);
    channel_mark_stuck(ch);
    return RECORD_DAMAGED;
}

// The next number of a line whose fields may touch: [sign] digits [. digits]
// [exponent], or a word such as NaN or Infinity. Returns its length, 0 at
// the end of the line, -1 when the text is no number.
int64_t next_number(const char *line, int64_t length, int64_t *p)
{
    while (*p < length && is_blank(line[*p]))
        ++*p;
    int64_t start = *p, q = *p;
    if (q == length)
        return 0;
    if (line[q] == '+' || line[q] == '-')
        ++q;
    if (q < length && ((line[q] | 0x20) == 'n' || (line[q] | 0x20) == 'i')) {
        while (q < length && ((line[q] | 0x20) >= 'a' && (line[q] | 0x20) <= 'z'))
            ++q;
    } else {
        int64_t digits = 0;
        for (; q < length && is_digit(line[q]); ++q)
            ++digits;
        if (q < length && line[q] == '.')
            for (++q; q < length && is_digit(line[q]); ++q)
                ++digits;
        if (digits == 0)
            return -1;
        int64_t e = q;
        if (e < length && (line[e] == 'E' || line[e] == 'D' || line[e] == 'e' || line[e] == 'd'))
            ++e;
        if (e < length && (line[e] == '+' || line[e] == '-'))
            ++e;
        if (e > q && e < length && is_digit(line[e])) {
            while (e < length && is_digit(line[e]))
                ++e;
            q = e;
        }
    }
    if (q < length && !is_blank(line[q]) && line[q] != '+' && line[q] != '-')
        return -1;
    *p = q;
    return q - start;
}

// Where the words of the record being read go.
struct WordSink {
    uint32_t *words;
    int64_t count;
    int64_t capacity;
    WordStore *store;
};

// Room for needed words in all (the store beyond the buffer); 0 when there is.
int sink_room(WordSink *sink, int64_t needed)
{
    if (needed <= sink->capacity)
        return 0;
    if (sink->store == nullptr)
        return 1;
    int64_t wanted = needed > 2 * sink->capacity ? needed : 2 * sink->capacity;
    if (sink->store->capacity < wanted && sink->store->enlarge(sink->store, wanted, sink->store->context) != 0)
        return 1;
    if (sink->words != sink->store->words)
        memcpy(sink->store->words, sink->words, static_cast<size_t>(sink->count) * 4);
    sink->words = sink->store->words;
    sink->capacity = sink->store->capacity;
    return 0;
}

int sink_put(WordSink *sink, uint32_t word)
{
    if (sink_room(sink, sink->count + 1) != 0)
        return 1;
    sink->words[sink->count++] = word;
    return 0;
}

enum NumbersFailure { NUMBERS_NOT_A_NUMBER = -1, NUMBERS_TOO_MANY = -2, NUMBERS_NO_MEMORY = -3 };

// The numbers of one value line into the sink, at most limit words, in
// fields of the given width (0: numbers as they stand, touching or not).
// The number of numbers taken, or a NumbersFailure with *bad the field.
int64_t numbers_of_line(MatrixChannel *ch, const char *line, int64_t length, int64_t width, WordSink *sink, int64_t limit,
                        int64_t *bad_first, int64_t *bad_length)
{
    int64_t taken = 0, p = 0;
    for (;;) {
        int64_t start = p, size;
        if (width > 0) {
            if (p >= length)
                break;
            size = length - p < width ? length - p : width;
            p += size;
        } else {
            size = next_number(line, length, &p);
            if (size == 0)
                break;
            if (size < 0) {
                *bad_first = p;
                *bad_length = length - p < 20 ? length - p : 20;
                return NUMBERS_NOT_A_NUMBER;
            }
            start = p - size;
        }
        int64_t first = start, last = start + size;
        while (first < last && is_blank(line[first]))
            ++first;
        if (first == last) {
            if (width > 0)
                break; // the rest of a short last line
            continue;
        }
        uint32_t words[2];
        if (number_words(line + first, last - first, ch->text_state.words_per_number, words) != 0) {
            *bad_first = first;
            *bad_length = last - first;
            return NUMBERS_NOT_A_NUMBER;
        }
        if (sink->count >= limit)
            return NUMBERS_TOO_MANY;
        for (int w = 0; w < ch->text_state.words_per_number && sink->count < limit; ++w)
            if (sink_put(sink, words[w]) != 0)
                return NUMBERS_NO_MEMORY;
        ++taken;
    }
    return taken;
}

// One value line into the sink; -1 (damage reported) when it cannot be.
// A line that is not whole fields of the format's width, or whose fields
// do not parse, is taken number by number.
int64_t take_numbers(MatrixChannel *ch, const char *line, int64_t length, int64_t line_start, WordSink *sink, int64_t limit)
{
    // Only a line of whole fields is cut into them: a shifted line would
    // cut numbers apart into other valid numbers.
    int64_t width = ch->text_state.field_width > 0 && length % ch->text_state.field_width == 0 ? ch->text_state.field_width : 0;
    int64_t bad_first = 0, bad_length = 0, count_before = sink->count;
    int64_t taken = numbers_of_line(ch, line, length, width, sink, limit, &bad_first, &bad_length);
    if (taken == NUMBERS_NOT_A_NUMBER && width > 0) {
        sink->count = count_before;
        taken = numbers_of_line(ch, line, length, 0, sink, limit, &bad_first, &bad_length);
    }
    if (taken == NUMBERS_NOT_A_NUMBER)
        damaged(ch, line_start, "\"%.*s\" is not a number.", static_cast<int>(bad_length), line + bad_first);
    else if (taken == NUMBERS_TOO_MANY)
        damaged(ch, line_start, "more values than the word count of the column.");
    else if (taken == NUMBERS_NO_MEMORY)
        damaged(ch, line_start, "no memory for the column's words.");
    return taken < 0 ? -1 : taken;
}

// Reads value lines (and, when ints_allowed, lines of string header
// integers) until the sink holds limit words.
RecordOutcome fill_words(MatrixChannel *ch, WordSink *sink, int64_t limit, int ints_allowed, int32_t column)
{
    while (sink->count < limit) {
        int64_t line_start = channel_position(ch);
        const char *line = nullptr;
        int64_t length = 0;
        int outcome = channel_read_line(ch, &line, &length, MAX_TEXT_LINE);
        if (outcome == LINE_END_OF_FILE)
            return damaged(ch, line_start, "the file ends inside column %d: %lld of its %lld words read.", column,
                           static_cast<long long>(sink->count), static_cast<long long>(limit));
        if (outcome == LINE_TOO_LONG)
            return damaged(ch, line_start, "longer than any layout writes.");
        if (ints_allowed && is_integer_line(line, length)) {
            int32_t values[4];
            int count = integer_fields(ch, line, length, values, 4);
            if (count <= 0)
                return damaged(ch, line_start, "expected string header integers or values of column %d.", column);
            for (int k = 0; k < count; ++k)
                if (sink->count >= limit || sink_put(sink, static_cast<uint32_t>(values[k])) != 0)
                    return damaged(ch, line_start, "more words than the word count of column %d.", column);
            continue;
        }
        if (take_numbers(ch, line, length, line_start, sink, limit) < 0)
            return RECORD_DAMAGED;
    }
    return RECORD_DONE;
}

// A column line: column, first row and word count (T2 strings: column,
// minus the first row, and the number of values).
int parse_column_line(const MatrixChannel *ch, const char *line, int64_t length, int32_t v[3])
{
    const int narrow[] = {T1_FIELD, T1_FIELD, T1_FIELD}, wide[] = {T1_WIDE_FIELD, T1_WIDE_FIELD, T1_WIDE_FIELD};
    if (ch->text_state.layout == TEXT_T1 && length == 3 * T1_FIELD && fixed_ints(line, length, narrow, 3, v) == 0)
        return 0;
    if (ch->text_state.layout == TEXT_T1 && length == 3 * T1_WIDE_FIELD && fixed_ints(line, length, wide, 3, v) == 0)
        return 0;
    return token_ints(line, length, v, 3) == 3 ? 0 : 1;
}

// A T2 sparse column: its string lines become one record of strings in
// the format's own layout (words + 1, or the large-matrix pair).
RecordOutcome read_t2_strings(MatrixChannel *ch, WordSink *sink, int32_t column, int32_t minus_row, int32_t values)
{
    int64_t numbers_per_value = ch->text_state.numbers_per_value;
    int64_t words_per_value = numbers_per_value * ch->text_state.words_per_number;
    for (;;) {
        int64_t line_start = channel_position(ch);
        if (minus_row >= 0 || values < 0)
            return damaged(ch, line_start, "expected a string line of column %d.", column);
        int64_t row = -static_cast<int64_t>(minus_row);
        for (int64_t done = 0; done < values;) {
            int64_t count = values - done;
            if (!ch->text_state.large && count * words_per_value > MAX_STRING_WORDS)
                count = MAX_STRING_WORDS / words_per_value;
            int64_t data = count * words_per_value;
            int failed;
            if (ch->text_state.large)
                failed = sink_put(sink, static_cast<uint32_t>(data + 1)) != 0 ||
                         sink_put(sink, static_cast<uint32_t>(row + done)) != 0;
            else
                failed = row + done > LARGE_ROW_BOUND ||
                         sink_put(sink, static_cast<uint32_t>((data + 1) * PACKED_ROW_FACTOR + row + done)) != 0;
            if (failed)
                return damaged(ch, line_start, "the string of column %d cannot be held (row %lld).", column,
                               static_cast<long long>(row + done));
            if (fill_words(ch, sink, sink->count + data, 0, column) != RECORD_DONE)
                return RECORD_DAMAGED;
            done += count;
        }
        // The next line continues the record when it is a string line of this column.
        int64_t next = channel_position(ch);
        const char *line = nullptr;
        int64_t length = 0;
        int32_t v[3];
        if (channel_read_line(ch, &line, &length, MAX_TEXT_LINE) != LINE_DONE || parse_column_line(ch, line, length, v) != 0 ||
            v[0] != column || v[1] >= 0) {
            channel_return_to(ch, next);
            return RECORD_DONE;
        }
        minus_row = v[1];
        values = v[2];
    }
}

} // namespace

int text_file_starts(MatrixChannel *ch)
{
    const char *line = nullptr;
    int64_t length = 0;
    HeaderRecord h;
    TextState m = ch->text_state;
    return channel_read_line(ch, &line, &length, MAX_TEXT_LINE) == LINE_DONE && parse_header_line(line, length, &h, &m) == 0;
}

RecordOutcome text_read_header(MatrixChannel *ch, HeaderRecord *header)
{
    const char *line = nullptr;
    int64_t length = 0;
    int outcome = channel_read_line(ch, &line, &length, MAX_TEXT_LINE);
    if (outcome == LINE_END_OF_FILE)
        return RECORD_END_OF_FILE;
    if (outcome != LINE_DONE)
        return RECORD_READ_ERROR;
    TextState m = ch->text_state;
    if (parse_header_line(line, length, header, &m) != 0)
        return RECORD_READ_ERROR;
    ch->text_state = m;
    return RECORD_DONE;
}

RecordOutcome text_read_column(MatrixChannel *ch, ColumnHead *head, RecordView *view, WordStore *store)
{
    ch->problem[0] = '\0';
    int64_t line_start = channel_position(ch);
    ch->record_start = line_start;
    const char *line = nullptr;
    int64_t length = 0;
    int outcome = channel_read_line(ch, &line, &length, MAX_TEXT_LINE);
    if (outcome == LINE_END_OF_FILE)
        return RECORD_END_OF_FILE;
    if (outcome == LINE_TOO_LONG)
        return damaged(ch, line_start, "longer than any layout writes.");
    int32_t v[3];
    if (parse_column_line(ch, line, length, v) != 0)
    {
        char quoted[41];
        quoted_line(line, length, quoted);
        return damaged(ch, line_start, "expected a column line (column, first row, word count), found \"%s\".", quoted);
    }
    WordSink sink = {ch->words, 0, WORD_BUFFER_WORDS, store};
    *head = ColumnHead{v[0], v[1], v[2]};
    RecordOutcome result;
    if (ch->text_state.layout == TEXT_T2 && v[1] < 0) {
        head->first_row = 0;
        result = read_t2_strings(ch, &sink, v[0], v[1], v[2]);
        head->word_count = static_cast<int32_t>(sink.count);
    } else {
        int64_t words = v[2] > 0 ? v[2] : 0;
        if (words > WORD_BUFFER_WORDS && sink_room(&sink, words) != 0)
            return damaged(ch, line_start, "no memory for the %lld words of column %d.", static_cast<long long>(words), v[0]);
        result = fill_words(ch, &sink, words, ch->text_state.layout == TEXT_T1 && v[1] == 0, v[0]);
    }
    if (result != RECORD_DONE)
        return result;
    if (view != nullptr)
        *view = RecordView{sink.words, sink.count, 0};
    return RECORD_DONE;
}

int64_t text_record_line(MatrixChannel *ch) { return channel_line_number(ch, ch->record_start); }

int64_t text_word_line(MatrixChannel *ch, int64_t word)
{
    // Only asked once a record is found damaged: its lines are read again,
    // counting the words each gave, and the channel is put back.
    int64_t saved = ch->position, line_number = text_record_line(ch), counted = 0;
    int stuck = ch->stuck;
    ch->stuck = 0;
    ch->position = ch->record_start;
    const char *line = nullptr;
    int64_t length = 0;
    if (word > 0 && channel_read_line(ch, &line, &length, MAX_TEXT_LINE) == LINE_DONE) {
        while (channel_read_line(ch, &line, &length, MAX_TEXT_LINE) == LINE_DONE) {
            ++line_number;
            int32_t values[4];
            if (is_integer_line(line, length)) {
                int count = integer_fields(ch, line, length, values, 4);
                counted += count > 0 ? count : 0;
            } else {
                for (int64_t p = 0, size; (size = next_number(line, length, &p)) > 0;)
                    counted += ch->text_state.words_per_number;
            }
            if (counted >= word)
                break;
        }
    }
    ch->position = saved;
    ch->stuck = stuck;
    return line_number;
}

// --- Writing T1 --------------------------------------------------------------

namespace {

// Appends value right-aligned in a field of width.
char *put_integer(char *out, int64_t value, int width)
{
    char digits[24];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    auto length = static_cast<int>(result.ptr - digits);
    for (int k = length; k < width; ++k)
        *out++ = ' ';
    memcpy(out, digits, static_cast<size_t>(length));
    return out + length;
}

int put_line(MatrixChannel *ch, const char *start, char *end)
{
    *end++ = '\n';
    return channel_put(ch, start, end - start);
}

int put_integers(MatrixChannel *ch, const int64_t *values, int count)
{
    char line[4 * T1_WIDE_FIELD + 2], *end = line;
    for (int k = 0; k < count; ++k)
        end = put_integer(end, values[k], ch->text_state.integer_width);
    return put_line(ch, line, end);
}

// count numbers (words_per_number words each) on lines of per_line.
int put_numbers(MatrixChannel *ch, const uint32_t *words, int64_t count)
{
    const TextState *t = &ch->text_state;
    char line[MAX_TEXT_LINE + 2];
    for (int64_t done = 0; done < count;) {
        char *end = line;
        for (int k = 0; k < t->per_line && done < count; ++k, ++done) {
            double value = t->words_per_number == 1 ? single_of_word(words[done])
                                                    : double_of_words(words[2 * done], words[2 * done + 1], false);
            end += format_fortran_e(value, t->digits, t->field_width, end);
        }
        if (put_line(ch, line, end) != 0)
            return 1;
    }
    return 0;
}

} // namespace

int text_write_header(MatrixChannel *ch, const HeaderRecord *header, int digits, int wide)
{
    TextState *t = &ch->text_state;
    t->layout = TEXT_T1;
    t->digits = digits;
    t->field_width = digits + 7;
    // Lines of at most 80 characters, as 1P,kEw.d with k = 80 / w writes them.
    t->per_line = 80 / t->field_width > 1 ? 80 / t->field_width : 1;
    t->integer_width = wide ? T1_WIDE_FIELD : T1_FIELD;
    t->words_per_number = value_type_is_double(header->value_type) ? 2 : 1;
    t->numbers_per_value = value_type_is_complex(header->value_type) ? 2 : 1;
    t->large = header_is_large(header->row_count);
    char line[MAX_TEXT_LINE], *end = line;
    int count_width = wide ? T1_WIDE_FIELD : T1_FIELD;
    end = put_integer(end, header->column_count, count_width);
    end = put_integer(end, header->row_count, count_width);
    end = put_integer(end, header->form, T1_FIELD);
    end = put_integer(end, header->value_type, T1_FIELD);
    memcpy(end, header->name, NAME_LENGTH);
    end += NAME_LENGTH;
    end += snprintf(end, 40, "1P,%dE%d.%d%s", t->per_line, t->field_width, digits, wide ? "|I16" : "");
    return put_line(ch, line, end);
}

int text_write_column(MatrixChannel *ch, const ColumnHead *head, const uint32_t *words, int64_t count)
{
    const TextState *t = &ch->text_state;
    const int64_t line[] = {head->column, head->first_row, head->word_count};
    if (put_integers(ch, line, 3) != 0)
        return 1;
    if (head->first_row != 0)
        return put_numbers(ch, words, count / t->words_per_number);
    // Strings: each header on a line of its own, then its values.
    for (int64_t m = 0; m < count;) {
        int64_t length, row, data;
        if (t->large) {
            length = static_cast<int32_t>(words[m]);
            const int64_t pair[] = {length, static_cast<int32_t>(words[m + 1])};
            if (put_integers(ch, pair, 2) != 0)
                return 1;
            data = m + 2;
            m += length + 1;
        } else {
            split_string_header(static_cast<int32_t>(words[m]), &length, &row);
            const int64_t one[] = {static_cast<int32_t>(words[m])};
            if (put_integers(ch, one, 1) != 0)
                return 1;
            data = m + 1;
            m += length;
        }
        if (put_numbers(ch, words + data, (length - 1) / t->words_per_number) != 0)
            return 1;
    }
    return 0;
}
