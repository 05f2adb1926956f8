// Writes the benchmark's matrix files: banded matrices with half bandwidth
// h (2h + 1 nonzeros in a full column), in the three encodings.
//   make_bench_files DIR
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

enum Encoding { DENSE, PACKED, LARGE };

struct Writer {
    FILE *file;
    bool big_endian; // every word reversed, a double's high half first
    bool complex_values; // value type 4: each value followed by an imaginary part

    void record(std::vector<uint32_t> payload, size_t text_from = SIZE_MAX)
    {
        uint32_t length = static_cast<uint32_t>(payload.size() * 4);
        if (big_endian) {
            length = __builtin_bswap32(length);
            for (size_t i = 0; i < payload.size() && i < text_from; ++i)
                payload[i] = __builtin_bswap32(payload[i]);
        }
        fwrite(&length, 4, 1, file);
        fwrite(payload.data(), 4, payload.size(), file);
        fwrite(&length, 4, 1, file);
    }

    void header(int32_t columns, int32_t rows, const char *name)
    {
        std::vector<uint32_t> payload = {static_cast<uint32_t>(columns), static_cast<uint32_t>(rows), 6,
                                         complex_values ? 4u : 2u, 0, 0};
        char field[8];
        memset(field, ' ', 8);
        memcpy(field, name, strnlen(name, 8));
        memcpy(&payload[4], field, 8);
        record(payload, 4);
    }
};

double value(int64_t row, int64_t column) { return 1.0 / static_cast<double>(row + column) + (row == column ? 10.0 : 0.0); }

void push_double(const Writer *w, std::vector<uint32_t> *words, double v)
{
    uint32_t halves[2];
    memcpy(halves, &v, 8);
    words->push_back(halves[w->big_endian ? 1 : 0]);
    words->push_back(halves[w->big_endian ? 0 : 1]);
}

// One banded matrix of n columns; returns its number of nonzeros.
int64_t write_band(Writer *w, const char *name, int32_t n, int32_t h, Encoding encoding)
{
    w->header(n, encoding == LARGE ? -n : n, name);
    int64_t nonzeros = 0;
    std::vector<uint32_t> payload;
    for (int32_t c = 1; c <= n; ++c) {
        int32_t first = c - h < 1 ? 1 : c - h;
        int32_t last = c + h > n ? n : c + h;
        int32_t count = last - first + 1;
        int32_t words = (w->complex_values ? 4 : 2) * count;
        payload.assign({static_cast<uint32_t>(c), static_cast<uint32_t>(encoding == DENSE ? first : 0), 0});
        if (encoding == PACKED)
            payload.push_back(static_cast<uint32_t>((words + 1) * 65536 + first));
        if (encoding == LARGE) {
            payload.push_back(static_cast<uint32_t>(words + 1));
            payload.push_back(static_cast<uint32_t>(first));
        }
        for (int32_t r = first; r <= last; ++r) {
            push_double(w, &payload, value(r, c));
            if (w->complex_values)
                push_double(w, &payload, -0.5 * value(r, c));
        }
        payload[2] = static_cast<uint32_t>(payload.size() - 3);
        w->record(payload);
        nonzeros += count;
    }
    w->record({static_cast<uint32_t>(n + 1), 1, 2, 0, 0});
    return nonzeros;
}

int write_file(const std::string &path, const char *name, int32_t n, int32_t h, Encoding encoding, int before,
               bool big_endian = false, bool complex_values = false)
{
    Writer w{fopen(path.c_str(), "wb"), big_endian, complex_values};
    if (w.file == nullptr)
        return 1;
    for (int k = 1; k <= before; ++k) {
        std::string other = "M" + std::to_string(k);
        write_band(&w, other.c_str(), n, h, encoding);
    }
    int64_t nonzeros = write_band(&w, name, n, h, encoding);
    printf("%s %s %d %lld\n", path.c_str(), name, n, static_cast<long long>(nonzeros));
    return fclose(w.file) != 0;
}

// The dense band matrix as a text file in layout T1 (1P,3E23.16), and its
// numbers alone as a whitespace-separated table, three to a line.
int write_text(const std::string &text_path, const std::string &table_path, int32_t n, int32_t h)
{
    FILE *text = fopen(text_path.c_str(), "w");
    FILE *table = fopen(table_path.c_str(), "w");
    if (text == nullptr || table == nullptr)
        return 1;
    fprintf(text, "%8d%8d%8d%8d%-8s%s\n", n, n, 6, 2, "KTEXT", "1P,3E23.16");
    for (int32_t c = 1; c <= n; ++c) {
        int32_t first = c - h < 1 ? 1 : c - h;
        int32_t last = c + h > n ? n : c + h;
        fprintf(text, "%8d%8d%8d\n", c, first, 2 * (last - first + 1));
        int on_line = 0;
        for (int32_t r = first; r <= last; ++r) {
            fprintf(text, "%23.16E", value(r, c));
            fprintf(table, on_line == 0 ? "%.16E" : " %.16E", value(r, c));
            if (++on_line == 3 || r == last) {
                fputc('\n', text);
                fputc('\n', table);
                on_line = 0;
            }
        }
    }
    fprintf(text, "%8d%8d%8d\n%23.16E\n", n + 1, 1, 2, 0.0);
    printf("%s KTEXT %d\n", text_path.c_str(), n);
    return (fclose(text) != 0) | (fclose(table) != 0);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: make_bench_files DIR\n");
        return 2;
    }
    std::string dir = argv[1];
    int failed = 0;
    failed |= write_file(dir + "/band_large.op4", "KLARGE", 1000000, 15, LARGE, 0);
    failed |= write_file(dir + "/band_dense.op4", "KDENSE", 1000000, 15, DENSE, 0);
    failed |= write_file(dir + "/band_packed.op4", "KPACKED", 60000, 15, PACKED, 0);
    failed |= write_file(dir + "/many.op4", "KLAST", 50000, 3, LARGE, 19);
    failed |= write_file(dir + "/band_200k.op4", "K200K", 200000, 3, LARGE, 0);
    failed |= write_file(dir + "/band_large_be.op4", "KLARGE", 1000000, 15, LARGE, 0, true);
    failed |= write_file(dir + "/band_complex.op4", "KLARGE", 1000000, 15, LARGE, 0, false, true);
    failed |= write_text(dir + "/band_text.op4", dir + "/band_table.txt", 1000000, 15);
    return failed;
}
