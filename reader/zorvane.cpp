// zorvane(file, name, selector): one named matrix of an OUTPUT4 file as a
// sparse matrix, real or complex. The gateway checks, locates, sizes, decodes; it is the
// only place that raises host errors.
#include <cstdio>

#include "convert.h"
#include "host.h"
#include "memory.h"
#include "reader.h"

namespace {

// Module storage that every call overwrites whole.
char file_name_field[FILE_NAME_LENGTH];
char wanted_name_field[NAME_LENGTH];

const char BAD_FILE[] = "MATLAB:zorvane:BadFile";
const char OUT_OF_MEMORY[] = "MATLAB:zorvane:OutOfMemory";

void check_arguments(int nlhs, int nrhs, const mxArray *prhs[])
{
    if (nrhs != 3)
        MEXERRMSGIDANDTXT("MATLAB:zorvane:nInput", "Three inputs required.");
    if (nlhs != 1)
        MEXERRMSGIDANDTXT("MATLAB:zorvane:nOutput", "One output required.");
    if (!MXISCHAR(prhs[0]))
        MEXERRMSGIDANDTXT("MATLAB:zorvane:NonString", "First input must be string.");
    if (!MXISCHAR(prhs[1]))
        MEXERRMSGIDANDTXT("MATLAB:zorvane:NonString", "Second input must be string.");
    if (MXGETM730(prhs[0]) != 1)
        MEXERRMSGIDANDTXT("MATLAB:zorvane:NonRowVector", "First input must be row vector.");
    if (MXGETM730(prhs[1]) != 1)
        MEXERRMSGIDANDTXT("MATLAB:zorvane:NonRowVector", "Second input must be row vector.");
    if (MXGETN730(prhs[0]) > FILE_NAME_LENGTH)
        MEXERRMSGIDANDTXT("MATLAB:zorvane:TooLong", "First input string is too long.");
    if (MXGETN730(prhs[1]) > NAME_LENGTH)
        MEXERRMSGIDANDTXT("MATLAB:zorvane:TooLong", "Second input string is too long.");
    if (MXISCHAR(prhs[2]))
        MEXERRMSGIDANDTXT("MATLAB:zorvane:NonNumeric", "Third input must be numeric.");
    if (MXGETM730(prhs[2]) != 1 || MXGETN730(prhs[2]) != 1)
        MEXERRMSGIDANDTXT("MATLAB:zorvane:NotScalar", "Third input must be scalar.");
}

void copy_names(const mxArray *prhs[])
{
    if (MXGETSTRING730(prhs[0], file_name_field, FILE_NAME_LENGTH) != 0)
        MEXERRMSGIDANDTXT("MATLAB:zorvane:readError", "Error reading string.");
    if (MXGETSTRING730(prhs[1], wanted_name_field, NAME_LENGTH) != 0)
        MEXERRMSGIDANDTXT("MATLAB:zorvane:readError", "Error reading string.");
}

// The call's room for records longer than the word buffer: host memory,
// which the host frees itself when it ends the call.
WordStore long_records;

// The one place where a call that has opened the file ends in an error:
// the file is closed and the call's own memory freed first.
[[noreturn]] void raise_closed(const char *identifier, const char *message)
{
    close_channel();
    MXFREE(long_records.words);
    long_records = WordStore{};
    if (identifier == nullptr)
        MEXERRMSGTXT(message);
    MEXERRMSGIDANDTXT(identifier, message);
}

// Header values that no output can be created from; checked before any
// host array exists.
void check_header(int32_t row_count, int32_t column_count)
{
    char message[PROBLEM_LENGTH];
    if (row_count == INT32_MIN || column_count < 0) {
        snprintf(message, sizeof message, "Damaged file: the matrix header gives %d rows and %d columns.", row_count,
                 column_count);
        raise_closed(BAD_FILE, message);
    }
    if (FIRSTRECORDCHECK(column_count, message) != 0)
        raise_closed(BAD_FILE, message);
}

// A host operation that may end the call runs with the file closed, so
// that no file stays open when it does.
void reopen_after_host(void)
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

// Creates the output with a first allotment of room, once the process is
// known to have memory for it; decodes into it (growing it as needed,
// never past the capacity) and trims it to its entries.
void decode_matrix(int32_t row_count, int32_t column_count, int32_t value_type, int32_t selector, mxArray *plhs[])
{
    int32_t large_flag = 0, rows = 0;
    int64_t capacity = 0;
    SIZESFROMHEADER(row_count, column_count, &large_flag, &rows, &capacity);
    int64_t slots = INITIALSLOTS(capacity, value_type);
    int complex_values = value_type == VALUE_TYPE_COMPLEX_SINGLE || value_type == VALUE_TYPE_COMPLEX_DOUBLE;
    int64_t needed = output_bytes(column_count, slots, complex_values);
    int64_t available = memory_available();
    char problem[PROBLEM_LENGTH];
    if (!memory_fits(needed, 0, available)) {
        snprintf(problem, sizeof problem, "Out of memory: the matrix needs %lld MB, the process can get %lld MB.",
                 static_cast<long long>(needed >> 20), static_cast<long long>(available >> 20));
        raise_closed(OUT_OF_MEMORY, problem);
    }
    suspend_channel();
    plhs[0] = MXCREATESPARSE730(rows, column_count, slots, complex_values);
    reopen_after_host();
    long_records.enlarge = enlarge_long_records;
    SparseOutput output = {MXGETPR(plhs[0]), MXGETIR730(plhs[0]), MXGETJC730(plhs[0]), slots, grow_output,
                           plhs[0],          MXGETPI(plhs[0]),   &long_records};
    int32_t decode_status = DECODE_DONE;
    READCOLUMNS(&output, column_count, capacity, rows, value_type, selector, large_flag, &decode_status, problem);
    if (decode_status == DECODE_CAPACITY)
        raise_closed("MATLAB:zorvane:TooLarge", "Too many non-zeros in matrix.");
    if (decode_status == DECODE_NO_MEMORY)
        raise_closed(OUT_OF_MEMORY, problem);
    if (decode_status != DECODE_DONE)
        raise_closed(BAD_FILE, problem);
    MXFREE(long_records.words);
    long_records = WordStore{};
    // Fails only without memory, and then the output keeps its larger room.
    (void)MXRESIZESPARSE730(plhs[0], output.column_pointers[column_count]);
}

} // namespace

HOST_EXPORT void MEXFILEREQUIREDAPIVERSION(int *built_by_release, int *target_api_version)
{
    *built_by_release = 131435;
    *target_api_version = 120586240;
}

HOST_EXPORT void MEXFUNCTION(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    long_records = WordStore{}; // whatever an ended call held, its host has freed
    check_arguments(nlhs, nrhs, prhs);
    copy_names(prhs);
    double third_input = 0.0;
    if (first_numeric_value(prhs[2], &third_input) != 0)
        MEXERRMSGIDANDTXT("MATLAB:zorvane:NonNumeric", "Third input must be numeric.");
    int32_t selector = 0, row_count = 0, column_count = 0, value_type = 0, locate_status = 0;
    LOCATEMATRIX(file_name_field, wanted_name_field, third_input, &selector, &row_count, &column_count, &value_type,
                 &locate_status);
    if (locate_status == LOCATE_NOT_OPENED)
        raise_closed(nullptr, "zorvane: Could not open file");
    if (locate_status != LOCATE_FOUND)
        raise_closed(nullptr, "zorvane: Matrix could not be found.");
    check_header(row_count, column_count);
    decode_matrix(row_count, column_count, value_type, selector, plhs);
}
