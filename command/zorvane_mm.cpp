// zorvane-mm: a matrix file's matrices listed, written as Matrix Market
// files, or Matrix Market files written as a matrix file, without a host:
// the same core as the plug-ins.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <getopt.h>
#include <new>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "cards.h"
#include "decode.h"
#include "encode.h"
#include "market.h"
#include "memory.h"
#include "save.h"
#include "scan.h"

namespace {

const char USAGE[] =
    "usage: zorvane-mm FILE ...                               list the matrices of each file\n"
    "       zorvane-mm FILE -o DIR [NAME ...] [-s SELECTOR]   write them as DIR/NAME.mtx\n"
    "       zorvane-mm --write OUT [--text] [--big-endian] [--single] [--encoding E]\n"
    "                  [--form N] [--digits D] [--append] [NAME=]FILE.mtx ...\n"
    "                                                         write Matrix Market files as a matrix file\n"
    "       zorvane-mm --version | --help\n"
    "  E: auto, dense, packed, large or value-count; N: 1-6, 8-11, 13, 15\n"
    "  FILE, FILE.mtx or OUT given as - : standard input or output\n";

constexpr int EXIT_FAILED = 1, EXIT_USAGE = 2;

// What a run holds, so that any failure can leave nothing behind.
struct Run {
    MatrixChannel channel;
    std::string standard_input;                  // standard input's copy, or ""
    std::vector<std::string> made_folders;       // by -o, outermost first
    std::vector<std::string> written;            // Matrix Market files written by -o
};
Run run_state;
MatrixChannel &channel = run_state.channel;

void clean_up(bool failed)
{
    close_channel(&channel);
    if (!run_state.standard_input.empty())
        unlink(run_state.standard_input.c_str());
    if (!failed)
        return;
    std::error_code ignored;
    if (run_state.made_folders.empty())
        return; // files written into a folder that was there stay: each is complete
    for (const std::string &file : run_state.written)
        std::filesystem::remove(file, ignored);
    for (auto k = run_state.made_folders.rbegin(); k != run_state.made_folders.rend(); ++k)
        std::filesystem::remove(*k, ignored); // only when empty
}

[[noreturn]] void fail_with(int code, const char *identifier, const std::string &message)
{
    clean_up(true);
    fprintf(stderr, "%s: %s\n", identifier, message.c_str());
    exit(code);
}

[[noreturn]] void fail(const char *identifier, const std::string &message) { fail_with(EXIT_FAILED, identifier, message); }

// Reading problems under zorvane's identifiers, as the plug-ins raise them.
const char *reader_identifier(int problem_status)
{
    static std::string identifier;
    identifier = std::string("MATLAB:zorvane:") + problem_mnemonic(problem_status);
    return identifier.c_str();
}

[[noreturn]] void usage_error(const std::string &message)
{
    fail_with(EXIT_USAGE, "zorvane:mm:usage", message + "\n" + USAGE);
}

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
        fail(reader_identifier(decode_problem(status)), name + problem);
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
    if (decode_status != DECODE_DONE)
        fail(reader_identifier(decode_problem(decode_status)), name + problem);
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

// Writes DIR/FILE under a temporary name of its own, renamed when complete;
// write puts the content and returns nonzero on failure.
template <typename Content> void write_output_file(const std::string &dir, const std::string &file, Content write)
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
    int failed = write(out);
    failed |= fclose(out) != 0;
    if (failed || rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        fail("zorvane:mm:write", "cannot write " + path);
    }
    run_state.written.push_back(path);
}

void write_market_file(const std::string &dir, const std::string &file, const MatrixEntry *entry, const Matrix *m)
{
    const HeaderRecord *h = &entry->header;
    write_output_file(dir, file, [&](FILE *out) {
        return write_market(out, header_rows(h->row_count), h->column_count, m->starts, m->rows.data(), m->values.data(),
                            value_type_is_complex(h->value_type) ? m->imag.data() : nullptr);
    });
}

void make_folder(const std::string &dir);

// --- Bulk-data cards --------------------------------------------------------------

void *resize_plain(void *old, int64_t bytes, void *)
{
    if (bytes == 0) {
        free(old);
        return nullptr;
    }
    return realloc(old, static_cast<size_t>(bytes));
}

[[noreturn]] void card_failure(const Problem *p)
{
    std::string identifier = std::string("MATLAB:zorvane_dmig_load:") + problem_mnemonic(p->status);
    fail(identifier.c_str(), (p->line > 0 ? "line " + std::to_string(p->line) + ": " : std::string()) + p->message);
}

