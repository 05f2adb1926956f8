// libFuzzer target: a matrix made from the input is written by the core in
// an encoding, byte order, precision and file kind the input chooses, read
// back by the core, and must come back as written: every entry, bit for
// bit in its precision, except what the reader's own rules drop.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

#include "decode.h"
#include "encode.h"
#include "save.h"
#include "scan.h"

namespace {

MatrixChannel channel;

[[noreturn]] void finding(const char *what)
{
    fprintf(stderr, "finding: %s\n", what);
    abort();
}

const char *file_path()
{
    static char path[64];
    if (path[0] == '\0')
        snprintf(path, sizeof path, "/tmp/fuzz_roundtrip_%d.op4", static_cast<int>(getpid()));
    return path;
}

struct Plain {
    std::vector<double> values, imag;
    std::vector<int64_t> rows, pointers;
};

int grow(SparseOutput *out, int64_t slots, void *context)
{
    auto *p = static_cast<Plain *>(context);
    p->values.resize(static_cast<size_t>(slots));
    p->rows.resize(static_cast<size_t>(slots));
    p->imag.resize(static_cast<size_t>(slots));
    out->values = p->values.data();
    out->rows = p->rows.data();
    out->imag = out->imag != nullptr ? p->imag.data() : nullptr;
    out->slots = slots;
    return 0;
}

int grow_pointers(SparseOutput *out, int64_t slots, void *context)
{
    auto *p = static_cast<Plain *>(context);
    p->pointers.resize(static_cast<size_t>(slots));
    out->column_pointers = p->pointers.data();
    out->pointer_slots = slots;
    return 0;
}

double in_precision(double v, int single) { return single ? static_cast<double>(static_cast<float>(v)) : v; }

bool same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || memcmp(&a, &b, 8) == 0; }

std::vector<unsigned char> bytes_of_file()
{
    std::vector<unsigned char> bytes;
    FILE *f = fopen(file_path(), "rb");
    if (f == nullptr)
        return bytes;
    for (int c; (c = fgetc(f)) != EOF;)
        bytes.push_back(static_cast<unsigned char>(c));
    fclose(f);
    return bytes;
}

