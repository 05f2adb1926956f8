// libFuzzer target: SCALECOLUMNS (both its paths) against a one-column-at-
// a-time reference on arbitrary shapes and values, bit for bit (a NaN
// matches any NaN).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "reference_scale.h"
#include "scale_columns.h"

namespace {


bool same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    int32_t m = data[0] % 70;
    int32_t n = data[1] % 70;
    size_t count = static_cast<size_t>(m) * static_cast<size_t>(n);
    std::vector<double> x(count, 0.0);
    // Values from the bytes: whole doubles where there are 8 bytes, then
    // small integers, so both special values and ordinary ones occur.
    size_t offset = 2;
    for (size_t k = 0; k < count && offset < size; ++k) {
        if (size - offset >= 8 && (data[offset] & 1)) {
            std::memcpy(&x[k], data + offset, 8);
            offset += 8;
        } else {
            x[k] = static_cast<double>(static_cast<int8_t>(data[offset])) / 8.0;
            offset += 1;
        }
    }
    std::vector<double> y(count), s(static_cast<size_t>(n)), y_ref(count), s_ref(static_cast<size_t>(n));
    reference_scale(m, n, x.data(), y_ref.data(), s_ref.data());
    for (auto kernel : {SCALECOLUMNS, scale_columns_portable}) {
        kernel(m, n, x.data(), y.data(), s.data());
        for (size_t k = 0; k < count; ++k)
            if (!same(y[k], y_ref[k]))
                abort();
        for (size_t j = 0; j < s.size(); ++j)
            if (!same(s[j], s_ref[j]))
                abort();
    }
    return 0;
}
