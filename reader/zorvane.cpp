// zorvane(file, name, selector): one named matrix of an OUTPUT4 file as a
// sparse matrix, real or complex. The gateway checks, locates, sizes, decodes; it is the
// only place that raises host errors.
#include <cstdio>

#include "convert.h"
#include "host.h"
#include "host_output.h"
#include "reader.h"

namespace {

// Module storage that every call overwrites whole.
char file_name_field[FILE_NAME_LENGTH];
char wanted_name_field[NAME_LENGTH];


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
void check_header(int32_t row_count, int32_t column_count)
{
    char message[PROBLEM_LENGTH];
    if (header_is_invalid(row_count, column_count, message) || FIRSTRECORDCHECK(column_count, message) != 0)
        raise_closed(BAD_FILE, message);
}

} // namespace

HOST_EXPORT void MEXFUNCTION(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    begin_call_memory();
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
    char problem[PROBLEM_LENGTH];
    int end_record_read = 0;
    const char *identifier =
        decode_to_host(row_count, column_count, value_type, selector, &plhs[0], &end_record_read, problem);
    if (identifier != nullptr)
        raise_closed(identifier, problem);
    close_channel();
    end_call_memory();
}
