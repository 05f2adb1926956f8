// The file's structure: each matrix's header, its column records, its end
// record, the next header. Unlike LOCATEMATRIX, which takes every record
// for a possible header, a record inside a matrix is never taken for one.
#ifndef READER_SCAN_H
#define READER_SCAN_H

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
RecordOutcome SCANHEADER(MatrixEntry *entry);

// Reads the rest of the matrix's column records, through its end record;
// a matrix without one ends before a record of a header's shape, or at the
// end of the file. Notes the encodings it sees.
RecordOutcome SKIPCOLUMNS(MatrixEntry *entry, WordStore *store);

// 1 when the next record has a header's shape (the channel stays put).
int header_follows();

// The encoding's name: "dense", "packed", "large", "value-count" or "mixed".
const char *encoding_name(int encodings);

#endif