// The cards of a file that is no matrix file; a file without any is none of either.
void collect_file_cards(const char *path, const std::vector<std::string> &names, CardSet *set)
{
    if (open_channel(&channel, path) != 0)
        fail("zorvane", "Could not open file");
    std::vector<std::string> upper;
    std::vector<const char *> wanted;
    for (const std::string &n : names) {
        char field[CARD_NAME_LENGTH + 1];
        if (!card_name_is_valid(n.c_str(), static_cast<int64_t>(n.size()), field))
            usage_error("'" + n + "' is no matrix name");
        upper.emplace_back(field);
    }
    for (const std::string &u : upper)
        wanted.push_back(u.c_str());
    if (collect_cards(&channel, CardMemory{resize_plain, nullptr}, names.empty() ? nullptr : wanted.data(),
                      static_cast<int64_t>(wanted.size()), set) != 0)
        card_failure(set->problem);
    close_channel(&channel);
    if (set->matrix_count == 0)
        fail("zorvane:mm:NotMatrixFile", "Not a matrix file: its first record is neither a binary record nor a text "
                                         "header, and it holds no DMIG or DMI cards.");
    for (int64_t k = 0; k < set->matrix_count; ++k)
        if (set->matrices[k].wanted && order_card_labels(set, k) != 0)
            card_failure(set->problem);
}

void list_cards(const char *path)
{
    CardSet set;
    collect_file_cards(path, {}, &set);
    printf("%-8s %-4s %5s %5s %10s %10s %10s\n", "name", "card", "form", "type", "rows", "columns", "terms");
    for (int64_t k = 0; k < set.matrix_count; ++k) {
        const CardMatrix *m = &set.matrices[k];
        printf("%-8s %-4s %5d %5d %10lld %10lld %10lld\n", m->name, m->kind == CARD_DMIG ? "DMIG" : "DMI", m->form, m->type,
               static_cast<long long>(m->rows), static_cast<long long>(m->columns), static_cast<long long>(m->terms));
    }
    release_cards(&set);
}

// NAME.mtx for each matrix, and for DMIG NAME.rows and NAME.cols: one "point component" a line.
void convert_cards(const char *path, const std::string &dir, const std::vector<std::string> &names)
{
    CardSet set;
    collect_file_cards(path, names, &set);
    make_folder(dir);
    for (int64_t k = 0; k < set.matrix_count; ++k) {
        const CardMatrix *m = &set.matrices[k];
        if (!m->wanted)
            continue;
        int complex_values = m->type == 3 || m->type == 4;
        int64_t bound = card_entry_bound(&set, k);
        std::vector<int64_t> pointers(static_cast<size_t>(m->columns + 1)), rows(static_cast<size_t>(bound + 1));
        std::vector<double> real(static_cast<size_t>(bound + 1)), imag(complex_values ? static_cast<size_t>(bound + 1) : 0);
        CardOutput out = {pointers.data(), rows.data(), real.data(), complex_values ? imag.data() : nullptr};
        int64_t entries = 0;
        if (place_card_matrix(&set, k, &out, &entries) != 0)
            card_failure(set.problem);
        std::vector<ColumnStart> starts;
        for (int64_t c = 0; c < m->columns; ++c)
            if (pointers[static_cast<size_t>(c + 1)] > pointers[static_cast<size_t>(c)])
                starts.push_back(ColumnStart{c, pointers[static_cast<size_t>(c)]});
        starts.push_back(ColumnStart{m->columns, entries});
        std::string base = file_safe(m->name);
        write_output_file(dir, base + ".mtx", [&](FILE *f) {
            return write_market(f, m->rows, m->columns, starts, rows.data(), real.data(),
                                complex_values ? imag.data() : nullptr);
        });
        if (m->kind != CARD_DMIG)
            continue;
        for (int side = 0; side < 2; ++side)
            write_output_file(dir, base + (side == 0 ? ".rows" : ".cols"), [&](FILE *f) {
                int64_t count = side == 0 ? m->rows : m->columns;
                for (int64_t r = 0; r < count; ++r) {
                    int64_t label[2];
                    if (side == 0)
                        card_row_label(&set, k, r, label);
                    else
                        card_column_label(&set, k, r, label);
                    if (fprintf(f, "%lld %lld\n", static_cast<long long>(label[0]), static_cast<long long>(label[1])) < 0)
                        return 1;
                }
                return 0;
            });
    }
    release_cards(&set);
}

// Whether a file is a matrix file (else its cards are read).
bool is_matrix_file(const char *path)
{
    if (open_matrix_file(&channel, path) != 0)
        fail("zorvane", "Could not open file");
    bool matrix_file = !is_foreign_file(&channel);
    close_channel(&channel);
    return matrix_file;
}

