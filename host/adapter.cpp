// Every host operation that may end the call runs with the file closed,
// so that no file stays open when it does.
#include "adapter.h"

#include <cstdio>
#include <cstdlib>

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

void begin_call_memory() { long_records = WordStore{nullptr, 0, enlarge_long_records, nullptr}; }

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

void field_path_argument(const mxArray *input, const char *function, char field[FILE_NAME_LENGTH])
{
    check_file_name_input(input, function, FILE_NAME_LENGTH);
    if (MXGETSTRING730(input, field, FILE_NAME_LENGTH) != 0)
        argument_error(function, "readError", "Error reading string.");
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

int text_argument(const mxArray *a, char *buffer, int64_t size)
{
    return !MXISCHAR(a) || (MXGETM730(a) != 1 && MXGETNUMBEROFELEMENTS(a) != 0) || MXGETTEXT(a, buffer, size) != 0 ||
           static_cast<int64_t>(strlen(buffer)) != MXGETNUMBEROFELEMENTS(a);
}

#ifndef ZORVANE_HOST_GIVES_API_VERSION
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
    *matrix = MXCREATESPARSE730(plan.rows, plan.pointer_slots - 1, plan.initial_slots, plan.complex_values);
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
