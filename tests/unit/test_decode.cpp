// Column decoding by path, on files from the tests' own writer.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "op4_writer.h"
#include "core_calls.h"

using namespace op4;

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

struct Decoded {
    int32_t status = -1;
    std::string problem;
    std::vector<int64_t> pointers, rows; // rows 1-based here, for readability
    std::vector<double> values;
};

struct Matrix {
    int32_t columns = 1;
    int32_t rows = 10;
    int32_t value_type = 2;
    int32_t selector = 0;
    int64_t capacity = 1000;
};

// Decodes the column records in `records` as the matrix `m`, with arrays
// of exactly `capacity` slots.
Decoded decode(const Matrix &m, const Bytes &records, bool end_record = true)
{
    Bytes end = end_record ? column(m.columns + 1, 1, {}) : "";
    TempFile file(header(m.columns, m.rows, 1, m.value_type, "M") + records + end);
    Decoded out;
    if (open_matrix_file(test_channel(), file.path.c_str()) != 0)
        return out;
    HeaderRecord h;
    if (read_header(test_channel(), &h) != RECORD_DONE)
        return out;
    size_t slots = static_cast<size_t>(m.capacity > 0 ? m.capacity : 1);
    std::vector<double> values(slots, -999.0);
    std::vector<int64_t> rows(slots, -999);
    out.pointers.assign(static_cast<size_t>(m.columns > 0 ? m.columns + 1 : 1), -999);
    SparseOutput output = output_of(values.data(), rows.data(), out.pointers.data(), static_cast<int64_t>(out.pointers.size()), m.capacity, nullptr, nullptr);
    int32_t large = static_cast<uint32_t>(m.rows) > 65535u ? 1 : 0;
    int32_t row_count = m.rows < 0 ? -m.rows : m.rows;
    char problem[PROBLEM_LENGTH];
    MatrixPlan plan = plan_of(m.columns, m.capacity, row_count, m.value_type, m.selector, large);
    READCOLUMNS(test_channel(), &output, &plan, &out.status, problem);
    EXPECT_EQ(channel_is_open(test_channel()), 0) << "the channel is closed on every way out";
    out.problem = problem;
    int64_t stored = out.status == DECODE_DONE ? out.pointers.back() : 0;
    for (int64_t e = 0; e < stored; ++e) {
        out.rows.push_back(rows[static_cast<size_t>(e)] + 1);
        out.values.push_back(values[static_cast<size_t>(e)]);
    }
    return out;
}

Matrix with_selector(Matrix m, int32_t selector)
{
    m.selector = selector;
    return m;
}

using Rows = std::vector<int64_t>;
using Pointers = std::vector<int64_t>;

uint32_t int_word(int32_t value) { return static_cast<uint32_t>(value); }

} // namespace

TEST(DenseSingle, SelectorKeepsTheUpperTriangleOnlyForOne)
{
    Matrix m{3, 3, 1};
    Bytes records = column(2, 1, singles({1.5f, 0.0f, -2.5f}));
    EXPECT_EQ(decode(with_selector(m, 0), records).rows, (Rows{1, 3}));
    EXPECT_EQ(decode(with_selector(m, 1), records).rows, (Rows{1}));
    EXPECT_EQ(decode(with_selector(m, 2), records).rows, (Rows{1, 3}));
    EXPECT_EQ(decode(with_selector(m, -1), records).rows, (Rows{1, 3}));
    EXPECT_EQ(decode(m, records).values, (std::vector<double>{1.5, -2.5}));
}

TEST(DenseSingle, ThresholdInSinglePrecision)
{
    Decoded d = decode(Matrix{1, 6, 1}, column(1, 1, singles({1e-32f, 2e-32f, std::nanf(""), -0.0f, INFINITY, -1e-33f})));
    EXPECT_EQ(d.rows, (Rows{2, 5}));
    EXPECT_EQ(d.values[0], static_cast<double>(2e-32f)) << "widened exactly";
}

