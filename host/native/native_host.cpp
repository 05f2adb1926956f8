// The native host: the host operations over Octave's own types. A result
// lives in blocks from operator new, the allocation Octave's arrays take
// ownership of; handing it over wraps those blocks, it does not copy them.
// A complex result's values are written as real parts into a block with
// room for the complex values and interleaved there, in place, at the end.
// A matrix's entries are reserved for all the file can hold and handed
// over with the count written: the rest of the block was never touched,
// so it costs no memory, and it is freed with the block.

// Octave's headers first: they declare a class mxArray that native_host.h renames.
#include "native_call.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "native_host.h"

static_assert(sizeof(octave_idx_type) == sizeof(int64_t), "64-bit indexing required");
static_assert(sizeof(Complex) == 2 * sizeof(double), "complex values as two doubles");

enum NativeKind { NATIVE_VALUE, NATIVE_FULL, NATIVE_SPARSE, NATIVE_STRUCT };

struct NativeArray {
    NativeArray *next; // the call's arrays
    NativeKind kind;
    octave_value value;  // an input, a field or cell of one, or a finished value
    void *held;          // the input's data in the form read, kept for the call
    void (*release)(void *held);
    const void *data;    // the input's data, once asked for
    int64_t *row_index_in, *pointers_in; // a sparse input's indices
    void *imag_data;     // a complex input's imaginary parts, split into the call's memory
    int complex_values;  // built arrays
    int handed_over;     // its blocks are Octave's now
    int64_t m, n;
    double *real;        // full: m x n; sparse: room entries (complex: room complex values)
    double *imag;        // a complex array's imaginary parts, as many
    int64_t *row_index;
    int64_t *pointers;
    int64_t nzmax, room, pointer_room;
    int field_count;     // structures: the fields, and per element a value or null
    char **field_names;
    NativeArray **elements;
};

