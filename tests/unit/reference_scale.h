// The plain column normalisation the kernel must match bit for bit: one
// accumulator per column, rows in increasing order, r = 1 / sqrt(s).
#ifndef TESTS_REFERENCE_SCALE_H
#define TESTS_REFERENCE_SCALE_H

#include <cmath>
#include <cstdint>

inline void reference_scale(int32_t m, int32_t n, const double *x, double *y, double *s)
{
    for (int64_t j = 0; j < n; ++j) {
        double sum = 0.0;
        for (int64_t i = 0; i < m; ++i) {
            volatile double square = x[i + j * m] * x[i + j * m]; // rounded before it is added
            sum = sum + square;
        }
        s[j] = sum;
        double r = 1.0 / std::sqrt(sum);
        for (int64_t i = 0; i < m; ++i)
            y[i + j * m] = x[i + j * m] * r;
    }
}

#endif
