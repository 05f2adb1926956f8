// Cards are read field by field (card_lines.h): each field is checked
// and turned into a header value, a column's label or a term as it comes,
// so that a term costs its row, value and line and nothing else. Labels
// are ordered through hash tables, terms placed by a counting sort of
// their columns and a sort of each column's rows.
#include "cards.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "card_lines.h"
#include "memory.h"

namespace {

constexpr int64_t FIRST_ROOM = 1024;
constexpr int64_t NO_CARD = -1;
constexpr int MAX_COMPONENT = 6;

// The card being read.
struct CardParse {
    int kind;
    int decided; // field 2 read: header or column card
    int header;
    char name[CARD_NAME_LENGTH + 1];
    int64_t name_line;
    int64_t matrix; // of a column card, or -1
    int32_t values[9];  // a header's fields 3-8
    int64_t lines[9];
    int64_t point;      // a DMIG column card's point (field 3), then its label key
    int single, complex_values; // of its matrix: TIN 1 or 3, TIN 3 or 4
    // A DMIG term being read: its fields G, C, A, B.
    int64_t term_point, term_component;
    double term_real, term_imag;
    int term_nonblank;
    int64_t term_line;
    // A DMI column card: the next row, the value given last, THRU pending,
    // a complex value's real part waiting for its imaginary part.
    int64_t next_row;
    int has_value;
    double last_real, last_imag;
    int thru;
    int half;
    double half_real;
};

int bad(CardSet *set, int64_t line, const char *format, const char *text, int64_t length)
{
    char quoted[48];
    snprintf(quoted, sizeof quoted, "%.*s", static_cast<int>(length < 40 ? length : 40), text);
    return set_problem(set->problem, PROBLEM_BAD_CARD, line, format, quoted);
}

// Grows an array to hold needed items; 0, or the problem's status.
template <typename T> int grow(CardSet *set, T **items, int64_t *room, int64_t needed)
{
    if (needed <= *room)
        return 0;
    int64_t wanted = *room * 2 > needed ? *room * 2 : needed;
    wanted = wanted > FIRST_ROOM ? wanted : FIRST_ROOM;
    int64_t bytes = wanted * static_cast<int64_t>(sizeof(T)), held = *room * static_cast<int64_t>(sizeof(T));
    int64_t available = memory_available(set->ch);
    if (!memory_fits(bytes, held, available))
        return set_problem(set->problem, PROBLEM_OUT_OF_MEMORY, 0,
                           "Out of memory: the cards need %lld MB, the process can get %lld MB.",
                           static_cast<long long>(bytes >> 20), static_cast<long long>(available >> 20));
    void *grown = set->memory.resize(*items, bytes, set->memory.context);
    if (grown == nullptr)
        return set_problem(set->problem, PROBLEM_OUT_OF_MEMORY, 0, "Out of memory for the cards.");
    *items = static_cast<T *>(grown);
    *room = wanted;
    return 0;
}

template <typename T> void release(CardSet *set, T **items)
{
    if (*items != nullptr)
        set->memory.resize(*items, 0, set->memory.context);
    *items = nullptr;
}

int is_complex_type(int32_t type) { return type == 3 || type == 4; }
int is_single_type(int32_t type) { return type == 1 || type == 3; }

int64_t find_matrix(const CardSet *set, const char *name)
{
    for (int64_t k = set->matrix_count - 1; k >= 0; --k)
        if (strcmp(set->matrices[k].name, name) == 0)
            return k;
    return -1;
}

int name_is_wanted(const CardSet *set, const char *name)
{
    if (set->names == nullptr)
        return 1;
    for (int64_t k = 0; k < set->name_count; ++k)
        if (strcmp(set->names[k], name) == 0)
            return 1;
    return 0;
}

int integer_field(CardSet *set, const CardField *f, int64_t *value)
{
    int status = card_integer(f->text, f->length, value);
    if (status == CARD_NUMBER_DONE)
        return 0;
    return bad(set, f->line,
               status == CARD_NUMBER_RANGE ? "\"%s\" is beyond the integers a field holds." : "\"%s\" is not an integer.",
               f->text, f->length);
}

int real_field(CardSet *set, const CardField *f, int single, double *value)
{
    int status = card_real(f->text, f->length, single, value);
    if (status == CARD_NUMBER_DONE)
        return 0;
    return bad(set, f->line,
               status == CARD_NUMBER_NO_POINT ? "\"%s\": a real without decimal point."
               : status == CARD_NUMBER_RANGE  ? "\"%s\" lies beyond the range of its precision."
                                              : "\"%s\" is not a number.",
               f->text, f->length);
}

int in_set(int32_t value, const int *allowed, int count)
{
    for (int k = 0; k < count; ++k)
        if (value == allowed[k])
            return 1;
    return 0;
}

// Header fields 3-8: checked as they come.
int header_field(CardSet *set, CardParse *c, int64_t index, const CardField *f)
{
    if (index > 8)
        return 0;
    int64_t value = 0;
    if ((c->kind == CARD_DMIG && index == 7) || (c->kind == CARD_DMI && index == 6))
        return 0; // the blank field of the header
    if (integer_field(set, f, &value) != 0)
        return set->problem->status;
    static const int dmig_forms[] = {1, 2, 6, 9}, dmi_forms[] = {1, 2, 3, 4, 5, 6, 8};
    const char *what = nullptr;
    if (index == 3 && c->kind == CARD_DMIG && !in_set(static_cast<int32_t>(value), dmig_forms, 4))
        what = "IFO %s is none of 1, 2, 6, 9.";
    else if (index == 3 && c->kind == CARD_DMI && !in_set(static_cast<int32_t>(value), dmi_forms, 7))
        what = "FORM %s is none of 1-6, 8.";
    else if (index == 4 && (value < 1 || value > 4))
        what = "TIN %s is none of 1-4.";
    else if (index == 5 && (value < 0 || value > 4))
        what = "TOUT %s is none of 0-4.";
    else if (index == 6 && c->kind == CARD_DMIG && value != 0 && value != 1)
        what = "POLAR %s is neither 0 nor 1.";
    else if (index == 8 && c->kind == CARD_DMIG && value < 0)
        what = "NCOL %s is below 0.";
    else if (index >= 7 && c->kind == CARD_DMI && value < 0)
        what = "the size %s is below 0.";
    if (what != nullptr)
        return bad(set, f->line, what, f->text, f->length);
    c->values[index] = static_cast<int32_t>(value);
    c->lines[index] = f->line;
    return 0;
}

int end_header(CardSet *set, CardParse *c)
{
    if (find_matrix(set, c->name) >= 0)
        return set_problem(set->problem, PROBLEM_BAD_CARD, c->name_line, "a second header for %s.", c->name);
    if (c->kind == CARD_DMIG && c->values[3] == 0)
        return set_problem(set->problem, PROBLEM_BAD_CARD, c->name_line, "the header of %s gives no IFO.", c->name);
    if ((c->kind == CARD_DMI && c->values[3] == 0) || c->values[4] == 0)
        return set_problem(set->problem, PROBLEM_BAD_CARD, c->name_line, "the header of %s gives no %s.", c->name,
                           c->values[4] == 0 ? "TIN" : "FORM");
    if (grow(set, &set->matrices, &set->matrix_room, set->matrix_count + 1) != 0)
        return set->problem->status;
    CardMatrix *m = &set->matrices[set->matrix_count++];
    *m = CardMatrix{};
    memcpy(m->name, c->name, sizeof m->name);
    m->kind = c->kind;
    m->form = c->values[3];
    m->type = c->values[4];
    m->tout = c->values[5];
    m->polar = c->kind == CARD_DMIG ? c->values[6] : 0;
    m->ncol = c->kind == CARD_DMIG ? c->values[8] : 0;
    m->rows = c->kind == CARD_DMI ? c->values[7] : 0;
    m->columns = c->kind == CARD_DMI ? c->values[8] : 0;
    m->line = c->name_line;
    m->wanted = name_is_wanted(set, c->name);
    m->first_card = m->last_card = NO_CARD;
    return 0;
}

// A column card starts: its matrix must have its header already.
int begin_column(CardSet *set, CardParse *c, int64_t column, int64_t line)
{
    c->matrix = find_matrix(set, c->name);
    if (c->matrix < 0 || set->matrices[c->matrix].kind != c->kind)
        return set_problem(set->problem, PROBLEM_BAD_CARD, line, "a column card of %s before its %s header.", c->name,
                           c->kind == CARD_DMIG ? "DMIG" : "DMI");
    CardMatrix *m = &set->matrices[c->matrix];
    c->single = is_single_type(m->type);
    c->complex_values = is_complex_type(m->type);
    if (c->kind == CARD_DMI && column > m->columns)
        return set_problem(set->problem, PROBLEM_BAD_CARD, line, "column %lld lies outside the %lld x %lld matrix %s.",
                           static_cast<long long>(column), static_cast<long long>(m->rows),
                           static_cast<long long>(m->columns), m->name);
    if (!m->wanted)
        return 0;
    if (grow(set, &set->cards, &set->card_room, set->card_count + 1) != 0)
        return set->problem->status;
    int64_t k = set->card_count++;
    set->cards[k] = ColumnCard{c->matrix, column, line, set->term_count, NO_CARD};
    if (m->last_card >= 0)
        set->cards[m->last_card].next_card = k;
    else
        m->first_card = k;
    m->last_card = k;
    return 0;
}

int add_term(CardSet *set, CardParse *c, int64_t row, double real, double imag, int64_t line)
{
    CardMatrix *m = &set->matrices[c->matrix];
    ++m->terms;
    if (!m->wanted)
        return 0;
    int64_t room = set->term_room;
    if (set->term_count >= room) {
        int64_t r = room;
        if (grow(set, &set->term_rows, &r, set->term_count + 1) != 0)
            return set->problem->status;
        r = room;
        if (grow(set, &set->term_real, &r, set->term_count + 1) != 0)
            return set->problem->status;
        if (set->term_imag != nullptr) {
            r = room;
            if (grow(set, &set->term_imag, &r, set->term_count + 1) != 0)
                return set->problem->status;
        }
        if (grow(set, &set->term_lines, &room, set->term_count + 1) != 0)
            return set->problem->status;
        set->term_room = room;
    }
    if (imag != 0 && set->term_imag == nullptr) {
        // The first complex term: imaginary parts from here on, zeros before.
        int64_t r = 0;
        if (grow(set, &set->term_imag, &r, set->term_room) != 0)
            return set->problem->status;
        memset(set->term_imag, 0, static_cast<size_t>(set->term_count) * sizeof(double));
    }
    int64_t k = set->term_count++;
    set->term_rows[k] = row;
    set->term_real[k] = real;
    if (set->term_imag != nullptr)
        set->term_imag[k] = imag;
    set->term_lines[k] = line;
    return 0;
}

// Magnitude and phase in degrees as real and imaginary parts; exact at
// multiples of 90 degrees.
void from_polar(double magnitude, double degrees, double *real, double *imag)
{
    double turn = std::fmod(degrees, 360.0);
    if (turn < 0)
        turn += 360.0;
    if (turn == 0 || turn == 90 || turn == 180 || turn == 270) {
        int quarter = static_cast<int>(turn / 90);
        static const double cosines[] = {1, 0, -1, 0}, sines[] = {0, 1, 0, -1};
        *real = magnitude * cosines[quarter];
        *imag = magnitude * sines[quarter];
        return;
    }
    const double radians = degrees * (3.14159265358979323846 / 180.0);
    *real = magnitude * std::cos(radians);
    *imag = magnitude * std::sin(radians);
}

int end_dmig_term(CardSet *set, CardParse *c)
{
    if (!c->term_nonblank)
        return 0;
    c->term_nonblank = 0;
    CardMatrix *m = &set->matrices[c->matrix];
    if (c->term_point <= 0)
        return set_problem(set->problem, PROBLEM_BAD_CARD, c->term_line, "point id %lld is not above 0.",
                           static_cast<long long>(c->term_point));
    if (c->term_component < 0 || c->term_component > MAX_COMPONENT)
        return set_problem(set->problem, PROBLEM_BAD_CARD, c->term_line, "component %lld is outside 0-6.",
                           static_cast<long long>(c->term_component));
    double real = c->term_real, imag = c->term_imag;
    if (m->polar == 1 && is_complex_type(m->type))
        from_polar(c->term_real, c->term_imag, &real, &imag);
    return add_term(set, c, c->term_point * 8 + c->term_component, real, imag, c->term_line);
}

int dmig_column_field(CardSet *set, CardParse *c, int64_t index, const CardField *f)
{
    if (index == 3) {
        int64_t component = 0;
        if (integer_field(set, f, &component) != 0)
            return set->problem->status;
        if (component < 0 || component > MAX_COMPONENT)
            return bad(set, f->line, "component %s is outside 0-6.", f->text, f->length);
        return begin_column(set, c, c->point * 8 + component, c->name_line);
    }
    if (index < 5)
        return 0;
    switch ((index - 5) & 3) {
    case 0:
        c->term_nonblank = f->length > 0;
        c->term_line = f->line;
        return integer_field(set, f, &c->term_point);
    case 1: c->term_nonblank |= f->length > 0; return integer_field(set, f, &c->term_component);
    case 2: c->term_nonblank |= f->length > 0; return real_field(set, f, c->single, &c->term_real);
    default:
        c->term_nonblank |= f->length > 0;
        if (f->length > 0 && !c->complex_values)
            return bad(set, f->line, "an imaginary part \"%s\" in a real matrix.", f->text, f->length);
        if (real_field(set, f, c->single, &c->term_imag) != 0)
            return set->problem->status;
        return end_dmig_term(set, c);
    }
}

int dmi_store(CardSet *set, CardParse *c, double real, double imag, int64_t line)
{
    const CardMatrix *m = &set->matrices[c->matrix];
    if (c->next_row > m->rows)
        return set_problem(set->problem, PROBLEM_BAD_CARD, line, "row %lld lies outside the %lld x %lld matrix %s.",
                           static_cast<long long>(c->next_row), static_cast<long long>(m->rows),
                           static_cast<long long>(m->columns), m->name);
    c->has_value = 1;
    c->last_real = real;
    c->last_imag = imag;
    return add_term(set, c, c->next_row++, real, imag, line);
}

int dmi_column_field(CardSet *set, CardParse *c, const CardField *f)
{
    if (f->length == 0)
        return 0; // a blank field is skipped, not a zero
    const CardMatrix *m = &set->matrices[c->matrix];
    if (f->length == 4 && strncasecmp(f->text, "THRU", 4) == 0) {
        if (!c->has_value || c->half || c->thru)
            return bad(set, f->line, "%s without a value before it.", f->text, f->length);
        c->thru = 1;
        return 0;
    }
    if (!card_text_is_real(f->text, f->length)) {
        int64_t row = 0;
        if (integer_field(set, f, &row) != 0)
            return set->problem->status;
        if (c->half)
            return bad(set, f->line, "row %s where an imaginary part belongs.", f->text, f->length);
        if (row < 1 || row > m->rows || (c->thru && row < c->next_row - 1))
            return set_problem(set->problem, PROBLEM_BAD_CARD, f->line, "row %lld lies outside the %lld x %lld matrix %s%s.",
                               static_cast<long long>(row), static_cast<long long>(m->rows),
                               static_cast<long long>(m->columns), m->name, c->thru ? " or before THRU" : "");
        if (c->thru) {
            // The value before THRU repeated down to this row.
            c->thru = 0;
            while (c->next_row <= row)
                if (dmi_store(set, c, c->last_real, c->last_imag, f->line) != 0)
                    return set->problem->status;
            return 0;
        }
        c->next_row = row;
        c->has_value = 0;
        return 0;
    }
    if (c->thru)
        return bad(set, f->line, "THRU followed by \"%s\", not a row.", f->text, f->length);
    if (c->next_row == 0)
        return bad(set, f->line, "the value \"%s\" comes before its row.", f->text, f->length);
    double value = 0;
    if (real_field(set, f, is_single_type(m->type), &value) != 0)
        return set->problem->status;
    if (is_complex_type(m->type) && !c->half) {
        c->half = 1;
        c->half_real = value;
        return 0;
    }
    double real = c->half ? c->half_real : value, imag = c->half ? value : 0.0;
    c->half = 0;
    return dmi_store(set, c, real, imag, f->line);
}

int card_begins(void *context, const char *name, int64_t line)
{
    auto *set = static_cast<CardSet *>(context);
    auto *c = static_cast<CardParse *>(set->parse);
    int kind = strcmp(name, "DMIG") == 0 ? CARD_DMIG : strcmp(name, "DMI") == 0 ? CARD_DMI : 0;
    if (kind == 0)
        return 0;
    *c = CardParse{};
    c->kind = kind;
    c->matrix = -1;
    c->name_line = line;
    return 1;
}

int card_field(void *context, int64_t index, const CardField *f)
{
    auto *set = static_cast<CardSet *>(context);
    auto *c = static_cast<CardParse *>(set->parse);
    if (index == 1) {
        if (!card_name_is_valid(f->text, f->length, c->name))
            return bad(set, f->line, "\"%s\" is no matrix name (1-8 letters or digits, a letter first).", f->text,
                       f->length);
        c->name_line = f->line;
        return 0;
    }
    if (index == 2) {
        int64_t value = 0;
        if (integer_field(set, f, &value) != 0)
            return set->problem->status;
        if (value < 0)
            return bad(set, f->line, c->kind == CARD_DMIG ? "point id %s is not above 0." : "column %s is below 1.",
                       f->text, f->length);
        c->decided = 1;
        c->header = value == 0;
        c->point = value;
        if (!c->header && c->kind == CARD_DMI) {
            if (begin_column(set, c, value, f->line) != 0)
                return set->problem->status;
            c->next_row = 0;
        }
        return 0;
    }
    if (!c->decided)
        return 0;
    if (c->header)
        return header_field(set, c, index, f);
    if (c->kind == CARD_DMIG)
        return dmig_column_field(set, c, index, f);
    return dmi_column_field(set, c, f);
}

int card_ends(void *context)
{
    auto *set = static_cast<CardSet *>(context);
    auto *c = static_cast<CardParse *>(set->parse);
    if (c->name[0] == '\0')
        return set_problem(set->problem, PROBLEM_BAD_CARD, c->name_line, "a %s card without a matrix name.",
                           c->kind == CARD_DMIG ? "DMIG" : "DMI");
    if (!c->decided)
        return set_problem(set->problem, PROBLEM_BAD_CARD, c->name_line, "a %s card of %s without its field 3.",
                           c->kind == CARD_DMIG ? "DMIG" : "DMI", c->name);
    if (c->header)
        return end_header(set, c);
    if (c->kind == CARD_DMIG && c->matrix < 0)
        return begin_column(set, c, c->point * 8, c->name_line) != 0 ? set->problem->status : 0;
    if (c->thru || c->half)
        return set_problem(set->problem, PROBLEM_BAD_CARD, c->name_line, "a DMI card of %s ends %s.", c->name,
                           c->thru ? "after THRU" : "inside a complex value");
    return 0;
}

// A BEGIN BULK line: the file's bulk data starts after it.
int cards_restart(void *context)
{
    auto *set = static_cast<CardSet *>(context);
    set->matrix_count = set->card_count = set->term_count = 0;
    return 0;
}

// The end of a column card's terms: where the next card's begin.
int64_t terms_end(const CardSet *set, int64_t card)
{
    int64_t next = card + 1;
    return next < set->card_count ? set->cards[next].first_term : set->term_count;
}

// --- Labels --------------------------------------------------------------------

uint64_t hash(int64_t key) { return static_cast<uint64_t>(key) * 0x9E3779B97F4A7C15ull; }

int table_insert(CardSet *set, LabelTable *t, int64_t key)
{
    if (2 * (t->count + 1) > t->slots) {
        LabelTable grown = {nullptr, nullptr, t->slots > 0 ? 2 * t->slots : FIRST_ROOM, 0, nullptr};
        int64_t room = 0;
        if (grow(set, &grown.keys, &room, grown.slots) != 0)
            return set->problem->status;
        std::fill(grown.keys, grown.keys + grown.slots, int64_t(-1));
        for (int64_t k = 0; k < t->slots; ++k)
            if (t->keys[k] >= 0) {
                uint64_t s = hash(t->keys[k]) & static_cast<uint64_t>(grown.slots - 1);
                while (grown.keys[s] >= 0)
                    s = (s + 1) & static_cast<uint64_t>(grown.slots - 1);
                grown.keys[s] = t->keys[k];
            }
        grown.count = t->count;
        release(set, &t->keys);
        *t = grown;
    }
    uint64_t s = hash(key) & static_cast<uint64_t>(t->slots - 1);
    while (t->keys[s] >= 0 && t->keys[s] != key)
        s = (s + 1) & static_cast<uint64_t>(t->slots - 1);
    if (t->keys[s] < 0) {
        t->keys[s] = key;
        ++t->count;
    }
    return 0;
}

int64_t table_place(const LabelTable *t, int64_t key)
{
    uint64_t s = hash(key) & static_cast<uint64_t>(t->slots - 1);
    while (t->keys[s] != key)
        s = (s + 1) & static_cast<uint64_t>(t->slots - 1);
    return t->places[s];
}

// The keys in ascending order, each with its place.
int table_order(CardSet *set, LabelTable *t)
{
    int64_t room = 0, place_room = 0;
    if (t->count == 0)
        return 0;
    if (grow(set, &t->ordered, &room, t->count) != 0 || grow(set, &t->places, &place_room, t->slots) != 0)
        return set->problem->status;
    int64_t n = 0;
    for (int64_t k = 0; k < t->slots; ++k)
        if (t->keys[k] >= 0)
            t->ordered[n++] = t->keys[k];
    std::sort(t->ordered, t->ordered + n);
    for (int64_t k = 0; k < t->slots; ++k)
        if (t->keys[k] >= 0)
            t->places[k] = std::lower_bound(t->ordered, t->ordered + n, t->keys[k]) - t->ordered;
    return 0;
}

void release_table(CardSet *set, LabelTable *t)
{
    release(set, &t->keys);
    release(set, &t->places);
    release(set, &t->ordered);
    *t = LabelTable{};
}


// --- Placing ---------------------------------------------------------------------

struct Slot {
    int64_t row;
    int64_t source; // term x 2, + 1 for a symmetric matrix's mirrored term
    bool operator<(const Slot &other) const { return row < other.row || (row == other.row && source < other.source); }
};

void label_text(const CardSet *set, int64_t matrix, int64_t row, int64_t column, char *out, size_t size)
{
    const CardMatrix *m = &set->matrices[matrix];
    if (m->kind == CARD_DMI) {
        snprintf(out, size, "row %lld of column %lld", static_cast<long long>(row + 1), static_cast<long long>(column + 1));
        return;
    }
    int64_t r[2], c[2];
    card_row_label(set, matrix, row, r);
    card_column_label(set, matrix, column, c);
    snprintf(out, size, "row (%lld, %lld) of column (%lld, %lld)", static_cast<long long>(r[0]),
             static_cast<long long>(r[1]), static_cast<long long>(c[0]), static_cast<long long>(c[1]));
}

double imag_of(const CardSet *set, int64_t term) { return set->term_imag != nullptr ? set->term_imag[term] : 0.0; }

// The places of a term: its column and row in the matrix.
void term_place(const CardSet *set, const CardMatrix *m, int64_t card, int64_t term, int64_t *column, int64_t *row)
{
    if (m->kind == CARD_DMI) {
        *column = set->cards[card].column - 1;
        *row = set->term_rows[term] - 1;
        return;
    }
    // Ordering the labels put their places where their keys were.
    *column = set->cards[card].column;
    *row = set->term_rows[term];
}

// Calls visit(key) for every row key (rows) and column key (columns) of the matrix.
template <typename Visit> void each_key(CardSet *set, const CardMatrix *m, bool rows, bool columns, Visit visit)
{
    for (int64_t card = m->first_card; card >= 0; card = set->cards[card].next_card) {
        if (columns)
            visit(&set->cards[card].column);
        if (rows)
            for (int64_t t = set->cards[card].first_term; t < terms_end(set, card); ++t)
                visit(&set->term_rows[t]);
    }
}

// Orders the labels of the chosen sides into t and puts each key's place
// where the key was. Keys close together (a model's points usually are)
// are marked in an array over their range and taken in order by one scan;
// others go through a hash table and a sort.
int order_keys(CardSet *set, const CardMatrix *m, LabelTable *t, bool rows, bool columns)
{
    int64_t low = INT64_MAX, high = INT64_MIN, keys = 0;
    each_key(set, m, rows, columns, [&](int64_t *key) {
        low = *key < low ? *key : low;
        high = *key > high ? *key : high;
        ++keys;
    });
    if (keys == 0)
        return 0;
    int64_t range = high - low + 1;
    if (range < INT32_MAX && range <= 16 * keys + 65536) {
        int32_t *places = nullptr;
        int64_t room = 0;
        if (grow(set, &places, &room, range) != 0)
            return set->problem->status;
        std::fill(places, places + range, int32_t(0));
        each_key(set, m, rows, columns, [&](int64_t *key) { places[*key - low] = 1; });
        int64_t count = 0;
        for (int64_t k = 0; k < range; ++k)
            count += places[k];
        int64_t ordered_room = 0;
        if (grow(set, &t->ordered, &ordered_room, count) != 0) {
            release(set, &places);
            return set->problem->status;
        }
        t->count = 0;
        for (int64_t k = 0; k < range; ++k)
            if (places[k] != 0) {
                t->ordered[t->count] = low + k;
                places[k] = static_cast<int32_t>(t->count++);
            }
        each_key(set, m, rows, columns, [&](int64_t *key) { *key = places[*key - low]; });
        release(set, &places);
        return 0;
    }
    int failed = 0;
    each_key(set, m, rows, columns, [&](int64_t *key) { failed = failed || table_insert(set, t, *key) != 0; });
    if (failed || table_order(set, t) != 0)
        return set->problem->status;
    each_key(set, m, rows, columns, [&](int64_t *key) { *key = table_place(t, *key); });
    return 0;
}

} // namespace

