// mexrun: calls a plug-in's gateway from the shell through the stand-in host.
//   mexrun [-n NARGOUT] [-q] [-t K]... PLUGIN.mex ARG...
// An argument that reads whole as a number becomes a 1-by-1 double, any
// other stays text; -t K keeps argument K (from 1) text whatever it reads
// as (a matrix named NAN or 1E5). Sparse results print in Matrix Market coordinate
// format, full ones in array format; an error prints "identifier: message"
// on stderr and exits with status 1. With -q only each result's size and
// number of stored entries are printed.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>

#include "standin.h"

namespace {

constexpr int MAX_ARGUMENTS = 64;

mxArray *argument(const char *text, int as_text)
{
    if (as_text)
        return standin_create_string(text);
    char *end = nullptr;
    double value = strtod(text, &end);
    if (*text != '\0' && end != nullptr && *end == '\0')
        return standin_create_scalar(value);
    return standin_create_string(text);
}

void print_sparse(const mxArray *a)
{
    size_t n = mxGetN(a);
    const mwIndex *jc = mxGetJc(a);
    const mwIndex *ir = mxGetIr(a);
    const double *pr = mxGetPr(a), *pi = mxGetPi(a);
    printf("%%%%MatrixMarket matrix coordinate %s general\n", pi != nullptr ? "complex" : "real");
    printf("%zu %zu %" PRId64 "\n", mxGetM(a), n, jc[n]);
    for (size_t c = 0; c < n; ++c)
        for (mwIndex e = jc[c]; e < jc[c + 1]; ++e) {
            printf("%" PRId64 " %zu %.17g", ir[e] + 1, c + 1, pr[e]);
            if (pi != nullptr)
                printf(" %.17g", pi[e]);
            printf("\n");
        }
}

void print_full(const mxArray *a)
{
    size_t count = mxGetM(a) * mxGetN(a);
    const double *pr = mxGetPr(a);
    printf("%%%%MatrixMarket matrix array real general\n");
    printf("%zu %zu\n", mxGetM(a), mxGetN(a));
    for (size_t i = 0; i < count; ++i)
        printf("%.17g\n", pr[i]);
}

int usage()
{
    fprintf(stderr, "usage: mexrun [-n NARGOUT] [-q] [-t K]... PLUGIN.mex ARG...\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    int first = 1;
    int nargout = 1;
    int quiet = 0;
    int as_text[MAX_ARGUMENTS + 1] = {};
    for (;;) {
        if (first + 1 < argc && strcmp(argv[first], "-n") == 0) {
            nargout = atoi(argv[first + 1]);
            first += 2;
        } else if (first + 1 < argc && strcmp(argv[first], "-t") == 0) {
            int k = atoi(argv[first + 1]);
            if (k < 1 || k > MAX_ARGUMENTS)
                return usage();
            as_text[k] = 1;
            first += 2;
        } else if (first < argc && strcmp(argv[first], "-q") == 0) {
            quiet = 1;
            first += 1;
        } else {
            break;
        }
    }
    if (first >= argc || nargout < 0 || nargout > MAX_ARGUMENTS || argc - first - 1 > MAX_ARGUMENTS)
        return usage();
    void *plugin = dlopen(argv[first], RTLD_NOW | RTLD_LOCAL);
    if (plugin == nullptr) {
        fprintf(stderr, "mexrun: %s\n", dlerror());
        return 2;
    }
    auto gateway = reinterpret_cast<standin_gateway>(dlsym(plugin, "mexFunction"));
    if (gateway == nullptr) {
        fprintf(stderr, "mexrun: %s exports no mexFunction\n", argv[first]);
        return 2;
    }
    const mxArray *inputs[MAX_ARGUMENTS];
    int nrhs = argc - first - 1;
    for (int i = 0; i < nrhs; ++i)
        inputs[i] = argument(argv[first + 1 + i], as_text[i + 1]);
    mxArray *outputs[MAX_ARGUMENTS];
    standin_error error;
    int failed = standin_call(gateway, nargout, outputs, nrhs, inputs, &error);
    for (int i = 0; i < nrhs; ++i)
        standin_destroy(const_cast<mxArray *>(inputs[i]));
    if (failed) {
        fflush(stdout);
        if (error.identifier[0] != '\0')
            fprintf(stderr, "%s: %s\n", error.identifier, error.message);
        else
            fprintf(stderr, "%s\n", error.message);
        return 1;
    }
    for (int i = 0; i < (nargout > 1 ? nargout : 1); ++i) {
        if (outputs[i] == nullptr)
            continue;
        if (quiet)
            printf("%zu x %zu, %" PRId64 " stored\n", mxGetM(outputs[i]), mxGetN(outputs[i]),
                   mxIsSparse(outputs[i]) ? mxGetJc(outputs[i])[mxGetN(outputs[i])]
                                          : static_cast<int64_t>(mxGetM(outputs[i]) * mxGetN(outputs[i])));
        else if (mxIsSparse(outputs[i]))
            print_sparse(outputs[i]);
        else
            print_full(outputs[i]);
        standin_destroy(outputs[i]);
    }
    dlclose(plugin);
    return 0;
}
