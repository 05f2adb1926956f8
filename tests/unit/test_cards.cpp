// The cards' field and number rules in the core: what a field's text
// means, the text a value gets, and how lines become fields.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "card_lines.h"
#include "card_numbers.h"
#include "op4_writer.h"

namespace {

double real_of(const char *text, int single = 0, int expected = CARD_NUMBER_DONE)
{
    double value = -1;
    EXPECT_EQ(card_real(text, static_cast<int64_t>(strlen(text)), single, &value), expected) << text;
    return value;
}

TEST(CardNumbers, RealsNeedAPointAndTakeEveryExponentForm)
{
    for (const char *seven : {"7.0", ".7E1", "0.7+1", "70.-1", "7.", "7.0D0", "7.0d0", "+7.", "700.E-2"})
        EXPECT_EQ(real_of(seven), 7.0) << seven;
    EXPECT_EQ(real_of("-7."), -7.0);
    EXPECT_EQ(real_of("1.E+3"), 1000.0);
    EXPECT_EQ(real_of(""), 0.0);
    real_of("7", 0, CARD_NUMBER_NO_POINT);
    for (const char *bad : {"1.5D", "1..5", "x", ".", "1.5E+", "1.5 2", "NaN"})
        real_of(bad, 0, CARD_NUMBER_BAD);
    real_of("1.0D400", 0, CARD_NUMBER_RANGE);
    real_of("1.0E39", 1, CARD_NUMBER_RANGE);
    EXPECT_EQ(real_of("0.1", 1), static_cast<double>(0.1f)) << "single input is the nearest binary32";
    EXPECT_EQ(real_of("0.1"), 0.1);
}

TEST(CardNumbers, IntegersHaveNoPointAndFitThirtyTwoBits)
{
    int64_t value = -1;
    EXPECT_EQ(card_integer("-12", 3, &value), CARD_NUMBER_DONE);
    EXPECT_EQ(value, -12);
    EXPECT_EQ(card_integer("", 0, &value), CARD_NUMBER_DONE);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(card_integer("1.", 2, &value), CARD_NUMBER_POINT);
    EXPECT_EQ(card_integer("3000000000", 10, &value), CARD_NUMBER_RANGE);
    EXPECT_EQ(card_integer("+", 1, &value), CARD_NUMBER_BAD);
}

std::string text_of(double value, int single, int width)
{
    char out[LARGE_FIELD];
    return std::string(out, static_cast<size_t>(format_card_real(value, single, width, out)));
}

TEST(CardNumbers, ShortTextsComeBackBitForBitAndDoublesCarryD)
{
    EXPECT_EQ(text_of(1.5, 0, 8), "1.5D0");
    EXPECT_EQ(text_of(1.5, 1, 8), "1.5");
    EXPECT_EQ(text_of(-2.5e-40, 0, 16), "-2.5D-40");
    EXPECT_EQ(text_of(0.1, 1, 8), ".1");
    EXPECT_EQ(text_of(-0.0, 0, 8), "-0.D0");
    EXPECT_EQ(text_of(NAN, 0, 16), "");
    EXPECT_EQ(text_of(1e39, 1, 16), "") << "beyond single precision";
}

// Random values: every text fits its field and reads back exactly, or
// within half a unit of its last digit.
TEST(CardNumbers, EveryValueFitsItsFieldCorrectlyRounded)
{
    std::mt19937_64 random(7);
    for (int k = 0; k < 20000; ++k) {
        uint64_t bits = random();
        double value;
        memcpy(&value, &bits, 8);
        int single = k % 2, width = k % 4 < 2 ? SMALL_FIELD : LARGE_FIELD;
        if (!std::isfinite(value) || (single && !std::isfinite(static_cast<float>(value))))
            continue;
        std::string text = text_of(value, single, width);
        ASSERT_FALSE(text.empty()) << value;
        ASSERT_LE(static_cast<int>(text.size()), width) << text;
        ASSERT_EQ(text.find_first_of(single ? "DdEe" : "Ee"), std::string::npos) << text;
        double back = 0;
        ASSERT_EQ(card_real(text.data(), static_cast<int64_t>(text.size()), single, &back), CARD_NUMBER_DONE) << text;
        double exact = single ? static_cast<double>(static_cast<float>(value)) : value;
        if (back == exact)
            continue;
        // Not exact: correctly rounded to the digits the text holds.
        size_t end = text.find_first_of("D+-", 1);
        std::string mantissa = text.substr(0, end);
        size_t first = mantissa.find_first_of("123456789");
        int digits = 0;
        for (size_t i = first; i < mantissa.size(); ++i)
            digits += mantissa[i] >= '0' && mantissa[i] <= '9';
        ASSERT_LE(std::fabs(back - exact), 0.5 * std::pow(10.0, 1 - digits) * std::fabs(back) * (1 + 1e-9)) << text;
    }
}

// Records every field the reader hands over, as "index:text@line".
struct Recorder {
    std::vector<std::string> seen;
};

int begin(void *context, const char *name, int64_t line)
{
    static_cast<Recorder *>(context)->seen.push_back(std::string("[") + name + "@" + std::to_string(line));
    return strcmp(name, "SKIP") == 0 ? 0 : 1;
}

int field(void *context, int64_t index, const CardField *f)
{
    if (f->length > 0)
        static_cast<Recorder *>(context)->seen.push_back(std::to_string(index) + ":" + std::string(f->text, static_cast<size_t>(f->length)) +
                                                         "@" + std::to_string(f->line));
    return 0;
}

int end(void *context)
{
    static_cast<Recorder *>(context)->seen.push_back("]");
    return 0;
}

int restart(void *context)
{
    static_cast<Recorder *>(context)->seen.clear();
    return 0;
}

std::vector<std::string> fields_of(const std::string &text, Problem *problem)
{
    op4::TempFile file(op4::Bytes(text.begin(), text.end()));
    static MatrixChannel channel;
    EXPECT_EQ(open_channel(&channel, file.path.c_str()), 0);
    Recorder recorder;
    CardSink sink = {begin, field, end, restart, &recorder};
    clear_problem(problem);
    read_cards(&channel, &sink, problem);
    close_channel(&channel);
    return recorder.seen;
}

TEST(CardLines, SmallLargeFreeAndTabbedLinesGiveTheirFieldsInOrder)
{
    Problem p;
    // A small line, a small continuation (8 more fields), a large one (4 more).
    EXPECT_EQ(fields_of("DMIG    K       7                                               2.\n"
                        "+       3\n"
                        "*                                              1.5\n",
                        &p),
              std::vector<std::string>({"[DMIG@1", "1:K@1", "2:7@1", "8:2.@1", "9:3@2", "19:1.5@3", "]"}));
    // A large free-field line holds 4 data fields; its fifth item is field 10.
    EXPECT_EQ(fields_of("dmig*,k,7,,,2.\n*,,,,1.5\r\n", &p),
              std::vector<std::string>({"[DMIG@1", "1:k@1", "2:7@1", "8:1.5@2", "]"}));
    EXPECT_EQ(fields_of("$ comment\nBEGIN BULK\nSKIP,1,2\n+,3\nDMI\tQ\t0 $ note\nENDDATA\nDMI,R\n", &p),
              std::vector<std::string>({"[SKIP@3", "[DMI@5", "1:Q@5", "2:0@5", "]"}));
    fields_of("DMIG,K,1,2,3,4,5,6,7,8,M,X\n", &p);
    EXPECT_EQ(p.status, PROBLEM_BAD_CARD);
    EXPECT_EQ(p.line, 1);
    fields_of("DMIG    K       1 2\n", &p);
    EXPECT_EQ(p.status, PROBLEM_BAD_CARD) << "blanks inside a field";
}

} // namespace
