// Every host operation that may end the call runs with the file closed,
// so that no file stays open when it does.
#include "adapter.h"

#include <cstdio>
#include <cstdlib>

#include "convert.h"
#include "memory.h"
#include "scan.h"

const char COULD_NOT_OPEN[] = "zorvane: Could not open file";
const char NOT_FOUND[] = "zorvane: Matrix could not be found.";

namespace {

const char FILE_CHANGED[] = "Damaged file: the file changed while it was read.";

// Zero at load; its word buffer is never cleared.
MatrixChannel channel;
int suspended; // the channel was open when host work began

// The call's room for records longer than the word buffer: host memory,
// which the host frees itself when it ends the call.
WordStore long_records;

// Gives the output room for slots entries when decoding needs more.
int grow_output(SparseOutput *output, int64_t slots, void *context)
{
    auto *matrix = static_cast<mxArray *>(context);
    suspend_for_host();
    int failed = MXRESIZESPARSE730(matrix, slots);
    resume_after_host();
    output->values = MXGETPR(matrix);
    output->imag = MXGETPI(matrix);
    output->rows = MXGETIR730(matrix);
    output->slots = failed ? output->slots : slots;
    return failed;
}

// Gives the output room for more column pointers as columns start.
int grow_pointers(SparseOutput *output, int64_t slots, void *context)
{
    auto *matrix = static_cast<mxArray *>(context);
    suspend_for_host();
    int failed = MXRESIZEPOINTERS730(matrix, slots);
    resume_after_host();
    output->column_pointers = MXGETJC730(matrix);
    output->pointer_slots = failed ? output->pointer_slots : slots;
    return failed;
}

// Room for a record of count words, when the process can get it.
int enlarge_long_records(WordStore *store, int64_t count, void *)
{
    if (!memory_fits(4 * count, 4 * store->capacity, memory_available(&channel)))
        return 1;
    suspend_for_host();
    void *words = MXREALLOC(store->words, static_cast<size_t>(count) * 4);
    resume_after_host();
    if (words == nullptr)
        return 1;
    store->words = static_cast<uint32_t *>(words);
    store->capacity = count;
    return 0;
}

} // namespace

MatrixChannel *plugin_channel() { return &channel; }

const char *reader_identifier(int problem_status)
{
    // The reading plug-ins raise the core's problems under zorvane's own identifiers.
    static char identifier[64];
    snprintf(identifier, sizeof identifier, "MATLAB:zorvane:%s", problem_mnemonic(problem_status));
    return identifier;
}

void suspend_for_host()
{
    suspended = channel.is_open && !channel.writing;
    suspend_channel(&channel);
}

void resume_after_host()
{
    if (suspended && resume_channel(&channel) != 0)
        raise_closed(reader_identifier(PROBLEM_BAD_FILE), FILE_CHANGED);
    suspended = 0;
}

void begin_call_memory()
{
    long_records = WordStore{nullptr, 0, enlarge_long_records, nullptr};
    channel.result_copies = HOST_RESULT_COPIES;
}

WordStore *long_record_store() { return &long_records; }

void end_call_memory()
{
    MXFREE(long_records.words);
    long_records = WordStore{nullptr, 0, enlarge_long_records, nullptr};
}

void raise_closed(const char *identifier, const char *message)
{
    close_channel(&channel);
    end_call_memory();
    if (identifier == nullptr)
        MEXERRMSGTXT(message);
    MEXERRMSGIDANDTXT(identifier, message);
}

namespace {

[[noreturn]] void argument_error(const char *function, const char *mnemonic, const char *message)
{
    char identifier[64];
    snprintf(identifier, sizeof identifier, "MATLAB:%s:%s", function, mnemonic);
    MEXERRMSGIDANDTXT(identifier, message);
}

// The checks every file-name input shares, in zorvane's order.
void check_file_name_input(const mxArray *input, const char *function, int64_t most)
{
    if (!MXISCHAR(input))
        argument_error(function, "NonString", "First input must be string.");
    if (MXGETM730(input) != 1)
        argument_error(function, "NonRowVector", "First input must be row vector.");
    if (MXGETN730(input) > most)
        argument_error(function, "TooLong", "First input string is too long.");
}

} // namespace

