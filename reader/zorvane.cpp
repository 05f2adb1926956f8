// zorvane(file, name, selector): one named matrix of an OUTPUT4 file as a
// sparse matrix, real or complex. The gateway checks its arguments,
// locates the matrix and hands it to the host adapter to decode.
#include <cstdio>

#include "adapter.h"
#include "convert.h"
#include "locate.h"

namespace {

// Module storage that every call overwrites whole.
char file_name_field[FILE_NAME_LENGTH];
char wanted_name_field[NAME_LENGTH];
HeaderRecord header;

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
    check_selector_shape(prhs[2], "zorvane");
}

void copy_names(const mxArray *prhs[])
{
    if (MXGETSTRING730(prhs[0], file_name_field, FILE_NAME_LENGTH) != 0)
        MEXERRMSGIDANDTXT("MATLAB:zorvane:readError", "Error reading string.");
    if (MXGETSTRING730(prhs[1], wanted_name_field, NAME_LENGTH) != 0)
        MEXERRMSGIDANDTXT("MATLAB:zorvane:readError", "Error reading string.");
}

void print_name(const char name[NAME_LENGTH], void *)
{
    char line[NAME_LENGTH + 2];
    memcpy(line, name, NAME_LENGTH);
    line[NAME_LENGTH] = '\n';
    line[NAME_LENGTH + 1] = '\0';
    MEXPRINTF(line);
}

} // namespace

HOST_EXPORT void MEXFUNCTION(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    begin_call_memory();
    check_arguments(nlhs, nrhs, prhs);
    copy_names(prhs);
    double third_input = selector_value(prhs[2], "zorvane");
    char path[CHANNEL_PATH_LENGTH];
    path_from_field(file_name_field, path);
    int32_t selector = 0, locate_status = 0;
    LOCATEMATRIX(plugin_channel(), path, wanted_name_field, third_input, &selector, &header, print_name, nullptr,
                 &locate_status);
    if (locate_status == LOCATE_NOT_OPENED)
        raise_closed(nullptr, COULD_NOT_OPEN);
    if (locate_status != LOCATE_FOUND)
        raise_closed(nullptr, NOT_FOUND);
    char problem[PROBLEM_LENGTH];
    int end_record_read = 0;
    const char *identifier = decode_to_host(&header, selector, nullptr, &plhs[0], &end_record_read, problem);
    if (identifier != nullptr)
        raise_closed(identifier, problem);
    close_channel(plugin_channel());
    end_call_memory();
}