int collect_cards(MatrixChannel *ch, CardMemory memory, const char *const *names, int64_t name_count, CardSet *set)
{
    *set = CardSet{};
    set->memory = memory;
    set->ch = ch;
    set->problem = &set->failure;
    Problem *problem = set->problem;
    set->names = names;
    set->name_count = name_count;
    clear_problem(problem);
    CardParse parse = {};
    set->parse = &parse;
    CardSink sink = {card_begins, card_field, card_ends, cards_restart, set};
    int status = read_cards(ch, &sink, problem);
    set->parse = nullptr;
    if (status != 0)
        return status;
    for (int64_t k = 0; k < name_count; ++k)
        if (find_matrix(set, names[k]) < 0)
            return set_problem(problem, PROBLEM_NOT_FOUND, 0, "Matrix %s is not in the file.", names[k]);
    return 0;
}

int order_card_labels(CardSet *set, int64_t matrix)
{
    CardMatrix *m = &set->matrices[matrix];
    if (m->kind == CARD_DMI)
        return 0;
    int square = m->form == 1 || m->form == 6;
    LabelTable *rows = &m->row_labels, *columns = square ? rows : &m->column_labels;
    if (m->form == 9) {
        // The first column card beyond NCOL, in file order.
        LabelTable seen = {};
        for (int64_t card = m->first_card; card >= 0; card = set->cards[card].next_card) {
            if (table_insert(set, &seen, set->cards[card].column) != 0)
                return set->problem->status;
            if (seen.count > m->ncol) {
                release_table(set, &seen);
                return set_problem(set->problem, PROBLEM_BAD_CARD, set->cards[card].line,
                                   "%s has more columns than its NCOL (%lld).", m->name, static_cast<long long>(m->ncol));
            }
        }
        release_table(set, &seen);
    }
    if (square ? order_keys(set, m, rows, true, true) != 0
               : order_keys(set, m, rows, true, false) != 0 || order_keys(set, m, columns, false, true) != 0)
        return set->problem->status;
    m->rows = rows->count;
    m->columns = m->form == 9 ? m->ncol : columns->count;
    return 0;
}

