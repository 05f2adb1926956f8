// Record reading and locating, on files from the tests' own writer.
#include <cmath>
#include <limits>
#include <string>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "op4_writer.h"
#include "core_calls.h"

using namespace op4;

namespace {

struct Located {
    int32_t selector = 7, rows = 0, columns = 0, value_type = 0, status = -1;
    std::string printed;
};

std::string field(const std::string &text, size_t length)
{
    std::string out = text.substr(0, length);
    out.resize(length, ' ');
    return out;
}

Located locate(const std::string &path, const std::string &name, double third = 0.0)
{
    Located result;
    std::string wanted = field(name, NAME_LENGTH);
    auto listen = [](const char name_field[NAME_LENGTH], void *out) {
        *static_cast<std::string *>(out) += std::string(name_field, NAME_LENGTH) + "\n";
    };
    HeaderRecord header = {};
    LOCATEMATRIX(test_channel(), path.c_str(), wanted.data(), third, &result.selector, &header, listen,
                 &result.printed, &result.status);
    result.rows = header.row_count;
    result.columns = header.column_count;
    result.value_type = header.value_type;
    return result;
}

class Records : public ::testing::Test {
  protected:
    void TearDown() override { close_channel(test_channel()); }
};

} // namespace

TEST_F(Records, HeaderPayloadsOf24AndMoreBytesReadTheSame)
{
    TempFile file(header(3, -5, 2, 2, "KAA") + header(4, 6, 1, 1, "LONG", Bytes(40, 'z')) + column(1, 1, {7}));
    ASSERT_EQ(open_matrix_file(test_channel(), file.path.c_str()), 0);
    HeaderRecord h{};
    ASSERT_EQ(read_header(test_channel(), &h), RECORD_DONE);
    EXPECT_EQ(h.column_count, 3);
    EXPECT_EQ(h.row_count, -5);
    EXPECT_EQ(h.value_type, 2);
    EXPECT_EQ(std::string(h.name, 8), "KAA     ");
    ASSERT_EQ(read_header(test_channel(), &h), RECORD_DONE);
    EXPECT_EQ(h.column_count, 4);
    EXPECT_EQ(std::string(h.name, 8), "LONG    ");
    ColumnHead c{};
    ASSERT_EQ(read_column(test_channel(), &c), RECORD_DONE) << "the next read starts with the following record";
    EXPECT_EQ(c.column, 1);
    EXPECT_EQ(test_channel()->words[0], 7u);
    EXPECT_EQ(read_column(test_channel(), &c), RECORD_END_OF_FILE);
}

TEST_F(Records, EmptyAndShortPayloadsAreReadErrorsThatUseUpTheRecord)
{
    TempFile file(record("") + record(Bytes(23, 'A')) + record("") + column(2, 0, {5, 6}));
    ASSERT_EQ(open_matrix_file(test_channel(), file.path.c_str()), 0);
    HeaderRecord h{};
    ColumnHead c{};
    EXPECT_EQ(read_header(test_channel(), &h), RECORD_READ_ERROR);
    EXPECT_EQ(read_header(test_channel(), &h), RECORD_READ_ERROR);
    EXPECT_EQ(read_column(test_channel(), &c), RECORD_READ_ERROR);
    EXPECT_EQ(read_header(test_channel(), &h), RECORD_READ_ERROR) << "a column record of 2 words is too short for a header";
    EXPECT_EQ(read_header(test_channel(), &h), RECORD_END_OF_FILE);
    EXPECT_EQ(read_header(test_channel(), &h), RECORD_END_OF_FILE) << "end of file does not move the position";
}

TEST_F(Records, ColumnRecordReadAsHeaderGivesDataWordsTwoAndThreeAsName)
{
    Bytes name = "ABCDEFGH";
    uint32_t w2, w3;
    memcpy(&w2, name.data(), 4);
    memcpy(&w3, name.data() + 4, 4);
    TempFile file(column(1, 1, {9, w2, w3}));
    ASSERT_EQ(open_matrix_file(test_channel(), file.path.c_str()), 0);
    HeaderRecord h{};
    ASSERT_EQ(read_header(test_channel(), &h), RECORD_DONE);
    EXPECT_EQ(h.column_count, 1);
    EXPECT_EQ(h.value_type, 9);
    EXPECT_EQ(std::string(h.name, 8), name);
}

