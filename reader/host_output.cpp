// The host side of decoding. Every host operation that may end the call
// runs with the file closed, so that no file stays open when it does.
#include "host_output.h"

#include <cstdio>

#include "memory.h"

const char BAD_FILE[] = "MATLAB:zorvane:BadFile";
const char OUT_OF_MEMORY[] = "MATLAB:zorvane:OutOfMemory";

namespace {

// The call's room for records longer than the word buffer: host memory,
// which the host frees itself when it ends the call.
WordStore long_records;

void reopen_after_host()
{
    if (resume_channel() != 0)
        raise_closed(BAD_FILE, "Damaged file: the file changed while it was read.");
}

// Gives the output room for slots entries when decoding needs more.
int grow_output(SparseOutput *output, int64_t slots, void *context)
{
    auto *matrix = static_cast<mxArray *>(context);
    suspend_channel();
    int failed = MXRESIZESPARSE730(matrix, slots);
    reopen_after_host();
    output->values = MXGETPR(matrix);
    output->imag = MXGETPI(matrix);
    output->rows = MXGETIR730(matrix);
    output->slots = failed ? output->slots : slots;
    return failed;
}

// Room for a record of count words, when the process can get it.
int enlarge_long_records(WordStore *store, int64_t count, void *)
{
    if (!memory_fits(4 * count, 4 * store->capacity, memory_available()))
        return 1;
    suspend_channel();
    void *words = MXREALLOC(store->words, static_cast<size_t>(count) * 4);
    reopen_after_host();
    if (words == nullptr)
        return 1;
    store->words = static_cast<uint32_t *>(words);
    store->capacity = count;
    return 0;
}

} // namespace

void suspend_for_host() { suspend_channel(); }
void resume_after_host() { reopen_after_host(); }

void file_path_argument(const mxArray *input, const char *function, char path[FILE_NAME_LENGTH + 1])
{
    char identifier[64], field[FILE_NAME_LENGTH];
    if (!MXISCHAR(input)) {
        snprintf(identifier, sizeof identifier, "MATLAB:%s:NonString", function);
        MEXERRMSGIDANDTXT(identifier, "First input must be string.");
    }
    if (MXGETM730(input) != 1) {
        snprintf(identifier, sizeof identifier, "MATLAB:%s:NonRowVector", function);
        MEXERRMSGIDANDTXT(identifier, "First input must be row vector.");
    }
    if (MXGETN730(input) > FILE_NAME_LENGTH) {
        snprintf(identifier, sizeof identifier, "MATLAB:%s:TooLong", function);
        MEXERRMSGIDANDTXT(identifier, "First input string is too long.");
    }
    if (MXGETSTRING730(input, field, FILE_NAME_LENGTH) != 0) {
        snprintf(identifier, sizeof identifier, "MATLAB:%s:readError", function);
        MEXERRMSGIDANDTXT(identifier, "Error reading string.");
    }
    int length = FILE_NAME_LENGTH;
    while (length > 0 && field[length - 1] == ' ')
        --length;
    // A NUL byte would name another file: such a name opens nothing.
    memcpy(path, field, static_cast<size_t>(length));
    path[length] = '\0';
    if (memchr(field, '\0', static_cast<size_t>(length)) != nullptr)
        path[0] = '\0';
}

void trimmed_name(const char name[NAME_LENGTH], char text[NAME_LENGTH + 1])
{
    int length = NAME_LENGTH;
    while (length > 0 && name[length - 1] == ' ')
        --length;
    memcpy(text, name, static_cast<size_t>(length));
    text[length] = '\0';
}

HOST_EXPORT void MEXFILEREQUIREDAPIVERSION(int *built_by_release, int *target_api_version)
{
    *built_by_release = 131435;
    *target_api_version = 120586240;
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
    close_channel();
    end_call_memory();
    if (identifier == nullptr)
        MEXERRMSGTXT(message);
    MEXERRMSGIDANDTXT(identifier, message);
}

int header_is_invalid(int32_t row_count, int32_t column_count, char message[PROBLEM_LENGTH])
{
    if (row_count != INT32_MIN && column_count >= 0)
        return 0;
    snprintf(message, PROBLEM_LENGTH, "Damaged file: the matrix header gives %d rows and %d columns.", row_count,
             column_count);
    return 1;
}

const char *decode_to_host(int32_t row_count, int32_t column_count, int32_t value_type, int32_t selector,
                           mxArray **matrix, int *end_record_read, char problem[PROBLEM_LENGTH],
                           int (*matrix_ends_here)())
{
    int32_t large_flag = 0, rows = 0;
    int64_t capacity = 0;
    SIZESFROMHEADER(row_count, column_count, &large_flag, &rows, &capacity);
    int64_t slots = INITIALSLOTS(capacity, value_type);
    int complex_values = value_type_is_complex(value_type);
    int64_t needed = output_bytes(column_count, slots, complex_values);
    int64_t available = memory_available();
    if (!memory_fits(needed, 0, available)) {
        snprintf(problem, PROBLEM_LENGTH, "Out of memory: the matrix needs %lld MB, the process can get %lld MB.",
                 static_cast<long long>(needed >> 20), static_cast<long long>(available >> 20));
        return OUT_OF_MEMORY;
    }
    suspend_channel();
    *matrix = MXCREATESPARSE730(rows, column_count, slots, complex_values);
    reopen_after_host();
    SparseOutput output = {MXGETPR(*matrix), MXGETIR730(*matrix), MXGETJC730(*matrix), slots, grow_output,
                           *matrix,          MXGETPI(*matrix),   &long_records,         matrix_ends_here};
    int32_t decode_status = DECODE_DONE;
    DECODECOLUMNS(&output, column_count, capacity, rows, value_type, selector, large_flag, &decode_status, problem,
                  end_record_read);
    if (decode_status == DECODE_CAPACITY) {
        snprintf(problem, PROBLEM_LENGTH, "Too many non-zeros in matrix.");
        return "MATLAB:zorvane:TooLarge";
    }
    if (decode_status == DECODE_NO_MEMORY)
        return OUT_OF_MEMORY;
    if (decode_status != DECODE_DONE)
        return BAD_FILE;
    // Fails only without memory, and then the output keeps its larger room.
    suspend_channel();
    (void)MXRESIZESPARSE730(*matrix, output.column_pointers[column_count]);
    reopen_after_host();
    return nullptr;
}
