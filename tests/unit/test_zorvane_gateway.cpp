// The zorvane gateway through the stand-in host: the built plug-in, loaded
// by its file name.
#include <cmath>
#include <dirent.h>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "op4_writer.h"
#include "plugin.h"

using namespace op4;

namespace {

const Plugin &zorvane()
{
    static Plugin plugin(ZORVANE_STANDIN_PLUGIN);
    return plugin;
}

mxArray *text(const std::string &s) { return standin_create_string(s.c_str()); }
mxArray *number(double v) { return standin_create_scalar(v); }

void call(CallResult *r, const std::string &path, const std::string &name, mxArray *third, int nlhs = 1)
{
    zorvane().call(r, nlhs, {text(path), text(name), third});
}

void expect_error(const CallResult &r, const char *identifier, const char *message)
{
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(r.identifier, identifier);
    EXPECT_EQ(r.message, message);
}

int open_descriptors()
{
    int count = 0;
    DIR *dir = opendir("/proc/self/fd");
    while (dir != nullptr && readdir(dir) != nullptr)
        ++count;
    if (dir != nullptr)
        closedir(dir);
    return count;
}

struct Sparse {
    size_t m = 0, n = 0;
    int64_t nzmax = 0;
    std::vector<int64_t> jc, ir;
    std::vector<double> pr;
};

Sparse sparse(const mxArray *a)
{
    Sparse s;
    s.m = mxGetM(a);
    s.n = mxGetN(a);
    s.nzmax = mxGetNzmax(a);
    s.jc.assign(mxGetJc(a), mxGetJc(a) + s.n + 1);
    s.ir.assign(mxGetIr(a), mxGetIr(a) + s.jc.back());
    s.pr.assign(mxGetPr(a), mxGetPr(a) + s.jc.back());
    return s;
}

} // namespace

TEST(ZorvaneGateway, LoadsAndChecksItsArgumentsInOrder)
{
    ASSERT_TRUE(zorvane().loaded());
    CallResult r1, r2, r3, r4, r5, r6, r7, r8, r9, r10;
    zorvane().call(&r1, 1, {text("f"), text("K")});
    expect_error(r1, "MATLAB:zorvane:nInput", "Three inputs required.");
    call(&r2, "f", "K", number(0), 0);
    expect_error(r2, "MATLAB:zorvane:nOutput", "One output required.");
    zorvane().call(&r3, 1, {number(1), number(2), number(3)});
    expect_error(r3, "MATLAB:zorvane:NonString", "First input must be string.");
    zorvane().call(&r4, 1, {text("f"), number(2), text("x")});
    expect_error(r4, "MATLAB:zorvane:NonString", "Second input must be string.");
    zorvane().call(&r5, 1, {standin_create_char(0, 0, ""), standin_create_char(0, 0, ""), text("x")});
    expect_error(r5, "MATLAB:zorvane:NonRowVector", "First input must be row vector.");
    zorvane().call(&r6, 1, {text("f"), standin_create_char(2, 1, "KA"), text("x")});
    expect_error(r6, "MATLAB:zorvane:NonRowVector", "Second input must be row vector.");
    call(&r7, std::string(81, 'f'), "NINECHARS", text("x"));
    expect_error(r7, "MATLAB:zorvane:TooLong", "First input string is too long.");
    call(&r8, std::string(80, 'f'), "NINECHARS", text("x"));
    expect_error(r8, "MATLAB:zorvane:TooLong", "Second input string is too long.");
    call(&r9, std::string(80, 'f'), "EIGHTCHR", text("x"));
    expect_error(r9, "MATLAB:zorvane:NonNumeric", "Third input must be numeric.");
    call(&r10, "f", "K", standin_create_numeric(mxDOUBLE_CLASS, 1, 2, 0));
    expect_error(r10, "MATLAB:zorvane:NotScalar", "Third input must be scalar.");
}

TEST(ZorvaneGateway, ThirdInputsWithoutNumbersAndFailingCopiesAreErrors)
{
    for (mxClassID cls : {mxCELL_CLASS, mxSTRUCT_CLASS}) {
        CallResult r;
        call(&r, "f", "K", standin_create_container(cls, 1, 1));
        expect_error(r, "MATLAB:zorvane:NonNumeric", "Third input must be numeric.");
    }
    for (int failing_call : {1, 2}) {
        CallResult r;
        standin_fail_getstring_call(failing_call);
        call(&r, "f", "K", number(0));
        standin_fail_getstring_call(0);
        expect_error(r, "MATLAB:zorvane:readError", "Error reading string.");
    }
    CallResult missing, absent;
    call(&missing, "/tmp/op4-no-such-file-here", "K", number(0));
    expect_error(missing, "", "zorvane: Could not open file");
    TempFile file(header(1, 1, 1, 2, "KAA"));
    call(&absent, file.path, "MAA", number(0));
    expect_error(absent, "", "zorvane: Matrix could not be found.");
}

