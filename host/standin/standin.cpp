// The stand-in host. Arrays live on the C heap; an error unwinds to
// standin_call with longjmp, which is safe because plug-in code holds no
// objects with destructors. Misuse that a real host would turn into
// garbage or a crash (mxGetPr on a non-double, mxGetIr on a full array)
// aborts here, so tests catch it.
#include "standin.h"

#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

struct standin_array {
    mxClassID cls;
    int sparse;
    int complex;
    size_t m;
    size_t n;
    void *real;
    void *imag;
    mwIndex *ir;
    mwIndex *jc;
    mwSize nzmax;
    standin_array **elements; // cells: m x n; structures: m x n x field_count
    char **field_names;
    int field_count;
    int contained;               // held by a cell or structure, which frees it
    standin_array *next_in_call; // arrays created during the current call
};

namespace {

jmp_buf error_return;
int in_call = 0;
standin_error *current_error = nullptr;
standin_array *created_in_call = nullptr;
standin_print_sink print_sink = nullptr;
void *print_context = nullptr;
int getstring_failure_countdown = 0;
size_t allocation_limit = size_t(1) << 34;
long live_arrays = 0;
int realloc_failure_countdown = 0;
int realloc_failure_mode = 0;

// The call's own memory, freed by the host when the call ends, as the
// hosts free what mxMalloc gave a MEX call.
constexpr int MAX_BLOCKS = 64;
void *call_blocks[MAX_BLOCKS];
int call_block_count = 0;

int block_index(void *p)
{
    for (int i = 0; i < call_block_count; ++i)
        if (call_blocks[i] == p)
            return i;
    return -1;
}

void free_call_blocks()
{
    for (int i = 0; i < call_block_count; ++i)
        free(call_blocks[i]);
    call_block_count = 0;
}

[[noreturn]] void misuse(const char *what)
{
    fprintf(stderr, "stand-in host: %s\n", what);
    abort();
}

[[noreturn]] void raise(const char *identifier, const char *message)
{
    if (!in_call)
        misuse("error raised outside a call");
    snprintf(current_error->identifier, sizeof current_error->identifier, "%s", identifier);
    snprintf(current_error->message, sizeof current_error->message, "%s", message);
    longjmp(error_return, 1);
}

size_t element_size(mxClassID cls)
{
    switch (cls) {
    case mxLOGICAL_CLASS:
    case mxCHAR_CLASS:
    case mxINT8_CLASS:
    case mxUINT8_CLASS:
        return 1;
    case mxINT16_CLASS:
    case mxUINT16_CLASS:
        return 2;
    case mxSINGLE_CLASS:
    case mxINT32_CLASS:
    case mxUINT32_CLASS:
        return 4;
    default:
        return 8;
    }
}

// Zeroed host memory of count elements; null for zero bytes. Requests the
// host cannot grant raise its out-of-memory error inside a call.
void *host_calloc(size_t count, size_t size)
{
    if (count == 0 || size == 0)
        return nullptr;
    if (count > allocation_limit / size) {
        if (in_call)
            raise("MATLAB:nomem", "Out of memory.");
        misuse("allocation above the limit outside a call");
    }
    void *p = calloc(count, size);
    if (p == nullptr)
        raise("MATLAB:nomem", "Out of memory.");
    return p;
}

standin_array *new_array(mxClassID cls, size_t m, size_t n)
{
    auto *a = static_cast<standin_array *>(calloc(1, sizeof(standin_array)));
    if (a == nullptr)
        misuse("out of memory for an array header");
    a->cls = cls;
    a->m = m;
    a->n = n;
    ++live_arrays;
    if (in_call) {
        a->next_in_call = created_in_call;
        created_in_call = a;
    }
    return a;
}

size_t checked_elements(size_t m, size_t n)
{
    if (n != 0 && m > allocation_limit / n)
        raise("MATLAB:nomem", "Out of memory.");
    return m * n;
}

} // namespace