TEST(DenseDouble, ValuesPairLowHalfFirstFromFirstRow)
{
    Decoded d = decode(Matrix{1, 5}, column(1, 4, doubles({1.0, -2.5})));
    EXPECT_EQ(d.rows, (Rows{4, 5}));
    EXPECT_EQ(d.values, (std::vector<double>{1.0, -2.5}));
    // The same words in the other order are a subnormal, not 1.0 (a string
    // record, which has no threshold to drop it).
    Decoded swapped = decode(Matrix{1, 5}, column(1, 0, {packed_header(3, 1), 0x3FF00000u, 0u}));
    ASSERT_EQ(swapped.values.size(), 1u);
    EXPECT_NE(swapped.values[0], 1.0);
    EXPECT_GT(swapped.values[0], 0.0);
    EXPECT_LT(swapped.values[0], 1e-300);
}

TEST(DenseDouble, ThresholdAndSelector)
{
    Decoded d = decode(Matrix{1, 8}, column(1, 1, doubles({0.0, -0.0, 1e-40, 1e-32, 2e-32, NaN, -INFINITY, 3.0})));
    EXPECT_EQ(d.rows, (Rows{5, 7, 8}));
    Matrix m{3, 3};
    Bytes records = column(2, 1, doubles({1.0, 2.0, 3.0}));
    EXPECT_EQ(decode(with_selector(m, 1), records).rows, (Rows{1, 2}));
    EXPECT_EQ(decode(with_selector(m, 2), records).rows, (Rows{1, 2, 3}));
    EXPECT_EQ(decode(with_selector(m, -1), records).rows, (Rows{1, 2, 3}));
}

TEST(PackedSingle, StringsSplitIntoLengthAndRow)
{
    Decoded d = decode(Matrix{1, 10, 1}, column(1, 0, {packed_header(3, 5), single_word(1.5f), single_word(2.0f),
                                                       packed_header(2, 8), single_word(3.0f)}));
    EXPECT_EQ(d.rows, (Rows{5, 6, 8}));
    EXPECT_EQ(d.values, (std::vector<double>{1.5, 2.0, 3.0}));
    // A string of length 1 holds no value; the next header follows directly.
    Decoded empty_string = decode(Matrix{1, 10, 1}, column(1, 0, {packed_header(1, 2), packed_header(2, 4),
                                                                  single_word(7.0f)}));
    EXPECT_EQ(empty_string.rows, (Rows{4}));
}

TEST(PackedSingle, NegativeSelectorsKeepAllRowsAndTheThresholdApplies)
{
    Matrix m{5, 10, 1};
    Bytes records = column(5, 0, Words{packed_header(6, 3)} + singles({1, 2, 3, 4, 5}));
    EXPECT_EQ(decode(with_selector(m, -1), records).rows, (Rows{3, 4, 5, 6, 7}));
    EXPECT_EQ(decode(with_selector(m, 1), records).rows, (Rows{3, 4, 5}));
    EXPECT_EQ(decode(with_selector(m, 2), records).rows, (Rows{3, 4, 5}));
    Decoded tiny = decode(Matrix{1, 10, 1}, column(1, 0, Words{packed_header(4, 1)} + singles({1e-32f, 2e-32f, NAN})));
    EXPECT_EQ(tiny.rows, (Rows{2}));
}

TEST(PackedDouble, StoresZerosTinyValuesAndNaNs)
{
    Decoded d = decode(Matrix{1, 10}, column(1, 0, Words{packed_header(5, 7)} + doubles({0.0, 4.5})));
    EXPECT_EQ(d.rows, (Rows{7, 8}));
    EXPECT_EQ(d.values, (std::vector<double>{0.0, 4.5}));
    Decoded odd = decode(Matrix{1, 10}, column(1, 0, Words{packed_header(5, 1)} + doubles({1e-40, NaN})));
    ASSERT_EQ(odd.rows, (Rows{1, 2}));
    EXPECT_EQ(odd.values[0], 1e-40);
    EXPECT_TRUE(std::isnan(odd.values[1]));
}