int64_t card_entry_bound(const CardSet *set, int64_t matrix)
{
    const CardMatrix *m = &set->matrices[matrix];
    int64_t terms = 0;
    for (int64_t card = m->first_card; card >= 0; card = set->cards[card].next_card)
        terms += terms_end(set, card) - set->cards[card].first_term;
    return m->kind == CARD_DMIG && m->form == 6 ? 2 * terms : terms;
}

int place_card_matrix(CardSet *set, int64_t matrix, CardOutput *out, int64_t *entries)
{
    const CardMatrix *m = &set->matrices[matrix];
    int mirrored = m->kind == CARD_DMIG && m->form == 6;
    int64_t *starts = out->column_pointers;
    // Each slot's source term waits in the value array, where compaction
    // later writes values at or before the slot it reads: no array of its own.
    auto *sources = reinterpret_cast<int64_t *>(out->real);
    std::fill(starts, starts + m->columns + 1, int64_t(0));
    // Counted by column (starts[c + 1]), summed into where each column
    // begins, each slot put at its column's next place (which leaves
    // starts[c] where column c ends), then moved back by one column.
    for (int pass = 0; pass < 2; ++pass) {
        for (int64_t card = m->first_card; card >= 0; card = set->cards[card].next_card)
            for (int64_t t = set->cards[card].first_term; t < terms_end(set, card); ++t) {
                int64_t column = 0, row = 0;
                term_place(set, m, card, t, &column, &row);
                for (int side = 0; side < (mirrored && row != column ? 2 : 1); ++side) {
                    int64_t c = side == 0 ? column : row, r = side == 0 ? row : column;
                    if (pass == 0) {
                        ++starts[c + 1];
                    } else {
                        out->rows[starts[c]] = r;
                        sources[starts[c]++] = 2 * t + side;
                    }
                }
            }
        if (pass == 0)
            for (int64_t c = 0; c < m->columns; ++c)
                starts[c + 1] += starts[c];
    }
    for (int64_t c = m->columns; c > 0; --c)
        starts[c] = starts[c - 1];
    starts[0] = 0;
    Slot *unsorted = nullptr;
    int64_t unsorted_room = 0, kept = 0;
    for (int64_t c = 0; c < m->columns; ++c) {
        int64_t begin = starts[c], end = starts[c + 1];
        starts[c] = kept;
        // Punch files give each column's rows in order, and the mirrors of
        // later columns follow them in order: most columns are sorted already.
        bool sorted = true;
        for (int64_t k = begin + 1; k < end && sorted; ++k)
            sorted = out->rows[k - 1] < out->rows[k] || (out->rows[k - 1] == out->rows[k] && sources[k - 1] < sources[k]);
        if (!sorted) {
            if (grow(set, &unsorted, &unsorted_room, end - begin) != 0)
                return set->problem->status;
            for (int64_t k = begin; k < end; ++k)
                unsorted[k - begin] = Slot{out->rows[k], sources[k]};
            std::sort(unsorted, unsorted + (end - begin));
            for (int64_t k = begin; k < end; ++k) {
                out->rows[k] = unsorted[k - begin].row;
                sources[k] = unsorted[k - begin].source;
            }
        }
        for (int64_t k = begin; k < end; ++k) {
            int64_t row = out->rows[k], term = sources[k] / 2;
            double re = set->term_real[term], im = imag_of(set, term);
            for (; k + 1 < end && out->rows[k + 1] == row; ++k) {
                int64_t other = sources[k + 1] / 2;
                bool both_given = (sources[k] & 1) == (sources[k + 1] & 1);
                bool differ = !(set->term_real[other] == re) || !(imag_of(set, other) == im);
                if (both_given || differ) {
                    char where[128];
                    label_text(set, matrix, row, c, where, sizeof where);
                    int64_t first = std::min(set->term_lines[term], set->term_lines[other]);
                    int64_t second = std::max(set->term_lines[term], set->term_lines[other]);
                    release(set, &unsorted);
                    return set_problem(set->problem, PROBLEM_BAD_CARD, second,
                                       both_given ? "%s of %s is given twice (lines %lld and %lld)."
                                                  : "%s of %s differs from its mirror (lines %lld and %lld).",
                                       where, m->name, static_cast<long long>(first), static_cast<long long>(second));
                }
            }
            if (re == 0 && im == 0)
                continue; // exact zeros are not stored
            out->rows[kept] = row;
            out->real[kept] = re;
            if (out->imag != nullptr)
                out->imag[kept] = im;
            ++kept;
        }
    }
    starts[m->columns] = kept;
    *entries = kept;
    release(set, &unsorted);
    return 0;
}

void card_row_label(const CardSet *set, int64_t matrix, int64_t row, int64_t label[2])
{
    int64_t key = set->matrices[matrix].row_labels.ordered[row];
    label[0] = key / 8;
    label[1] = key % 8;
}

void card_column_label(const CardSet *set, int64_t matrix, int64_t column, int64_t label[2])
{
    const CardMatrix *m = &set->matrices[matrix];
    const LabelTable *t = m->form == 1 || m->form == 6 ? &m->row_labels : &m->column_labels;
    label[0] = label[1] = 0;
    if (column < t->count) {
        label[0] = t->ordered[column] / 8;
        label[1] = t->ordered[column] % 8;
    }
}

void release_cards(CardSet *set)
{
    for (int64_t k = 0; k < set->matrix_count; ++k) {
        release_table(set, &set->matrices[k].row_labels);
        release_table(set, &set->matrices[k].column_labels);
    }
    release(set, &set->matrices);
    release(set, &set->cards);
    release(set, &set->term_rows);
    release(set, &set->term_real);
    release(set, &set->term_imag);
    release(set, &set->term_lines);
    set->matrix_count = set->card_count = set->term_count = 0;
    set->matrix_room = set->card_room = set->term_room = 0;
}
