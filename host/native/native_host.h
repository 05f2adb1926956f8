// The host operations on Octave's own types. Inputs are read in place;
// a result is built in storage Octave takes over as it is when the call
// returns: no copy, and no clearing of storage that is written anyway.
// Every array and every block of a call belongs to the call until it is
// handed back; whatever ends the call frees the rest.
#ifndef HOST_NATIVE_NATIVE_HOST_H
#define HOST_NATIVE_NATIVE_HOST_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include <octave/mxtypes.h> // the class identifiers and mxLogical, as Octave's MEX layer has them

// What the gateways know as mxArray: an input, or a value being built.
// (A macro, for Octave's headers declare a class mxArray of their own.)
struct NativeArray;
#define mxArray NativeArray

// The gateway keeps its name; the plug-in's entry (entry.cpp) calls it.
#define HOST_EXPORT
#define MEXFUNCTION mexFunction
void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

// Octave's MEX layer puts the function's name in front of an identified
// error's message; this host does the same (MEXERRMSGIDANDTXT).
#define HAVE_OCTAVE

// Octave holds a result once: the storage built is the storage returned.
constexpr int HOST_RESULT_COPIES = 1;

int MXISCHAR(const mxArray *a);
int MXISNUMERIC(const mxArray *a);
int MXISLOGICAL(const mxArray *a);
int MXISDOUBLE(const mxArray *a);
int MXISSPARSE(const mxArray *a);
int MXISCOMPLEX(const mxArray *a);
int MXISCELL(const mxArray *a);
int MXISSTRUCT(const mxArray *a);
mxClassID MXGETCLASSID(const mxArray *a);

int64_t MXGETM730(const mxArray *a);
int64_t MXGETN730(const mxArray *a);
// The 32-bit size calls; callers rule out counts above INT32_MAX first.
inline int32_t MXGETM700(const mxArray *a) { return static_cast<int32_t>(MXGETM730(a)); }
inline int32_t MXGETN700(const mxArray *a) { return static_cast<int32_t>(MXGETN730(a)); }
int64_t MXGETNUMBEROFDIMENSIONS(const mxArray *a);
int64_t MXGETNUMBEROFELEMENTS(const mxArray *a);

// Text as the MEX host gives it (see mex_host.h).
int MXGETSTRING730(const mxArray *a, char *field, int64_t field_length);
int MXGETTEXT(const mxArray *a, char *buffer, int64_t size);

// Data in place; the parts of a complex input are split once, into the call's memory.
double *MXGETPR(const mxArray *a);
double *MXGETPI(const mxArray *a);
void *MXGETDATA(const mxArray *a);
void *MXGETIMAGDATA(const mxArray *a);
int64_t *MXGETIR730(const mxArray *a);
int64_t *MXGETJC730(const mxArray *a);

// A sparse matrix with room for nzmax entries; its column pointers are
// zero, its entries unset. Raises when Octave has no memory for it.
mxArray *MXCREATESPARSE730(int64_t m, int64_t n, int64_t nzmax, int complexity);
// A full double matrix whose values the caller sets, every one of them.
mxArray *MXCREATEDOUBLEMATRIX730(int64_t m, int64_t n, int complexity);
inline mxArray *MXCREATEDOUBLEMATRIX700(int32_t m, int32_t n, int complexity)
{
    return MXCREATEDOUBLEMATRIX730(m, n, complexity);
}
// As the MEX host's (mex_host.h); within the reserved room nothing moves.
int MXRESIZESPARSE730(mxArray *a, int64_t nzmax);
// As MXCREATESPARSE730, with room reserved for up to reserve entries
// (where it can be had): its pages cost no memory until they are written,
// and the entries never move as nzmax grows within it.
mxArray *MXCREATESPARSERESERVED730(int64_t m, int64_t n, int64_t nzmax, int64_t reserve, int complexity);
int MXRESIZEPOINTERS730(mxArray *a, int64_t count);
void MXSETN730(mxArray *a, int64_t n);

void *MXREALLOC(void *p, size_t bytes);
void MXFREE(void *p);

// Errors end the call: with an identifier, the message after the
// function's name (as Octave shows a MEX error); without, as it is.
[[noreturn]] void MEXERRMSGIDANDTXT(const char *identifier, const char *message);
[[noreturn]] void MEXERRMSGTXT(const char *message);
void MEXPRINTF(const char *text);

const mxArray *MXGETCELL(const mxArray *a, int64_t k);
mxArray *MXCREATESTRUCTMATRIX(int64_t m, int64_t n, int count, const char **fields);
void MXSETFIELD(mxArray *a, int64_t k, const char *field, mxArray *value);
mxArray *MXCREATESTRING(const char *text);
int MXHASFIELD(const mxArray *a, const char *field);
const mxArray *MXGETFIELD(const mxArray *a, int64_t k, const char *field);
mxArray *MXCREATEDOUBLESCALAR(double value);
mxArray *MXCREATELOGICALSCALAR(int value);

#endif