namespace {

// The call in progress. Plug-ins run one call at a time, and each holds its own.
struct NativeCall {
    const char *function;
    NativeArray *arrays;
    struct CallBlock *blocks;
};
NativeCall call;

// A block of the call's own memory, with the header that lists it.
struct alignas(16) CallBlock {
    CallBlock *previous, *next;
};

void *new_block(int64_t count, size_t size)
{
    if (count < 0 || static_cast<uint64_t>(count) > SIZE_MAX / 2 / size)
        return nullptr;
    return ::operator new(static_cast<size_t>(count) * size, std::nothrow);
}

// Octave's own words for an allocation it cannot make.
[[noreturn]] void no_memory()
{
    error_with_id("Octave:bad-alloc", "out of memory or dimension too large for Octave's index type");
}

NativeArray *new_array(NativeKind kind)
{
    NativeArray *a = new (std::nothrow) NativeArray();
    if (a == nullptr)
        no_memory();
    a->kind = kind;
    a->next = call.arrays;
    call.arrays = a;
    return a;
}

NativeArray *wrap(const octave_value &value)
{
    NativeArray *a = new_array(NATIVE_VALUE);
    a->value = value;
    return a;
}

void free_array(NativeArray *a)
{
    if (a->release != nullptr)
        a->release(a->held);
    if (!a->handed_over) {
        ::operator delete(a->real);
        ::operator delete(a->imag);
        ::operator delete(a->row_index);
        ::operator delete(a->pointers);
    }
    for (int f = 0; f < a->field_count; ++f)
        delete[] a->field_names[f];
    delete[] a->field_names;
    delete[] a->elements;
    delete a;
}

void end_call()
{
    while (call.arrays != nullptr) {
        NativeArray *next = call.arrays->next;
        free_array(call.arrays);
        call.arrays = next;
    }
    while (call.blocks != nullptr) {
        CallBlock *next = call.blocks->next;
        free(call.blocks);
        call.blocks = next;
    }
}

void link_block(CallBlock *b)
{
    b->previous = nullptr;
    b->next = call.blocks;
    if (call.blocks != nullptr)
        call.blocks->previous = b;
    call.blocks = b;
}

void unlink_block(CallBlock *b)
{
    if (b->previous != nullptr)
        b->previous->next = b->next;
    else
        call.blocks = b->next;
    if (b->next != nullptr)
        b->next->previous = b->previous;
}

int64_t columns_of(const dim_vector &dims)
{
    int64_t n = dims.ndims() > 1 ? dims(1) : 1;
    for (int k = 2; k < dims.ndims(); ++k)
        n *= dims(k);
    return n;
}

// The parts of a complex array, split into the call's memory.
template <typename T> void split_parts(NativeArray *a, const std::complex<T> *values, int64_t count)
{
    auto *real = static_cast<T *>(MXREALLOC(nullptr, static_cast<size_t>(count > 0 ? count : 1) * sizeof(T)));
    auto *imag = static_cast<T *>(MXREALLOC(nullptr, static_cast<size_t>(count > 0 ? count : 1) * sizeof(T)));
    if (real == nullptr || imag == nullptr)
        no_memory();
    for (int64_t k = 0; k < count; ++k) {
        real[k] = values[k].real();
        imag[k] = values[k].imag();
    }
    a->data = real;
    a->imag_data = imag;
}

template <typename A> void release_array(void *held) { delete static_cast<A *>(held); }

// Keeps the array of an input's data (a share of Octave's, or a
// conversion) for the call, and returns it.
template <typename A> const A *keep(NativeArray *a, const A &array)
{
    A *kept = new (std::nothrow) A(array);
    if (kept == nullptr)
        no_memory();
    a->held = kept;
    a->release = release_array<A>;
    return kept;
}

template <typename A> void keep_array(NativeArray *a, const A &array) { a->data = keep(a, array)->data(); }

template <typename S> const S *keep_sparse(NativeArray *a, const S &sparse)
{
    const S *kept = keep(a, sparse);
    a->row_index_in = reinterpret_cast<int64_t *>(kept->ridx());
    a->pointers_in = reinterpret_cast<int64_t *>(kept->cidx());
    return kept;
}

// An input's data in the form the gateways read: real parts (and split
// imaginary parts) of numeric arrays, values of sparse ones.
void read_input_data(NativeArray *a)
{
    const octave_value &v = a->value;
    if (v.issparse()) {
        if (v.iscomplex()) {
            const SparseComplexMatrix *s = keep_sparse(a, v.sparse_complex_matrix_value());
            split_parts(a, s->data(), s->nnz());
        } else if (v.islogical()) {
            a->data = keep_sparse(a, v.sparse_bool_matrix_value())->data();
        } else {
            a->data = keep_sparse(a, v.sparse_matrix_value())->data();
        }
        return;
    }
    if (v.iscomplex()) {
        if (v.is_single_type()) {
            const FloatComplexNDArray *c = keep(a, v.float_complex_array_value());
            split_parts(a, c->data(), c->numel());
        } else {
            const ComplexNDArray *c = keep(a, v.complex_array_value());
            split_parts(a, c->data(), c->numel());
        }
        return;
    }
    switch (MXGETCLASSID(a)) {
    case mxDOUBLE_CLASS: keep_array(a, v.array_value()); return;
    case mxSINGLE_CLASS: keep_array(a, v.float_array_value()); return;
    case mxLOGICAL_CLASS: keep_array(a, v.bool_array_value()); return;
    case mxINT8_CLASS: keep_array(a, v.int8_array_value()); return;
    case mxUINT8_CLASS: keep_array(a, v.uint8_array_value()); return;
    case mxINT16_CLASS: keep_array(a, v.int16_array_value()); return;
    case mxUINT16_CLASS: keep_array(a, v.uint16_array_value()); return;
    case mxINT32_CLASS: keep_array(a, v.int32_array_value()); return;
    case mxUINT32_CLASS: keep_array(a, v.uint32_array_value()); return;
    case mxINT64_CLASS: keep_array(a, v.int64_array_value()); return;
    case mxUINT64_CLASS: keep_array(a, v.uint64_array_value()); return;
    case mxCHAR_CLASS: keep_array(a, v.char_array_value()); return;
    default: return;
    }
}

const void *input_data(const mxArray *a)
{
    auto *input = const_cast<NativeArray *>(a);
    if (input->held == nullptr)
        read_input_data(input);
    return input->data;
}

// Writes the imaginary parts in after their real parts, from the end, so
// that no real part is overwritten before it moved; their block goes.
void interleave(NativeArray *a, int64_t count)
{
    double *values = a->real;
    for (int64_t k = count - 1; k >= 0; --k) {
        double real = values[k];
        values[2 * k + 1] = a->imag[k];
        values[2 * k] = real;
    }
    ::operator delete(a->imag);
    a->imag = nullptr;
}

octave_value handed_over(NativeArray *a);

octave_value struct_value(NativeArray *a)
{
    dim_vector dims(a->m, a->n);
    octave_map map(dims);
    for (int f = 0; f < a->field_count; ++f) {
        Cell cell(dims);
        for (int64_t k = 0; k < a->m * a->n; ++k) {
            NativeArray *element = a->elements[k * a->field_count + f];
            cell(k) = element != nullptr ? handed_over(element) : octave_value(Matrix());
        }
        map.setfield(a->field_names[f], cell);
    }
    return octave_value(map);
}

// The value of a built array, its blocks now Octave's.
octave_value handed_over(NativeArray *a)
{
    if (a->kind == NATIVE_VALUE)
        return a->value;
    if (a->kind == NATIVE_STRUCT)
        return struct_value(a);
    if (a->handed_over)
        return a->value; // handed over once already, as a field of two structures
    dim_vector dims(a->m, a->n);
    if (a->kind == NATIVE_FULL) {
        if (a->complex_values) {
            interleave(a, a->m * a->n);
            a->value = octave_value(ComplexNDArray(Array<Complex>(reinterpret_cast<Complex *>(a->real), dims)));
        } else {
            a->value = octave_value(NDArray(Array<double>(a->real, dims)));
        }
    } else if (a->complex_values) {
        interleave(a, a->nzmax);
        a->value = octave_value(SparseComplexMatrix(
            Sparse<Complex>(dims, a->nzmax, reinterpret_cast<Complex *>(a->real), a->row_index, a->pointers)));
    } else {
        a->value = octave_value(SparseMatrix(Sparse<double>(dims, a->nzmax, a->real, a->row_index, a->pointers)));
    }
    a->handed_over = 1;
    return a->value;
}

// Moves count entries of a built sparse matrix into blocks of room
// entries; 0 on success, 1 without memory (nothing changed).
int move_entries(NativeArray *a, int64_t room, int64_t count)
{
    int parts = a->complex_values ? 2 : 1;
    auto *real = static_cast<double *>(new_block(room, parts * sizeof(double)));
    auto *imag = a->complex_values ? static_cast<double *>(new_block(room, sizeof(double))) : nullptr;
    auto *rows = static_cast<int64_t *>(new_block(room, sizeof(int64_t)));
    if (real == nullptr || rows == nullptr || (a->complex_values && imag == nullptr)) {
        ::operator delete(real);
        ::operator delete(imag);
        ::operator delete(rows);
        return 1;
    }
    memcpy(real, a->real, static_cast<size_t>(count) * sizeof(double));
    if (imag != nullptr)
        memcpy(imag, a->imag, static_cast<size_t>(count) * sizeof(double));
    memcpy(rows, a->row_index, static_cast<size_t>(count) * sizeof(int64_t));
    ::operator delete(a->real);
    ::operator delete(a->imag);
    ::operator delete(a->row_index);
    a->real = real;
    a->imag = imag;
    a->row_index = rows;
    a->room = room;
    return 0;
}

} // namespace

