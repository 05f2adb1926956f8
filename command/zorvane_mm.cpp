// zorvane-mm: a matrix file's matrices listed, written as Matrix Market
// files, or Matrix Market files written as a matrix file, without a host:
// the same core as the plug-ins.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "decode.h"
#include "encode.h"
#include "market.h"
#include "memory.h"
#include "scan.h"

namespace {

const char USAGE[] =
    "usage: zorvane-mm FILE                                   list the matrices\n"
    "       zorvane-mm FILE -o DIR [NAME ...] [-s SELECTOR]   write them as DIR/NAME.mtx\n"
    "       zorvane-mm --write OUT [--text] [--big-endian] [--single] [--encoding E]\n"
    "                  [--form N] [--digits D] [--append] [NAME=]FILE.mtx ...\n"
    "                                                         write Matrix Market files as a matrix file\n"
    "  E: auto, dense, packed, large or value-count\n";

MatrixChannel channel;

[[noreturn]] void fail(const char *identifier, const std::string &message)
{
    close_channel(&channel);
    fprintf(stderr, "%s: %s\n", identifier, message.c_str());
    exit(1);
}

[[noreturn]] void usage_error(const std::string &message) { fail("zorvane:mm:usage", message + "\n" + USAGE); }

std::string trimmed(const char name[NAME_LENGTH])
{
    char text[NAME_LENGTH + 1];
    trimmed_name(name, text);
    return text;
}

// --- Matrix files to Matrix Market -----------------------------------------

// A matrix in plain memory; grows as the host's output does. Columns are
// kept by where their entries start, not by a pointer for each column.
struct Matrix {
    std::vector<double> values, imag;
    std::vector<int64_t> rows;
    std::vector<ColumnStart> starts;
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

// The columns first .. last - 1 are empty; last starts at start.
int columns_start(SparseOutput *, int64_t, int64_t last, int64_t start, void *context)
{
    static_cast<Matrix *>(context)->starts.push_back(ColumnStart{last, start});
    return 0;
}

int enlarge(WordStore *store, int64_t count, void *)
{
    if (!memory_fits(4 * count, 4 * store->capacity, memory_available(&channel)))
        return 1;
    void *words = realloc(store->words, static_cast<size_t>(count) * 4);
    if (words == nullptr)
        return 1;
    store->words = static_cast<uint32_t *>(words);
    store->capacity = count;
    return 0;
}

WordStore long_records = {nullptr, 0, enlarge, nullptr};

// Decodes the matrix whose header was read last, as zorvane_load does:
// the first of its name as zorvane would.
void decode(MatrixEntry *entry, int32_t selector, int first_of_its_name, Matrix *m)
{
    char problem[PROBLEM_LENGTH];
    std::string name = trimmed(entry->header.name) + ": ";
    MatrixPlan plan;
    int status = plan_matrix(&channel, &entry->header, selector, &plan, problem);
    if (status != DECODE_DONE)
        fail(status_identifier(status), name + problem);
    SparseOutput output = {};
    double imag_start = 0.0;
    output.imag = plan.complex_values ? &imag_start : nullptr;
    output.grow = grow;
    output.columns_start = columns_start;
    output.pointer_slots = 1;
    output.context = m;
    output.long_records = &long_records;
    HeaderWatch watch = {first_of_its_name ? 0 : 1, -1};
    output.matrix_ends_here = watch_for_headers;
    output.watch = &watch;
    grow(&output, plan.initial_slots, m);
    int32_t decode_status = DECODE_DONE;
    int end_record_read = 0;
    DECODECOLUMNS(&channel, &output, &plan, &decode_status, problem, &end_record_read);
    if (decode_status == DECODE_CAPACITY)
        snprintf(problem, sizeof problem, "Too many non-zeros in matrix.");
    if (decode_status != DECODE_DONE)
        fail(status_identifier(decode_status), name + problem);
    finish_watched_matrix(&channel, entry, &watch, end_record_read, &long_records);
}

// A matrix name as a file name: what cannot stand in one becomes '_'.
std::string file_safe(const std::string &name)
{
    std::string safe = name;
    for (size_t k = 0; k < safe.size(); ++k) {
        auto c = static_cast<unsigned char>(safe[k]);
        if (c < 0x20 || c == 0x7F || c == '/' || c == '\\' || (k == 0 && c == '.'))
            safe[k] = '_';
    }
    return safe;
}

// Writes DIR/FILE under a temporary name of its own, renamed when complete.
void write_market_file(const std::string &dir, const std::string &file, const MatrixEntry *entry, const Matrix *m)
{
    std::string path = dir + "/" + file, temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = path + "." + std::to_string(getpid()) + "." + std::to_string(attempt) + ".tmp";
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    FILE *out = fd >= 0 ? fdopen(fd, "w") : nullptr;
    if (out == nullptr)
        fail("zorvane:mm:write", "cannot write " + path + ": " + strerror(errno));
    const HeaderRecord *h = &entry->header;
    int failed = write_market(out, header_rows(h->row_count), h->column_count, m->starts, m->rows.data(),
                              m->values.data(), value_type_is_complex(h->value_type) ? m->imag.data() : nullptr);
    failed |= fclose(out) != 0;
    if (failed || rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        fail("zorvane:mm:write", "cannot write " + path);
    }
}

void open_matrix_input(const char *path)
{
    if (open_matrix_file(&channel, path) != 0)
        fail("zorvane", "Could not open file");
    if (is_foreign_file(&channel))
        fail("zorvane:mm:NotMatrixFile", NOT_MATRIX_FILE);
}

void list(const char *path)
{
    open_matrix_input(path);
    printf("%-8s %10s %10s %5s %5s %-9s %-7s %-11s %-6s %s\n", "name", "rows", "columns", "form", "type",
           "precision", "complex", "encoding", "order", "format");
    MatrixEntry entry;
    while (next_structural_matrix(&channel, &entry, &long_records)) {
        const HeaderRecord *h = &entry.header;
        printf("%-8s %10lld %10d %5d %5d %-9s %-7s %-11s %-6s %s\n", trimmed(h->name).c_str(),
               static_cast<long long>(header_rows(h->row_count)), h->column_count, h->form, h->value_type,
               value_type_is_double(h->value_type) ? "double" : "single",
               value_type_is_complex(h->value_type) ? "true" : "false", encoding_name(entry.encodings),
               channel_byte_order_name(&channel), channel_format_name(&channel));
    }
    close_channel(&channel);
}

// The file name of every wanted matrix, in file order: its safe name, or
// numbered when taken, never a name another matrix of the file has or gets.
std::vector<std::string> output_names(const char *path, const std::vector<std::string> &names)
{
    open_matrix_input(path);
    std::vector<std::string> all, chosen;
    MatrixEntry entry;
    while (next_structural_matrix(&channel, &entry, &long_records))
        all.push_back(trimmed(entry.header.name));
    close_channel(&channel);
    std::set<std::string> reserved, taken;
    for (const std::string &name : all)
        reserved.insert(file_safe(name));
    for (const std::string &name : all) {
        bool wanted = names.empty();
        for (const std::string &w : names)
            wanted |= w == name;
        if (!wanted) {
            chosen.emplace_back();
            continue;
        }
        std::string base = file_safe(name), file = base;
        for (int n = 2; taken.count(file) > 0 || (file != base && reserved.count(file) > 0); ++n)
            file = base + "." + std::to_string(n);
        taken.insert(file);
        chosen.push_back(file);
        if (file != name)
            printf("%s -> %s.mtx\n", name.c_str(), file.c_str());
    }
    return chosen;
}

void make_folder(const std::string &dir)
{
    std::string partial;
    for (size_t k = 0; k <= dir.size(); ++k) {
        if (k == dir.size() || (dir[k] == '/' && k > 0)) {
            partial = dir.substr(0, k);
            if (mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST)
                fail("zorvane:mm:write", "cannot make " + partial + ": " + strerror(errno));
        }
    }
    struct stat status;
    if (stat(dir.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        fail("zorvane:mm:write", dir + " is not a folder");
}

void convert(const char *path, const std::string &dir, const std::vector<std::string> &names, int32_t selector)
{
    std::vector<std::string> files = output_names(path, names);
    make_folder(dir);
    open_matrix_input(path);
    std::vector<int> found(names.size(), 0);
    std::set<std::string> seen;
    MatrixEntry entry;
    for (size_t index = 0; SCANHEADER(&channel, &entry) == RECORD_DONE; ++index) {
        std::string name = trimmed(entry.header.name);
        bool first = seen.insert(std::string(entry.header.name, NAME_LENGTH)).second;
        for (size_t k = 0; k < names.size(); ++k)
            found[k] |= names[k] == name;
        if (index >= files.size() || files[index].empty()) {
            finish_structural_matrix(&channel, &entry, 0, &long_records);
            continue;
        }
        Matrix m;
        decode(&entry, selector, first, &m);
        write_market_file(dir, files[index] + ".mtx", &entry, &m);
    }
    close_channel(&channel);
    for (size_t k = 0; k < names.size(); ++k)
        if (!found[k])
            fail("MATLAB:zorvane_load:NotFound", "Matrix " + names[k] + " is not in the file.");
}

// --- Matrix Market to a matrix file ------------------------------------------

struct WriteOptions {
    int text = 0, big_endian = 0, single = 0, append = 0, digits = 0;
    int given_form = 0, given_format = 0, given_order = 0;
    int32_t form = 0;
    Encoding encoding = ENCODING_AUTO;
};

int64_t number_argument(const char *text, const char *option, int64_t low, int64_t high)
{
    int64_t value = 0;
    const char *end = text + strlen(text);
    auto result = std::from_chars(text, end, value);
    if (result.ec != std::errc() || result.ptr != end || value < low || value > high)
        usage_error(std::string(option) + " takes an integer from " + std::to_string(low) + " to " + std::to_string(high));
    return value;
}

void name_field(const std::string &name, const std::string &file, char field[NAME_LENGTH])
{
    bool valid = !name.empty() && name.size() <= NAME_LENGTH && name != "XXXXXXXX";
    for (char c : name)
        valid &= c >= '!' && c <= 'z';
    if (!valid)
        fail("MATLAB:zorvane_save:BadName", file + ": the name '" + name +
                                                "' is not 1 to 8 characters from ! to z (give NAME=" + file + ")");
    memset(field, ' ', NAME_LENGTH);
    memcpy(field, name.data(), name.size());
}

// The file's format and byte order, when appending to one that exists.
void adopt_existing(const char *out, WriteOptions *o)
{
    if (!o->append || open_matrix_file(&channel, out) != 0) {
        o->append = 0;
        return;
    }
    if (channel.size > 0) {
        if (is_foreign_file(&channel))
            fail("MATLAB:zorvane_save:Mismatch", std::string(out) + " is not a matrix file; nothing appended.");
        if ((o->given_format && o->text != channel.text) || (o->given_order && o->big_endian != channel.big_endian))
            fail("MATLAB:zorvane_save:Mismatch", std::string(out) + " is a file of another format or byte order.");
        o->text = channel.text;
        o->big_endian = channel.big_endian;
    }
    close_channel(&channel);
}

// One input: NAME=FILE, or FILE named by its base name without ".mtx".
struct MarketInput {
    std::string name, file;
};

MarketInput market_input(const std::string &argument)
{
    size_t equals = argument.find('=');
    std::string file = equals == std::string::npos ? argument : argument.substr(equals + 1);
    std::string base = file.substr(file.find_last_of('/') + 1);
    if (base.size() > 4 && base.compare(base.size() - 4, 4, ".mtx") == 0)
        base.resize(base.size() - 4);
    return MarketInput{equals == std::string::npos ? base : argument.substr(0, equals), file};
}

Encoding encoding_argument(const std::string &word)
{
    const char *const names[] = {"auto", "dense", "packed", "large", "value-count"};
    for (int k = 0; k < 5; ++k)
        if (word == names[k])
            return static_cast<Encoding>(k);
    usage_error("unknown encoding " + word);
}

// The options and inputs after --write OUT.
std::vector<MarketInput> write_arguments(int argc, char **argv, WriteOptions *o)
{
    std::vector<MarketInput> inputs;
    for (int i = 3; i < argc; ++i) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == "--text")
            o->text = 1, o->given_format = 1;
        else if (a == "--big-endian")
            o->big_endian = 1, o->given_order = 1;
        else if (a == "--single")
            o->single = 1;
        else if (a == "--append")
            o->append = 1;
        else if (a == "--form" && has_value)
            o->form = static_cast<int32_t>(number_argument(argv[++i], "--form", INT32_MIN, INT32_MAX)), o->given_form = 1;
        else if (a == "--digits" && has_value)
            o->digits = static_cast<int>(number_argument(argv[++i], "--digits", 1, 20));
        else if (a == "--encoding" && has_value)
            o->encoding = encoding_argument(argv[++i]);
        else if (a.size() > 1 && a[0] == '-')
            usage_error("unknown option " + a);
        else
            inputs.push_back(market_input(a));
    }
    if (inputs.empty())
        usage_error("--write needs at least one Matrix Market file");
    if (o->text && (o->given_order || o->encoding == ENCODING_VALUE_COUNT))
        usage_error("--big-endian and --encoding value-count are for binary files only");
    if (!o->text && o->digits > 0)
        usage_error("--digits is for text files only");
    return inputs;
}

MatrixSource source_of(const MarketMatrix &m)
{
    return MatrixSource{m.rows,         m.columns, m.full ? nullptr : m.pointers.data(),
                        m.full ? nullptr : m.row_indices.data(), m.real.data(),
                        m.complex_values ? m.imag.data() : nullptr};
}

int write_matrix_file(int argc, char **argv)
{
    if (argc < 3)
        usage_error("--write needs an output file");
    const char *out = argv[2];
    WriteOptions o;
    std::vector<MarketInput> inputs = write_arguments(argc, argv, &o);
    adopt_existing(out, &o);
    // Every input read and planned before the file is touched.
    std::vector<MarketMatrix> matrices(inputs.size());
    std::vector<EncodePlan> plans(inputs.size());
    int64_t longest = 0;
    for (size_t k = 0; k < inputs.size(); ++k) {
        char name[NAME_LENGTH], problem[PROBLEM_LENGTH];
        name_field(inputs[k].name, inputs[k].file, name);
        std::string wrong = read_market(inputs[k].file, &matrices[k]);
        if (!wrong.empty())
            fail("zorvane:mm:BadMarketFile", wrong);
        MatrixSource source = source_of(matrices[k]);
        int32_t form = o.given_form ? o.form : default_form(&source);
        int digits = o.digits > 0 ? o.digits : o.single ? 9 : 16;
        if (plan_encoding(o.text, &source, name, form, o.single, o.encoding, digits, &plans[k], problem) != ENCODE_DONE)
            fail("MATLAB:zorvane_save:Encoding", problem);
        int64_t words = longest_record_bound(&source, &plans[k]);
        longest = words > longest ? words : longest;
    }
    if (longest > WORD_BUFFER_WORDS && enlarge(&long_records, longest, nullptr) != 0)
        fail("MATLAB:zorvane:OutOfMemory", "Out of memory for a column record.");
    if (open_matrix_file_for_writing(&channel, out, o.text, o.big_endian, o.append) != 0)
        fail("MATLAB:zorvane_save:CannotWrite", std::string(out) + ": " + strerror(channel.write_error));
    for (size_t k = 0; k < inputs.size(); ++k) {
        MatrixSource source = source_of(matrices[k]);
        char problem[PROBLEM_LENGTH] = "";
        int status = ENCODEMATRIX(&channel, &source, &plans[k], &long_records, problem);
        if (status == ENCODE_RANGE)
            fail("MATLAB:zorvane_save:Range", problem);
        if (status != ENCODE_DONE)
            fail("MATLAB:zorvane_save:CannotWrite", std::string(out) + ": " + strerror(channel.write_error) + " - " + problem);
    }
    if (commit_channel(&channel) != 0)
        fail("MATLAB:zorvane_save:CannotWrite", std::string(out) + ": " + strerror(channel.write_error));
    return 0;
}

// -s takes a number, as zorvane's third input does.
double selector_argument(const char *text)
{
    char *end = nullptr;
    double value = strtod(text, &end);
    if (end == text || *end != '\0')
        usage_error(std::string("-s takes a number, not '") + text + "'");
    return value;
}

int run(int argc, char **argv);

} // namespace

// The shell's own memory comes from the standard library: running out of
// it is the plug-ins' error too, never an abort.
int main(int argc, char **argv)
{
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc &) {
        fail(OUT_OF_MEMORY, "Out of memory.");
    }
}

namespace {

int run(int argc, char **argv)
{
    if (argc >= 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        fputs(USAGE, stdout);
        return 0;
    }
    if (argc < 2)
        usage_error("a file is needed");
    if (strcmp(argv[1], "--write") == 0)
        return write_matrix_file(argc, argv);
    std::string dir;
    std::vector<std::string> names;
    double selector = 0;
    bool given_selector = false;
    for (int i = 2; i < argc; ++i) {
        if (strcmp(argv[i], "-o") == 0 && i + 1 < argc && dir.empty())
            dir = argv[++i];
        else if (strcmp(argv[i], "-s") == 0 && i + 1 < argc && !given_selector)
            selector = selector_argument(argv[++i]), given_selector = true;
        else if (argv[i][0] == '-')
            usage_error(std::string("unknown or repeated option ") + argv[i]);
        else
            names.emplace_back(argv[i]);
    }
    if (dir.empty() && (!names.empty() || given_selector))
        usage_error("names and -s go with -o DIR");
    if (dir.empty())
        list(argv[1]);
    else
        convert(argv[1], dir, names, selector_from_double(selector));
    free(long_records.words);
    return 0;
}

} // namespace
