// Cards are written line by line: a field that finds its line full ends
// that line with a new continuation mark and starts the continuation with
// it, so that every mark is unique and every continuation has its parent.
#include "card_writer.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <limits>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "card_lines.h"
#include "records.h"

namespace {

constexpr int LINE_COLUMNS = 80;
constexpr int MARK_COLUMN = 72;  // field 10 (0-based); its first column is not read
constexpr int MARK_DIGITS = 7;   // columns 74-80, repeated in columns 2-8 of the continuation
constexpr int64_t MARK_LIMIT = 78364164096; // 36^7 marks of 7 base-36 digits

struct CardText {
    MatrixChannel *ch;
    int large;
    int width, quota;
    char line[LINE_COLUMNS + 1];
    int filled;    // data fields on the current line
    int64_t mark;  // the last mark given
    int failed;
};

void mark_text(int64_t mark, char out[MARK_DIGITS])
{
    static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (int k = MARK_DIGITS - 1; k >= 0; --k, mark /= 36)
        out[k] = digits[mark % 36];
}

void put_line(CardText *t)
{
    int length = LINE_COLUMNS;
    while (length > 0 && t->line[length - 1] == ' ')
        --length;
    t->line[length] = '\n';
    if (channel_put(t->ch, t->line, length + 1) != 0)
        t->failed = 1;
    memset(t->line, ' ', sizeof t->line);
}

void begin_card(CardText *t, const char *name)
{
    memset(t->line, ' ', sizeof t->line);
    int n = snprintf(t->line, sizeof t->line, "%s%s", name, t->large ? "*" : "");
    t->line[n] = ' ';
    t->filled = 0;
}

// The next field: right-aligned (numbers) or left-aligned (names).
void put_field(CardText *t, const char *text, int length, int left)
{
    if (t->filled == t->quota) {
        char mark[MARK_DIGITS];
        mark_text(++t->mark, mark);
        t->line[MARK_COLUMN] = t->large ? '*' : '+';
        memcpy(t->line + MARK_COLUMN + 1, mark, MARK_DIGITS);
        put_line(t);
        t->line[0] = t->large ? '*' : '+';
        memcpy(t->line + 1, mark, MARK_DIGITS);
        t->filled = 0;
    }
    int start = 8 + t->filled * t->width;
    memcpy(t->line + start + (left ? 0 : t->width - length), text, static_cast<size_t>(length));
    ++t->filled;
}

void put_text(CardText *t, const char *text) { put_field(t, text, static_cast<int>(strlen(text)), 1); }

void put_integer(CardText *t, int64_t value)
{
    char text[24];
    auto end = std::to_chars(text, text + sizeof text, value).ptr;
    put_field(t, text, static_cast<int>(end - text), 0);
}

void put_blank(CardText *t) { put_field(t, "", 0, 0); }

void put_real(CardText *t, double value, int single)
{
    char text[LARGE_FIELD];
    put_field(t, text, format_card_real(value, single, t->width, text), 0);
}

void end_card(CardText *t) { put_line(t); }

bool is_single(int32_t type) { return type == 1 || type == 3; }
bool is_complex(int32_t type) { return type == 3 || type == 4; }

// A column's entries (a full matrix's nonzeros), one after another.
struct Entries {
    const MatrixSource *s;
    int64_t next, end, offset;
};

Entries entries_of(const MatrixSource *s, int64_t column)
{
    if (s->column_pointers != nullptr)
        return Entries{s, s->column_pointers[column], s->column_pointers[column + 1], 0};
    return Entries{s, column * s->rows, (column + 1) * s->rows, column * s->rows};
}

bool next_entry(Entries *e, int64_t *row, double *real, double *imag)
{
    const MatrixSource *s = e->s;
    for (; e->next < e->end; ++e->next) {
        int64_t k = e->next;
        double re = s->real[k], im = s->imag != nullptr ? s->imag[k] : 0.0;
        if (s->column_pointers == nullptr && re == 0 && im == 0)
            continue;
        *row = s->column_pointers != nullptr ? s->row_indices[k] : k - e->offset;
        *real = re;
        *imag = im;
        ++e->next;
        return true;
    }
    return false;
}

int64_t key_of(int64_t point, int64_t component) { return point * 8 + component; }

// --- Checks ------------------------------------------------------------------

int labels_fit(const CardItem *item, int large, Problem *p)
{
    int64_t most = large ? INT32_MAX : 99999999; // what a field holds
    const MatrixSource *s = &item->source;
    for (int side = 0; side < 2; ++side) {
        const int64_t *points = side == 0 ? item->row_points : item->column_points;
        const int64_t *components = side == 0 ? item->row_components : item->column_components;
        int64_t n = side == 0 ? s->rows : s->columns;
        for (int64_t k = 0; k < n; ++k) {
            bool null_column = side == 1 && points[k] == 0 && components[k] == 0 && item->form == 9;
            if (!null_column && (points[k] < 1 || points[k] > most || components[k] < 0 || components[k] > 6))
                return set_problem(p, PROBLEM_BAD_LABELS, 0,
                                   "%s: the %s label (%lld, %lld) is no point (1 to %lld) and component (0-6).",
                                   item->name, side == 0 ? "row" : "column", static_cast<long long>(points[k]),
                                   static_cast<long long>(components[k]), static_cast<long long>(most));
        }
    }
    return 0;
}

// No label twice on a side, found by sorting a copy.
int labels_unique(const CardItem *item, CardMemory memory, Problem *p)
{
    const MatrixSource *s = &item->source;
    for (int side = 0; side < 2; ++side) {
        const int64_t *points = side == 0 ? item->row_points : item->column_points;
        const int64_t *components = side == 0 ? item->row_components : item->column_components;
        int64_t n = side == 0 ? s->rows : s->columns;
        if (n < 2)
            continue;
        auto *keys = static_cast<int64_t *>(memory.resize(nullptr, n * 8, memory.context));
        if (keys == nullptr)
            return set_problem(p, PROBLEM_OUT_OF_MEMORY, 0, "Out of memory for the labels.");
        int64_t m = 0;
        for (int64_t k = 0; k < n; ++k)
            if (points[k] != 0 || components[k] != 0)
                keys[m++] = key_of(points[k], components[k]);
        std::sort(keys, keys + m);
        int64_t twice = -1;
        for (int64_t k = 1; k < m && twice < 0; ++k)
            if (keys[k] == keys[k - 1])
                twice = keys[k];
        memory.resize(keys, 0, memory.context);
        if (twice >= 0)
            return set_problem(p, PROBLEM_BAD_LABELS, 0, "%s: the %s label (%lld, %lld) is given twice.", item->name,
                               side == 0 ? "row" : "column", static_cast<long long>(twice / 8),
                               static_cast<long long>(twice % 8));
    }
    return 0;
}

bool same_labels(const CardItem *item)
{
    const MatrixSource *s = &item->source;
    if (s->rows != s->columns)
        return false;
    for (int64_t k = 0; k < s->rows; ++k)
        if (item->row_points[k] != item->column_points[k] || item->row_components[k] != item->column_components[k])
            return false;
    return true;
}

int values_fit(const CardItem *item, Problem *p)
{
    const MatrixSource *s = &item->source;
    for (int64_t c = 0; c < s->columns; ++c) {
        Entries e = entries_of(s, c);
        int64_t row = 0;
        double re = 0, im = 0;
        while (next_entry(&e, &row, &re, &im)) {
            for (double part : {re, im}) {
                bool beyond = is_single(item->type) && std::isfinite(part) && std::isinf(static_cast<float>(part));
                if (!std::isfinite(part) || beyond)
                    return set_problem(p, PROBLEM_RANGE, 0,
                                       "%s: the value %g at row %lld, column %lld %s.", item->name, part,
                                       static_cast<long long>(row + 1), static_cast<long long>(c + 1),
                                       beyond ? "lies beyond single precision" : "is no number a card carries");
            }
        }
    }
    return 0;
}

// The form (chosen where not given) and what it needs of the matrix.
int check_item(CardItem *item, int large, CardMemory memory, Problem *p)
{
    const MatrixSource *s = &item->source;
    bool labelled = item->kind == CARD_DMIG;
    bool square_labels = labelled ? same_labels(item) : s->rows == s->columns;
    if (item->form == 0)
        item->form = square_labels && matrix_is_symmetric(s) ? 6 : square_labels ? 1 : 2;
    bool known = item->form == 1 || item->form == 2 || item->form == 6 || (labelled && item->form == 9);
    if (!known)
        return set_problem(p, PROBLEM_BAD_OPTION, 0, "%s: form %d is none of %s.", item->name, item->form,
                           labelled ? "1, 2, 6, 9" : "1, 2, 6");
    if ((item->form == 1 || item->form == 6) && !square_labels)
        return set_problem(p, labelled ? PROBLEM_BAD_LABELS : PROBLEM_BAD_MATRIX, 0,
                           labelled ? "%s: form %d needs the row labels equal to the column labels."
                                    : "%s: form %d needs a square matrix.",
                           item->name, item->form);
    if (item->form == 6 && !matrix_is_symmetric(s))
        return set_problem(p, PROBLEM_BAD_MATRIX, 0, "%s: form 6 needs a matrix equal to its transpose.", item->name);
    if (labelled && (labels_fit(item, large, p) != 0 || labels_unique(item, memory, p) != 0))
        return p->status;
    if (labelled) {
        // A null column ([0 0], IFO 9) holds nothing.
        for (int64_t c = 0; c < s->columns; ++c) {
            Entries e = entries_of(s, c);
            int64_t row = 0;
            double re = 0, im = 0;
            if (item->column_points[c] == 0 && next_entry(&e, &row, &re, &im))
                return set_problem(p, PROBLEM_BAD_LABELS, 0, "%s: column %lld is labelled [0 0] but holds terms.",
                                   item->name, static_cast<long long>(c + 1));
        }
    }
    if (item->tout < 0)
        item->tout = item->type;
    return values_fit(item, p);
}

// --- DMIG ----------------------------------------------------------------------

struct Coverage {
    unsigned char *rows, *columns;
};

void put_term(CardText *t, const CardItem *item, int64_t row, double re, double im)
{
    put_integer(t, item->row_points[row]);
    put_integer(t, item->row_components[row]);
    put_real(t, re, is_single(item->type));
    if (is_complex(item->type))
        put_real(t, im, is_single(item->type));
    else
        put_blank(t);
}

// A DMIG column card, begun with its first term: a column without terms
// gets no card.
struct OpenColumn {
    CardText *t;
    const CardItem *item;
    int64_t column;
    bool started;
};

void put_column_term(OpenColumn *card, int64_t row, double re, double im)
{
    CardText *t = card->t;
    if (!card->started) {
        begin_card(t, "DMIG");
        put_text(t, card->item->name);
        put_integer(t, card->item->column_points[card->column]);
        put_integer(t, card->item->column_components[card->column]);
        put_blank(t);
        card->started = true;
    }
    put_term(t, card->item, row, re, im);
}

// Whether a term is written: form 6 writes each off-diagonal term once,
// where the row label lies below the column label, unless both sides are wanted.
bool term_written(const CardItem *item, int64_t row, int64_t column)
{
    if (item->form != 6 || item->both_sides)
        return true;
    return key_of(item->row_points[row], item->row_components[row]) <=
           key_of(item->column_points[column], item->column_components[column]);
}

void write_dmig_header(CardText *t, const CardItem *item)
{
    begin_card(t, "DMIG");
    put_text(t, item->name);
    put_integer(t, 0);
    put_integer(t, item->form);
    put_integer(t, item->type);
    put_integer(t, item->tout);
    put_blank(t); // POLAR: real and imaginary parts
    put_blank(t);
    if (item->form == 9)
        put_integer(t, item->source.columns);
    end_card(t);
}

// Every label reads back: a row or column that no written term names gets
// a zero term of its own (a square matrix: on its diagonal; else in the
// first column, or in the first row).
void write_dmig(CardText *t, const CardItem *item, const Coverage *cover)
{
    const MatrixSource *s = &item->source;
    bool square = item->form == 1 || item->form == 6;
    memset(cover->rows, 0, static_cast<size_t>(s->rows));
    memset(cover->columns, 0, static_cast<size_t>(s->columns));
    int64_t first_column = -1;
    for (int64_t c = 0; c < s->columns; ++c) {
        if (item->column_points[c] == 0)
            continue;
        first_column = first_column < 0 ? c : first_column;
        Entries e = entries_of(s, c);
        int64_t row = 0;
        double re = 0, im = 0;
        while (next_entry(&e, &row, &re, &im))
            if (term_written(item, row, c))
                cover->rows[row] = cover->columns[c] = 1;
    }
    write_dmig_header(t, item);
    for (int64_t c = 0; c < s->columns; ++c) {
        if (item->column_points[c] == 0)
            continue;
        OpenColumn card = {t, item, c, false};
        Entries e = entries_of(s, c);
        int64_t row = 0;
        double re = 0, im = 0;
        while (next_entry(&e, &row, &re, &im))
            if (term_written(item, row, c))
                put_column_term(&card, row, re, im);
        if (square && !cover->rows[c] && !cover->columns[c])
            put_column_term(&card, c, 0.0, 0.0);
        if (!square && !cover->columns[c] && s->rows > 0)
            put_column_term(&card, 0, 0.0, 0.0);
        if (!square && c == first_column)
            for (int64_t r = 0; r < s->rows; ++r)
                if (!cover->rows[r] && !(r == 0 && !cover->columns[c]))
                    put_column_term(&card, r, 0.0, 0.0);
        if (card.started)
            end_card(t);
    }
}

// --- DMI -----------------------------------------------------------------------

void write_dmi(CardText *t, const CardItem *item)
{
    const MatrixSource *s = &item->source;
    begin_card(t, "DMI");
    put_text(t, item->name);
    put_integer(t, 0);
    put_integer(t, item->form);
    put_integer(t, item->type);
    put_integer(t, item->tout);
    put_blank(t);
    put_integer(t, s->rows);
    put_integer(t, s->columns);
    end_card(t);
    for (int64_t c = 0; c < s->columns; ++c) {
        Entries e = entries_of(s, c);
        int64_t row = 0, next_row = -1;
        double re = 0, im = 0;
        bool started = false;
        while (next_entry(&e, &row, &re, &im)) {
            if (!started) {
                begin_card(t, "DMI");
                put_text(t, item->name);
                put_integer(t, c + 1);
                started = true;
            }
            if (row != next_row)
                put_integer(t, row + 1); // a new run of rows
            put_real(t, re, is_single(item->type));
            if (is_complex(item->type))
                put_real(t, im, is_single(item->type));
            next_row = row + 1;
        }
        if (started)
            end_card(t);
    }
}

// --- Appending -------------------------------------------------------------------

// A mark of 7 base-36 digits (upper case), as this writer makes them; -1 otherwise.
int64_t mark_value(const char *text)
{
    int64_t value = 0;
    for (int k = 0; k < MARK_DIGITS; ++k) {
        char c = text[k];
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'Z' ? c - 'A' + 10 : -1;
        if (digit < 0)
            return -1;
        value = value * 36 + digit;
    }
    return value;
}

// The existing file: where its ENDDATA line starts (or its size), the
// highest mark of this writer's kind in it, whether it ends with a line end.
struct Existing {
    int64_t enddata;
    int64_t highest_mark;
    int ends_with_newline;
};

int read_existing(MatrixChannel *r, Existing *x)
{
    x->enddata = r->size;
    x->highest_mark = 0;
    x->ends_with_newline = 1;
    const char *line = nullptr;
    int64_t length = 0;
    for (;;) {
        int64_t start = channel_position(r);
        int outcome = channel_read_line(r, &line, &length, MAX_CARD_LINE);
        if (outcome == LINE_END_OF_FILE)
            break;
        if (outcome != LINE_DONE)
            continue;
        int64_t p = 0;
        while (p < length && (line[p] == ' ' || line[p] == '\t'))
            ++p;
        if (length - p >= 7 && strncasecmp(line + p, "ENDDATA", 7) == 0) {
            x->enddata = start;
            break;
        }
        const char *marks[2] = {length >= MARK_COLUMN + 1 + MARK_DIGITS ? line + MARK_COLUMN + 1 : nullptr,
                                length >= 1 + MARK_DIGITS && (line[0] == '+' || line[0] == '*') ? line + 1 : nullptr};
        for (const char *m : marks)
            if (m != nullptr && mark_value(m) > x->highest_mark)
                x->highest_mark = mark_value(m);
    }
    if (x->enddata == r->size && r->size > 0) {
        char last = 0;
        x->ends_with_newline = channel_peek(r, &last, 1, r->size - 1) == 0 && last == '\n';
    }
    return 0;
}

int copy_bytes(MatrixChannel *from, MatrixChannel *to, int64_t begin, int64_t end)
{
    unsigned char block[1 << 16];
    for (int64_t at = begin; at < end;) {
        int64_t n = end - at < static_cast<int64_t>(sizeof block) ? end - at : static_cast<int64_t>(sizeof block);
        if (channel_peek(from, block, n, at) != 0 || channel_put(to, block, n) != 0)
            return 1;
        at += n;
    }
    return 0;
}

// The appended file locked for the whole run (so that appends at once
// both land), reopened when another writer replaced it meanwhile.
int lock_existing(const char *path)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            return -1;
        struct stat held, named;
        if (flock(fd, LOCK_EX) == 0 && fstat(fd, &held) == 0 && stat(path, &named) == 0 &&
            held.st_ino == named.st_ino && held.st_dev == named.st_dev)
            return fd;
        close(fd);
    }
    return -1;
}

