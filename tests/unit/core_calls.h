// The core's routines called the way the tests call them: one channel of
// the tests' own, plans and outputs from plain numbers.
#ifndef TESTS_UNIT_CORE_CALLS_H
#define TESTS_UNIT_CORE_CALLS_H

#include "decode.h"
#include "locate.h"
#include "memory.h"
#include "records.h"

inline MatrixChannel *test_channel()
{
    static MatrixChannel channel;
    return &channel;
}

inline MatrixPlan plan_of(int32_t columns, int64_t capacity, int32_t rows, int32_t value_type, int32_t selector,
                          int32_t large)
{
    MatrixPlan plan = {};
    plan.column_count = columns;
    plan.rows = rows;
    plan.value_type = value_type;
    plan.selector = selector;
    plan.large_flag = large;
    plan.complex_values = value_type_is_complex(value_type);
    plan.capacity = capacity;
    plan.pointer_slots = columns + 1;
    return plan;
}

inline SparseOutput output_of(double *values, int64_t *rows, int64_t *pointers, int64_t pointer_slots, int64_t slots,
                              int (*grow)(SparseOutput *, int64_t, void *), void *context)
{
    SparseOutput output = {};
    output.values = values;
    output.rows = rows;
    output.column_pointers = pointers;
    output.pointer_slots = pointer_slots;
    output.slots = slots;
    output.grow = grow;
    output.context = context;
    return output;
}

#endif
