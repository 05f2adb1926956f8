// tessik: the kernel against a one-column-at-a-time reference, and the
// gateway's guards through the stand-in host.
#include <cmath>
#include <algorithm>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "plugin.h"
#include "reference_scale.h"
#include "scale_columns.h"

namespace {

const double INF = std::numeric_limits<double>::infinity();


bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

const Plugin &tessik()
{
    static Plugin plugin(TESSIK_STANDIN_PLUGIN);
    return plugin;
}

mxArray *matrix(size_t m, size_t n, const std::vector<double> &values)
{
    mxArray *a = standin_create_numeric(mxDOUBLE_CLASS, m, n, 0);
    if (!values.empty())
        std::memcpy(mxGetPr(a), values.data(), values.size() * sizeof(double));
    return a;
}

} // namespace

TEST(ScaleColumns, MatchesTheReferenceBitForBitOnAwkwardShapesAndValues)
{
    std::mt19937_64 random(12345);
    std::uniform_real_distribution<double> uniform(-3.0, 3.0);
    const double specials[] = {0.0, -0.0, NAN, INF, -INF, 4.9e-324, 1e-310, 1e-200, 1e200};
    const int shapes[][2] = {{1, 1}, {1, 37}, {37, 1}, {3, 7}, {5, 8}, {9, 9}, {17, 12}, {64, 13}, {101, 19}, {2, 4},
                            {7, 33}, {6, 16}, {13, 21}, {4, 35}};
    for (const auto &shape : shapes) {
        int32_t m = shape[0], n = shape[1];
        std::vector<double> x(static_cast<size_t>(m * n));
        for (double &v : x)
            v = random() % 7 == 0 ? specials[random() % 9] : uniform(random) * std::pow(10.0, double(random() % 9) - 4);
        std::vector<double> y(x.size()), s(static_cast<size_t>(n)), y_ref(x.size()), s_ref(static_cast<size_t>(n));
        reference_scale(m, n, x.data(), y_ref.data(), s_ref.data());
        for (auto kernel : {SCALECOLUMNS, scale_columns_portable}) {
            std::fill(y.begin(), y.end(), -1.0);
            kernel(m, n, x.data(), y.data(), s.data());
            for (size_t k = 0; k < x.size(); ++k)
                ASSERT_TRUE(same_bits(y[k], y_ref[k])) << m << "x" << n << " element " << k;
            for (size_t j = 0; j < s.size(); ++j)
                ASSERT_TRUE(same_bits(s[j], s_ref[j])) << m << "x" << n << " column " << j;
        }
    }
}

TEST(ScaleColumns, EdgeValues)
{
    struct Case {
        std::vector<double> x, y;
        double s;
    } cases[] = {
        {{3, 4}, {0.6000000000000001, 0.8}, 25},
        {{49}, {0.9999999999999999}, 2401},
        {{1e8, 1, 1, 1, 1}, {1e8 * (1.0 / std::sqrt(1e16)), 1e-8, 1e-8, 1e-8, 1e-8}, 1e16},
        {{1e-200, 0}, {INF, NAN}, 0.0},
        {{1e200, 1}, {0, 0}, INF},
        {{-0.0, 0.0}, {NAN, NAN}, 0.0},
    };
    for (const Case &c : cases) {
        int32_t m = static_cast<int32_t>(c.x.size());
        std::vector<double> y(c.x.size());
        double s = -1;
        SCALECOLUMNS(m, 1, c.x.data(), y.data(), &s);
        EXPECT_TRUE(same_bits(s, c.s)) << s;
        for (size_t i = 0; i < y.size(); ++i)
            EXPECT_TRUE(std::isnan(c.y[i]) ? std::isnan(y[i]) : same_bits(y[i], c.y[i])) << y[i];
    }
    double unused = 7;
    SCALECOLUMNS(3, 0, nullptr, nullptr, &unused);
    EXPECT_EQ(unused, 7) << "nothing is touched without columns";
    double lengths[2] = {7, 7};
    SCALECOLUMNS(0, 2, nullptr, nullptr, lengths);
    EXPECT_TRUE(same_bits(lengths[0], 0.0) && same_bits(lengths[1], 0.0));
}

TEST(TessikGateway, GivesBothOutputsForTwoAndOneSlotForFewer)
{
    ASSERT_TRUE(tessik().loaded());
    CallResult both;
    tessik().call(&both, 2, {matrix(2, 1, {3, 4})});
    ASSERT_FALSE(both.failed) << both.message;
    ASSERT_EQ(both.outputs.size(), 2u);
    EXPECT_EQ(mxGetPr(both.outputs[0])[0], 0.6000000000000001);
    EXPECT_EQ(mxGetM(both.outputs[1]), 1u);
    EXPECT_EQ(mxGetPr(both.outputs[1])[0], 25.0);
    for (int nlhs : {0, 1}) {
        CallResult one;
        long arrays = standin_live_arrays();
        tessik().call(&one, nlhs, {matrix(2, 1, {3, 4})});
        ASSERT_FALSE(one.failed);
        ASSERT_EQ(one.outputs.size(), 1u) << "the host gave one slot";
        EXPECT_EQ(mxGetPr(one.outputs[0])[1], 0.8);
        EXPECT_EQ(standin_live_arrays(), arrays + 1) << "only the returned array lives on";
    }
    CallResult empty;
    tessik().call(&empty, 2, {matrix(0, 3, {})});
    ASSERT_FALSE(empty.failed);
    EXPECT_EQ(mxGetN(empty.outputs[0]), 3u);
    EXPECT_EQ(mxGetM(empty.outputs[1]), 3u);
    EXPECT_EQ(mxGetPr(empty.outputs[1])[2], 0.0);
}

TEST(TessikGateway, RejectsCallsItCannotServeSafely)
{
    CallResult none;
    tessik().call(&none, 1, {});
    EXPECT_EQ(none.identifier, "MATLAB:tessik:nInput");
    std::vector<mxArray *> wrong = {
        standin_create_numeric(mxSINGLE_CLASS, 2, 2, 0), standin_create_numeric(mxINT32_CLASS, 2, 2, 0),
        standin_create_numeric(mxLOGICAL_CLASS, 1, 1, 0), standin_create_string("abc"),
        standin_create_container(mxCELL_CLASS, 1, 1), standin_create_container(mxSTRUCT_CLASS, 1, 1)};
    for (mxArray *input : wrong) {
        CallResult r;
        tessik().call(&r, 2, {input});
        EXPECT_TRUE(r.failed);
        EXPECT_EQ(r.identifier, "MATLAB:tessik:NonDouble");
        EXPECT_EQ(r.message, "Input must be a full double matrix.");
    }
    mxArray *sparse = nullptr;
    standin_error error;
    // A sparse input is only made inside a call, as the host would.
    standin_gateway make_sparse = [](int, mxArray *plhs[], int, const mxArray *[]) {
        plhs[0] = mxCreateSparse(2, 2, 1, mxREAL);
    };
    ASSERT_EQ(standin_call(make_sparse, 1, &sparse, 0, nullptr, &error), 0);
    CallResult r;
    tessik().call(&r, 1, {sparse});
    EXPECT_EQ(r.identifier, "MATLAB:tessik:NonDouble");
    CallResult too_many_rows;
    tessik().call(&too_many_rows, 1, {standin_create_numeric(mxDOUBLE_CLASS, size_t(1) << 31, 0, 0)});
    EXPECT_EQ(too_many_rows.identifier, "MATLAB:tessik:TooLarge");
}
