// The core without a host: channels side by side, text numbers both ways,
// and writing files that are never links or half-written.
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

#include "core_calls.h"
#include "op4_writer.h"
#include "text_numbers.h"

using namespace op4;

namespace {

struct RecordSeen {
    ColumnHead head;
    std::vector<uint32_t> words;
    bool operator==(const RecordSeen &o) const
    {
        return head.column == o.head.column && head.first_row == o.head.first_row && words == o.words;
    }
};

std::unique_ptr<MatrixChannel> new_channel() { return std::unique_ptr<MatrixChannel>(new MatrixChannel()); }

// The next record of a channel's matrix, or false at its end.
bool next_record(MatrixChannel *ch, std::vector<RecordSeen> *seen)
{
    ColumnHead head;
    RecordView view;
    if (read_column(ch, &head, &view) != RECORD_DONE)
        return false;
    seen->push_back(RecordSeen{head, std::vector<uint32_t>(view.words, view.words + view.count)});
    return true;
}

// The parser takes a field without its blanks, as the text layer hands it over.
double text_double(const char *text)
{
    while (*text == ' ')
        ++text;
    uint32_t words[2];
    EXPECT_EQ(number_words(text, static_cast<int64_t>(strlen(text)), 2, words), 0) << text;
    uint64_t bits = static_cast<uint64_t>(words[1]) << 32 | words[0];
    double value;
    memcpy(&value, &bits, 8);
    return value;
}

float text_single(const char *text)
{
    while (*text == ' ')
        ++text;
    uint32_t words[2];
    EXPECT_EQ(number_words(text, static_cast<int64_t>(strlen(text)), 1, words), 0) << text;
    float value;
    memcpy(&value, &words[0], 4);
    return value;
}

uint64_t bits_of(double v)
{
    uint64_t b;
    memcpy(&b, &v, 8);
    return b;
}

uint32_t bits_of(float v)
{
    uint32_t b;
    memcpy(&b, &v, 4);
    return b;
}

} // namespace

TEST(Channels, TwoFilesReadAlternatelyGiveWhatEachGivesAlone)
{
    TempFile a(header(3, 4, 1, 2, "A") + column(1, 1, doubles({1, 2})) + column(3, 2, doubles({3, 4, 5})) +
               column(4, 1, doubles({0})));
    big_endian() = true;
    TempFile b(header(2, 9, 1, 1, "B") + column(1, 0, Words{packed_header(3, 1), single_word(1), single_word(2)}) +
               column(2, 4, Words{single_word(7)}) + column(3, 1, Words{single_word(0)}));
    big_endian() = false;
    std::vector<RecordSeen> alone[2], together[2];
    const char *paths[2] = {a.path.c_str(), b.path.c_str()};
    for (int k = 0; k < 2; ++k) {
        auto ch = new_channel();
        HeaderRecord h;
        ASSERT_EQ(open_matrix_file(ch.get(), paths[k]), 0);
        ASSERT_EQ(read_header(ch.get(), &h), RECORD_DONE);
        while (next_record(ch.get(), &alone[k]))
            ;
        close_channel(ch.get());
    }
    auto first = new_channel(), second = new_channel();
    MatrixChannel *channels[2] = {first.get(), second.get()};
    for (int k = 0; k < 2; ++k) {
        HeaderRecord h;
        ASSERT_EQ(open_matrix_file(channels[k], paths[k]), 0);
        ASSERT_EQ(read_header(channels[k], &h), RECORD_DONE);
    }
    bool more[2] = {true, true};
    while (more[0] || more[1])
        for (int k = 0; k < 2; ++k)
            more[k] = more[k] && next_record(channels[k], &together[k]);
    EXPECT_EQ(alone[0].size(), 3u);
    EXPECT_EQ(alone[1].size(), 3u);
    EXPECT_TRUE(alone[0] == together[0]);
    EXPECT_TRUE(alone[1] == together[1]);
    EXPECT_STREQ(channel_byte_order_name(channels[1]), "big");
    EXPECT_STREQ(channel_byte_order_name(channels[0]), "little");
    close_channel(channels[0]);
    close_channel(channels[1]);
}

