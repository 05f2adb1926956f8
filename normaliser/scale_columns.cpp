// One accumulator per column with rows in increasing order fixes every bit
// of the result. Summing several columns side by side keeps that order for
// each column while their additions overlap in the pipeline; the group is
// then scaled while it is still in cache. Where the processor has AVX2,
// four columns share one vector register, one lane each: the squares of
// four rows of four columns are transposed so that each addition adds one
// row to each column's own sum, in row order. No FMA is ever used.
#include "scale_columns.h"

#include <cmath>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define NORMALISER_AVX2 1
#endif

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
    for (int c = 0; c < WIDTH; ++c)
        scale_column(m, x + c * m, y + c * m, 1.0 / std::sqrt(s[c]));
}

void normalise_portable(int64_t m, int64_t n, const double *x, double *y, double *s)
{
    int64_t j = 0;
    for (; j + 8 <= n; j += 8)
        normalise_group<8>(m, x + j * m, y + j * m, s + j);
    for (; j + 4 <= n; j += 4)
        normalise_group<4>(m, x + j * m, y + j * m, s + j);
    for (; j < n; ++j)
        normalise_group<1>(m, x + j * m, y + j * m, s + j);
}

#ifdef NORMALISER_AVX2

// Adds rows i .. i+3 of columns c .. c+3 (column c at x + c*m) to the
// four lanes of sum, row by row.
__attribute__((target("avx2"))) inline __m256d add_four_rows(__m256d sum, const double *x, int64_t m, int64_t i)
{
    __m256d a = _mm256_loadu_pd(x + i);
    __m256d b = _mm256_loadu_pd(x + m + i);
    __m256d c = _mm256_loadu_pd(x + 2 * m + i);
    __m256d d = _mm256_loadu_pd(x + 3 * m + i);
    a = _mm256_mul_pd(a, a);
    b = _mm256_mul_pd(b, b);
    c = _mm256_mul_pd(c, c);
    d = _mm256_mul_pd(d, d);
    __m256d ab_even = _mm256_unpacklo_pd(a, b); // rows i, i+2 of columns c, c+1
    __m256d ab_odd = _mm256_unpackhi_pd(a, b);  // rows i+1, i+3
    __m256d cd_even = _mm256_unpacklo_pd(c, d);
    __m256d cd_odd = _mm256_unpackhi_pd(c, d);
    sum = _mm256_add_pd(sum, _mm256_permute2f128_pd(ab_even, cd_even, 0x20));
    sum = _mm256_add_pd(sum, _mm256_permute2f128_pd(ab_odd, cd_odd, 0x20));
    sum = _mm256_add_pd(sum, _mm256_permute2f128_pd(ab_even, cd_even, 0x31));
    sum = _mm256_add_pd(sum, _mm256_permute2f128_pd(ab_odd, cd_odd, 0x31));
    return sum;
}

// Sums of squares of GROUPS x 4 columns, each in row order.
template <int GROUPS>
__attribute__((target("avx2"))) void sum_squares_avx2(int64_t m, const double *x, double *s)
{
    __m256d sums[GROUPS];
    for (int g = 0; g < GROUPS; ++g)
        sums[g] = _mm256_setzero_pd();
    int64_t i = 0;
    for (; i + 4 <= m; i += 4)
        for (int g = 0; g < GROUPS; ++g)
            sums[g] = add_four_rows(sums[g], x + 4 * g * m, m, i);
    for (int g = 0; g < GROUPS; ++g)
        _mm256_storeu_pd(s + 4 * g, sums[g]);
    for (; i < m; ++i)
        for (int c = 0; c < 4 * GROUPS; ++c) {
            double value = x[i + c * m];
            double square = value * value;
            s[c] = s[c] + square;
        }
}

__attribute__((target("avx2"))) void scale_column_avx2(int64_t m, const double *x, double *y, double r)
{
    __m256d factor = _mm256_set1_pd(r);
    int64_t i = 0;
    for (; i + 4 <= m; i += 4)
        _mm256_storeu_pd(y + i, _mm256_mul_pd(_mm256_loadu_pd(x + i), factor));
    for (; i < m; ++i)
        y[i] = x[i] * r;
}

template <int GROUPS>
__attribute__((target("avx2"))) void normalise_group_avx2(int64_t m, const double *x, double *y, double *s)
{
    sum_squares_avx2<GROUPS>(m, x, s);
    // The square roots and divisions of four columns at once; each is the
    // correctly rounded IEEE operation, as in scalar code.
    alignas(32) double factors[4 * GROUPS];
    for (int g = 0; g < GROUPS; ++g)
        _mm256_store_pd(factors + 4 * g,
                        _mm256_div_pd(_mm256_set1_pd(1.0), _mm256_sqrt_pd(_mm256_loadu_pd(s + 4 * g))));
    for (int c = 0; c < 4 * GROUPS; ++c)
        scale_column_avx2(m, x + c * m, y + c * m, factors[c]);
}

__attribute__((target("avx2"))) void normalise_avx2(int64_t m, int64_t n, const double *x, double *y, double *s)
{
    int64_t j = 0;
    for (; j + 16 <= n; j += 16)
        normalise_group_avx2<4>(m, x + j * m, y + j * m, s + j);
    for (; j + 4 <= n; j += 4)
        normalise_group_avx2<1>(m, x + j * m, y + j * m, s + j);
    normalise_portable(m, n - j, x + j * m, y + j * m, s + j);
}

#endif

} // namespace

void SCALECOLUMNS(int32_t m, int32_t n, const double *x, double *y, double *s)
{
#ifdef NORMALISER_AVX2
    if (m > 0 && n > 0 && __builtin_cpu_supports("avx2")) {
        normalise_avx2(m, n, x, y, s);
        return;
    }
#endif
    scale_columns_portable(m, n, x, y, s);
}

void scale_columns_portable(int32_t m, int32_t n, const double *x, double *y, double *s)
{
    if (n <= 0)
        return;
    if (m <= 0) {
        // Empty columns: nothing to read or scale, and their sums are +0.
        for (int32_t j = 0; j < n; ++j)
            s[j] = 0.0;
        return;
    }
    normalise_portable(m, n, x, y, s);
}
