// Column normalisation on plain data areas; knows nothing of the host.
#ifndef NORMALISER_SCALE_COLUMNS_H
#define NORMALISER_SCALE_COLUMNS_H

#include <cstdint>

// y(:, j) = x(:, j) * (1 / sqrt(s(j))), s(j) = sum of x(i, j)^2 over i in
// increasing order with one accumulator. x and y are m-by-n column-major.
void SCALECOLUMNS(int32_t m, int32_t n, const double *x, double *y, double *s);

// The same without vector instructions, as on processors without AVX2; the
// results are identical bit for bit (tests compare the two).
void scale_columns_portable(int32_t m, int32_t n, const double *x, double *y, double *s);

#endif
