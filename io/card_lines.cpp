// Fixed fields are taken from the first 80 columns after tabs are
// expanded; free-field lines are cut at their commas, tabs counting as
// blanks. Only the cards a sink wants are cut into fields at all.
#include "card_lines.h"

#include <cstring>

namespace {

constexpr int CARD_COLUMNS = 80; // what a fixed-field line holds; columns beyond are ignored
constexpr int FREE_FIELD_COLUMNS = 10; // a comma within them makes a line free field
constexpr int CARD_NAME_BYTES = 9;     // a card's name, at most 8 characters, terminated

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The first columns of a line with tabs expanded (to the next column
// that is a multiple of 8 plus 1); returns the columns filled.
int expand_columns(const char *line, int64_t length, char out[CARD_COLUMNS])
{
    int column = 0;
    for (int64_t k = 0; k < length && column < CARD_COLUMNS; ++k) {
        if (line[k] == '\t') {
            do
                out[column++] = ' ';
            while (column % 8 != 0 && column < CARD_COLUMNS);
        } else {
            out[column++] = line[k];
        }
    }
    return column;
}

void trim(const char **text, int64_t *length)
{
    while (*length > 0 && is_blank(**text))
        ++*text, --*length;
    while (*length > 0 && is_blank((*text)[*length - 1]))
        --*length;
}

bool has_inner_blank(const char *text, int64_t length)
{
    bool blank = false;
    for (int64_t k = 0; k < length; ++k)
        blank |= text[k] == ' ' || text[k] == '\t';
    return blank;
}

// A line that says BEGIN BULK (any case, blanks between and around).
bool is_begin_bulk(const char *line, int64_t length)
{
    int64_t p = 0;
    while (p < length && is_blank(line[p]))
        ++p;
    const char *word = "BEGIN";
    for (int k = 0; k < 5; ++k, ++p)
        if (p >= length || upper(line[p]) != word[k])
            return false;
    int64_t blanks = p;
    while (p < length && is_blank(line[p]))
        ++p;
    if (p == blanks)
        return false;
    word = "BULK";
    for (int k = 0; k < 4; ++k, ++p)
        if (p >= length || upper(line[p]) != word[k])
            return false;
    while (p < length && is_blank(line[p]))
        ++p;
    return p == length;
}

// The line's text before its comment.
int64_t without_comment(const char *line, int64_t length)
{
    const void *dollar = memchr(line, '$', static_cast<size_t>(length));
    return dollar != nullptr ? static_cast<const char *>(dollar) - line : length;
}

struct Reader {
    MatrixChannel *ch;
    CardSink *sink;
    Problem *problem;
    int64_t line;
    int open;       // a card has begun and not ended
    int wanted;     // its fields are wanted
    int64_t next;   // index of its next field
};

int fail(Reader *r, const char *what)
{
    return set_problem(r->problem, PROBLEM_BAD_CARD, r->line, "%s", what);
}

// Leading blanks of a fixed field, eight at a time (numbers stand right-aligned).
void skip_spaces(const char **text, int64_t *length)
{
    static const char spaces[8] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    while (*length >= 8 && memcmp(*text, spaces, 8) == 0)
        *text += 8, *length -= 8;
}

int hand_field(Reader *r, const char *text, int64_t length, bool free_field)
{
    if (free_field) {
        trim(&text, &length);
    } else {
        // Tabs are expanded and line ends cut: only spaces surround a fixed field's text.
        skip_spaces(&text, &length);
        while (length > 0 && *text == ' ')
            ++text, --length;
        while (length > 0 && text[length - 1] == ' ')
            --length;
    }
    if (has_inner_blank(text, length))
        return fail(r, free_field ? "blanks inside a free-field item." : "blanks inside a field.");
    CardField field = {text, length, r->line};
    return r->sink->field(r->sink->context, r->next++, &field) != 0 ? r->problem->status : 0;
}

int end_card(Reader *r)
{
    if (r->open && r->wanted && r->sink->end(r->sink->context) != 0)
        return r->problem->status;
    r->open = 0;
    return 0;
}

int begin_card(Reader *r, const char *name, int64_t length)
{
    if (end_card(r) != 0)
        return r->problem->status;
    char text[CARD_NAME_BYTES];
    int64_t n = length < CARD_NAME_BYTES - 1 ? length : CARD_NAME_BYTES - 1;
    for (int64_t k = 0; k < n; ++k)
        text[k] = upper(name[k]);
    text[n] = '\0';
    int wanted = r->sink->begin(r->sink->context, text, r->line);
    if (wanted < 0)
        return r->problem->status != PROBLEM_NONE ? r->problem->status : fail(r, "card refused.");
    r->open = 1;
    r->wanted = wanted;
    r->next = 1;
    return 0;
}

// A fixed-field line (its first 80 columns, tabs expanded): a card's first
// line or a continuation.
int fixed_line(Reader *r, const char *columns, int filled)
{
    const char *first = columns;
    int64_t first_length = filled < 8 ? filled : 8;
    trim(&first, &first_length);
    char lead = filled > 0 ? columns[0] : ' ';
    bool large;
    if (lead == '+' || lead == '*' || first_length == 0) {
        large = lead == '*';
        if (!r->open || !r->wanted)
            return 0;
    } else {
        large = first[first_length - 1] == '*';
        if (large)
            --first_length;
        if (begin_card(r, first, first_length) != 0)
            return r->problem->status;
        if (!r->wanted)
            return 0;
    }
    int width = large ? 16 : 8;
    for (int column = 8; column < 72; column += width) {
        int64_t length = column >= filled ? 0 : filled - column < width ? filled - column : width;
        if (hand_field(r, columns + (length > 0 ? column : 0), length, false) != 0)
            return r->problem->status;
    }
    return 0;
}

// A free-field line: items cut at commas; field 1, up to 8 data fields (4
// on a large line), and an optional field 10.
int free_line(Reader *r, const char *line, int64_t length)
{
    const char *end = line + length, *item = line;
    const char *comma = static_cast<const char *>(memchr(item, ',', static_cast<size_t>(length)));
    const char *first = item;
    int64_t first_length = comma - item;
    trim(&first, &first_length);
    bool continuation = first_length == 0 || first[0] == '+' || first[0] == '*';
    bool large = first_length > 0 && first[first_length - 1] == '*';
    if (continuation) {
        large = first_length > 0 && first[0] == '*';
        if (!r->open || !r->wanted)
            return 0;
    } else {
        if (begin_card(r, first, large ? first_length - 1 : first_length) != 0)
            return r->problem->status;
        if (!r->wanted)
            return 0;
    }
    int quota = large ? 4 : 8;
    int64_t start = r->next;
    for (int taken = 0; comma != nullptr; ++taken) {
        item = comma + 1;
        comma = static_cast<const char *>(memchr(item, ',', static_cast<size_t>(end - item)));
        const char *stop = comma != nullptr ? comma : end;
        if (taken == quota) {
            // Field 10: a continuation mark, not read; nothing may follow it.
            if (comma != nullptr)
                return fail(r, "a free-field line with too many fields.");
            break;
        }
        if (hand_field(r, item, stop - item, true) != 0)
            return r->problem->status;
    }
    while (r->next < start + quota)
        if (hand_field(r, "", 0, true) != 0)
            return r->problem->status;
    return 0;
}

} // namespace

int read_cards(MatrixChannel *ch, CardSink *sink, Problem *problem)
{
    Reader r = {ch, sink, problem, 0, 0, 0, 0};
    const char *line = nullptr;
    int64_t length = 0;
    for (int outcome; (outcome = channel_read_line(ch, &line, &length, MAX_CARD_LINE)) != LINE_END_OF_FILE;) {
        ++r.line;
        if (outcome == LINE_TOO_LONG)
            return fail(&r, "a line of more than 64 KB.");
        length = without_comment(line, length);
        const char *text = line;
        int64_t trimmed_length = length;
        trim(&text, &trimmed_length);
        if (trimmed_length == 0)
            continue;
        char c = static_cast<char>(text[0] | 0x20);
        if (c == 'e' && trimmed_length >= 7) {
            char name[8] = {};
            for (int k = 0; k < 7; ++k)
                name[k] = upper(text[k]);
            if (strcmp(name, "ENDDATA") == 0 && (trimmed_length == 7 || is_blank(text[7]) || text[7] == ','))
                break;
        }
        if (c == 'b' && is_begin_bulk(text, trimmed_length)) {
            // What came before is no bulk data: the cards start here.
            if (end_card(&r) != 0 || sink->restart(sink->context) != 0)
                return problem->status;
            continue;
        }
        // Fixed columns come from the line itself unless a tab moves them.
        char expanded[CARD_COLUMNS];
        const char *columns = line;
        int filled = length < CARD_COLUMNS ? static_cast<int>(length) : CARD_COLUMNS;
        if (memchr(line, '\t', static_cast<size_t>(filled)) != nullptr) {
            filled = expand_columns(line, length, expanded);
            columns = expanded;
        }
        bool free_field = memchr(columns, ',', static_cast<size_t>(filled < FREE_FIELD_COLUMNS ? filled : FREE_FIELD_COLUMNS)) != nullptr;
        if ((free_field ? free_line(&r, line, length) : fixed_line(&r, columns, filled)) != 0)
            return problem->status;
    }
    return end_card(&r);
}
