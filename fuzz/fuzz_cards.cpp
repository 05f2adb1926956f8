// libFuzzer target: any bytes as a bulk-data file. The card reader must
// end in its matrices or a problem with a status, never read or write
// outside memory, and every matrix it gives must place into compressed
// sparse columns whose pointers never decrease.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

#include "cards.h"

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
        snprintf(path, sizeof path, "/tmp/fuzz_cards_%d.dat", static_cast<int>(getpid()));
    return path;
}

void *resize(void *old, int64_t bytes, void *)
{
    if (bytes == 0) {
        free(old);
        return nullptr;
    }
    return realloc(old, static_cast<size_t>(bytes));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    channel.memory_budget = int64_t(1) << 27;
    atexit([] { unlink(file_path()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *f = fopen(file_path(), "wb");
    if (f == nullptr || fwrite(data, 1, size, f) != size || fclose(f) != 0)
        finding("the input could not be written");
    if (open_channel(&channel, file_path()) != 0)
        finding("the input does not open");
    CardSet set;
    int status = collect_cards(&channel, CardMemory{resize, nullptr}, nullptr, 0, &set);
    close_channel(&channel);
    if (status != 0 && (set.problem->status == PROBLEM_NONE || set.problem->message[0] == '\0'))
        finding("a failure without its problem");
    for (int64_t k = 0; status == 0 && k < set.matrix_count; ++k) {
        if (order_card_labels(&set, k) != 0)
            break;
        const CardMatrix *m = &set.matrices[k];
        int64_t bound = card_entry_bound(&set, k);
        if (m->columns > (int64_t(1) << 22))
            continue; // a header may claim more columns than a fuzzer's memory
        std::vector<int64_t> pointers(static_cast<size_t>(m->columns + 1)), rows(static_cast<size_t>(bound + 1));
        std::vector<double> real(static_cast<size_t>(bound + 1)), imag(static_cast<size_t>(bound + 1));
        CardOutput out = {pointers.data(), rows.data(), real.data(), imag.data()};
        int64_t entries = 0;
        if (place_card_matrix(&set, k, &out, &entries) != 0)
            continue;
        for (int64_t c = 0; c < m->columns; ++c)
            for (int64_t e = pointers[static_cast<size_t>(c)]; e < pointers[static_cast<size_t>(c) + 1]; ++e)
                if (rows[static_cast<size_t>(e)] < 0 || rows[static_cast<size_t>(e)] >= m->rows ||
                    (e > pointers[static_cast<size_t>(c)] && rows[static_cast<size_t>(e)] <= rows[static_cast<size_t>(e) - 1]))
                    finding("a row outside the matrix or out of order");
        if (pointers[static_cast<size_t>(m->columns)] != entries)
            finding("the last pointer is not the entry count");
    }
    release_cards(&set);
    return 0;
}
