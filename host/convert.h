// Conversions between host arrays and plain values, for the gateways.
#ifndef HOST_CONVERT_H
#define HOST_CONVERT_H

#include "host.h"

namespace {

template <typename T> double first_as_double(const void *data)
{
    T value;
    memcpy(&value, data, sizeof value);
    return static_cast<double>(value);
}

// The first real element of a non-empty numeric or logical array, as a
// double: true is 1, int8(-3) is -3. Returns 1 for an array without
// numeric data (cell, structure, function handle, ...), 0 otherwise.
inline int first_numeric_value(const mxArray *a, double *value)
{
    if (!MXISNUMERIC(a) && !MXISLOGICAL(a))
        return 1;
    const void *data = MXGETDATA(a);
    if (MXISSPARSE(a) && MXGETJC730(a)[1] == 0) {
        *value = 0.0; // a sparse zero stores no value
        return 0;
    }
    switch (MXGETCLASSID(a)) {
    case mxDOUBLE_CLASS: *value = first_as_double<double>(data); return 0;
    case mxSINGLE_CLASS: *value = first_as_double<float>(data); return 0;
    case mxLOGICAL_CLASS: *value = first_as_double<mxLogical>(data) != 0 ? 1.0 : 0.0; return 0;
    case mxINT8_CLASS: *value = first_as_double<int8_t>(data); return 0;
    case mxUINT8_CLASS: *value = first_as_double<uint8_t>(data); return 0;
    case mxINT16_CLASS: *value = first_as_double<int16_t>(data); return 0;
    case mxUINT16_CLASS: *value = first_as_double<uint16_t>(data); return 0;
    case mxINT32_CLASS: *value = first_as_double<int32_t>(data); return 0;
    case mxUINT32_CLASS: *value = first_as_double<uint32_t>(data); return 0;
    case mxINT64_CLASS: *value = first_as_double<int64_t>(data); return 0;
    case mxUINT64_CLASS: *value = first_as_double<uint64_t>(data); return 0;
    default: return 1;
    }
}

// The row or column count of an array as a 32-bit count; 1 when it does
// not fit.
inline int count_as_int32(int64_t count, int32_t *value)
{
    if (count < 0 || count > INT32_MAX)
        return 1;
    *value = static_cast<int32_t>(count);
    return 0;
}

} // namespace

#endif
