// Writes the fuzzers' seed corpus: small valid files of every encoding and
// layout, each behind the reader fuzzer's two control bytes.
//   make_corpus DIR
#include <cstdio>
#include <string>

#include "op4_writer.h"

using namespace op4;

namespace {

int seed(const std::string &dir, const std::string &name, unsigned char selector, unsigned char wanted,
         const Bytes &file)
{
    FILE *f = fopen((dir + "/" + name).c_str(), "wb");
    if (f == nullptr)
        return 1;
    fputc(selector, f);
    fputc(wanted, f);
    fwrite(file.data(), 1, file.size(), f);
    return fclose(f) != 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    std::string dir = argv[1];
    const unsigned char KAA = 1, M = 2, LIST = 0;
    Bytes dense_single = header(3, 3, 1, 1, "KAA") + column(1, 1, singles({1.5f, 0.0f, -2.5f})) +
                         column(3, 2, singles({4, 5})) + column(4, 1, singles({0}));
    Bytes dense_double = header(2, 4, 2, 2, "KAA") + column(1, 2, doubles({1.0, -2.5})) +
                         column(2, 1, doubles({3, 0, 1e-40, 7}));
    Bytes packed_single = header(2, 9, 1, 1, "M") + column(2, 0, Words{packed_header(3, 1)} + singles({1.5f, 2}) +
                                                                   Words{packed_header(2, 4)} + singles({3})) +
                          column(3, 1, {});
    Bytes packed_double = header(5, 10, 1, 2, "M") + column(1, 0, Words{packed_header(5, 1)} + doubles({0, 4.5})) +
                          column(5, 0, Words{packed_header(7, 3)} + doubles({1, 2, 3})) + column(6, 1, {});
    Bytes large_double = header(2, -70000, 1, 2, "A") +
                         column(1, 0, Words{5, 69999} + doubles({1.0, 2.0}) + Words{1, 7}) +
                         column(2, 0, Words{3, 2} + doubles({4.0})) + column(3, 1, {});
    Bytes complex_double = header(2, 3, 1, 4, "KAA") + column(1, 1, doubles({1, 2, 0, 1e-40})) +
                           column(2, 0, Words{packed_header(5, 2)} + doubles({3, -4})) + column(3, 1, {});
    Bytes complex_single = header(2, 3, 1, 3, "M") + column(2, 0, Words{packed_header(3, 1)} + singles({1, 2})) +
                           column(2, 1, singles({5, 6})) + column(3, 1, {});
    Bytes value_count = header(3, 9, 6, 2, "A") +
                        column(1, 0, Words{packed_header(2, 1)} + doubles({1.5, 2.5}) + Words{packed_header(1, 5)} +
                                         doubles({7})) +
                        column(3, 0, Words{packed_header(1, 3)} + doubles({4})) + column(4, 1, singles({0}));
    Bytes large_single = header(2, -70000, 1, 1, "A") + column(2, 0, Words{3, 1} + singles({1, 2})) + column(3, 1, {});
    big_endian() = true;
    Bytes big_endian_file = header(2, 4, 2, 2, "KAA") + column(1, 2, doubles({1.0, -2.5})) +
                            column(2, 0, Words{packed_header(3, 1)} + doubles({3}));
    big_endian() = false;
    Bytes text_t1 = "       2       3       2       2KAA     1P,3E23.16\n       1       1       6\n"
                    " 1.0000000000000000E+00-2.5000000000000000E+00 3.0000000000000000+100\n"
                    "       2       0       5\n  327682\n 4.0000000000000000D+00-1.0000000000000000-100\n"
                    "       3       1       2\n 0.0000000000000000E+00\n";
    Bytes text_t2 = "             3        70000           -6            3     A\r\n                1               1"
                    "               2\r\n   1.5D+00  -2.5D+00\r\n                3              -2               2\r\n"
                    "   7.0D+00   8.0D+00  9.0 -1.0\r\n                4               1               1\r\n   0.0D+00\r\n";
    int failed = 0;
    failed |= seed(dir, "text_t1", 1, KAA, text_t1);
    failed |= seed(dir, "text_t2", 2, 3, text_t2);
    failed |= seed(dir, "complex_double", 2, KAA, complex_double);
    failed |= seed(dir, "complex_single", 1, M, complex_single);
    failed |= seed(dir, "value_count", 3, 3, value_count);
    failed |= seed(dir, "large_single", 3, 3, large_single);
    failed |= seed(dir, "big_endian", 0, KAA, big_endian_file);
    failed |= seed(dir, "dense_single", 0, KAA, dense_single);
    failed |= seed(dir, "dense_double_upper", 1, KAA, dense_double);
    failed |= seed(dir, "packed_single_lower", 3, M, packed_single);
    failed |= seed(dir, "packed_double", 2, M, packed_double);
    failed |= seed(dir, "large_double", 0, 3, large_double);
    failed |= seed(dir, "list_all", 0, LIST, dense_single + packed_double + large_double);
    failed |= seed(dir, "second_of_two", 0, M, dense_double + packed_double + packed_single);
    return failed;
}
