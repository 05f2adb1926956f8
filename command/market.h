// Matrix Market coordinate and array files, both directions, for the
// shell command: plain memory, no host.
#ifndef COMMAND_MARKET_H
#define COMMAND_MARKET_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// A matrix in compressed sparse columns, or full (column-major) when it
// came from an array file.
struct MarketMatrix {
    int64_t rows = 0, columns = 0;
    bool full = false, complex_values = false;
    std::vector<int64_t> pointers, row_indices;
    std::vector<double> real, imag;
};

// Reads path; "" on success, else what is wrong and on which line.
std::string read_market(const std::string &path, MarketMatrix *m);

// Where a column's entries begin: those of column (0-based) run up to the
// next start; the last start is the entry count. Only columns with
// entries need one, so a matrix of many empty columns costs nothing.
struct ColumnStart {
    int64_t column;
    int64_t start;
};

// Writes a sparse matrix as a coordinate file (values with 17 digits, so
// they read back bit for bit); 0 on success. starts holds at least one.
int write_market(FILE *file, int64_t rows, int64_t columns, const std::vector<ColumnStart> &starts,
                 const int64_t *row_indices, const double *real, const double *imag);

#endif