// Standard input as a file of its own (the reader reads by position), kept until the run ends.
std::string standard_input_copy()
{
    if (!run_state.standard_input.empty())
        return run_state.standard_input;
    const char *folder = getenv("TMPDIR");
    std::string name = std::string(folder != nullptr && folder[0] != '\0' ? folder : "/tmp") + "/zorvane-mm.XXXXXX";
    std::vector<char> path(name.begin(), name.end());
    path.push_back('\0');
    int fd = mkstemp(path.data());
    if (fd < 0)
        fail("zorvane:mm:read", "cannot copy standard input: " + std::string(strerror(errno)));
    run_state.standard_input = path.data();
    std::vector<char> block(1 << 16);
    for (;;) {
        ssize_t got = read(STDIN_FILENO, block.data(), block.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || (got > 0 && write(fd, block.data(), static_cast<size_t>(got)) != got)) {
            close(fd);
            fail("zorvane:mm:read", "cannot copy standard input: " + std::string(strerror(errno)));
        }
        if (got == 0)
            break;
    }
    close(fd);
    return run_state.standard_input;
}

// An input file's path: "-" is standard input; a folder is said to be one.
std::string input_path(const std::string &argument)
{
    if (argument == "-")
        return standard_input_copy();
    std::error_code error;
    if (std::filesystem::is_directory(argument, error))
        fail("zorvane:mm:read", argument + " is a folder");
    return argument;
}

void open_matrix_input(const char *path)
{
    if (open_matrix_file(&channel, path) != 0)
        fail("zorvane", "Could not open file");
    if (is_foreign_file(&channel))
        fail("zorvane:mm:NotMatrixFile", NOT_MATRIX_FILE);
}

void list(const char *path, const char *heading)
{
    open_matrix_input(path);
    if (heading != nullptr)
        printf("%s:\n", heading);
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

// Makes the folder and those above it that are missing, noting each made.
void make_folder(const std::string &dir)
{
    std::filesystem::path made;
    std::error_code error;
    for (const auto &part : std::filesystem::path(dir)) {
        made /= part;
        if (std::filesystem::exists(made, error))
            continue;
        if (!std::filesystem::create_directory(made, error))
            fail("zorvane:mm:write", "cannot make " + made.string() + ": " + error.message());
        run_state.made_folders.push_back(made.string());
    }
    if (!std::filesystem::is_directory(dir, error))
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
    if (name == LIST_MODE_NAME)
        fail("MATLAB:zorvane_save:BadName", file + ": the name " + name + " is reserved (it asks a reader for the list of matrices)");
    if (name.find('\0') != std::string::npos || !writable_name(name.c_str(), field))
        fail("MATLAB:zorvane_save:BadName", file + ": the name '" + name +
                                                "' is not 1 to 8 characters from ! to z (give NAME=" + file + ")");
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
    usage_error("--encoding takes auto, dense, packed, large or value-count, not " + word);
}

MatrixSource source_of(const MarketMatrix &m)
{
    return MatrixSource{m.rows,         m.columns, m.full ? nullptr : m.pointers.data(),
                        m.full ? nullptr : m.row_indices.data(), m.real.data(),
                        m.complex_values ? m.imag.data() : nullptr};
}

// Every input read before the file is touched, then the core's save.
void write_matrix_file(const std::string &out, const std::vector<std::string> &arguments, SaveOptions o)
{
    if (arguments.empty())
        usage_error("--write needs at least one Matrix Market file");
    std::vector<MarketInput> inputs;
    for (const std::string &a : arguments)
        inputs.push_back(market_input(a));
    std::vector<MarketMatrix> matrices(inputs.size());
    std::vector<SaveItem> items(inputs.size());
    for (size_t k = 0; k < inputs.size(); ++k) {
        std::string path = input_path(inputs[k].file);
        name_field(inputs[k].name, inputs[k].file, items[k].name);
        std::string wrong = read_market(path, &matrices[k]);
        if (!wrong.empty())
            fail("zorvane:mm:BadMarketFile", wrong);
        items[k].source = source_of(matrices[k]);
        items[k].single = 0;
        items[k].form = NO_FORM;
    }
    o.to_standard_output = out == "-";
    Problem problem;
    if (save_matrices(&channel, out == "-" ? "standard output" : out.c_str(), o, items.data(),
                      static_cast<int64_t>(items.size()), &long_records, &problem) != 0) {
        std::string identifier = std::string("MATLAB:zorvane_save:") + problem_mnemonic(problem.status);
        fail(identifier.c_str(), problem.message);
    }
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
        fail(reader_identifier(PROBLEM_OUT_OF_MEMORY), "Out of memory.");
    }
}