TEST(PackedDouble, ThreeWaySelector)
{
    Matrix m{5, 10};
    Bytes records = column(5, 0, Words{packed_header(11, 3)} + doubles({1, 2, 3, 4, 5}));
    EXPECT_EQ(decode(with_selector(m, -1), records).rows, (Rows{5, 6, 7}));
    EXPECT_EQ(decode(with_selector(m, 1), records).rows, (Rows{3, 4, 5}));
    EXPECT_EQ(decode(with_selector(m, 2), records).rows, (Rows{3, 4, 5}));
    EXPECT_EQ(decode(with_selector(m, 0), records).rows, (Rows{3, 4, 5, 6, 7}));
}

TEST(LargeDouble, TwoHeaderWordsAndRowsAboveSixteenBits)
{
    const int32_t R = 70000;
    Matrix m{1, -80000};
    Bytes records = column(1, 0, Words{5, int_word(R)} + doubles({1.0, 2.0}) + Words{3, int_word(R + 5)} +
                                     doubles({3.0}));
    Decoded d = decode(m, records);
    EXPECT_EQ(d.rows, (Rows{R, R + 1, R + 5}));
    EXPECT_EQ(d.values, (std::vector<double>{1.0, 2.0, 3.0}));
    m.rows = 80000; // a positive count above 65535 selects the encoding too
    EXPECT_EQ(decode(m, records).rows, (Rows{R, R + 1, R + 5}));
    // A string of length 1 holds no value; the next follows its second header word.
    EXPECT_EQ(decode(m, column(1, 0, Words{1, 9, 3, int_word(R)} + doubles({0.0}))).rows, (Rows{R}));
}

TEST(LargeDouble, ThreeWaySelectorStoresZeros)
{
    Matrix m{5, -70000};
    Bytes records = column(5, 0, Words{11, 3} + doubles({1, 2, 0, 4, 5}));
    EXPECT_EQ(decode(with_selector(m, -1), records).rows, (Rows{5, 6, 7}));
    EXPECT_EQ(decode(with_selector(m, 3), records).rows, (Rows{3, 4, 5}));
    EXPECT_EQ(decode(with_selector(m, 0), records).values, (std::vector<double>{1, 2, 0, 4, 5}));
}

TEST(ColumnPointers, MissingColumnsShareTheirStartAndTheFinalPointerCounts)
{
    Decoded d = decode(Matrix{3, 3}, column(1, 1, doubles({1.0})) + column(3, 2, doubles({2.0, 3.0})) +
                                         column(4, 1, doubles({0.0})));
    EXPECT_EQ(d.pointers, (Pointers{0, 1, 1, 3}));
    Decoded far_end = decode(Matrix{3, 3}, column(2, 1, doubles({1.0})) + column(8, 1, {}));
    EXPECT_EQ(far_end.pointers, (Pointers{0, 0, 1, 1}));
    Decoded none = decode(Matrix{0, 3}, column(1, 1, doubles({1.0})));
    EXPECT_EQ(none.status, DECODE_DONE);
    EXPECT_EQ(none.pointers, (Pointers{0}));
}

TEST(ColumnPointers, ReadingStopsAfterOneRecordPerColumn)
{
    // The damaged record behind the last column is never read.
    Decoded d = decode(Matrix{2, 3}, column(1, 1, doubles({1.0})) + column(2, 1, doubles({2.0, 3.0})) +
                                         int32_bytes(-5));
    EXPECT_EQ(d.status, DECODE_DONE);
    EXPECT_EQ(d.pointers, (Pointers{0, 1, 3}));
    Decoded repeated = decode(Matrix{2, 3}, column(1, 1, doubles({1.0})) + column(1, 2, doubles({2.0})) +
                                                column(2, 1, doubles({3.0})));
    EXPECT_EQ(repeated.pointers, (Pointers{0, 2, 2}));
    EXPECT_EQ(repeated.rows, (Rows{1, 2}));
}

