/* The stand-in host: the subset of the standard MEX C API that the plug-ins
 * use, implemented by a small library of our own so that the plug-ins and
 * their tests run without MATLAB or Octave (sanitizers, valgrind, fuzzing,
 * the shell runner). Same names and types as the hosts' own mex.h. */
#ifndef STANDIN_MEX_H
#define STANDIN_MEX_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define STANDIN_API __attribute__((visibility("default")))

typedef struct standin_array mxArray;
typedef int64_t mwSize;
typedef int64_t mwIndex;
typedef char mxChar;
typedef unsigned char mxLogical;

typedef enum {
    mxUNKNOWN_CLASS = 0,
    mxCELL_CLASS,
    mxSTRUCT_CLASS,
    mxLOGICAL_CLASS,
    mxCHAR_CLASS,
    mxVOID_CLASS,
    mxDOUBLE_CLASS,
    mxSINGLE_CLASS,
    mxINT8_CLASS,
    mxUINT8_CLASS,
    mxINT16_CLASS,
    mxUINT16_CLASS,
    mxINT32_CLASS,
    mxUINT32_CLASS,
    mxINT64_CLASS,
    mxUINT64_CLASS,
    mxFUNCTION_CLASS
} mxClassID;

typedef enum { mxREAL = 0, mxCOMPLEX = 1 } mxComplexity;

STANDIN_API bool mxIsChar(const mxArray *a);
STANDIN_API bool mxIsNumeric(const mxArray *a);
STANDIN_API bool mxIsLogical(const mxArray *a);
STANDIN_API bool mxIsDouble(const mxArray *a);
STANDIN_API bool mxIsSparse(const mxArray *a);
STANDIN_API bool mxIsComplex(const mxArray *a);
STANDIN_API mxClassID mxGetClassID(const mxArray *a);
STANDIN_API size_t mxGetM(const mxArray *a);
STANDIN_API size_t mxGetN(const mxArray *a);
STANDIN_API int mxGetString(const mxArray *a, char *buffer, mwSize length);
STANDIN_API double *mxGetPr(const mxArray *a);
STANDIN_API double *mxGetPi(const mxArray *a);
STANDIN_API void *mxGetData(const mxArray *a);
STANDIN_API void *mxGetImagData(const mxArray *a);
STANDIN_API mwSize mxGetNumberOfDimensions(const mxArray *a);
STANDIN_API mwIndex *mxGetIr(const mxArray *a);
STANDIN_API mwIndex *mxGetJc(const mxArray *a);
STANDIN_API mwSize mxGetNzmax(const mxArray *a);
STANDIN_API void mxSetPr(mxArray *a, double *values);
STANDIN_API void mxSetIr(mxArray *a, mwIndex *rows);
STANDIN_API void mxSetNzmax(mxArray *a, mwSize nzmax);
STANDIN_API void mxSetPi(mxArray *a, double *imag);
STANDIN_API void mxSetJc(mxArray *a, mwIndex *pointers);
STANDIN_API void mxSetN(mxArray *a, mwSize n);
STANDIN_API void *mxRealloc(void *p, size_t size);
STANDIN_API void mxFree(void *p);
STANDIN_API mxArray *mxCreateSparse(mwSize m, mwSize n, mwSize nzmax, mxComplexity c);
STANDIN_API mxArray *mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity c);
STANDIN_API bool mxIsCell(const mxArray *a);
STANDIN_API bool mxIsStruct(const mxArray *a);
STANDIN_API size_t mxGetNumberOfElements(const mxArray *a);
STANDIN_API mxArray *mxGetCell(const mxArray *a, mwIndex k);
STANDIN_API mxArray *mxGetField(const mxArray *a, mwIndex k, const char *field);
STANDIN_API int mxGetFieldNumber(const mxArray *a, const char *field);
STANDIN_API void mxSetField(mxArray *a, mwIndex k, const char *field, mxArray *value);
STANDIN_API mxArray *mxCreateStructMatrix(mwSize m, mwSize n, int field_count, const char **fields);
STANDIN_API mxArray *mxCreateString(const char *text);
STANDIN_API mxArray *mxCreateDoubleScalar(double value);
STANDIN_API mxArray *mxCreateLogicalScalar(bool value);
STANDIN_API void mexErrMsgIdAndTxt(const char *identifier, const char *format, ...)
    __attribute__((noreturn, format(printf, 2, 3)));
STANDIN_API void mexErrMsgTxt(const char *message) __attribute__((noreturn));
STANDIN_API int mexPrintf(const char *format, ...) __attribute__((format(printf, 1, 2)));

#ifdef __cplusplus
}
#endif

#endif
