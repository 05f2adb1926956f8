// Encoding a matrix into a matrix file's records: the header, one column
// record for each column that has entries, the end record; dense, packed
// strings, value-count strings or large-matrix strings, binary or text.
#ifndef CODEC_ENCODE_H
#define CODEC_ENCODE_H

#include <cstdint>

#include "records.h"

enum Encoding { ENCODING_AUTO, ENCODING_DENSE, ENCODING_PACKED, ENCODING_LARGE, ENCODING_VALUE_COUNT };
enum EncodeStatus { ENCODE_DONE = 0, ENCODE_ENCODING = 1, ENCODE_RANGE = 2, ENCODE_CANNOT_WRITE = 3, ENCODE_NO_MEMORY = 4 };

// A matrix as the front end holds it: compressed sparse columns (0-based
// rows, sorted), or a full column-major array when column_pointers is
// null. Entries of a full matrix are its nonzeros (NaN counts as one).
struct MatrixSource {
    int64_t rows;
    int64_t columns;
    const int64_t *column_pointers;
    const int64_t *row_indices;
    const double *real;
    const double *imag; // null for a real matrix
};

// How a matrix is written.
struct EncodePlan {
    HeaderRecord header;
    Encoding encoding;      // never ENCODING_AUTO once planned
    int single;             // values rounded to binary32
    int digits;             // text: digits after the point
    int wide;               // text: integer fields of 16 characters
    int64_t string_values;  // packed and value-count: values a string holds at most
};

// 1 when the matrix equals its transpose exactly (NaN never equals).
int matrix_is_symmetric(const MatrixSource *source);
// The form a matrix gets by default: 2 rectangular, 6 symmetric, else 1.
int32_t default_form(const MatrixSource *source);

// Plans the matrix named name (blank-filled) for a text or binary file;
// ENCODE_DONE, or ENCODE_ENCODING with problem set.
int plan_encoding(int text, const MatrixSource *source, const char name[NAME_LENGTH], int32_t form,
                  int single, Encoding encoding, int digits, EncodePlan *plan, char problem[PROBLEM_LENGTH]);

// The most words a column record of the planned matrix needs (a bound
// when that lies within the word buffer).
int64_t longest_record_bound(const MatrixSource *source, const EncodePlan *plan);

// Writes the matrix's records; a status other than ENCODE_DONE with
// problem set. Columns longer than the word buffer go through store.
int ENCODEMATRIX(MatrixChannel *ch, const MatrixSource *source, const EncodePlan *plan, WordStore *store,
                 char problem[PROBLEM_LENGTH]);

#endif
