// The floor of an oct-file for tessik: the same two outputs, the input
// only copied into the first, in storage Octave takes over as it is.
//   [Y, S] = floor_tessik (X)
#include <cstring>

#include <octave/oct.h>

#pragma GCC visibility push(default)
DEFUN_DLD(floor_tessik, args, nargout, "")
{
    const NDArray x = args(0).array_value();
    octave_idx_type m = x.rows(), n = x.columns();
    auto *copy = static_cast<double *>(::operator new(static_cast<size_t>(m * n) * sizeof(double)));
    if (m * n > 0)
        memcpy(copy, x.data(), static_cast<size_t>(m * n) * sizeof(double));
    octave_value_list out;
    out(0) = octave_value(NDArray(Array<double>(copy, dim_vector(m, n))));
    if (nargout >= 2)
        out(1) = octave_value(NDArray(Array<double>(static_cast<double *>(::operator new(static_cast<size_t>(n) * sizeof(double))),
                                                    dim_vector(n, 1))));
    return out;
}
#pragma GCC visibility pop