void file_path_argument(const mxArray *input, const char *function, char path[CHANNEL_PATH_LENGTH])
{
    check_file_name_input(input, function, CHANNEL_PATH_LENGTH - 64);
    char text[CHANNEL_PATH_LENGTH];
    if (MXGETTEXT(input, text, sizeof text) != 0)
        argument_error(function, "readError", "Error reading string.");
    // A name holding NUL would silently name another file.
    if (static_cast<int64_t>(strlen(text)) != MXGETNUMBEROFELEMENTS(input))
        text[0] = '\0';
    expand_home(text, path);
}

void path_from_field(const char field[FILE_NAME_LENGTH], char path[CHANNEL_PATH_LENGTH])
{
    int length = FILE_NAME_LENGTH;
    while (length > 0 && field[length - 1] == ' ')
        --length;
    char text[FILE_NAME_LENGTH + 1];
    memcpy(text, field, static_cast<size_t>(length));
    text[length] = '\0';
    if (memchr(field, '\0', static_cast<size_t>(length)) != nullptr)
        text[0] = '\0';
    expand_home(text, path);
}

void expand_home(const char *text, char path[CHANNEL_PATH_LENGTH])
{
    // "~" and "~/..." as Octave's own file functions take them; "~user" is left as it is.
    const char *home = getenv("HOME");
    if (text[0] == '~' && (text[1] == '\0' || text[1] == '/') && home != nullptr && home[0] != '\0' &&
        strlen(home) + strlen(text) < static_cast<size_t>(CHANNEL_PATH_LENGTH)) {
        snprintf(path, CHANNEL_PATH_LENGTH, "%s%s", home, text + 1);
        return;
    }
    snprintf(path, CHANNEL_PATH_LENGTH, "%s", text);
}

void check_selector_shape(const mxArray *input, const char *function)
{
    if (MXISCHAR(input))
        argument_error(function, "NonNumeric", "Third input must be numeric.");
    if (MXGETM730(input) != 1 || MXGETN730(input) != 1)
        argument_error(function, "NotScalar", "Third input must be scalar.");
}

double selector_value(const mxArray *input, const char *function)
{
    double value = 0.0;
    if (first_numeric_value(input, &value) != 0)
        argument_error(function, "NonNumeric", "Third input must be numeric.");
    return value;
}

int text_argument(const mxArray *a, char *buffer, int64_t size)
{
    return !MXISCHAR(a) || (MXGETM730(a) != 1 && MXGETNUMBEROFELEMENTS(a) != 0) || MXGETTEXT(a, buffer, size) != 0 ||
           static_cast<int64_t>(strlen(buffer)) != MXGETNUMBEROFELEMENTS(a);
}

#if !defined(ZORVANE_HOST_GIVES_API_VERSION) && !defined(ZORVANE_NATIVE_HOST)
// The 64-bit, separate-complex API; MATLAB's own build adds this entry itself.
HOST_EXPORT void MEXFILEREQUIREDAPIVERSION(int *built_by_release, int *target_api_version)
{
    *built_by_release = 0x2016B;        // R2016b, the release whose API this follows
    *target_api_version = 0x07300000; // 7.3: 64-bit sizes, separate complex (MX_TARGET_API_VER)
}
#endif