// --- The call ---------------------------------------------------------------------

octave_value_list native_call(const char *function, const octave_value_list &args, int nargout)
{
    end_call(); // whatever an earlier call left, should its end have been skipped
    call.function = function;
    int nrhs = static_cast<int>(args.length()), slots = nargout > 1 ? nargout : 1;
    octave_value_list results;
    try {
        size_t inputs = sizeof(mxArray *) * static_cast<size_t>(nrhs + 1);
        auto **prhs = static_cast<const mxArray **>(MXREALLOC(nullptr, inputs));
        auto **plhs = static_cast<mxArray **>(MXREALLOC(nullptr, sizeof(mxArray *) * static_cast<size_t>(slots)));
        if (prhs == nullptr || plhs == nullptr)
            no_memory();
        for (int k = 0; k < nrhs; ++k)
            prhs[k] = wrap(args(k));
        for (int k = 0; k < slots; ++k)
            plhs[k] = nullptr;
        mexFunction(nargout, plhs, nrhs, prhs);
        for (int k = 0; k < slots && plhs[k] != nullptr; ++k)
            results(k) = handed_over(plhs[k]);
        if (results.length() < nargout)
            error("%s: some elements undefined in return list", function);
    } catch (...) {
        end_call();
        throw;
    }
    end_call();
    return results;
}