TEST(ZorvaneGateway, LogicalIntegerAndFractionalSelectorsCountByTheirValue)
{
    TempFile file(header(2, 2, 1, 2, "K") + column(1, 1, doubles({1, 2})) + column(2, 1, doubles({3, 4})));
    struct {
        mxClassID cls;
        double value;
        size_t expected_entries;
    } cases[] = {{mxLOGICAL_CLASS, 1, 3}, {mxINT8_CLASS, -3, 4}, {mxUINT16_CLASS, 1, 3},
                 {mxSINGLE_CLASS, 0.9f, 4}, {mxDOUBLE_CLASS, 1.7, 3}, {mxINT64_CLASS, 1, 3}};
    for (const auto &c : cases) {
        mxArray *third = standin_create_numeric(c.cls, 1, 1, 0);
        void *data = mxGetData(third);
        switch (c.cls) {
        case mxLOGICAL_CLASS: *static_cast<mxLogical *>(data) = 1; break;
        case mxINT8_CLASS: *static_cast<int8_t *>(data) = static_cast<int8_t>(c.value); break;
        case mxUINT16_CLASS: *static_cast<uint16_t *>(data) = static_cast<uint16_t>(c.value); break;
        case mxSINGLE_CLASS: *static_cast<float *>(data) = static_cast<float>(c.value); break;
        case mxINT64_CLASS: *static_cast<int64_t *>(data) = static_cast<int64_t>(c.value); break;
        default: *static_cast<double *>(data) = c.value; break;
        }
        CallResult r;
        call(&r, file.path, "K", third);
        ASSERT_FALSE(r.failed) << r.message;
        EXPECT_EQ(sparse(r.outputs[0]).jc.back(), static_cast<int64_t>(c.expected_entries)) << c.cls;
    }
}

TEST(ZorvaneGateway, SizesComeFromTheHeader)
{
    const struct {
        int32_t rows;
        size_t m;
    } cases[] = {{-5, 5}, {65535, 65535}, {65536, 65536}, {-65536, 65536}, {0, 0}};
    for (const auto &c : cases) {
        TempFile file(header(3, c.rows, 1, 2, "K") + column(4, 1, {}));
        CallResult r;
        call(&r, file.path, "K", number(0));
        ASSERT_FALSE(r.failed) << r.message;
        Sparse s = sparse(r.outputs[0]);
        EXPECT_EQ(s.m, c.m);
        EXPECT_EQ(s.n, 3u);
        EXPECT_EQ(s.jc, (std::vector<int64_t>{0, 0, 0, 0}));
        EXPECT_EQ(s.nzmax, 1);
    }
    // The large flag follows the row count: 65535 packs rows in 16 bits, 65536 does not.
    TempFile packed(header(1, 65535, 1, 2, "K") + column(1, 0, Words{packed_header(3, 65535)} + doubles({2.0})));
    TempFile large(header(1, 65536, 1, 2, "K") + column(1, 0, Words{3, 65536} + doubles({2.0})));
    for (const TempFile *f : {&packed, &large}) {
        CallResult r;
        call(&r, f->path, "K", number(0));
        ASSERT_FALSE(r.failed) << r.message;
        EXPECT_EQ(sparse(r.outputs[0]).ir, (std::vector<int64_t>{f == &packed ? 65534 : 65535}));
    }
}

TEST(ZorvaneGateway, HeadersWithoutValidSizesAreRejected)
{
    for (auto rows_columns : {std::pair<int32_t, int32_t>{INT32_MIN, 1}, {1, -1}}) {
        TempFile file(header(rows_columns.second, rows_columns.first, 1, 2, "K"));
        CallResult r;
        call(&r, file.path, "K", number(0));
        EXPECT_TRUE(r.failed);
        EXPECT_EQ(r.identifier, "MATLAB:zorvane:BadFile");
    }
}

TEST(ZorvaneGateway, TheCapacityCapsAtOneHundredMillion)
{
    // 20000 x 20000 holds 4e8 slots, capped at 1e8; the output is sized by its records.
    TempFile file(header(20000, 20000, 1, 2, "K") + column(7, 3, doubles({1.5})) + column(20001, 1, {}));
    CallResult r;
    call(&r, file.path, "K", number(0));
    ASSERT_FALSE(r.failed) << r.message;
    Sparse s = sparse(r.outputs[0]);
    EXPECT_EQ(s.nzmax, 1);
    EXPECT_EQ(s.jc[6], 0);
    EXPECT_EQ(s.jc[7], 1);
    EXPECT_EQ(s.jc.back(), 1);
    EXPECT_EQ(s.ir, (std::vector<int64_t>{2}));
}

