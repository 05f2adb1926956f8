// The host's floor for tessik: the same two outputs from the same host
// calls, with the input only copied into the first. Nothing that returns a
// matrix can be faster in this host.
#include <cstring>

#include "host.h"

HOST_EXPORT void MEXFUNCTION(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    (void)nrhs;
    const double *x = MXGETPR(prhs[0]);
    int32_t m = MXGETM700(prhs[0]);
    int32_t n = MXGETN700(prhs[0]);
    plhs[0] = MXCREATEDOUBLEMATRIX700(m, n, 0);
    mxArray *lengths = MXCREATEDOUBLEMATRIX700(n, 1, 0);
    if (nlhs >= 2)
        plhs[1] = lengths;
    if (static_cast<int64_t>(m) * n > 0)
        memcpy(MXGETPR(plhs[0]), x, static_cast<size_t>(m) * static_cast<size_t>(n) * sizeof(double));
}
