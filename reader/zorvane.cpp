// zorvane(file, name, selector): one named matrix of an OUTPUT4 file as a
// real sparse matrix. The gateway checks, locates, sizes, decodes; it is the
// only place that raises host errors.
#include <cstdio>

#include "convert.h"
#include "host.h"
#include "reader.h"

namespace {

// Module storage that every call overwrites whole.
char file_name_field[FILE_NAME_LENGTH];
char wanted_name_field[NAME_LENGTH];

const char BAD_FILE[] = "MATLAB:zorvane:BadFile";

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

// Header values that no output can be created from; checked before any
// host array exists.
void check_header(int32_t row_count, int32_t column_count, int32_t value_type)
{
    char message[PROBLEM_LENGTH];
    if (row_count == INT32_MIN || column_count < 0) {
        close_channel();
        snprintf(message, sizeof message, "Damaged file: the matrix header gives %d rows and %d columns.", row_count,
                 column_count);
        MEXERRMSGIDANDTXT(BAD_FILE, message);
    }
    if (value_type == 3 || value_type == 4) {
        close_channel();
        MEXERRMSGIDANDTXT("MATLAB:zorvane:Complex", "Complex matrices are not supported.");
    }
}

// Gives the output room for slots entries when decoding needs more.
int grow_output(SparseOutput *output, int64_t slots, void *context)
{
    auto *matrix = static_cast<mxArray *>(context);
    int failed = MXRESIZESPARSE730(matrix, slots);
    output->values = MXGETPR(matrix);
    output->rows = MXGETIR730(matrix);
    output->slots = failed ? output->slots : slots;
    return failed;
}

// Creates the output with a first allotment of room, decodes into it
// (growing it as needed, never past the capacity) and trims it to its
// entries.
void decode_matrix(int32_t row_count, int32_t column_count, int32_t value_type, int32_t selector, mxArray *plhs[])
{
    int32_t large_flag = 0, rows = 0;
    int64_t capacity = 0;
    SIZESFROMHEADER(row_count, column_count, &large_flag, &rows, &capacity);
    int64_t slots = INITIALSLOTS(capacity, value_type);
    suspend_channel();
    plhs[0] = MXCREATESPARSE730(rows, column_count, slots, 0);
    if (resume_channel() != 0)
        MEXERRMSGIDANDTXT(BAD_FILE, "Damaged file: the file changed while it was read.");
    SparseOutput output = {MXGETPR(plhs[0]), MXGETIR730(plhs[0]), MXGETJC730(plhs[0]), slots, grow_output, plhs[0]};
    int32_t decode_status = DECODE_DONE;
    char problem[PROBLEM_LENGTH];
    READCOLUMNS(&output, column_count, capacity, rows, value_type, selector, large_flag, &decode_status, problem);
    if (decode_status == DECODE_CAPACITY)
        MEXERRMSGIDANDTXT("MATLAB:zorvane:TooLarge", "Too many non-zeros in matrix.");
    if (decode_status == DECODE_NO_MEMORY)
        MEXERRMSGIDANDTXT("MATLAB:zorvane:OutOfMemory", "Out of memory for the matrix's entries.");
    if (decode_status != DECODE_DONE)
        MEXERRMSGIDANDTXT(BAD_FILE, problem);
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
    check_arguments(nlhs, nrhs, prhs);
    copy_names(prhs);
    double third_input = 0.0;
    if (first_numeric_value(prhs[2], &third_input) != 0)
        MEXERRMSGIDANDTXT("MATLAB:zorvane:NonNumeric", "Third input must be numeric.");
    int32_t selector = 0, row_count = 0, column_count = 0, value_type = 0, locate_status = 0;
    LOCATEMATRIX(file_name_field, wanted_name_field, third_input, &selector, &row_count, &column_count, &value_type,
                 &locate_status);
    if (locate_status == LOCATE_NOT_OPENED) {
        close_channel();
        MEXERRMSGTXT("zorvane: Could not open file");
    }
    if (locate_status != LOCATE_FOUND) {
        close_channel();
        MEXERRMSGTXT("zorvane: Matrix could not be found.");
    }
    check_header(row_count, column_count, value_type);
    decode_matrix(row_count, column_count, value_type, selector, plhs);
}
