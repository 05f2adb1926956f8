// The host operations of the whole-file gateways: structures, cells,
// scalars and text.
#ifndef HOST_MEX_HOST_STRUCT_H
#define HOST_MEX_HOST_STRUCT_H

#include "mex_host.h"

inline int MXISCELL(const mxArray *a) { return mxIsCell(a) ? 1 : 0; }
inline int64_t MXGETNUMBEROFELEMENTS(const mxArray *a) { return static_cast<int64_t>(mxGetNumberOfElements(a)); }
inline const mxArray *MXGETCELL(const mxArray *a, int64_t k) { return mxGetCell(a, static_cast<mwIndex>(k)); }
inline mxArray *MXCREATESTRUCTMATRIX(int64_t m, int64_t n, int count, const char **fields)
{
    return mxCreateStructMatrix(static_cast<mwSize>(m), static_cast<mwSize>(n), count, fields);
}
inline void MXSETFIELD(mxArray *a, int64_t k, const char *field, mxArray *value)
{
    mxSetField(a, static_cast<mwIndex>(k), field, value);
}
inline mxArray *MXCREATESTRING(const char *text) { return mxCreateString(text); }
inline int MXISSTRUCT(const mxArray *a) { return mxIsStruct(a) ? 1 : 0; }
// Whether a structure array has the field, even when it has no elements.
inline int MXHASFIELD(const mxArray *a, const char *field) { return mxGetFieldNumber(a, field) >= 0 ? 1 : 0; }
// The field of element k, or null when the structure has no such field.
inline const mxArray *MXGETFIELD(const mxArray *a, int64_t k, const char *field)
{
    return mxGetField(a, static_cast<mwIndex>(k), field);
}
inline mxArray *MXCREATEDOUBLESCALAR(double value) { return mxCreateDoubleScalar(value); }
inline mxArray *MXCREATELOGICALSCALAR(int value) { return mxCreateLogicalScalar(value != 0); }

#endif
