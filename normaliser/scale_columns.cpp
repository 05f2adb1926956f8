// One accumulator per column with rows in increasing order fixes every bit
// of the result. Summing several columns side by side keeps that order for
// each column while their additions overlap in the pipeline; the group is
// then scaled while it is still in cache.
#include "scale_columns.h"

#include <cmath>

namespace {

template <int WIDTH> void sum_squares(int64_t m, const double *x, double *s)
{
    double sums[WIDTH];
    for (int c = 0; c < WIDTH; ++c)
        sums[c] = 0.0;
    for (int64_t i = 0; i < m; ++i) {
        for (int c = 0; c < WIDTH; ++c) {
            double value = x[i + c * m];
            double square = value * value;
            sums[c] = sums[c] + square;
        }
    }
    for (int c = 0; c < WIDTH; ++c)
        s[c] = sums[c];
}

void scale_column(int64_t m, const double *x, double *y, double r)
{
    for (int64_t i = 0; i < m; ++i)
        y[i] = x[i] * r;
}

template <int WIDTH> void normalise_group(int64_t m, const double *x, double *y, double *s)
{
    sum_squares<WIDTH>(m, x, s);
    for (int c = 0; c < WIDTH; ++c) {
        double r = 1.0 / std::sqrt(s[c]);
        scale_column(m, x + c * m, y + c * m, r);
    }
}

} // namespace

void SCALECOLUMNS(int32_t m, int32_t n, const double *x, double *y, double *s)
{
    if (n <= 0)
        return;
    if (m <= 0) {
        for (int32_t j = 0; j < n; ++j)
            s[j] = 0.0;
        return;
    }
    const int64_t rows = m;
    int64_t j = 0;
    for (; j + 8 <= n; j += 8)
        normalise_group<8>(rows, x + j * rows, y + j * rows, s + j);
    for (; j + 4 <= n; j += 4)
        normalise_group<4>(rows, x + j * rows, y + j * rows, s + j);
    for (; j < n; ++j)
        normalise_group<1>(rows, x + j * rows, y + j * rows, s + j);
}