// --- Queries ------------------------------------------------------------------------

mxClassID MXGETCLASSID(const mxArray *a)
{
    if (a->kind == NATIVE_FULL || a->kind == NATIVE_SPARSE)
        return mxDOUBLE_CLASS;
    if (a->kind == NATIVE_STRUCT)
        return mxSTRUCT_CLASS;
    static const struct {
        const char *name;
        mxClassID id;
    } classes[] = {{"double", mxDOUBLE_CLASS}, {"single", mxSINGLE_CLASS}, {"char", mxCHAR_CLASS},
                   {"logical", mxLOGICAL_CLASS}, {"cell", mxCELL_CLASS}, {"struct", mxSTRUCT_CLASS},
                   {"function_handle", mxFUNCTION_CLASS}, {"int8", mxINT8_CLASS}, {"uint8", mxUINT8_CLASS},
                   {"int16", mxINT16_CLASS}, {"uint16", mxUINT16_CLASS}, {"int32", mxINT32_CLASS},
                   {"uint32", mxUINT32_CLASS}, {"int64", mxINT64_CLASS}, {"uint64", mxUINT64_CLASS}};
    std::string name = a->value.class_name();
    for (const auto &c : classes)
        if (name == c.name)
            return c.id;
    return mxUNKNOWN_CLASS;
}

int MXISCHAR(const mxArray *a) { return MXGETCLASSID(a) == mxCHAR_CLASS; }
int MXISLOGICAL(const mxArray *a) { return MXGETCLASSID(a) == mxLOGICAL_CLASS; }
int MXISDOUBLE(const mxArray *a) { return MXGETCLASSID(a) == mxDOUBLE_CLASS; }
int MXISCELL(const mxArray *a) { return MXGETCLASSID(a) == mxCELL_CLASS; }
int MXISSTRUCT(const mxArray *a) { return MXGETCLASSID(a) == mxSTRUCT_CLASS; }

int MXISNUMERIC(const mxArray *a)
{
    return a->kind == NATIVE_FULL || a->kind == NATIVE_SPARSE || (a->kind == NATIVE_VALUE && a->value.isnumeric());
}

int MXISSPARSE(const mxArray *a)
{
    return a->kind == NATIVE_SPARSE || (a->kind == NATIVE_VALUE && a->value.issparse());
}

int MXISCOMPLEX(const mxArray *a)
{
    return a->kind == NATIVE_VALUE ? a->value.iscomplex() : a->complex_values;
}

int64_t MXGETM730(const mxArray *a) { return a->kind == NATIVE_VALUE ? a->value.dims()(0) : a->m; }
int64_t MXGETN730(const mxArray *a) { return a->kind == NATIVE_VALUE ? columns_of(a->value.dims()) : a->n; }
int64_t MXGETNUMBEROFDIMENSIONS(const mxArray *a) { return a->kind == NATIVE_VALUE ? a->value.ndims() : 2; }
int64_t MXGETNUMBEROFELEMENTS(const mxArray *a) { return MXGETM730(a) * MXGETN730(a); }

