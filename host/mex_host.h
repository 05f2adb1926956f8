// The host operations as thin inline wrappers over the MEX C API. Which
// MEX host is built against is decided only by the include path that
// supplies "mex.h" (Octave's, MATLAB's, or the stand-in's own).
#ifndef HOST_MEX_HOST_H
#define HOST_MEX_HOST_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "mex.h"

static_assert(sizeof(mwIndex) == sizeof(int64_t), "64-bit mwIndex required");
static_assert(sizeof(mwSize) == sizeof(int64_t), "64-bit mwSize required");

// The gateway and the API-version entry, exported under the C names that
// MATLAB and Octave look up; everything else stays hidden.
#define HOST_EXPORT extern "C" __attribute__((visibility("default")))
#ifndef MEXFUNCTION // a fuzzer links several gateways under names of their own
#define MEXFUNCTION mexFunction
#endif
#define MEXFILEREQUIREDAPIVERSION mexfilerequiredapiversion

// A MEX host copies a result when the call returns: it holds it twice.
constexpr int HOST_RESULT_COPIES = 2;

inline int MXISCHAR(const mxArray *a) { return mxIsChar(a) ? 1 : 0; }
inline int MXISNUMERIC(const mxArray *a) { return mxIsNumeric(a) ? 1 : 0; }
inline int MXISLOGICAL(const mxArray *a) { return mxIsLogical(a) ? 1 : 0; }
inline int MXISDOUBLE(const mxArray *a) { return mxIsDouble(a) ? 1 : 0; }
inline int MXISSPARSE(const mxArray *a) { return mxIsSparse(a) ? 1 : 0; }
inline mxClassID MXGETCLASSID(const mxArray *a) { return mxGetClassID(a); }

inline int64_t MXGETM730(const mxArray *a) { return static_cast<int64_t>(mxGetM(a)); }
inline int64_t MXGETN730(const mxArray *a) { return static_cast<int64_t>(mxGetN(a)); }
// The 32-bit size calls; callers rule out counts above INT32_MAX first.
inline int32_t MXGETM700(const mxArray *a) { return static_cast<int32_t>(mxGetM(a)); }
inline int32_t MXGETN700(const mxArray *a) { return static_cast<int32_t>(mxGetN(a)); }

// Copies the text into a blank-filled field of exactly field_length bytes
// (no terminator), all of it: a NUL byte is copied like any other, so it
// can never cut a name short. The host's own call writes a terminated
// string, so it goes through a local buffer. Returns 0 on success, nonzero
// on failure.
inline int MXGETSTRING730(const mxArray *a, char *field, int64_t field_length)
{
    char text[256];
    if (field_length < 0 || field_length >= static_cast<int64_t>(sizeof text))
        return 1;
    size_t count = mxGetM(a) * mxGetN(a);
    if (count > static_cast<size_t>(field_length) || mxGetString(a, text, static_cast<mwSize>(field_length + 1)) != 0)
        return 1;
    memcpy(field, text, count);
    memset(field + count, ' ', static_cast<size_t>(field_length) - count);
    return 0;
}

inline int64_t MXGETNUMBEROFDIMENSIONS(const mxArray *a) { return static_cast<int64_t>(mxGetNumberOfDimensions(a)); }
inline int MXISCOMPLEX(const mxArray *a) { return mxIsComplex(a) ? 1 : 0; }
// The whole text of a character array as a C string in buffer (size
// bytes); 0 on success, 1 when it does not fit or cannot be copied.
inline int MXGETTEXT(const mxArray *a, char *buffer, int64_t size)
{
    if (static_cast<int64_t>(mxGetM(a) * mxGetN(a)) >= size)
        return 1;
    return mxGetString(a, buffer, static_cast<mwSize>(size)) != 0;
}

inline double *MXGETPR(const mxArray *a) { return mxGetPr(a); }
inline void *MXGETIMAGDATA(const mxArray *a) { return mxGetImagData(a); }
inline double *MXGETPI(const mxArray *a) { return mxGetPi(a); }
inline void *MXGETDATA(const mxArray *a) { return mxGetData(a); }
inline int64_t *MXGETIR730(const mxArray *a) { return reinterpret_cast<int64_t *>(mxGetIr(a)); }
inline int64_t *MXGETJC730(const mxArray *a) { return reinterpret_cast<int64_t *>(mxGetJc(a)); }