const char *decode_to_host(const HeaderRecord *header, int32_t selector, HeaderWatch *watch, mxArray **matrix,
                           int *end_record_read, char problem[PROBLEM_LENGTH])
{
    MatrixPlan plan;
    int status = plan_matrix(&channel, header, selector, &plan, problem);
    if (status != DECODE_DONE)
        return reader_identifier(decode_problem(status));
    suspend_for_host();
    // Where the host can reserve room unwritten, the entries never move as they grow.
    *matrix = MXCREATESPARSERESERVED730(plan.rows, plan.pointer_slots - 1, plan.initial_slots, plan.reserve_slots,
                                        plan.complex_values);
    resume_after_host();
    SparseOutput output = {};
    output.values = MXGETPR(*matrix);
    output.imag = MXGETPI(*matrix);
    output.rows = MXGETIR730(*matrix);
    output.slots = plan.initial_slots;
    output.grow = grow_output;
    output.column_pointers = MXGETJC730(*matrix);
    output.pointer_slots = plan.pointer_slots;
    output.grow_pointers = grow_pointers;
    output.context = *matrix;
    output.long_records = &long_records;
    output.matrix_ends_here = watch != nullptr ? watch_for_headers : nullptr;
    output.watch = watch;
    int32_t decode_status = DECODE_DONE;
    DECODECOLUMNS(&channel, &output, &plan, &decode_status, problem, end_record_read);
    if (decode_status != DECODE_DONE)
        return reader_identifier(decode_problem(decode_status));
    // The pointers now hold every column; the trim fails only without
    // memory, and then the output keeps its larger room.
    MXSETN730(*matrix, plan.column_count);
    suspend_for_host();
    (void)MXRESIZESPARSE730(*matrix, output.column_pointers[plan.column_count]);
    resume_after_host();
    return nullptr;
}

// --- Writers' matrices ----------------------------------------------------------

const mxArray *double_matrix(const mxArray *a)
{
    if (MXISDOUBLE(a))
        return a;
    int64_t m = MXGETM730(a), n = MXGETN730(a);
    if (MXISSPARSE(a)) { // only logical matrices are sparse and not double
        int64_t count = MXGETJC730(a)[n];
        mxArray *copy = MXCREATESPARSE730(m, n, count > 0 ? count : 1, 0);
        memcpy(MXGETJC730(copy), MXGETJC730(a), static_cast<size_t>(n + 1) * sizeof(int64_t));
        memcpy(MXGETIR730(copy), MXGETIR730(a), static_cast<size_t>(count) * sizeof(int64_t));
        const auto *bits = static_cast<const mxLogical *>(MXGETDATA(a));
        for (int64_t k = 0; k < count; ++k)
            MXGETPR(copy)[k] = bits[k] != 0 ? 1.0 : 0.0;
        return copy;
    }
    int complex_values = MXISCOMPLEX(a);
    mxArray *copy = MXCREATEDOUBLEMATRIX730(m, n, complex_values);
    int64_t count = m * n;
    for (int part = 0; part <= complex_values; ++part) {
        const void *data = part == 0 ? MXGETDATA(a) : MXGETIMAGDATA(a);
        double *out = part == 0 ? MXGETPR(copy) : MXGETPI(copy);
        for (int64_t k = 0; k < count; ++k) {
            double value = 0;
            switch (MXGETCLASSID(a)) {
            case mxSINGLE_CLASS: value = static_cast<const float *>(data)[k]; break;
            case mxLOGICAL_CLASS: value = static_cast<const mxLogical *>(data)[k] != 0; break;
            case mxINT8_CLASS: value = static_cast<const int8_t *>(data)[k]; break;
            case mxUINT8_CLASS: value = static_cast<const uint8_t *>(data)[k]; break;
            case mxINT16_CLASS: value = static_cast<const int16_t *>(data)[k]; break;
            case mxUINT16_CLASS: value = static_cast<const uint16_t *>(data)[k]; break;
            case mxINT32_CLASS: value = static_cast<const int32_t *>(data)[k]; break;
            case mxUINT32_CLASS: value = static_cast<const uint32_t *>(data)[k]; break;
            case mxINT64_CLASS: value = static_cast<double>(static_cast<const int64_t *>(data)[k]); break;
            default: value = static_cast<double>(static_cast<const uint64_t *>(data)[k]); break;
            }
            out[k] = value;
        }
    }
    return copy;
}