// Appending with options the input chooses to a file of a kind it chooses:
// a refused append leaves the file as it was; an accepted one leaves both
// matrices, the appended one whole.
void check_append(uint8_t choice, uint8_t digits, SaveItem *item)
{
    SaveOptions first = default_save_options();
    first.text = choice & 1;
    first.big_endian = (choice >> 1) & 1;
    SaveItem one = {{'F', 'I', 'R', 'S', 'T', ' ', ' ', ' '}, {1, 1, nullptr, nullptr, nullptr, nullptr}, 0, NO_FORM, {}};
    double value = 2.5;
    one.source.real = &value;
    Problem problem;
    if (save_matrices(&channel, file_path(), first, &one, 1, nullptr, &problem) != 0)
        finding(problem.message);
    std::vector<unsigned char> before = bytes_of_file();
    SaveOptions o = default_save_options();
    o.append = 1;
    o.given_format = (choice >> 2) & 1, o.text = (choice >> 3) & 1;
    o.given_byte_order = (choice >> 4) & 1, o.big_endian = (choice >> 5) & 1;
    o.given_digits = (choice >> 6) & 1, o.digits = 1 + digits % 20;
    o.encoding = (choice >> 7) & 1 ? ENCODING_VALUE_COUNT : ENCODING_AUTO;
    if (save_matrices(&channel, file_path(), o, item, 1, nullptr, &problem) != 0) {
        if (bytes_of_file() != before)
            finding("a refused append changed the file");
        return;
    }
    if (open_matrix_file(&channel, file_path()) != 0)
        finding("the appended file does not open");
    MatrixEntry entry;
    int count = 0;
    while (next_structural_matrix(&channel, &entry, nullptr))
        ++count;
    close_channel(&channel);
    if (count != 2)
        finding("an accepted append did not leave both matrices");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    channel.memory_budget = int64_t(1) << 28;
    atexit([] { unlink(file_path()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    // The choices, then the shape, then entries: row steps and values.
    int text = data[0] & 1, big = (data[0] >> 1) & 1, single = (data[0] >> 2) & 1, complex_values = (data[0] >> 3) & 1;
    auto encoding = static_cast<Encoding>(data[0] >> 4 & 3);
    if ((data[0] >> 6) & 1)
        encoding = ENCODING_VALUE_COUNT;
    if (text && encoding == ENCODING_VALUE_COUNT)
        encoding = ENCODING_PACKED;
    int64_t rows = 1 + data[1] % 40 + ((data[3] & 1) ? 70000 : 0), columns = 1 + data[2] % 12;
    if (encoding == ENCODING_PACKED || encoding == ENCODING_VALUE_COUNT)
        rows = rows > LARGE_ROW_BOUND ? LARGE_ROW_BOUND : rows;
    std::vector<int64_t> pointers(1, 0), row_indices;
    std::vector<double> real, imag;
    size_t at = 4;
    for (int64_t c = 0; c < columns; ++c) {
        for (int64_t row = -1; at < size;) {
            row += 1 + data[at++] % 4;
            if (row >= rows || at + 8 > size)
                break;
            double re;
            memcpy(&re, data + at, 8);
            at += 8;
            if (single && std::isfinite(re) && !std::isfinite(static_cast<float>(re)))
                re = 1.5; // beyond single precision is an error of its own
            row_indices.push_back(row);
            real.push_back(re);
            imag.push_back(complex_values ? re / 4 - 1 : 0.0);
        }
        pointers.push_back(static_cast<int64_t>(row_indices.size()));
    }
    MatrixSource source = {rows, columns, pointers.data(), row_indices.data(), real.data(),
                           complex_values ? imag.data() : nullptr};
    if ((data[3] >> 1) & 1) {
        SaveItem item = {{'A', 'P', ' ', ' ', ' ', ' ', ' ', ' '}, source, single, NO_FORM, {}};
        check_append(data[0], data[1], &item);
        return 0;
    }
    EncodePlan plan;
    char problem[PROBLEM_LENGTH];
    char name[NAME_LENGTH] = {'R', 'T', ' ', ' ', ' ', ' ', ' ', ' '};
    int digits = single ? 9 : 16;
    if (plan_encoding(text, &source, name, 1, single, encoding, digits, &plan, problem) != ENCODE_DONE)
        finding("a matrix that fits was refused");
    if (open_matrix_file_for_writing(&channel, file_path(), text, big, 0) != 0)
        finding("the file could not be opened for writing");
    int written = ENCODEMATRIX(&channel, &source, &plan, nullptr, problem);
    // Value-count strings too small to tell from packed ones are refused.
    if (written == ENCODE_ENCODING && plan.encoding == ENCODING_VALUE_COUNT && strstr(problem, "read back as packed")) {
        abort_channel(&channel);
        return 0;
    }
    if (written != ENCODE_DONE || commit_channel(&channel) != 0)
        finding("the matrix could not be written");

    // Read back through the structural scan and decoding.
    if (open_matrix_file(&channel, file_path()) != 0)
        finding("the written file does not open");
    MatrixEntry entry;
    if (SCANHEADER(&channel, &entry) != RECORD_DONE)
        finding("the written header is not found");
    MatrixPlan read_plan;
    if (plan_matrix(&channel, &entry.header, 0, &read_plan, problem) != DECODE_DONE)
        finding(problem);
    Plain back;
    SparseOutput out = {};
    double first_imag = 0;
    out.imag = complex_values ? &first_imag : nullptr;
    out.grow = grow;
    out.grow_pointers = grow_pointers;
    out.context = &back;
    grow(&out, read_plan.initial_slots, &back);
    grow_pointers(&out, read_plan.pointer_slots, &back);
    int32_t status = -1;
    int end_record_read = 0;
    DECODECOLUMNS(&channel, &out, &read_plan, &status, problem, &end_record_read);
    close_channel(&channel);
    if (status != DECODE_DONE)
        finding(problem);
    // Dense records and single-precision packed strings drop tiny values and NaN.
    int drops = plan.encoding == ENCODING_DENSE || (single && plan.encoding != ENCODING_LARGE);
    double threshold = single ? static_cast<double>(1e-32f) : 1e-32;
    size_t k = 0;
    for (int64_t c = 0; c < columns; ++c)
        for (int64_t e = pointers[static_cast<size_t>(c)]; e < pointers[static_cast<size_t>(c) + 1]; ++e) {
            double re = in_precision(real[static_cast<size_t>(e)], single);
            double im = complex_values ? in_precision(imag[static_cast<size_t>(e)], single) : 0.0;
            bool kept = !drops || std::fabs(re) > threshold || (complex_values && std::fabs(im) > threshold);
            if (!kept)
                continue;
            if (k >= static_cast<size_t>(back.pointers[static_cast<size_t>(c) + 1]) ||
                static_cast<int64_t>(k) < back.pointers[static_cast<size_t>(c)] || back.rows[k] != row_indices[static_cast<size_t>(e)] ||
                !same(back.values[k], re) || (complex_values && !same(back.imag[k], im)))
                finding("an entry did not come back as written");
            ++k;
        }
    if (static_cast<int64_t>(k) != back.pointers[static_cast<size_t>(columns)])
        finding("more entries came back than were written");
    return 0;
}
