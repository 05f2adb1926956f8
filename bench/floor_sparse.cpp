// The host's floor for zorvane: creates a sparse output of the given size
// with exactly the given number of entries, fills it and returns it.
//   A = floor_sparse (rows, columns, nonzeros)
#include "host.h"

HOST_EXPORT void MEXFUNCTION(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    (void)nlhs;
    (void)nrhs;
    int64_t m = static_cast<int64_t>(MXGETPR(prhs[0])[0]);
    int64_t n = static_cast<int64_t>(MXGETPR(prhs[1])[0]);
    int64_t nonzeros = static_cast<int64_t>(MXGETPR(prhs[2])[0]);
    plhs[0] = MXCREATESPARSE730(m, n, nonzeros, 0);
    double *values = MXGETPR(plhs[0]);
    int64_t *rows = MXGETIR730(plhs[0]);
    int64_t *pointers = MXGETJC730(plhs[0]);
    int64_t e = 0;
    for (int64_t c = 0; c < n; ++c) {
        pointers[c] = e;
        int64_t count = nonzeros / n + (c < nonzeros % n ? 1 : 0);
        int64_t first = c - count / 2 < 0 ? 0 : c - count / 2;
        if (first + count > m)
            first = m - count;
        for (int64_t k = 0; k < count; ++k, ++e) {
            rows[e] = first + k;
            values[e] = 1.0;
        }
    }
    pointers[n] = e;
}
