// The tests' own writer of matrix files: builds records byte by byte from
// the layout, sharing nothing with the reader.
#ifndef TESTS_OP4_WRITER_H
#define TESTS_OP4_WRITER_H

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace op4 {

using Bytes = std::string;
using Words = std::vector<uint32_t>;

// Whether the writer writes big-endian files (every 4-byte number
// reversed, a double's high half first); little-endian by default.
inline bool &big_endian()
{
    static bool big = false;
    return big;
}

inline Bytes int32_bytes(int32_t value)
{
    Bytes out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[static_cast<size_t>(big_endian() ? 3 - i : i)] =
            static_cast<char>((static_cast<uint32_t>(value) >> (8 * i)) & 0xFF);
    return out;
}

// One record: payload between two copies of its length.
inline Bytes record(const Bytes &payload)
{
    return int32_bytes(static_cast<int32_t>(payload.size())) + payload +
           int32_bytes(static_cast<int32_t>(payload.size()));
}

inline Bytes name_field(const std::string &name)
{
    Bytes out = name.substr(0, 8);
    out.resize(8, ' ');
    return out;
}

inline Bytes header(int32_t columns, int32_t rows, int32_t form, int32_t value_type, const std::string &name,
                    const Bytes &extra = "")
{
    return record(int32_bytes(columns) + int32_bytes(rows) + int32_bytes(form) + int32_bytes(value_type) +
                  name_field(name) + extra);
}

inline Bytes column(int32_t column_number, int32_t first_row, const Words &words, const Bytes &extra = "")
{
    Bytes payload = int32_bytes(column_number) + int32_bytes(first_row) +
                    int32_bytes(static_cast<int32_t>(words.size()));
    for (uint32_t w : words)
        payload += int32_bytes(static_cast<int32_t>(w));
    return record(payload + extra);
}

inline uint32_t single_word(float value)
{
    uint32_t w;
    memcpy(&w, &value, 4);
    return w;
}

// A double as two words: low half first (high half first in big-endian files).
inline Words double_words(double value)
{
    uint64_t bits;
    memcpy(&bits, &value, 8);
    auto low = static_cast<uint32_t>(bits & 0xFFFFFFFFu), high = static_cast<uint32_t>(bits >> 32);
    return big_endian() ? Words{high, low} : Words{low, high};
}

inline Words singles(std::initializer_list<float> values)
{
    Words out;
    for (float v : values)
        out.push_back(single_word(v));
    return out;
}

inline Words doubles(std::initializer_list<double> values)
{
    Words out;
    for (double v : values)
        for (uint32_t w : double_words(v))
            out.push_back(w);
    return out;
}

inline Words operator+(Words a, const Words &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline uint32_t packed_header(int32_t length, int32_t row)
{
    return static_cast<uint32_t>(length * 65536 + row);
}

// A file in the temporary directory that removes itself.
struct TempFile {
    std::string path;
    explicit TempFile(const Bytes &contents)
    {
        char name[] = "/tmp/op4testXXXXXX";
        int fd = mkstemp(name);
        path = name;
        if (fd >= 0) {
            size_t done = 0;
            while (done < contents.size()) {
                ssize_t n = write(fd, contents.data() + done, contents.size() - done);
                if (n <= 0)
                    break;
                done += static_cast<size_t>(n);
            }
            close(fd);
        }
    }
    ~TempFile() { unlink(path.c_str()); }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;
};

} // namespace op4

#endif