TEST(TextNumbers, EachTextGivesTheNearestValueOfItsPrecision)
{
    // Long digit strings, halfway cases, huge and tiny exponents, against
    // the C library's correctly rounded strtod and strtof.
    const char *cases[] = {"1234567890123456789012345678901234567890.0", "0.1", "2.5", "-0.0",
                           "9007199254740993.0", "1.00000005960464477539062500001", "1.000000059604644775390625",
                           "3.4028235677973366E+38", "3.4028236E+38", "1.4012984643248170E-45", "7.0E-46",
                           "1.0E-46", "2.4703282292062328E-324", "2.4703282292062327E-324", "1.7976931348623158E+308",
                           "1.7976931348623159E+308", "1E400", "-1E-400", "4.9406564584124654E-324",
                           "0.00000000000000000000000000000000000000000000140129846432482"};
    for (const char *text : cases) {
        EXPECT_EQ(bits_of(text_double(text)), bits_of(strtod(text, nullptr))) << text;
        EXPECT_EQ(bits_of(text_single(text)), bits_of(strtof(text, nullptr))) << text;
    }
    // Fortran's own forms.
    EXPECT_EQ(text_double("1.0000000000000000-100"), 1e-100);
    EXPECT_EQ(text_double("9.5556633624219731D+05"), 9.5556633624219731e5);
    EXPECT_EQ(text_double("+2.5E+00"), 2.5);
    EXPECT_EQ(text_single("-1.5d-3"), -1.5e-3f);
    EXPECT_TRUE(std::isnan(text_double("NaN")));
    EXPECT_EQ(text_double("Infinity"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(text_single("-Infinity"), -std::numeric_limits<float>::infinity());
    uint32_t words[2];
    EXPECT_NE(number_words("1.0.0", 5, 2, words), 0);
    EXPECT_NE(number_words("E5", 2, 2, words), 0);
}

TEST(TextNumbers, FormattedValuesReadBackBitForBit)
{
    std::mt19937_64 random(11);
    char field[64];
    for (int k = 0; k < 20000; ++k) {
        uint64_t bits = random();
        double value;
        memcpy(&value, &bits, 8);
        if (!std::isfinite(value))
            continue;
        int width = format_fortran_e(value, 16, 23, field);
        ASSERT_EQ(width, 23);
        EXPECT_EQ(bits_of(text_double(std::string(field, 23).c_str())), bits) << std::string(field, 23);
        auto single = static_cast<float>(value);
        if (!std::isfinite(single))
            continue;
        format_fortran_e(single, 9, 16, field);
        EXPECT_EQ(bits_of(text_single(std::string(field, 16).c_str())), bits_of(single)) << std::string(field, 16);
    }
    format_fortran_e(-1e-100, 3, 10, field);
    EXPECT_EQ(std::string(field, 10), "-1.000-100");
    format_fortran_e(9.9999, 2, 9, field);
    EXPECT_EQ(std::string(field, 9), " 1.00E+01");
}

TEST(Writing, ATemporaryFileIsNeverALinkAndNothingIsLeftOnAbort)
{
    std::string dir = "/tmp/zorvane-writing-" + std::to_string(getpid());
    mkdir(dir.c_str(), 0700);
    std::string path = dir + "/out.op4", victim = dir + "/victim";
    FILE *f = fopen(victim.c_str(), "w");
    fputs("keep", f);
    fclose(f);
    // The first temporary name the channel would take is a link to another file.
    std::string first = path + "." + std::to_string(getpid()) + ".0.tmp";
    ASSERT_EQ(symlink(victim.c_str(), first.c_str()), 0);
    auto ch = new_channel();
    ASSERT_EQ(open_channel_for_writing(ch.get(), path.c_str(), 0), 0);
    ASSERT_EQ(channel_put(ch.get(), "data", 4), 0);
    ASSERT_EQ(commit_channel(ch.get()), 0);
    struct stat status;
    ASSERT_EQ(stat(victim.c_str(), &status), 0);
    EXPECT_EQ(status.st_size, 4);
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_size, 4);
    // Appending, then aborting, cuts the file back; a new file aborted leaves nothing.
    ASSERT_EQ(open_channel_for_writing(ch.get(), path.c_str(), 1), 0);
    ASSERT_EQ(channel_put(ch.get(), "more", 4), 0);
    abort_channel(ch.get());
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_size, 4);
    std::string fresh = dir + "/fresh.op4";
    ASSERT_EQ(open_channel_for_writing(ch.get(), fresh.c_str(), 0), 0);
    ASSERT_EQ(channel_put(ch.get(), "x", 1), 0);
    close_channel(ch.get()); // closing a file being written aborts it
    EXPECT_NE(stat(fresh.c_str(), &status), 0);
    unlink(first.c_str());
    unlink(victim.c_str());
    unlink(path.c_str());
    EXPECT_EQ(rmdir(dir.c_str()), 0) << "nothing else was left in the folder";
}
