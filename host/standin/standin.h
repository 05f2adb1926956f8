/* What the stand-in host offers beyond the plug-ins' API: building inputs,
 * calling a gateway the way a host does, reading outputs, and making one
 * host operation fail on purpose. Used by the runner, tests and fuzzers. */
#ifndef STANDIN_STANDIN_H
#define STANDIN_STANDIN_H

#include "mex.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*standin_gateway)(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

typedef struct {
    char identifier[256];
    char message[1024];
} standin_error;

/* Text as a 1-by-strlen(text) character array; rows-by-columns from
 * column-major bytes with standin_create_char. */
STANDIN_API mxArray *standin_create_string(const char *text);
STANDIN_API mxArray *standin_create_char(size_t m, size_t n, const char *column_major);
/* A numeric or logical array of the given class, zero-filled. */
STANDIN_API mxArray *standin_create_numeric(mxClassID cls, size_t m, size_t n, int complex);
STANDIN_API mxArray *standin_create_scalar(double value);
/* A cell or structure array without elements. */
STANDIN_API mxArray *standin_create_container(mxClassID cls, size_t m, size_t n);
/* A 1-by-count cell array holding the arrays (which it then frees). */
STANDIN_API mxArray *standin_create_cell(size_t count, mxArray **elements);
STANDIN_API void standin_destroy(mxArray *a);

/* Calls a gateway with nlhs requested outputs and max(nlhs, 1) slots in
 * plhs. Returns 0 when it returned, 1 when it raised an error (described
 * in *error; outputs created in the call are then freed). */
STANDIN_API int standin_call(standin_gateway gateway, int nlhs, mxArray *plhs[], int nrhs,
                             const mxArray *prhs[], standin_error *error);

/* Where mexPrintf's text goes: stdout unless a sink is set (NULL resets). */
typedef void (*standin_print_sink)(const char *text, void *context);
STANDIN_API void standin_set_print_sink(standin_print_sink sink, void *context);

/* The n-th mxGetString call from now fails (0: none fails). */
STANDIN_API void standin_fail_getstring_call(int n);
/* Largest single allocation the host grants; larger requests raise the
 * host's out-of-memory error, as a real host would. */
STANDIN_API void standin_set_allocation_limit(size_t bytes);
/* From the n-th mxRealloc call on (0: none), every call fails: with
 * mode 0 it returns NULL, with mode 1 the host ends the call with its
 * out-of-memory error (as MATLAB does). */
STANDIN_API void standin_fail_realloc_call(int n, int mode);
/* Blocks of the call's own memory (mxRealloc of NULL) not yet freed. */
STANDIN_API long standin_live_blocks(void);
/* Arrays created and not yet destroyed. */
STANDIN_API long standin_live_arrays(void);

#ifdef __cplusplus
}
#endif

#endif
