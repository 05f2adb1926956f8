// libFuzzer target: one zorvane call through the stand-in host on arbitrary
// file bytes. Byte 0 picks the selector (low 3 bits) and which of the
// host's reallocations fail (bits 3-5: from the n-th on; bit 6: the host
// ends the call rather than returning null); byte 1 the wanted name; the
// rest is the file. After every call the file channel must be closed,
// nothing may be left allocated, a returned matrix must be valid
// compressed sparse columns, and an error must be one of the documented
// ones. The reader's memory check gets a small budget, which every host
// allocation must fit in: the host's own out-of-memory error is a finding
// unless a failure was injected.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "adapter.h"
#include "standin.h"

// The three reading gateways, linked into one target under names of their own.
extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);
extern "C" void zorvane_dir_gateway(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);
extern "C" void zorvane_load_gateway(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

namespace {

const char *const NAMES[] = {"XXXXXXXX", "KAA", "M", "A"};
const double SELECTORS[] = {0, 1, 2, -1, NAN, 1e10, -0.5, 3.7};

const char *const DOCUMENTED_IDENTIFIERS[] = {"MATLAB:zorvane:BadFile", "MATLAB:zorvane:TooLarge",
                                              "MATLAB:zorvane:OutOfMemory", "MATLAB:zorvane_dir:NotMatrixFile",
                                              "MATLAB:zorvane_load:NotMatrixFile", "MATLAB:zorvane_load:NotFound"};
constexpr int64_t MEMORY_BUDGET = int64_t(1) << 26;
const char *const DOCUMENTED_MESSAGES[] = {"zorvane: Could not open file", "zorvane: Matrix could not be found."};

[[noreturn]] void finding(const char *what, const char *detail)
{
    fprintf(stderr, "finding: %s (%s)\n", what, detail);
    abort();
}

void check_error(const standin_error &error, int host_may_fail)
{
    if (host_may_fail && strcmp(error.identifier, "MATLAB:nomem") == 0)
        return;
    if (error.identifier[0] == '\0') {
        for (const char *message : DOCUMENTED_MESSAGES)
            if (strcmp(error.message, message) == 0)
                return;
        finding("undocumented error message", error.message);
    }
    for (const char *identifier : DOCUMENTED_IDENTIFIERS)
        if (strcmp(error.identifier, identifier) == 0) {
            const char *text = error.message;
            // zorvane_load puts the matrix's name in front.
            if (strncmp(text, "Damaged file: ", 14) != 0 && strstr(text, ": Damaged file: ") != nullptr)
                text = strstr(text, ": Damaged file: ") + 2;
            if (strcmp(identifier, "MATLAB:zorvane:BadFile") == 0 && strncmp(text, "Damaged file: ", 14) != 0)
                finding("BadFile without its prefix", error.message);
            return;
        }
    finding("undocumented error identifier", error.identifier);
}

void check_sparse(const mxArray *a)
{
    if (a == nullptr || !mxIsSparse(a) || !mxIsDouble(a) || (mxIsComplex(a) != (mxGetPi(a) != nullptr)))
        finding("result is not a sparse double matrix", "");
    size_t m = mxGetM(a), n = mxGetN(a);
    const mwIndex *jc = mxGetJc(a);
    const mwIndex *ir = mxGetIr(a);
    mwSize nzmax = mxGetNzmax(a);
    if (jc[0] != 0)
        finding("first column pointer is not 0", "");
    for (size_t c = 0; c < n; ++c) {
        if (jc[c + 1] < jc[c])
            finding("column pointers decrease", "");
        for (mwIndex e = jc[c]; e < jc[c + 1]; ++e) {
            if (ir[e] < 0 || static_cast<size_t>(ir[e]) >= m)
                finding("row index out of range", "");
            if (e > jc[c] && ir[e] <= ir[e - 1])
                finding("rows not strictly increasing", "");
        }
    }
    if (jc[n] > nzmax || nzmax != (jc[n] > 1 ? jc[n] : 1))
        finding("stored entries and room disagree", "");
}

// The scratch file's name; a plain array, so that it outlives the exit
// handler that removes the file.
const char *file_path()
{
    static char path[64];
    if (path[0] == '\0')
        snprintf(path, sizeof path, "/tmp/fuzz_reader_%d.op4", static_cast<int>(getpid()));
    return path;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    standin_set_allocation_limit(size_t(1) << 27);
    plugin_channel()->memory_budget = MEMORY_BUDGET;
    standin_set_print_sink([](const char *, void *) {}, nullptr);
    atexit([] { unlink(file_path()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const char *path = file_path();
    FILE *f = fopen(path, "wb");
    if (f == nullptr)
        return 0;
    fwrite(data + 2, 1, size - 2, f);
    fclose(f);

    long arrays = standin_live_arrays();
    const mxArray *inputs[3] = {standin_create_string(path),
                                standin_create_string(NAMES[data[1] % 4]),
                                standin_create_scalar(SELECTORS[data[0] % 8])};
    mxArray *output = nullptr;
    standin_error error;
    int failing_realloc = (data[0] >> 3) & 7;
    standin_fail_realloc_call(failing_realloc, (data[0] >> 6) & 1);
    int failed = standin_call(mexFunction, 1, &output, 3, inputs, &error);
    standin_fail_realloc_call(0, 0);
    if (channel_is_open(plugin_channel()))
        finding("file channel left open", "");
    if (standin_live_blocks() != 0)
        finding("call memory left allocated", "");
    if (failed)
        check_error(error, failing_realloc != 0);
    else
        check_sparse(output);
    standin_destroy(output);
    // The whole-file functions on the same file: closed afterwards, only
    // documented errors, and they agree on how many matrices it holds.
    mxArray *listed = nullptr, *loaded = nullptr;
    const mxArray *dir_input[1] = {inputs[0]};
    int dir_failed = standin_call(zorvane_dir_gateway, 1, &listed, 1, dir_input, &error);
    if (dir_failed)
        check_error(error, 0);
    const mxArray *load_inputs[3] = {inputs[0], standin_create_container(mxCELL_CLASS, 0, 0), inputs[2]};
    int load_failed = standin_call(zorvane_load_gateway, 1, &loaded, 3, load_inputs, &error);
    if (load_failed)
        check_error(error, 0);
    if (channel_is_open(plugin_channel()) || standin_live_blocks() != 0)
        finding("a whole-file function left the file open or memory allocated", "");
    if (!dir_failed && !load_failed && mxGetNumberOfElements(listed) != mxGetNumberOfElements(loaded))
        finding("zorvane_dir and zorvane_load disagree on the matrices", "");
    for (size_t k = 0; !load_failed && k < mxGetNumberOfElements(loaded); ++k)
        check_sparse(mxGetField(loaded, static_cast<mwIndex>(k), "matrix"));
    standin_destroy(listed);
    standin_destroy(loaded);
    standin_destroy(const_cast<mxArray *>(load_inputs[1]));
    for (const mxArray *input : inputs)
        standin_destroy(const_cast<mxArray *>(input));
    if (standin_live_arrays() != arrays)
        finding("arrays left allocated", "");
    return 0;
}