MatrixSource matrix_source(const mxArray *a)
{
    MatrixSource s = {MXGETM730(a), MXGETN730(a), nullptr, nullptr, MXGETPR(a), MXGETPI(a)};
    if (MXISSPARSE(a)) {
        s.column_pointers = MXGETJC730(a);
        s.row_indices = MXGETIR730(a);
    }
    return s;
}

// --- Cards ------------------------------------------------------------------------

void raise_problem(const char *function, const Problem *problem)
{
    char identifier[64], message[PROBLEM_LENGTH + 64];
    snprintf(identifier, sizeof identifier, "MATLAB:%s:%s", function, problem_mnemonic(problem->status));
#ifdef HAVE_OCTAVE
    function = ""; // Octave puts the function's name in front of the message itself
#endif
    int n = function[0] != '\0' ? snprintf(message, sizeof message, "%s: ", function) : 0;
    if (problem->line > 0)
        snprintf(message + n, sizeof message - static_cast<size_t>(n), "line %lld: %s",
                 static_cast<long long>(problem->line), problem->message);
    else
        snprintf(message + n, sizeof message - static_cast<size_t>(n), "%s", problem->message);
    raise_closed(identifier, message);
}

namespace {

void *resize_for_cards(void *old, int64_t bytes, void *)
{
    if (bytes == 0) {
        MXFREE(old);
        return nullptr;
    }
    suspend_for_host();
    void *grown = MXREALLOC(old, static_cast<size_t>(bytes));
    resume_after_host();
    return grown;
}

} // namespace

CardMemory host_card_memory() { return CardMemory{resize_for_cards, nullptr}; }

void collect_cards_for_host(const char *function, const mxArray *file, const mxArray *names, CardSet *set)
{
    char path[CHANNEL_PATH_LENGTH], identifier[64];
    file_path_argument(file, function, path);
    int64_t count = 0;
    char(*upper)[CARD_NAME_LENGTH + 1] = nullptr;
    const char **wanted = nullptr;
    if (names != nullptr) {
        if (!MXISCELL(names)) {
            snprintf(identifier, sizeof identifier, "MATLAB:%s:BadNames", function);
            MEXERRMSGIDANDTXT(identifier, "NAMES must be a cell array of matrix names.");
        }
        count = MXGETNUMBEROFELEMENTS(names);
        upper = static_cast<char(*)[CARD_NAME_LENGTH + 1]>(MXREALLOC(nullptr, static_cast<size_t>(count + 1) * sizeof *upper));
        wanted = static_cast<const char **>(MXREALLOC(nullptr, static_cast<size_t>(count + 1) * sizeof *wanted));
        for (int64_t k = 0; k < count; ++k) {
            char text[CARD_NAME_LENGTH + 2];
            const mxArray *name = MXGETCELL(names, k);
            if (name == nullptr || text_argument(name, text, sizeof text) ||
                !card_name_is_valid(text, static_cast<int64_t>(strlen(text)), upper[k])) {
                snprintf(identifier, sizeof identifier, "MATLAB:%s:BadNames", function);
                MEXERRMSGIDANDTXT(identifier, "Each of NAMES must be a matrix name: 1-8 letters or digits, a letter first.");
            }
            wanted[k] = upper[k];
        }
    }
    MatrixChannel *ch = plugin_channel();
    if (path[0] == '\0' || open_channel(ch, path) != 0) {
        Problem problem;
        clear_problem(&problem);
        set_problem(&problem, PROBLEM_CANNOT_OPEN, 0, "cannot open %s.", path);
        raise_problem(function, &problem);
    }
    if (collect_cards(ch, host_card_memory(), wanted, count, set) != 0)
        raise_problem(function, set->problem);
    close_channel(ch);
}