TEST(Capacity, AnExactFitIsReturnedAndOneMoreEntryIsRejectedOnEveryPath)
{
    const struct {
        int32_t rows, value_type;
        Bytes records;
    } paths[] = {
        {10, 1, column(1, 1, singles({1, 2, 3}))},
        {10, 2, column(1, 1, doubles({1, 2, 3}))},
        {10, 1, column(1, 0, Words{packed_header(4, 1)} + singles({1, 2, 3}))},
        {10, 2, column(1, 0, Words{packed_header(7, 1)} + doubles({1, 2, 3}))},
        {-70000, 2, column(1, 0, Words{7, 1} + doubles({1, 2, 3}))},
    };
    for (const auto &path : paths) {
        Matrix m{1, path.rows, path.value_type, 0, 3};
        Decoded fit = decode(m, path.records);
        EXPECT_EQ(fit.status, DECODE_DONE);
        EXPECT_EQ(fit.rows, (Rows{1, 2, 3}));
        m.capacity = 2;
        EXPECT_EQ(decode(m, path.records).status, DECODE_CAPACITY);
    }
    Matrix one{1, 1, 2, 0, 1};
    EXPECT_EQ(decode(one, column(1, 0, Words{packed_header(3, 1)} + doubles({5.0}))).status, DECODE_DONE);
}

TEST(DamagedColumns, RowsOutsideTheMatrixOrOutOfOrderAreReported)
{
    const Bytes cases[] = {
        column(1, 3, doubles({1, 2})),                                      // row 4 of 3
        column(1, -1, singles({0, 0, 5})),                                  // row 1 is fine, rows below 1 not stored
        column(1, 0, Words{packed_header(2, 0)} + singles({1})),                 // row 0
        column(1, 0, {packed_header(2, 2), 0, packed_header(2, 1), 0}),     // descending rows
        column(1, 2, doubles({1})) + column(1, 1, doubles({1})),            // repeated column goes backward
        column(0, 1, doubles({1})),                                         // before any column started
    };
    Matrix m{2, 3, 2};
    EXPECT_EQ(decode(m, cases[0]).status, DECODE_DAMAGED);
    EXPECT_NE(decode(m, cases[0]).problem.find("row 4 of column 1"), std::string::npos) << decode(m, cases[0]).problem;
    Matrix single{1, 3, 1};
    EXPECT_EQ(decode(single, cases[1]).status, DECODE_DONE) << "rows -1 and 0 hold zeros, which are dropped";
    EXPECT_EQ(decode(single, column(1, -1, singles({1}))).status, DECODE_DAMAGED);
    EXPECT_EQ(decode(single, cases[2]).status, DECODE_DAMAGED);
    Decoded descending = decode(single, column(1, 0, {packed_header(2, 2), single_word(1), packed_header(2, 1),
                                                      single_word(1)}));
    EXPECT_EQ(descending.status, DECODE_DAMAGED);
    EXPECT_EQ(decode(m, cases[4]).status, DECODE_DAMAGED);
    EXPECT_EQ(decode(m, cases[5]).status, DECODE_DAMAGED);
}

