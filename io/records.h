// Matrix file records, whatever the file's kind: the header record and the
// column record, each taken or written whole, binary or text.
#ifndef IO_RECORDS_H
#define IO_RECORDS_H

#include "channel.h"
#include "record_types.h"

// Opens a matrix file for reading and decides, from its first record, its
// kind (text when its first line is a text header) and byte order.
int open_matrix_file(MatrixChannel *ch, const char *path);

RecordOutcome read_header(MatrixChannel *ch, HeaderRecord *header);
// Reads the head and max(word_count, 0) words into the word buffer, or,
// past its size, into the store (when given); view then shows them.
RecordOutcome read_column(MatrixChannel *ch, ColumnHead *head, RecordView *view = nullptr, WordStore *store = nullptr);
// Whether the next record's framing can be followed, without reading it:
// RECORD_DONE, RECORD_END_OF_FILE or RECORD_DAMAGED.
RecordOutcome peek_record(MatrixChannel *ch);
// 1 when the file's first record cannot be followed in either byte order
// and its first line is no text header: no matrix file at all.
int is_foreign_file(MatrixChannel *ch);

// Writing: a file of the given kind and byte order (text has none).
// Appending keeps what the file holds and writes behind it: a file that
// holds something gives its own kind and byte order instead (read before
// anything is written; channel_begin_writing then starts the writing).
// A null path writes to standard output, in place.
int open_matrix_file_for_writing(MatrixChannel *ch, const char *path, int text, int big_endian, int append);
// 1 when the channel appends to a file that holds something.
int appends_to_existing(const MatrixChannel *ch);
// 1 when the file ends where a record ends (a text file with its last
// line end, binary records that tile the file).
int file_ends_at_record(MatrixChannel *ch);
// A text header also sets the values' format (digits) and the integer
// width (wide: 16 characters); binary files ignore both.
int write_header(MatrixChannel *ch, const HeaderRecord *header, int digits, int wide);
int write_column(MatrixChannel *ch, const ColumnHead *head, const uint32_t *words, int64_t count);

#endif