TEST(ZorvaneGateway, ReturnedMatricesHoldExactlyTheirEntries)
{
    TempFile file(header(3, 3, 1, 2, "K") + column(1, 1, doubles({1, 0, 2})) + column(3, 1, doubles({0, 0, 3})) +
                  column(4, 1, {}));
    CallResult r;
    call(&r, file.path, "K", number(0));
    ASSERT_FALSE(r.failed) << r.message;
    Sparse s = sparse(r.outputs[0]);
    EXPECT_EQ(s.jc, (std::vector<int64_t>{0, 2, 2, 3}));
    EXPECT_EQ(s.ir, (std::vector<int64_t>{0, 2, 2}));
    EXPECT_EQ(s.pr, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(s.nzmax, 3) << "the zeros the records held are not kept as room";
}

TEST(ZorvaneGateway, ListModePrintsNamesThenReportsNotFound)
{
    TempFile file(header(1, 1, 1, 2, "KAA") + header(1, 1, 1, 2, "MAA"));
    CallResult r;
    call(&r, file.path, "XXXXXXXX", number(0));
    expect_error(r, "", "zorvane: Matrix could not be found.");
    EXPECT_EQ(r.printed, "KAA     \nMAA     \n");
}

TEST(ZorvaneGateway, NoDescriptorOrArrayIsLeftAfterThousandsOfFailingCalls)
{
    TempFile file(header(2, 2, 1, 2, "K") + column(1, 1, doubles({1})) + int32_bytes(77));
    int descriptors = open_descriptors();
    long arrays = standin_live_arrays();
    for (int i = 0; i < 3000; ++i) {
        CallResult not_found, damaged;
        call(&not_found, file.path, "NOPE", number(0));
        call(&damaged, file.path, "K", number(0));
        ASSERT_TRUE(not_found.failed);
        ASSERT_EQ(damaged.identifier, "MATLAB:zorvane:BadFile");
    }
    EXPECT_EQ(open_descriptors(), descriptors);
    EXPECT_EQ(standin_live_arrays(), arrays);
}

TEST(ZorvaneGateway, AHostThatCannotCreateTheOutputLeavesNoFileOpen)
{
    // Found by fuzzing: the host's own error ended the call between locating and decoding.
    TempFile file(header(200000000, 3, 1, 2, "K") + column(200000001, 1, {}));
    int descriptors = open_descriptors();
    standin_set_allocation_limit(size_t(1) << 24);
    CallResult r;
    call(&r, file.path, "K", number(0));
    standin_set_allocation_limit(size_t(1) << 34);
    EXPECT_EQ(r.identifier, "MATLAB:nomem");
    EXPECT_EQ(open_descriptors(), descriptors);
    CallResult again;
    TempFile small(header(1, 1, 1, 2, "K") + column(1, 1, doubles({2.0})));
    call(&again, small.path, "K", number(0));
    ASSERT_FALSE(again.failed) << again.message;
    EXPECT_EQ(mxGetPr(again.outputs[0])[0], 2.0);
}

TEST(ZorvaneGateway, AGrowthTheHostEndsLeavesNoFileOpenAndAFailingShrinkAValidMatrix)
{
    // 4200000 single values: more than the first allotment, so the output grows.
    Words values(4200000, single_word(1.0f));
    TempFile big(header(1, 4200000, 1, 1, "K") + column(1, 1, values));
    int descriptors = open_descriptors();
    standin_fail_realloc_call(1, 1);
    CallResult r;
    call(&r, big.path, "K", number(0));
    standin_fail_realloc_call(0, 0);
    EXPECT_EQ(r.identifier, "MATLAB:nomem");
    EXPECT_EQ(open_descriptors(), descriptors);
    EXPECT_EQ(standin_live_blocks(), 0);

    // The trim shrinks the values, then fails on the row indices.
    TempFile small(header(1, 3, 1, 2, "K") + column(1, 1, doubles({0, 2, 3})));
    standin_fail_realloc_call(2, 0);
    CallResult shrunk;
    call(&shrunk, small.path, "K", number(0));
    standin_fail_realloc_call(0, 0);
    ASSERT_FALSE(shrunk.failed) << shrunk.message;
    Sparse s = sparse(shrunk.outputs[0]);
    EXPECT_EQ(s.nzmax, 2) << "nzmax never exceeds the shrunk value array";
    EXPECT_EQ(s.ir, (std::vector<int64_t>{1, 2}));
    EXPECT_EQ(s.pr, (std::vector<double>{2, 3}));
}

TEST(ZorvaneGateway, TextNumbersAreTheNearestValuesOfTheirPrecision)
{
    // Large-matrix strings keep every value: touching fields, D and letterless exponents, both ends of the range.
    TempFile file("1 70000 1 1 S\n1 -1 6\n  1.00000005960464478E+00  5.0D+39  -5.0-100\n"
                  "    2.5e-45 -1.5E+00-2.5E+00\n2 1 1\n 0.0E+00\n");
    CallResult r;
    call(&r, file.path, "S", number(0));
    ASSERT_FALSE(r.failed) << r.message;
    Sparse s = sparse(r.outputs[0]);
    ASSERT_EQ(s.pr.size(), 6u);
    const double expected[] = {1 + std::ldexp(1.0, -23), HUGE_VAL, -0.0, std::ldexp(1.0, -148), -1.5, -2.5};
    for (size_t k = 0; k < 6; ++k) {
        EXPECT_EQ(s.pr[k], expected[k]) << k;
        EXPECT_EQ(std::signbit(s.pr[k]), std::signbit(expected[k])) << k;
    }
}