TEST(DamagedColumns, BrokenRecordsAndStringsEndTheCall)
{
    Matrix m{2, 100, 2};
    const Bytes cases[] = {
        column(1, 1, doubles({1})),                                                     // file ends early
        column(1, 1, doubles({1})) + record(int32_bytes(2) + int32_bytes(1) + int32_bytes(5)), // short record
        record(int32_bytes(1) + int32_bytes(1) + int32_bytes(1000001) + Bytes(8, '\0')),   // oversized
        column(1, 1, doubles({1})) + int32_bytes(-3),                                   // unfollowable length
        column(1, 0, {packed_header(0, 1), 0, 0}),                                      // string length 0
        column(1, 0, {int_word(-65537), 0, 0}),                                         // negative header word
        column(1, 0, Words{packed_header(9, 1)} + doubles({1})),                             // string runs past
        column(1, 0, {packed_header(2, 1), single_word(1.0f)}),                         // odd data word past the end
        column(1, 1, {1, 2, 3}),                                                        // odd dense double words
    };
    for (const Bytes &records : cases) {
        Decoded d = decode(m, records, false);
        EXPECT_EQ(d.status, DECODE_DAMAGED) << d.problem;
        EXPECT_EQ(d.problem.rfind("Damaged file: ", 0), 0u) << d.problem;
    }
    Matrix large{1, -70000, 2};
    EXPECT_EQ(decode(large, column(1, 0, Words{int_word(-1), 1, 0})).status, DECODE_DAMAGED);
    EXPECT_EQ(decode(large, column(1, 0, Words{5, 1, 0, 0})).status, DECODE_DAMAGED);
    large.value_type = 1;
    EXPECT_EQ(decode(large, column(1, 0, Words{4, 1} + singles({1, 2}))).status, DECODE_DAMAGED) << "runs past";
    EXPECT_EQ(decode(large, column(1, 1, singles({2.0f}))).status, DECODE_DONE) << "dense records still decode";
}

TEST(Room, OutputsGrowUpToTheCapacityAndStopWithoutMemory)
{
    struct Growth {
        std::vector<double> values;
        std::vector<int64_t> rows;
        int calls = 0;
        int64_t refuse_above = 1 << 30;
    };
    auto grow = [](SparseOutput *out, int64_t slots, void *context) {
        auto *g = static_cast<Growth *>(context);
        ++g->calls;
        if (slots > g->refuse_above)
            return 1;
        g->values.resize(static_cast<size_t>(slots));
        g->rows.resize(static_cast<size_t>(slots));
        out->values = g->values.data();
        out->rows = g->rows.data();
        out->slots = slots;
        return 0;
    };
    TempFile file(header(3, 40, 1, 2, "M") + column(1, 1, doubles({1, 2, 3, 4, 5, 6, 7, 8, 9, 10})) +
                  column(2, 0, Words{packed_header(21, 1)} + doubles({1, 2, 3, 4, 5, 6, 7, 8, 9, 10})) +
                  column(3, 5, doubles({1})));
    for (int64_t refuse_above : {int64_t(1) << 30, int64_t(12)}) {
        ASSERT_EQ(open_matrix_file(test_channel(), file.path.c_str()), 0);
        HeaderRecord h;
        ASSERT_EQ(read_header(test_channel(), &h), RECORD_DONE);
        Growth g;
        g.refuse_above = refuse_above;
        g.values.resize(1);
        g.rows.resize(1);
        std::vector<int64_t> pointers(4);
        SparseOutput out = output_of(g.values.data(), g.rows.data(), pointers.data(), static_cast<int64_t>(pointers.size()), 1, grow, &g);
        int32_t status = -1;
        char problem[PROBLEM_LENGTH];
        MatrixPlan plan = plan_of(3, 120, 40, 2, 0, 0);
    READCOLUMNS(test_channel(), &out, &plan, &status, problem);
        EXPECT_EQ(channel_is_open(test_channel()), 0);
        if (refuse_above > 100) {
            ASSERT_EQ(status, DECODE_DONE) << problem;
            EXPECT_EQ(pointers, (std::vector<int64_t>{0, 10, 20, 21}));
            EXPECT_GE(g.calls, 2);
            EXPECT_EQ(g.rows[19], 9);
            EXPECT_EQ(g.rows[20], 4);
            EXPECT_EQ(g.values[20], 1.0);
        } else {
            EXPECT_EQ(status, DECODE_NO_MEMORY);
        }
    }
}