extern "C" {

bool mxIsChar(const mxArray *a) { return a->cls == mxCHAR_CLASS; }
bool mxIsLogical(const mxArray *a) { return a->cls == mxLOGICAL_CLASS; }
bool mxIsDouble(const mxArray *a) { return a->cls == mxDOUBLE_CLASS; }
bool mxIsSparse(const mxArray *a) { return a->sparse != 0; }
bool mxIsCell(const mxArray *a) { return a->cls == mxCELL_CLASS; }
bool mxIsStruct(const mxArray *a) { return a->cls == mxSTRUCT_CLASS; }
size_t mxGetNumberOfElements(const mxArray *a) { return a->m * a->n; }

mxArray *mxGetCell(const mxArray *a, mwIndex k)
{
    if (a->cls != mxCELL_CLASS || k < 0 || static_cast<size_t>(k) >= a->m * a->n)
        misuse("mxGetCell outside a cell array");
    return a->elements != nullptr ? a->elements[k] : nullptr;
}

static int field_index(const mxArray *a, const char *field)
{
    for (int f = 0; f < a->field_count; ++f)
        if (strcmp(a->field_names[f], field) == 0)
            return f;
    return -1;
}

int mxGetFieldNumber(const mxArray *a, const char *field)
{
    return a->cls == mxSTRUCT_CLASS ? field_index(a, field) : -1;
}

mxArray *mxGetField(const mxArray *a, mwIndex k, const char *field)
{
    if (a->cls != mxSTRUCT_CLASS || k < 0 || static_cast<size_t>(k) >= a->m * a->n)
        misuse("mxGetField outside a structure array");
    int f = field_index(a, field);
    return f < 0 ? nullptr : a->elements[static_cast<size_t>(k) * static_cast<size_t>(a->field_count) + static_cast<size_t>(f)];
}

void mxSetField(mxArray *a, mwIndex k, const char *field, mxArray *value)
{
    int f = a->cls == mxSTRUCT_CLASS ? field_index(a, field) : -1;
    if (f < 0 || k < 0 || static_cast<size_t>(k) >= a->m * a->n)
        misuse("mxSetField of no such field");
    a->elements[static_cast<size_t>(k) * static_cast<size_t>(a->field_count) + static_cast<size_t>(f)] = value;
    if (value != nullptr)
        value->contained = 1;
}
bool mxIsComplex(const mxArray *a) { return a->complex != 0; }
mxClassID mxGetClassID(const mxArray *a) { return a->cls; }
size_t mxGetM(const mxArray *a) { return a->m; }
size_t mxGetN(const mxArray *a) { return a->n; }

bool mxIsNumeric(const mxArray *a)
{
    return a->cls == mxDOUBLE_CLASS || (a->cls >= mxSINGLE_CLASS && a->cls <= mxUINT64_CLASS);
}

int mxGetString(const mxArray *a, char *buffer, mwSize length)
{
    if (getstring_failure_countdown > 0 && --getstring_failure_countdown == 0)
        return 1;
    if (a->cls != mxCHAR_CLASS || length < 1)
        return 1;
    size_t count = a->m * a->n;
    size_t room = static_cast<size_t>(length) - 1;
    size_t copied = count < room ? count : room;
    if (copied > 0)
        memcpy(buffer, a->real, copied);
    buffer[copied] = '\0';
    return count > room ? 1 : 0;
}

double *mxGetPr(const mxArray *a)
{
    if (a->cls != mxDOUBLE_CLASS)
        misuse("mxGetPr on a non-double array");
    return static_cast<double *>(a->real);
}

double *mxGetPi(const mxArray *a)
{
    if (a->cls != mxDOUBLE_CLASS)
        misuse("mxGetPi on a non-double array");
    return static_cast<double *>(a->imag);
}

void *mxGetData(const mxArray *a)
{
    if (a->cls == mxCELL_CLASS || a->cls == mxSTRUCT_CLASS)
        misuse("mxGetData on a container");
    return a->real;
}

void *mxGetImagData(const mxArray *a) { return a->imag; }

mwSize mxGetNumberOfDimensions(const mxArray *) { return 2; }

mwIndex *mxGetIr(const mxArray *a)
{
    if (!a->sparse)
        misuse("mxGetIr on a full array");
    return a->ir;
}

mwIndex *mxGetJc(const mxArray *a)
{
    if (!a->sparse)
        misuse("mxGetJc on a full array");
    return a->jc;
}

mwSize mxGetNzmax(const mxArray *a) { return a->sparse ? a->nzmax : 0; }

// Like the hosts' own, the setters do not free what they replace.
void mxSetPr(mxArray *a, double *values) { a->real = values; }

void mxSetIr(mxArray *a, mwIndex *rows)
{
    if (!a->sparse)
        misuse("mxSetIr on a full array");
    a->ir = rows;
}

void mxSetNzmax(mxArray *a, mwSize nzmax)
{
    if (!a->sparse)
        misuse("mxSetNzmax on a full array");
    a->nzmax = nzmax < 1 ? 1 : nzmax;
}

void mxSetPi(mxArray *a, double *imag) { a->imag = imag; }

void mxSetJc(mxArray *a, mwIndex *pointers)
{
    if (!a->sparse)
        misuse("mxSetJc on a full array");
    a->jc = pointers;
}

void mxSetN(mxArray *a, mwSize n) { a->n = static_cast<size_t>(n); }

void *mxRealloc(void *p, size_t size)
{
    if (realloc_failure_countdown > 0 && --realloc_failure_countdown == 0) {
        realloc_failure_countdown = 1; // every later call fails too
        if (realloc_failure_mode == 1)
            raise("MATLAB:nomem", "Out of memory.");
        return nullptr;
    }
    if (size > allocation_limit)
        raise("MATLAB:nomem", "Out of memory.");
    int block = p == nullptr ? -2 : block_index(p);
    if (block == -2 && call_block_count == MAX_BLOCKS)
        misuse("too many blocks of call memory");
    void *q = realloc(p, size);
    if (q != nullptr && block == -2)
        call_blocks[call_block_count++] = q;
    else if (q != nullptr && block >= 0)
        call_blocks[block] = q;
    return q;
}

void mxFree(void *p)
{
    int block = block_index(p);
    if (p != nullptr && block < 0)
        misuse("mxFree of memory the host did not give");
    if (block >= 0)
        call_blocks[block] = call_blocks[--call_block_count];
    free(p);
}

mxArray *mxCreateSparse(mwSize m, mwSize n, mwSize nzmax, mxComplexity c)
{
    if (m < 0 || n < 0 || nzmax < 0)
        raise("MATLAB:negativeSize", "Sizes must be nonnegative.");
    if (nzmax < 1)
        nzmax = 1;
    mwIndex *jc = static_cast<mwIndex *>(host_calloc(static_cast<size_t>(n) + 1, sizeof(mwIndex)));
    double *pr = static_cast<double *>(host_calloc(static_cast<size_t>(nzmax), sizeof(double)));
    double *pi = c == mxCOMPLEX ? static_cast<double *>(host_calloc(static_cast<size_t>(nzmax), sizeof(double))) : nullptr;
    mwIndex *ir = static_cast<mwIndex *>(host_calloc(static_cast<size_t>(nzmax), sizeof(mwIndex)));
    standin_array *a = new_array(mxDOUBLE_CLASS, static_cast<size_t>(m), static_cast<size_t>(n));
    a->sparse = 1;
    a->complex = c == mxCOMPLEX;
    a->nzmax = nzmax;
    a->real = pr;
    a->imag = pi;
    a->ir = ir;
    a->jc = jc;
    return a;
}

mxArray *mxCreateStructMatrix(mwSize m, mwSize n, int field_count, const char **fields)
{
    standin_array *a = new_array(mxSTRUCT_CLASS, static_cast<size_t>(m), static_cast<size_t>(n));
    a->field_count = field_count;
    a->field_names = static_cast<char **>(host_calloc(static_cast<size_t>(field_count), sizeof(char *)));
    for (int f = 0; f < field_count; ++f)
        a->field_names[f] = strdup(fields[f]);
    a->elements = static_cast<standin_array **>(
        host_calloc(checked_elements(a->m * a->n, static_cast<size_t>(field_count)), sizeof(standin_array *)));
    return a;
}

mxArray *mxCreateString(const char *text) { return standin_create_string(text); }

mxArray *mxCreateDoubleScalar(double value) { return standin_create_scalar(value); }

mxArray *mxCreateLogicalScalar(bool value)
{
    mxArray *a = standin_create_numeric(mxLOGICAL_CLASS, 1, 1, 0);
    *static_cast<mxLogical *>(a->real) = value ? 1 : 0;
    return a;
}

mxArray *mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity c)
{
    if (m < 0 || n < 0)
        raise("MATLAB:negativeSize", "Sizes must be nonnegative.");
    size_t count = checked_elements(static_cast<size_t>(m), static_cast<size_t>(n));
    void *real = host_calloc(count, sizeof(double));
    void *imag = c == mxCOMPLEX ? host_calloc(count, sizeof(double)) : nullptr;
    standin_array *a = new_array(mxDOUBLE_CLASS, static_cast<size_t>(m), static_cast<size_t>(n));
    a->complex = c == mxCOMPLEX;
    a->real = real;
    a->imag = imag;
    return a;
}