int MXGETTEXT(const mxArray *a, char *buffer, int64_t size)
{
    int64_t count = MXGETNUMBEROFELEMENTS(a);
    if (!MXISCHAR(a) || count >= size)
        return 1;
    const char *text = static_cast<const char *>(input_data(a));
    memcpy(buffer, text, static_cast<size_t>(count));
    buffer[count] = '\0';
    return 0;
}

int MXGETSTRING730(const mxArray *a, char *field, int64_t field_length)
{
    int64_t count = MXGETNUMBEROFELEMENTS(a);
    if (field_length < 0 || field_length >= 256 || count > field_length || !MXISCHAR(a))
        return 1;
    memcpy(field, input_data(a), static_cast<size_t>(count));
    memset(field + count, ' ', static_cast<size_t>(field_length - count));
    return 0;
}

double *MXGETPR(const mxArray *a)
{
    return a->kind == NATIVE_VALUE ? static_cast<double *>(const_cast<void *>(input_data(a))) : a->real;
}

void *MXGETDATA(const mxArray *a) { return a->kind == NATIVE_VALUE ? const_cast<void *>(input_data(a)) : a->real; }

void *MXGETIMAGDATA(const mxArray *a)
{
    if (a->kind != NATIVE_VALUE)
        return a->imag;
    input_data(a);
    return a->imag_data;
}

double *MXGETPI(const mxArray *a) { return static_cast<double *>(MXGETIMAGDATA(a)); }

int64_t *MXGETIR730(const mxArray *a)
{
    if (a->kind != NATIVE_VALUE)
        return a->row_index;
    input_data(a);
    return a->row_index_in;
}

int64_t *MXGETJC730(const mxArray *a)
{
    if (a->kind != NATIVE_VALUE)
        return a->pointers;
    input_data(a);
    return a->pointers_in;
}

// --- Built arrays -------------------------------------------------------------------

mxArray *MXCREATESPARSERESERVED730(int64_t m, int64_t n, int64_t nzmax, int64_t reserve, int complexity)
{
    NativeArray *a = new_array(NATIVE_SPARSE);
    a->m = m;
    a->n = n;
    a->complex_values = complexity != 0;
    nzmax = nzmax > 0 ? nzmax : 1;
    a->pointers = static_cast<int64_t *>(new_block(n + 1, sizeof(int64_t)));
    if (a->pointers == nullptr ||
        ((reserve <= nzmax || move_entries(a, reserve, 0) != 0) && move_entries(a, nzmax, 0) != 0))
        no_memory();
    memset(a->pointers, 0, static_cast<size_t>(n + 1) * sizeof(int64_t));
    a->pointer_room = n + 1;
    a->nzmax = nzmax;
    // An empty matrix still has one slot; it is never read, but keep it defined.
    a->real[0] = 0.0;
    a->row_index[0] = 0;
    if (a->imag != nullptr)
        a->imag[0] = 0.0;
    return a;
}

mxArray *MXCREATEDOUBLEMATRIX730(int64_t m, int64_t n, int complexity)
{
    NativeArray *a = new_array(NATIVE_FULL);
    a->m = m;
    a->n = n;
    a->complex_values = complexity != 0;
    int64_t count = m * n;
    a->real = static_cast<double *>(new_block(count, complexity ? 2 * sizeof(double) : sizeof(double)));
    a->imag = complexity ? static_cast<double *>(new_block(count, sizeof(double))) : nullptr;
    if (a->real == nullptr || (complexity && a->imag == nullptr))
        no_memory();
    return a;
}

mxArray *MXCREATESPARSE730(int64_t m, int64_t n, int64_t nzmax, int complexity)
{
    return MXCREATESPARSERESERVED730(m, n, nzmax, 0, complexity);
}

