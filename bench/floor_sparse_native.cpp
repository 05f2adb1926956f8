// The floor of an oct-file for zorvane: builds the sparse result of the
// given size and entries directly in Octave's own storage, fills it and
// returns it. Nothing that returns such a matrix can be faster in Octave.
//   A = floor_sparse (rows, columns, nonzeros)
#include <octave/oct.h>

#pragma GCC visibility push(default)
DEFUN_DLD(floor_sparse, args, , "")
{
    octave_idx_type m = args(0).idx_type_value(), n = args(1).idx_type_value(), nonzeros = args(2).idx_type_value();
    auto *values = static_cast<double *>(::operator new(static_cast<size_t>(nonzeros) * sizeof(double)));
    auto *rows = static_cast<octave_idx_type *>(::operator new(static_cast<size_t>(nonzeros) * sizeof(octave_idx_type)));
    auto *pointers = static_cast<octave_idx_type *>(::operator new(static_cast<size_t>(n + 1) * sizeof(octave_idx_type)));
    octave_idx_type e = 0;
    for (octave_idx_type c = 0; c < n; ++c) {
        pointers[c] = e;
        octave_idx_type count = nonzeros / n + (c < nonzeros % n ? 1 : 0);
        octave_idx_type first = c - count / 2 < 0 ? 0 : c - count / 2;
        if (first + count > m)
            first = m - count;
        for (octave_idx_type k = 0; k < count; ++k, ++e) {
            rows[e] = first + k;
            values[e] = 1.0;
        }
    }
    pointers[n] = e;
    return octave_value(SparseMatrix(Sparse<double>(dim_vector(m, n), nonzeros, values, rows, pointers)));
}
#pragma GCC visibility pop
