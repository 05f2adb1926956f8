// zorvane-mm: lists a matrix file's matrices, or writes them as Matrix
// Market files, without Octave: the reader core with a host-free output.
//   zorvane-mm FILE
//   zorvane-mm FILE -o DIR [NAME ...] [-s SELECTOR]
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "memory.h"
#include "reader.h"
#include "scan.h"

namespace {

const char BAD_FILE[] = "MATLAB:zorvane:BadFile";

[[noreturn]] void fail(const char *identifier, const std::string &message)
{
    close_channel();
    fprintf(stderr, "%s: %s\n", identifier, message.c_str());
    exit(1);
}

std::string trimmed(const char name[NAME_LENGTH])
{
    std::string text(name, NAME_LENGTH);
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

// A matrix in plain memory; grows as the host's output does.
struct Matrix {
    std::vector<double> values, imag;
    std::vector<int64_t> rows, pointers;
};

int grow(SparseOutput *output, int64_t slots, void *context)
{
    auto *m = static_cast<Matrix *>(context);
    m->values.resize(static_cast<size_t>(slots));
    m->rows.resize(static_cast<size_t>(slots));
    if (output->imag != nullptr)
        m->imag.resize(static_cast<size_t>(slots));
    output->values = m->values.data();
    output->rows = m->rows.data();
    output->imag = output->imag != nullptr ? m->imag.data() : nullptr;
    output->slots = slots;
    return 0;
}

int enlarge(WordStore *store, int64_t count, void *)
{
    if (!memory_fits(4 * count, 4 * store->capacity, memory_available()))
        return 1;
    void *words = realloc(store->words, static_cast<size_t>(count) * 4);
    if (words == nullptr)
        return 1;
    store->words = static_cast<uint32_t *>(words);
    store->capacity = count;
    return 0;
}

WordStore long_records = {nullptr, 0, enlarge, nullptr};

// Decodes the matrix whose header was read last.
void decode(const HeaderRecord *h, int32_t selector, Matrix *m)
{
    char problem[PROBLEM_LENGTH];
    std::string name = trimmed(h->name) + ": ";
    if ((h->row_count == INT32_MIN || h->column_count < 0))
        fail(BAD_FILE, name + "Damaged file: the matrix header gives sizes no matrix can have.");
    if (FIRSTRECORDCHECK(h->column_count, problem) != 0)
        fail(BAD_FILE, name + problem);
    int32_t large_flag = 0, rows = 0;
    int64_t capacity = 0;
    SIZESFROMHEADER(h->row_count, h->column_count, &large_flag, &rows, &capacity);
    int64_t slots = INITIALSLOTS(capacity, h->value_type);
    int64_t needed = output_bytes(h->column_count, slots, value_type_is_complex(h->value_type)) / 2;
    if (!memory_fits(needed, 0, memory_available()))
        fail("MATLAB:zorvane:OutOfMemory", name + "Out of memory for the matrix.");
    m->pointers.assign(static_cast<size_t>(h->column_count) + 1, 0);
    SparseOutput output = {nullptr, nullptr, m->pointers.data(), 0, grow, m};
    output.imag = value_type_is_complex(h->value_type) ? &m->imag.emplace_back(0.0) : nullptr;
    grow(&output, slots, m);
    output.long_records = &long_records;
    output.matrix_ends_here = header_follows;
    int32_t status = DECODE_DONE;
    int end_record_read = 0;
    DECODECOLUMNS(&output, h->column_count, capacity, rows, h->value_type, selector, large_flag, &status, problem,
                  &end_record_read);
    if (status == DECODE_CAPACITY)
        fail("MATLAB:zorvane:TooLarge", name + "Too many non-zeros in matrix.");
    if (status != DECODE_DONE)
        fail(status == DECODE_NO_MEMORY ? "MATLAB:zorvane:OutOfMemory" : BAD_FILE, name + problem);
    MatrixEntry entry = {*h, 0};
    if (!end_record_read && SKIPCOLUMNS(&entry, &long_records) == RECORD_DAMAGED)
        fail(BAD_FILE, name + "Damaged file: a length word after the matrix cannot be followed.");
}

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

// Writes DIR/NAME.mtx under a temporary name, renamed when complete.
void write_market(const std::string &path, const HeaderRecord *h, const Matrix *m)
{
    std::string temporary = path + ".tmp";
    static TextOut out;
    out.file = fopen(temporary.c_str(), "w");
    out.used = 0;
    if (out.file == nullptr)
        fail("zorvane:mm:write", "cannot write " + temporary + ": " + strerror(errno));
    int complex_values = value_type_is_complex(h->value_type);
    int64_t columns = h->column_count, count = m->pointers[static_cast<size_t>(columns)];
    fprintf(out.file, "%%%%MatrixMarket matrix coordinate %s general\n", complex_values ? "complex" : "real");
    put_integer(&out, h->row_count < 0 ? -static_cast<long long>(h->row_count) : h->row_count, ' ');
    put_integer(&out, columns, ' ');
    put_integer(&out, count, '\n');
    for (int64_t c = 0; c < columns; ++c)
        for (int64_t e = m->pointers[static_cast<size_t>(c)]; e < m->pointers[static_cast<size_t>(c) + 1]; ++e) {
            auto k = static_cast<size_t>(e);
            put_integer(&out, m->rows[k] + 1, ' ');
            put_integer(&out, c + 1, ' ');
            put_double(&out, m->values[k], complex_values ? ' ' : '\n');
            if (complex_values)
                put_double(&out, m->imag[k], '\n');
        }
    put_flush(&out);
    int failed = ferror(out.file) != 0;
    failed |= fclose(out.file) != 0;
    if (failed || rename(temporary.c_str(), path.c_str()) != 0) {
        remove(temporary.c_str());
        fail("zorvane:mm:write", "cannot write " + path);
    }
}

void list(void)
{
    printf("%-8s %10s %10s %5s %5s %-9s %-7s %-11s %-6s %s\n", "name", "rows", "columns", "form", "type",
           "precision", "complex", "encoding", "order", "format");
    MatrixEntry entry;
    while (SCANHEADER(&entry) == RECORD_DONE && SKIPCOLUMNS(&entry, &long_records) != RECORD_DAMAGED) {
        const HeaderRecord *h = &entry.header;
        printf("%-8s %10lld %10d %5d %5d %-9s %-7s %-11s %-6s %s\n", trimmed(h->name).c_str(),
               h->row_count < 0 ? -static_cast<long long>(h->row_count) : h->row_count, h->column_count, h->form,
               h->value_type, value_type_is_double(h->value_type) ? "double" : "single",
               value_type_is_complex(h->value_type) ? "true" : "false", encoding_name(entry.encodings),
               channel_byte_order_name(), channel_format_name());
    }
}

void convert(const std::string &dir, const std::vector<std::string> &names, int32_t selector)
{
    std::vector<std::string> written;
    std::vector<int> found(names.size(), 0);
    MatrixEntry entry;
    while (SCANHEADER(&entry) == RECORD_DONE) {
        std::string name = trimmed(entry.header.name);
        int wanted = names.empty();
        for (size_t k = 0; k < names.size(); ++k)
            if (names[k] == name)
                wanted = found[k] = 1;
        if (!wanted) {
            if (SKIPCOLUMNS(&entry, &long_records) == RECORD_DAMAGED)
                break;
            continue;
        }
        Matrix m;
        decode(&entry.header, selector, &m);
        int repeat = 1;
        for (const std::string &w : written)
            repeat += w == name;
        written.push_back(name);
        std::string file = dir + "/" + name + (repeat > 1 ? "." + std::to_string(repeat) : "") + ".mtx";
        write_market(file, &entry.header, &m);
    }
    for (size_t k = 0; k < names.size(); ++k)
        if (!found[k])
            fail("MATLAB:zorvane_load:NotFound", "Matrix " + names[k] + " is not in the file.");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: zorvane-mm FILE [-o DIR [NAME ...] [-s SELECTOR]]\n");
        return 2;
    }
    std::string dir;
    std::vector<std::string> names;
    double selector = 0;
    for (int i = 2; i < argc; ++i) {
        if (strcmp(argv[i], "-o") == 0 && i + 1 < argc)
            dir = argv[++i];
        else if (strcmp(argv[i], "-s") == 0 && i + 1 < argc)
            selector = strtod(argv[++i], nullptr);
        else
            names.emplace_back(argv[i]);
    }
    if (open_channel(argv[1]) != 0)
        fail("zorvane", "Could not open file");
    if (dir.empty())
        list();
    else
        convert(dir, names, selector_from_double(selector));
    close_channel();
    free(long_records.words);
    return 0;
}