int cannot_write(MatrixChannel *ch, const char *path, Problem *p)
{
    int error = ch->write_error;
    return set_problem(p, PROBLEM_CANNOT_WRITE, 0, "%s: %s", path, error != 0 ? strerror(error) : "write failed");
}

} // namespace

int save_cards(MatrixChannel *ch, MatrixChannel *reading, const char *path, CardWriteOptions o, CardItem *items,
               int64_t count, CardMemory memory, Problem *p)
{
    clear_problem(p);
    int64_t most_rows = 0, most_columns = 0;
    for (int64_t k = 0; k < count; ++k) {
        if (check_item(&items[k], o.large, memory, p) != 0)
            return p->status;
        most_rows = items[k].source.rows > most_rows ? items[k].source.rows : most_rows;
        most_columns = items[k].source.columns > most_columns ? items[k].source.columns : most_columns;
    }
    Coverage cover = {static_cast<unsigned char *>(memory.resize(nullptr, most_rows + 1, memory.context)),
                      static_cast<unsigned char *>(memory.resize(nullptr, most_columns + 1, memory.context))};
    int lock = -1;
    Existing existing = {0, 0, 1};
    struct stat status;
    bool appending = o.append && stat(path, &status) == 0 && S_ISREG(status.st_mode);
    int failed = cover.rows == nullptr || cover.columns == nullptr;
    if (failed)
        set_problem(p, PROBLEM_OUT_OF_MEMORY, 0, "Out of memory for the labels.");
    if (!failed && appending) {
        lock = lock_existing(path);
        failed = lock < 0 || open_channel(reading, path) != 0;
        if (failed)
            set_problem(p, PROBLEM_CANNOT_WRITE, 0, "%s: %s", path, strerror(errno != 0 ? errno : EACCES));
        else
            read_existing(reading, &existing);
    }
    if (!failed && open_channel_for_writing(ch, path, 0) != 0) {
        failed = 1;
        cannot_write(ch, path, p);
    }
    if (!failed) {
        CardText t = {ch, o.large, o.large ? LARGE_FIELD : SMALL_FIELD, o.large ? 4 : 8, {}, 0, existing.highest_mark, 0};
        if (appending)
            t.failed |= copy_bytes(reading, ch, 0, existing.enddata) != 0 ||
                        (!existing.ends_with_newline && channel_put(ch, "\n", 1) != 0);
        for (int64_t k = 0; k < count && !t.failed; ++k) {
            if (items[k].kind == CARD_DMIG)
                write_dmig(&t, &items[k], &cover);
            else
                write_dmi(&t, &items[k]);
        }
        if (appending)
            t.failed |= copy_bytes(reading, ch, existing.enddata, reading->size) != 0;
        if (t.mark >= MARK_LIMIT) {
            failed = 1;
            set_problem(p, PROBLEM_CANNOT_WRITE, 0, "%s: more continuation lines than marks.", path);
            abort_channel(ch);
        } else if (t.failed || commit_channel(ch) != 0) {
            failed = 1;
            cannot_write(ch, path, p);
            abort_channel(ch);
        }
    }
    if (appending)
        close_channel(reading);
    if (lock >= 0)
        close(lock);
    memory.resize(cover.rows, 0, memory.context);
    memory.resize(cover.columns, 0, memory.context);
    return failed ? p->status : 0;
}
