// Saving matrices to a matrix file, for every front end: the existing
// file's own format taken first (when appending), every option checked
// against it, every matrix planned, room for the longest record, the
// records written, and the file completed or left as it was.
#ifndef CODEC_SAVE_H
#define CODEC_SAVE_H

#include <cstdint>

#include "encode.h"
#include "problem.h"

constexpr int32_t NO_FORM = INT32_MIN; // a matrix without a form of its own

// What the options say; given_* tell what the caller chose.
struct SaveOptions {
    int text, big_endian, single, append, digits;
    int given_format, given_byte_order, given_precision, given_form, given_digits;
    int32_t form;
    Encoding encoding;
    int to_standard_output; // write to standard output instead (path names it in messages)
};

SaveOptions default_save_options();

// One matrix to write.
struct SaveItem {
    char name[NAME_LENGTH]; // blank-filled
    MatrixSource source;
    int single;    // the matrix's own precision, when no option sets one
    int32_t form;  // its own form, or NO_FORM
    EncodePlan plan;
};

// 1 when form is one the solvers know; square_needed tells whether it
// needs a square matrix.
int form_is_known(double form, int *square_needed);

// Writes the items to path; 0, or the problem's status with it set.
int save_matrices(MatrixChannel *ch, const char *path, SaveOptions options, SaveItem *items, int64_t count,
                  WordStore *store, Problem *problem);

#endif