TEST_F(Records, WordCountsAtAndBelowZeroOrAboveTheBufferTakeNoWords)
{
    TempFile file(column(1, 1, {11, 12}) + record(int32_bytes(2) + int32_bytes(1) + int32_bytes(-4)) +
                  record(int32_bytes(3) + int32_bytes(1) + int32_bytes(0)) +
                  record(int32_bytes(4) + int32_bytes(1) + int32_bytes(1000001)) +
                  record(int32_bytes(5) + int32_bytes(1) + int32_bytes(3) + int32_bytes(99)) + column(6, 1, {13}));
    ASSERT_EQ(open_matrix_file(test_channel(), file.path.c_str()), 0);
    ColumnHead c{};
    ASSERT_EQ(read_column(test_channel(), &c), RECORD_DONE);
    ASSERT_EQ(read_column(test_channel(), &c), RECORD_DONE);
    EXPECT_EQ(c.word_count, -4);
    ASSERT_EQ(read_column(test_channel(), &c), RECORD_DONE);
    EXPECT_EQ(read_column(test_channel(), &c), RECORD_OVERSIZED);
    EXPECT_EQ(read_column(test_channel(), &c), RECORD_READ_ERROR) << "a record shorter than its word count";
    EXPECT_EQ(test_channel()->words[0], 11u);
    EXPECT_EQ(test_channel()->words[1], 12u);
    ASSERT_EQ(read_column(test_channel(), &c), RECORD_DONE);
    EXPECT_EQ(c.column, 6);
    EXPECT_EQ(test_channel()->words[0], 13u);
    EXPECT_EQ(test_channel()->words[1], 12u) << "higher words keep what earlier reads left";
}

TEST_F(Records, LengthWordsThatCannotBeFollowedStickTheChannel)
{
    const Bytes good = header(1, 1, 1, 1, "A");
    const Bytes cases[] = {
        int32_bytes(-8) + Bytes(16, 'x'),                 // negative length
        int32_bytes(1000) + Bytes(24, 'x'),               // runs past the end
        Bytes(2, 'x'),                                    // ends inside a length word
        int32_bytes(24) + Bytes(24, 'x') + Bytes(2, 'x'), // ends inside the trailing word
        int32_bytes(24) + Bytes(24, 'x') + int32_bytes(25) + good, // trailing word differs
    };
    for (const Bytes &damage : cases) {
        TempFile file(good + damage + good);
        ASSERT_EQ(open_matrix_file(test_channel(), file.path.c_str()), 0);
        HeaderRecord h{};
        ASSERT_EQ(read_header(test_channel(), &h), RECORD_DONE);
        EXPECT_EQ(read_header(test_channel(), &h), RECORD_DAMAGED);
        EXPECT_EQ(read_header(test_channel(), &h), RECORD_DAMAGED) << "no read goes on past damaged framing";
        close_channel(test_channel());
    }
}

TEST_F(Records, OpenFailsWithoutARegularFileAndNeverCreatesOne)
{
    EXPECT_EQ(open_matrix_file(test_channel(), "/tmp/op4-no-such-file-here"), 1);
    EXPECT_NE(access("/tmp/op4-no-such-file-here", F_OK), 0);
    EXPECT_EQ(open_matrix_file(test_channel(), "/tmp"), 1);
    EXPECT_EQ(channel_is_open(test_channel()), 0);
}

TEST(Selector, TruncatesTowardZeroAndMapsTheRestToTheMinimum)
{
    EXPECT_EQ(selector_from_double(0.9), 0);
    EXPECT_EQ(selector_from_double(-0.9), 0);
    EXPECT_EQ(selector_from_double(1.7), 1);
    EXPECT_EQ(selector_from_double(-2.5), -2);
    EXPECT_EQ(selector_from_double(2147483647.9), 2147483647);
    EXPECT_EQ(selector_from_double(-2147483648.9), INT32_MIN);
    EXPECT_EQ(selector_from_double(2147483648.0), INT32_MIN);
    EXPECT_EQ(selector_from_double(std::nan("")), INT32_MIN);
    EXPECT_EQ(selector_from_double(-std::numeric_limits<double>::infinity()), INT32_MIN);
}

TEST_F(Records, LocateFindsTheFirstOfTwoEqualNamesAndStopsBehindIt)
{
    TempFile file(header(2, 3, 2, 2, "KAA", Bytes(8, '\0')) + column(1, 1, {4, 5}) + header(7, 7, 1, 1, "KAA"));
    Located found = locate(file.path, "KAA", 1.5);
    EXPECT_EQ(found.status, LOCATE_FOUND);
    EXPECT_EQ(found.columns, 2);
    EXPECT_EQ(found.rows, 3);
    EXPECT_EQ(found.value_type, 2);
    EXPECT_EQ(found.selector, 1);
    ColumnHead c{};
    ASSERT_EQ(read_column(test_channel(), &c), RECORD_DONE);
    EXPECT_EQ(c.column, 1);
    EXPECT_EQ(test_channel()->words[1], 5u);
}

