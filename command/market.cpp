// Matrix Market files: the banner, comment lines, the size line, then
// entries (coordinate) or column-major values (array); symmetric,
// skew-symmetric and hermitian files are written out whole.
#include "market.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <strings.h>

#include "memory.h"

namespace {

enum Field { FIELD_REAL, FIELD_INTEGER, FIELD_PATTERN, FIELD_COMPLEX, FIELD_UNKNOWN };
enum Symmetry { SYM_GENERAL, SYM_SYMMETRIC, SYM_SKEW, SYM_HERMITIAN, SYM_UNKNOWN };

struct Triplet {
    int64_t row, column;
    double real, imag;
};

// The blank-separated words of a line.
std::vector<std::string> words_of(const char *line)
{
    std::vector<std::string> words;
    for (const char *p = line; *p != '\0';) {
        while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
            ++p;
        const char *start = p;
        while (*p != '\0' && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\n')
            ++p;
        if (p > start)
            words.emplace_back(start, p);
    }
    return words;
}

bool to_integer(const std::string &text, int64_t *value)
{
    auto result = std::from_chars(text.data(), text.data() + text.size(), *value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// The double nearest to the text.
bool to_double(const std::string &text, double *value)
{
    const char *begin = text.data(), *end = begin + text.size();
    if (begin < end && *begin == '+')
        ++begin;
    auto result = std::from_chars(begin, end, *value);
    if (result.ptr != end)
        return false;
    if (result.ec == std::errc::result_out_of_range) {
        *value = strtod(text.c_str(), nullptr); // beyond the range: infinity or zero of its sign
        return true;
    }
    return result.ec == std::errc();
}

std::string at_line(const std::string &path, int64_t line, const std::string &what)
{
    return path + ": line " + std::to_string(line) + ": " + what;
}

// Triplets sorted by column and row, duplicates added, into compressed columns.
void compress(std::vector<Triplet> *t, MarketMatrix *m)
{
    std::sort(t->begin(), t->end(), [](const Triplet &a, const Triplet &b) {
        return a.column != b.column ? a.column < b.column : a.row < b.row;
    });
    m->pointers.assign(static_cast<size_t>(m->columns) + 1, 0);
    const Triplet *last = nullptr;
    for (const Triplet &e : *t) {
        if (last != nullptr && last->row == e.row && last->column == e.column) {
            m->real.back() += e.real;
            if (m->complex_values)
                m->imag.back() += e.imag;
            continue;
        }
        m->row_indices.push_back(e.row);
        m->real.push_back(e.real);
        if (m->complex_values)
            m->imag.push_back(e.imag);
        m->pointers[static_cast<size_t>(e.column) + 1] = static_cast<int64_t>(m->row_indices.size());
        last = &e;
    }
    for (size_t c = 1; c < m->pointers.size(); ++c)
        m->pointers[c] = std::max(m->pointers[c], m->pointers[c - 1]);
}

} // namespace

namespace {

// What reading one Matrix Market file holds between its lines.
struct MarketReader {
    std::string path;
    MarketMatrix *m;
    Field field = FIELD_REAL;
    Symmetry symmetry = SYM_GENERAL;
    int64_t expected = -1, seen = 0;
    std::vector<Triplet> triplets;
    bool sized = false;
    int64_t array_row = 0, array_column = 0; // the next value's place in an array file
};

// The banner: %%MatrixMarket matrix FORMAT FIELD SYMMETRY.
std::string banner(MarketReader *r, const std::vector<std::string> &w)
{
    MarketMatrix *m = r->m;
    if (w.size() != 5 || strcasecmp(w[0].c_str(), "%%MatrixMarket") != 0 || strcasecmp(w[1].c_str(), "matrix") != 0)
        return at_line(r->path, 1, "not a Matrix Market matrix file");
    const char *format = w[2].c_str(), *kind = w[3].c_str(), *sym = w[4].c_str();
    m->full = strcasecmp(format, "array") == 0;
    r->field = strcasecmp(kind, "real") == 0      ? FIELD_REAL
               : strcasecmp(kind, "integer") == 0 ? FIELD_INTEGER
               : strcasecmp(kind, "pattern") == 0 ? FIELD_PATTERN
               : strcasecmp(kind, "complex") == 0 ? FIELD_COMPLEX
                                                  : FIELD_UNKNOWN;
    r->symmetry = strcasecmp(sym, "general") == 0          ? SYM_GENERAL
                  : strcasecmp(sym, "symmetric") == 0      ? SYM_SYMMETRIC
                  : strcasecmp(sym, "skew-symmetric") == 0 ? SYM_SKEW
                  : strcasecmp(sym, "hermitian") == 0      ? SYM_HERMITIAN
                                                           : SYM_UNKNOWN;
    m->complex_values = r->field == FIELD_COMPLEX;
    if ((!m->full && strcasecmp(format, "coordinate") != 0) || r->field == FIELD_UNKNOWN || r->symmetry == SYM_UNKNOWN ||
        (m->full && r->field == FIELD_PATTERN) || (r->symmetry == SYM_HERMITIAN && r->field != FIELD_COMPLEX))
        return at_line(r->path, 1, "a matrix kind this command does not read: " + w[2] + " " + w[3] + " " + w[4]);
    return "";
}

// The size line: rows, columns and (coordinate files) the entry count.
std::string size_line(MarketReader *r, const std::vector<std::string> &w, int64_t number)
{
    MarketMatrix *m = r->m;
    int64_t count = 0;
    if (w.size() != (m->full ? 2u : 3u) || !to_integer(w[0], &m->rows) || !to_integer(w[1], &m->columns) ||
        (!m->full && !to_integer(w[2], &count)) || m->rows < 0 || m->columns < 0 || count < 0 ||
        (r->symmetry != SYM_GENERAL && m->rows != m->columns))
        return at_line(r->path, number, "expected the size line");
    if (m->rows > INT32_MAX || m->columns >= INT32_MAX)
        return at_line(r->path, number, "more rows or columns than a matrix file holds");
    if (m->full && m->rows * m->columns > memory_available(nullptr) / (m->complex_values ? 32 : 16))
        return at_line(r->path, number, "an array larger than the memory this process can get");
    int64_t half = r->symmetry == SYM_GENERAL ? m->rows * m->columns
                   : r->symmetry == SYM_SKEW  ? m->rows * (m->rows - 1) / 2
                                              : m->rows * (m->rows + 1) / 2;
    r->expected = m->full ? half : count;
    r->array_row = r->symmetry == SYM_SKEW ? 1 : 0;
    if (m->full) {
        m->real.assign(static_cast<size_t>(m->rows * m->columns), 0.0);
        if (m->complex_values)
            m->imag.assign(m->real.size(), 0.0);
    }
    r->sized = true;
    return "";
}

void put_entry(MarketReader *r, int64_t row, int64_t column, double re, double im)
{
    MarketMatrix *m = r->m;
    if (!m->full) {
        r->triplets.push_back(Triplet{row - 1, column - 1, re, im});
        return;
    }
    m->real[static_cast<size_t>((column - 1) * m->rows + row - 1)] = re;
    if (m->complex_values)
        m->imag[static_cast<size_t>((column - 1) * m->rows + row - 1)] = im;
}

// An entry line, with the mirror a symmetric kind implies.
std::string entry_line(MarketReader *r, const std::vector<std::string> &w, int64_t number)
{
    MarketMatrix *m = r->m;
    size_t values = r->field == FIELD_PATTERN ? 0 : r->field == FIELD_COMPLEX ? 2 : 1;
    size_t indices = m->full ? 0 : 2;
    int64_t row = 0, column = 0;
    double re = 1.0, im = 0.0;
    if (r->seen >= r->expected)
        return at_line(r->path, number, "more entries than the size line gives");
    if (w.size() != indices + values || (indices > 0 && (!to_integer(w[0], &row) || !to_integer(w[1], &column))) ||
        (values > 0 && !to_double(w[indices], &re)) || (values > 1 && !to_double(w[indices + 1], &im)))
        return at_line(r->path, number, "expected " + std::string(m->full ? "a value" : "row, column and value"));
    if (m->full) {
        // Column-major; only the stored triangle in symmetric files.
        row = r->array_row + 1;
        column = r->array_column + 1;
        if (++r->array_row == m->rows) {
            ++r->array_column;
            r->array_row = r->symmetry == SYM_GENERAL ? 0 : r->symmetry == SYM_SKEW ? r->array_column + 1 : r->array_column;
        }
    } else if (row < 1 || row > m->rows || column < 1 || column > m->columns) {
        return at_line(r->path, number, "entry outside the matrix");
    }
    ++r->seen;
    put_entry(r, row, column, re, im);
    if (row != column && r->symmetry == SYM_SYMMETRIC)
        put_entry(r, column, row, re, im);
    else if (row != column && r->symmetry == SYM_SKEW)
        put_entry(r, column, row, -re, -im);
    else if (row != column && r->symmetry == SYM_HERMITIAN)
        put_entry(r, column, row, re, -im);
    return "";
}

} // namespace

std::string read_market(const std::string &path, MarketMatrix *m)
{
    FILE *file = fopen(path.c_str(), "re");
    if (file == nullptr)
        return path + ": " + strerror(errno);
    MarketReader r;
    r.path = path;
    r.m = m;
    char *line = nullptr;
    size_t room = 0;
    int64_t number = 0;
    std::string problem;
    while (problem.empty() && getline(&line, &room, file) >= 0) {
        std::vector<std::string> w = words_of(line);
        if (++number == 1)
            problem = banner(&r, w);
        else if (w.empty() || w[0][0] == '%')
            continue;
        else
            problem = r.sized ? entry_line(&r, w, number) : size_line(&r, w, number);
    }
    free(line);
    fclose(file);
    if (problem.empty() && (!r.sized || r.seen != r.expected))
        problem = at_line(path, number, "the file ends before its " + std::to_string(r.expected) + " entries");
    if (problem.empty() && !m->full)
        compress(&r.triplets, m);
    return problem;
}

namespace {

// Text out through a buffer of our own; numbers by to_chars, which gives
// what printf's %.17g gives at a fraction of its cost.
struct TextOut {
    FILE *file;
    char buffer[1 << 16];
    size_t used;
};

void put_flush(TextOut *out)
{
    fwrite(out->buffer, 1, out->used, out->file);
    out->used = 0;
}

void put_integer(TextOut *out, long long value, char after)
{
    if (sizeof out->buffer - out->used < 64)
        put_flush(out);
    char *end = std::to_chars(out->buffer + out->used, out->buffer + sizeof out->buffer, value).ptr;
    *end++ = after;
    out->used = static_cast<size_t>(end - out->buffer);
}

void put_double(TextOut *out, double value, char after)
{
    if (sizeof out->buffer - out->used < 64)
        put_flush(out);
    char *end = out->buffer + out->used;
    if (std::isnan(value))
        end = static_cast<char *>(memcpy(end, "nan", 3)) + 3;
    else
        end = std::to_chars(end, out->buffer + sizeof out->buffer, value, std::chars_format::general, 17).ptr;
    *end++ = after;
    out->used = static_cast<size_t>(end - out->buffer);
}

TextOut text_out;

} // namespace

int write_market(FILE *file, int64_t rows, int64_t columns, const std::vector<ColumnStart> &starts,
                 const int64_t *row_indices, const double *real, const double *imag)
{
    TextOut *out = &text_out;
    out->file = file;
    out->used = 0;
    fprintf(file, "%%%%MatrixMarket matrix coordinate %s general\n", imag != nullptr ? "complex" : "real");
    put_integer(out, rows, ' ');
    put_integer(out, columns, ' ');
    put_integer(out, starts.back().start, '\n');
    for (size_t k = 0; k + 1 < starts.size(); ++k)
        for (int64_t e = starts[k].start; e < starts[k + 1].start; ++e) {
            put_integer(out, row_indices[e] + 1, ' ');
            put_integer(out, starts[k].column + 1, ' ');
            put_double(out, real[e], imag != nullptr ? ' ' : '\n');
            if (imag != nullptr)
                put_double(out, imag[e], '\n');
        }
    put_flush(out);
    return ferror(file) != 0;
}