void mexErrMsgIdAndTxt(const char *identifier, const char *format, ...)
{
    char message[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof message, format, args);
    va_end(args);
    raise(identifier, message);
}

void mexErrMsgTxt(const char *message) { raise("", message); }

int mexPrintf(const char *format, ...)
{
    char text[4096];
    va_list args;
    va_start(args, format);
    int length = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (print_sink != nullptr)
        print_sink(text, print_context);
    else
        fputs(text, stdout);
    return length;
}

mxArray *standin_create_char(size_t m, size_t n, const char *column_major)
{
    standin_array *a = new_array(mxCHAR_CLASS, m, n);
    a->real = host_calloc(checked_elements(m, n), 1);
    if (m * n > 0)
        memcpy(a->real, column_major, m * n);
    return a;
}

mxArray *standin_create_string(const char *text) { return standin_create_char(1, strlen(text), text); }

mxArray *standin_create_numeric(mxClassID cls, size_t m, size_t n, int complex)
{
    size_t count = checked_elements(m, n);
    standin_array *a = new_array(cls, m, n);
    a->complex = complex != 0;
    a->real = host_calloc(count, element_size(cls));
    a->imag = complex ? host_calloc(count, element_size(cls)) : nullptr;
    return a;
}

mxArray *standin_create_scalar(double value)
{
    mxArray *a = standin_create_numeric(mxDOUBLE_CLASS, 1, 1, 0);
    *static_cast<double *>(a->real) = value;
    return a;
}