namespace {

int run(int argc, char **argv)
{
    enum { OPT_WRITE = 256, OPT_TEXT, OPT_BIG_ENDIAN, OPT_SINGLE, OPT_ENCODING, OPT_FORM, OPT_DIGITS, OPT_APPEND, OPT_VERSION };
    static const struct option options[] = {
        {"write", required_argument, nullptr, OPT_WRITE}, {"text", no_argument, nullptr, OPT_TEXT},
        {"big-endian", no_argument, nullptr, OPT_BIG_ENDIAN}, {"single", no_argument, nullptr, OPT_SINGLE},
        {"encoding", required_argument, nullptr, OPT_ENCODING}, {"form", required_argument, nullptr, OPT_FORM},
        {"digits", required_argument, nullptr, OPT_DIGITS}, {"append", no_argument, nullptr, OPT_APPEND},
        {"version", no_argument, nullptr, OPT_VERSION}, {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0}};
    SaveOptions save = default_save_options();
    std::string dir, out;
    bool writing = false, given_selector = false, save_options = false;
    double selector = 0;
    opterr = 0;
    int option = 0;
    while ((option = getopt_long(argc, argv, "ho:s:", options, nullptr)) != -1) {
        save_options |= option >= OPT_TEXT && option <= OPT_APPEND;
        switch (option) {
        case 'h': fputs(USAGE, stdout); return 0;
        case OPT_VERSION: printf("zorvane-mm %s\n", ZORVANE_VERSION); return 0;
        case 'o':
            if (!dir.empty())
                usage_error("-o is given twice");
            dir = optarg;
            break;
        case 's':
            if (given_selector)
                usage_error("-s is given twice");
            selector = selector_argument(optarg), given_selector = true;
            break;
        case OPT_WRITE:
            if (writing)
                usage_error("--write is given twice");
            writing = true, out = optarg;
            break;
        case OPT_TEXT: save.text = 1, save.given_format = 1; break;
        case OPT_BIG_ENDIAN: save.big_endian = 1, save.given_byte_order = 1; break;
        case OPT_SINGLE: save.single = 1, save.given_precision = 1; break;
        case OPT_APPEND: save.append = 1; break;
        case OPT_ENCODING: save.encoding = encoding_argument(optarg); break;
        case OPT_FORM: {
            int square_needed = 0;
            save.form = static_cast<int32_t>(number_argument(optarg, "--form", 1, 15));
            if (!form_is_known(save.form, &square_needed))
                usage_error("--form takes one of 1-6, 8-11, 13, 15");
            save.given_form = 1;
            break;
        }
        case OPT_DIGITS: save.digits = static_cast<int>(number_argument(optarg, "--digits", 1, 20)), save.given_digits = 1; break;
        default:
            usage_error(std::string("unknown option or missing value: ") + argv[optind - 1]);
        }
    }
    std::vector<std::string> operands(argv + optind, argv + argc);
    if (writing) {
        if (!dir.empty() || given_selector)
            usage_error("-o and -s do not go with --write");
        write_matrix_file(out, operands, save);
    } else if (save_options) {
        usage_error("--text, --big-endian, --single, --encoding, --form, --digits and --append go with --write");
    } else if (operands.empty()) {
        usage_error("a file is needed");
    } else if (!dir.empty()) {
        std::vector<std::string> names(operands.begin() + 1, operands.end());
        std::string path = input_path(operands[0]);
        if (is_matrix_file(path.c_str()))
            convert(path.c_str(), dir, names, selector_from_double(selector));
        else if (given_selector)
            usage_error("-s is for matrix files, not cards");
        else
            convert_cards(path.c_str(), dir, names);
    } else if (given_selector) {
        usage_error("names and -s go with -o DIR");
    } else {
        for (const std::string &file : operands) {
            std::error_code error;
            if (file != "-" && !std::filesystem::exists(file, error) && operands.size() > 1)
                usage_error(file + " is no file (names go with -o DIR)");
        }
        for (size_t k = 0; k < operands.size(); ++k) {
            if (k > 0)
                printf("\n");
            std::string path = input_path(operands[k]);
            const char *heading = operands.size() > 1 ? operands[k].c_str() : nullptr;
            if (is_matrix_file(path.c_str())) {
                list(path.c_str(), heading);
            } else {
                if (heading != nullptr)
                    printf("%s:\n", heading);
                list_cards(path.c_str());
            }
        }
    }
    free(long_records.words);
    clean_up(false);
    return 0;
}

} // namespace
