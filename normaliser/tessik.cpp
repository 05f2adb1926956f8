// [Y, S] = tessik(X): every column of X scaled to unit length, and the
// squared column lengths. The gateway guards what the host hands over.
#include "convert.h"
#include "host.h"
#include "scale_columns.h"

namespace {

const mxArray *checked_input(int nrhs, const mxArray *prhs[], int32_t *m, int32_t *n)
{
    if (nrhs < 1)
        MEXERRMSGIDANDTXT("MATLAB:tessik:nInput", "One input required.");
    const mxArray *x = prhs[0];
    if (!MXISDOUBLE(x) || MXISSPARSE(x))
        MEXERRMSGIDANDTXT("MATLAB:tessik:NonDouble", "Input must be a full double matrix.");
    if (count_as_int32(MXGETM730(x), m) != 0 || count_as_int32(MXGETN730(x), n) != 0)
        MEXERRMSGIDANDTXT("MATLAB:tessik:TooLarge", "Input has more than 2147483647 rows or columns.");
    return x;
}

} // namespace

HOST_EXPORT void MEXFUNCTION(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    int32_t m = 0, n = 0;
    const mxArray *x = checked_input(nrhs, prhs, &m, &n);
    const double *input = MXGETPR(x);
    m = MXGETM700(x);
    n = MXGETN700(x);
    // The host provides max(nargout, 1) slots; the lengths need a slot of their own.
    mxArray *normalised = MXCREATEDOUBLEMATRIX700(m, n, 0);
    plhs[0] = normalised;
    mxArray *lengths = MXCREATEDOUBLEMATRIX700(n, 1, 0);
    if (nlhs >= 2)
        plhs[1] = lengths;
    SCALECOLUMNS(m, n, input, MXGETPR(normalised), MXGETPR(lengths));
}