TEST_F(Records, NamesCompareBlankFilledAndCaseSensitive)
{
    TempFile file(header(1, 1, 1, 1, "ab") + header(2, 2, 1, 1, "KGG"));
    EXPECT_EQ(locate(file.path, "KGG").columns, 2);
    close_channel(test_channel());
    EXPECT_EQ(locate(file.path, "kgg").status, LOCATE_NOT_FOUND);
    close_channel(test_channel());
    EXPECT_EQ(locate(file.path, "AB").status, LOCATE_NOT_FOUND);
    close_channel(test_channel());
    EXPECT_EQ(locate(file.path, "ab").status, LOCATE_FOUND);
}

TEST_F(Records, PrintableNamesLieBetweenBlankAndLowercaseZ)
{
    const struct {
        char byte;
        bool printable;
    } cases[] = {{'z', true}, {'`', true}, {' ', true}, {'{', false}, {'~', false},
                 {'\x7f', false}, {'\x80', false}, {'\xff', false}, {'\x1f', false}};
    for (const auto &c : cases) {
        std::string name = std::string("N") + c.byte + "AME";
        TempFile file(header(1, 1, 1, 1, name));
        Located found = locate(file.path, name);
        EXPECT_EQ(found.status, c.printable ? LOCATE_FOUND : LOCATE_NOT_FOUND) << int(c.byte);
        close_channel(test_channel());
        Located listed = locate(file.path, "XXXXXXXX");
        EXPECT_EQ(listed.printed, c.printable ? field(name, 8) + "\n" : "") << int(c.byte);
        close_channel(test_channel());
    }
}

TEST_F(Records, ListModePrintsEveryPrintableNameInOrderAndFindsNothing)
{
    Bytes matrix_columns = column(1, 1, {1, 0xFFFFFFFFu, 0xFFFFFFFFu}) + column(2, 0, {2});
    TempFile file(header(2, 2, 1, 1, "KAA") + matrix_columns + header(2, 2, 1, 1, "XXXXXXXX") + matrix_columns +
                  header(2, 2, 1, 1, "M_1") + matrix_columns);
    Located listed = locate(file.path, "XXXXXXXX");
    EXPECT_EQ(listed.status, LOCATE_NOT_FOUND);
    EXPECT_EQ(listed.printed, "KAA     \nXXXXXXXX\nM_1     \n");
}

TEST_F(Records, EmptyFilesShortRecordsAndDamageEndTheScanAsNotFound)
{
    TempFile empty("");
    EXPECT_EQ(locate(empty.path, "KAA").status, LOCATE_NOT_FOUND);
    close_channel(test_channel());
    TempFile short_records(record("") + column(1, 1, {1, 2}) + record(Bytes(20, 'K')));
    Located listed = locate(short_records.path, "XXXXXXXX");
    EXPECT_EQ(listed.status, LOCATE_NOT_FOUND);
    EXPECT_EQ(listed.printed, "");
    close_channel(test_channel());
    TempFile damaged(header(1, 1, 1, 1, "A") + int32_bytes(-1) + header(1, 1, 1, 1, "B"));
    Located after_damage = locate(damaged.path, "XXXXXXXX");
    EXPECT_EQ(after_damage.status, LOCATE_NOT_FOUND);
    EXPECT_EQ(after_damage.printed, "A       \n");
}

TEST_F(Records, AFileThatDoesNotOpenStillSetsTheSelector)
{
    Located result = locate("/tmp/op4-no-such-file-here", "KAA", std::nan(""));
    EXPECT_EQ(result.status, LOCATE_NOT_OPENED);
    EXPECT_EQ(result.selector, INT32_MIN);
    EXPECT_EQ(locate("", "KAA").status, LOCATE_NOT_OPENED) << "an all-blank file name";
}

TEST_F(Records, AFileNameOfEightyCharactersIsUsedWhole)
{
    std::string dir = "/tmp/op4-long-name-dir";
    mkdir(dir.c_str(), 0700);
    std::string path = dir + "/" + std::string(80 - dir.size() - 1, 'f');
    ASSERT_EQ(path.size(), 80u);
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    Bytes contents = header(1, 1, 1, 1, "A");
    fwrite(contents.data(), 1, contents.size(), f);
    fclose(f);
    EXPECT_EQ(locate(path, "A").status, LOCATE_FOUND);
    close_channel(test_channel());
    unlink(path.c_str());
    rmdir(dir.c_str());
}