int MXRESIZESPARSE730(mxArray *a, int64_t nzmax)
{
    if (nzmax < 1)
        nzmax = 1;
    if (nzmax > a->room && move_entries(a, nzmax, a->nzmax) != 0)
        return 1;
    a->nzmax = nzmax;
    return 0;
}

int MXRESIZEPOINTERS730(mxArray *a, int64_t count)
{
    if (count <= a->pointer_room)
        return 0;
    auto *pointers = static_cast<int64_t *>(new_block(count, sizeof(int64_t)));
    if (pointers == nullptr)
        return 1;
    memcpy(pointers, a->pointers, static_cast<size_t>(a->pointer_room) * sizeof(int64_t));
    ::operator delete(a->pointers);
    a->pointers = pointers;
    a->pointer_room = count;
    return 0;
}

void MXSETN730(mxArray *a, int64_t n) { a->n = n; }

// --- Structures, cells, scalars, text -----------------------------------------------

const mxArray *MXGETCELL(const mxArray *a, int64_t k) { return wrap(a->value.cell_value()(k)); }

int MXHASFIELD(const mxArray *a, const char *field)
{
    return a->kind == NATIVE_VALUE && a->value.isstruct() && a->value.map_value().isfield(field);
}

const mxArray *MXGETFIELD(const mxArray *a, int64_t k, const char *field)
{
    if (!MXHASFIELD(a, field))
        return nullptr;
    return wrap(a->value.map_value().contents(field)(k));
}

mxArray *MXCREATESTRUCTMATRIX(int64_t m, int64_t n, int count, const char **fields)
{
    NativeArray *a = new_array(NATIVE_STRUCT);
    a->m = m;
    a->n = n;
    a->field_names = new (std::nothrow) char *[static_cast<size_t>(count)]();
    a->elements = new (std::nothrow) NativeArray *[static_cast<size_t>(m * n * count)]();
    if (a->field_names == nullptr || a->elements == nullptr)
        no_memory();
    for (int f = 0; f < count; ++f) {
        a->field_names[f] = new (std::nothrow) char[strlen(fields[f]) + 1];
        if (a->field_names[f] == nullptr)
            no_memory();
        strcpy(a->field_names[f], fields[f]);
        a->field_count = f + 1;
    }
    return a;
}

void MXSETFIELD(mxArray *a, int64_t k, const char *field, mxArray *value)
{
    for (int f = 0; f < a->field_count; ++f)
        if (strcmp(a->field_names[f], field) == 0)
            a->elements[k * a->field_count + f] = value;
}

mxArray *MXCREATESTRING(const char *text) { return wrap(octave_value(text, '\'')); }
mxArray *MXCREATEDOUBLESCALAR(double value) { return wrap(octave_value(value)); }
mxArray *MXCREATELOGICALSCALAR(int value) { return wrap(octave_value(value != 0)); }

// --- Memory, errors, output ---------------------------------------------------------

void *MXREALLOC(void *p, size_t bytes)
{
    if (bytes > SIZE_MAX - sizeof(CallBlock))
        return nullptr;
    CallBlock *old = p != nullptr ? static_cast<CallBlock *>(p) - 1 : nullptr;
    if (old != nullptr)
        unlink_block(old);
    auto *b = static_cast<CallBlock *>(realloc(old, sizeof(CallBlock) + bytes));
    if (b == nullptr) {
        if (old != nullptr)
            link_block(old);
        return nullptr;
    }
    link_block(b);
    return b + 1;
}

void MXFREE(void *p)
{
    if (p == nullptr)
        return;
    CallBlock *b = static_cast<CallBlock *>(p) - 1;
    unlink_block(b);
    free(b);
}

void MEXERRMSGIDANDTXT(const char *identifier, const char *message)
{
    error_with_id(identifier, "%s: %s", call.function, message);
}

void MEXERRMSGTXT(const char *message) { error("%s", message); }

void MEXPRINTF(const char *text) { octave_stdout << text; }