TEST(Room, TheFirstAllotmentIsWhatTheRestOfTheFileCanHold)
{
    TempFile file(header(1, 1, 1, 2, "M") + column(1, 1, doubles({1, 2, 3})));
    ASSERT_EQ(open_matrix_file(test_channel(), file.path.c_str()), 0);
    HeaderRecord h;
    ASSERT_EQ(read_header(test_channel(), &h), RECORD_DONE);
    // 44 bytes remain: 5 doubles or 11 singles at most, within the capacity.
    EXPECT_EQ(INITIALSLOTS(test_channel(), 100, 2), 5);
    EXPECT_EQ(INITIALSLOTS(test_channel(), 100, 1), 11);
    EXPECT_EQ(INITIALSLOTS(test_channel(), 3, 1), 3);
    EXPECT_EQ(INITIALSLOTS(test_channel(), 0, 1), 1);
    close_channel(test_channel());
}

TEST(Sizes, LargeFlagRowsAndCapacityFromTheHeader)
{
    const struct {
        int32_t row_count, column_count, large, rows;
        int64_t capacity;
    } cases[] = {{-5, 3, 1, 5, 15},          {65535, 2, 0, 65535, 131070},     {65536, 2, 1, 65536, 131072},
                 {-65536, 1, 1, 65536, 65536}, {20000, 20000, 0, 20000, 100000000}, {10000, 10001, 0, 10000, 100000000},
                 {10000, 10000, 0, 10000, 100000000}, {9999, 10000, 0, 9999, 99990000}, {INT32_MAX, INT32_MAX, 1, INT32_MAX, 100000000},
                 {0, 7, 0, 0, 0}};
    for (const auto &c : cases) {
        int32_t large = -1, rows = -1;
        int64_t capacity = -1;
        SIZESFROMHEADER(c.row_count, c.column_count, &large, &rows, &capacity);
        EXPECT_EQ(large, c.large) << c.row_count;
        EXPECT_EQ(rows, c.rows) << c.row_count;
        EXPECT_EQ(capacity, c.capacity) << c.row_count << " x " << c.column_count;
    }
}

TEST(Room, MemoryIsCheckedAgainstWhatTheProcessCanGet)
{
    // 2000000000 columns: 16 GB of pointers, counted twice for the host's copy.
    EXPECT_EQ(output_bytes(2000000000, 1, 0), 2 * (2000000001LL * 8 + 16));
    EXPECT_EQ(output_bytes(0, 10, 1), 2 * (8 + 240));
    EXPECT_TRUE(memory_fits(1000, 0, 1000));
    EXPECT_FALSE(memory_fits(1001, 0, 1000));
    EXPECT_TRUE(memory_fits(1500, 600, 1000)) << "what is held already counts";
    test_channel()->memory_budget = 12345;
    EXPECT_EQ(memory_available(test_channel()), 12345);
    test_channel()->memory_budget = 0;
    EXPECT_GT(memory_available(test_channel()), 0);

    // A growth past the budget stops decoding with its own status.
    std::vector<double> values(1);
    std::vector<int64_t> rows(1), pointers(2);
    auto grow = [](SparseOutput *, int64_t, void *) { return 1; }; // never reached: the check refuses first
    TempFile file(header(1, 1000, 1, 1, "M") + column(1, 1, Words(1000, single_word(1.0f))));
    ASSERT_EQ(open_matrix_file(test_channel(), file.path.c_str()), 0);
    HeaderRecord h;
    ASSERT_EQ(read_header(test_channel(), &h), RECORD_DONE);
    SparseOutput output = output_of(values.data(), rows.data(), pointers.data(), static_cast<int64_t>(pointers.size()), 1, grow, nullptr);
    int32_t status = -1;
    char problem[PROBLEM_LENGTH];
    test_channel()->memory_budget = 50;
    MatrixPlan plan = plan_of(1, 1000, 1000, 1, 0, 0);
    READCOLUMNS(test_channel(), &output, &plan, &status, problem);
    test_channel()->memory_budget = 0;
    EXPECT_EQ(status, DECODE_NO_MEMORY);
    EXPECT_STREQ(problem, "Out of memory: the matrix needs 0 MB, the process can get 0 MB.");
    EXPECT_EQ(channel_is_open(test_channel()), 0);
}