inline mxArray *MXCREATESPARSE730(int64_t m, int64_t n, int64_t nzmax, int complexity)
{
    return mxCreateSparse(static_cast<mwSize>(m), static_cast<mwSize>(n),
                          static_cast<mwSize>(nzmax), complexity ? mxCOMPLEX : mxREAL);
}

inline mxArray *MXCREATEDOUBLEMATRIX730(int64_t m, int64_t n, int complexity)
{
    return mxCreateDoubleMatrix(static_cast<mwSize>(m), static_cast<mwSize>(n), complexity ? mxCOMPLEX : mxREAL);
}

inline mxArray *MXCREATEDOUBLEMATRIX700(int32_t m, int32_t n, int complexity)
{
    return mxCreateDoubleMatrix(static_cast<mwSize>(m), static_cast<mwSize>(n),
                                complexity ? mxCOMPLEX : mxREAL);
}

// Gives a sparse matrix's value, imaginary and row-index arrays room for
// exactly nzmax entries (at least 1), keeping the entries they hold; the
// host moves rather than copies where it can. Returns 0 on success, 1 when
// the host has no memory for it. The matrix stays valid whatever fails:
// nzmax is lowered before any array shrinks and raised only after all grew.
inline int MXRESIZESPARSE730(mxArray *a, int64_t nzmax)
{
    if (nzmax < 1)
        nzmax = 1;
    size_t count = static_cast<size_t>(nzmax);
    int shrinking = nzmax < static_cast<int64_t>(mxGetNzmax(a));
    if (shrinking)
        mxSetNzmax(a, static_cast<mwSize>(nzmax));
    void *values = mxRealloc(mxGetPr(a), count * sizeof(double));
    if (values == nullptr)
        return 1;
    mxSetPr(a, static_cast<double *>(values));
    if (mxGetPi(a) != nullptr) {
        void *imag = mxRealloc(mxGetPi(a), count * sizeof(double));
        if (imag == nullptr)
            return 1;
        mxSetPi(a, static_cast<double *>(imag));
    }
    void *rows = mxRealloc(mxGetIr(a), count * sizeof(mwIndex));
    if (rows == nullptr)
        return 1;
    mxSetIr(a, static_cast<mwIndex *>(rows));
    if (!shrinking)
        mxSetNzmax(a, static_cast<mwSize>(nzmax));
    return 0;
}

// As MXCREATESPARSE730, with room reserved for up to reserve entries where
// the host can reserve it unwritten: a MEX host cannot, so it takes none.
inline mxArray *MXCREATESPARSERESERVED730(int64_t m, int64_t n, int64_t nzmax, int64_t, int complexity)
{
    return MXCREATESPARSE730(m, n, nzmax, complexity);
}

// Gives a sparse matrix room for count column pointers, keeping those it
// holds (the new ones are not set); 0 on success, 1 without memory.
inline int MXRESIZEPOINTERS730(mxArray *a, int64_t count)
{
    void *pointers = mxRealloc(mxGetJc(a), static_cast<size_t>(count) * sizeof(mwIndex));
    if (pointers == nullptr)
        return 1;
    mxSetJc(a, static_cast<mwIndex *>(pointers));
    return 0;
}

// The column count of a sparse matrix whose column pointers were resized to match.
inline void MXSETN730(mxArray *a, int64_t n) { mxSetN(a, static_cast<mwSize>(n)); }

// Memory of the call's own, which the host frees when the call ends.
inline void *MXREALLOC(void *p, size_t bytes) { return mxRealloc(p, bytes); }
inline void MXFREE(void *p) { mxFree(p); }

[[noreturn]] inline void MEXERRMSGIDANDTXT(const char *identifier, const char *message)
{
    mexErrMsgIdAndTxt(identifier, "%s", message);
    __builtin_unreachable();
}

[[noreturn]] inline void MEXERRMSGTXT(const char *message)
{
    mexErrMsgTxt(message);
    __builtin_unreachable();
}

inline void MEXPRINTF(const char *text) { mexPrintf("%s", text); }

#endif