mxArray *standin_create_container(mxClassID cls, size_t m, size_t n)
{
    if (cls != mxCELL_CLASS && cls != mxSTRUCT_CLASS)
        misuse("standin_create_container needs a cell or struct class");
    return new_array(cls, m, n);
}

mxArray *standin_create_cell(size_t count, mxArray **elements)
{
    standin_array *a = new_array(mxCELL_CLASS, 1, count);
    a->elements = static_cast<standin_array **>(host_calloc(count, sizeof(standin_array *)));
    for (size_t k = 0; k < count; ++k) {
        a->elements[k] = elements[k];
        if (elements[k] != nullptr)
            elements[k]->contained = 1;
    }
    return a;
}

void standin_destroy(mxArray *a)
{
    if (a == nullptr)
        return;
    size_t held = a->cls == mxSTRUCT_CLASS ? a->m * a->n * static_cast<size_t>(a->field_count)
                  : a->cls == mxCELL_CLASS && a->elements != nullptr ? a->m * a->n
                                                                      : 0;
    for (size_t k = 0; k < held; ++k)
        standin_destroy(a->elements[k]);
    for (int f = 0; f < a->field_count; ++f)
        free(a->field_names[f]);
    free(a->field_names);
    free(a->elements);
    free(a->real);
    free(a->imag);
    free(a->ir);
    free(a->jc);
    free(a);
    --live_arrays;
}

int standin_call(standin_gateway gateway, int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[],
                 standin_error *error)
{
    if (in_call)
        misuse("nested call");
    int slots = nlhs > 1 ? nlhs : 1;
    for (int i = 0; i < slots; ++i)
        plhs[i] = nullptr;
    error->identifier[0] = '\0';
    error->message[0] = '\0';
    current_error = error;
    created_in_call = nullptr;
    in_call = 1;
    if (setjmp(error_return) != 0) {
        in_call = 0;
        free_call_blocks();
        // The host frees what the failed call created (a container with
        // what it holds); its outputs are void.
        for (standin_array *a = created_in_call; a != nullptr;) {
            standin_array *next = a->next_in_call;
            if (!a->contained)
                standin_destroy(a);
            a = next;
        }
        for (int i = 0; i < slots; ++i)
            plhs[i] = nullptr;
        created_in_call = nullptr;
        return 1;
    }
    gateway(nlhs, plhs, nrhs, prhs);
    in_call = 0;
    free_call_blocks();
    // Arrays not handed over through an output slot are the host's to free.
    for (standin_array *a = created_in_call; a != nullptr;) {
        standin_array *next = a->next_in_call;
        a->next_in_call = nullptr;
        int returned = a->contained;
        for (int i = 0; i < slots; ++i)
            returned |= plhs[i] == a;
        if (!returned)
            standin_destroy(a);
        a = next;
    }
    created_in_call = nullptr;
    return 0;
}

void standin_set_print_sink(standin_print_sink sink, void *context)
{
    print_sink = sink;
    print_context = context;
}

void standin_fail_getstring_call(int n) { getstring_failure_countdown = n; }
void standin_set_allocation_limit(size_t bytes) { allocation_limit = bytes; }
long standin_live_arrays(void) { return live_arrays; }
long standin_live_blocks(void) { return call_block_count; }

void standin_fail_realloc_call(int n, int mode)
{
    realloc_failure_countdown = n;
    realloc_failure_mode = mode;
}

} // extern "C"
