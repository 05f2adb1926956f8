// The file's structure: each matrix's header, its column records, its end
// record, the next header. Unlike LOCATEMATRIX, which takes every record
// for a possible header, a record inside a matrix is never taken for one.
#ifndef CODEC_SCAN_H
#define CODEC_SCAN_H

#include <cstdint>

#include "records.h"

// Column encodings seen in a matrix's records.
enum EncodingSeen { SEEN_DENSE = 1, SEEN_PACKED = 2, SEEN_LARGE = 4, SEEN_VALUE_COUNT = 8 };

struct MatrixEntry {
    HeaderRecord header;
    int encodings; // EncodingSeen bits
};

// Reads on to the next matrix's header (a record of a header's shape);
// RECORD_DONE, RECORD_END_OF_FILE, or RECORD_DAMAGED when a length word
// cannot be followed.
RecordOutcome SCANHEADER(MatrixChannel *ch, MatrixEntry *entry);

// Reads the rest of the matrix's column records, through its end record;
// a matrix without one ends before a record of a header's shape, or at the
// end of the file. Notes the encodings it sees.
RecordOutcome SKIPCOLUMNS(MatrixChannel *ch, MatrixEntry *entry, WordStore *store);

// Said of a file whose first record is neither binary nor text.
extern const char NOT_MATRIX_FILE[];

// The next matrix by the file's structure, for every whole-file reader:
// 1 with entry set and the channel behind its records, 0 when there is
// none. Damage in a matrix's records ends the scan after that matrix.
int next_structural_matrix(MatrixChannel *ch, MatrixEntry *entry, WordStore *store);
// The same scan for a matrix whose records were decoded: passes over what
// decoding left of them (nothing when it read the end record).
void finish_structural_matrix(MatrixChannel *ch, MatrixEntry *entry, int end_record_read, WordStore *store);

// How a whole-file reader decodes a matrix. The first matrix of a name is
// the one zorvane finds, and decodes as zorvane decodes it, through
// records of a header's shape; the place of the first such record is
// noted, for the scan to go on from there. A later one of the name ends
// before such a record, as the scan does.
struct HeaderWatch {
    int stop;          // end the matrix before a record of a header's shape
    int64_t header_at; // where the first one lay, or -1
};
// A SparseOutput's matrix_ends_here, with a HeaderWatch as its watch.
int watch_for_headers(MatrixChannel *ch, void *watch);
// The scan's next place after a matrix decoded under the watch.
void finish_watched_matrix(MatrixChannel *ch, MatrixEntry *entry, const HeaderWatch *watch, int end_record_read,
                           WordStore *store);

// 1 when the next record has a header's shape (the channel stays put).
int header_follows(MatrixChannel *ch);

// The encoding's name: "dense", "packed", "large", "value-count" or "mixed".
const char *encoding_name(int encodings);

#endif
