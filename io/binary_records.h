// Binary records: each payload between two copies of its length, every
// number in the file's byte order; both directions.
#ifndef IO_BINARY_RECORDS_H
#define IO_BINARY_RECORDS_H

#include "channel.h"
#include "record_types.h"

// 1 when a record starting at offset can be followed in the given byte
// order: its length fits the file and the trailing word repeats it.
int binary_framing_holds(MatrixChannel *ch, int64_t offset, int big_endian);

// 1 when the file's records follow one another up to its very end.
int binary_records_tile(MatrixChannel *ch, int big_endian);

RecordOutcome binary_read_header(MatrixChannel *ch, HeaderRecord *header);
// Reads the head and max(word_count, 0) words into the word buffer, or,
// past its size, into the store (when given); view then shows them.
RecordOutcome binary_read_column(MatrixChannel *ch, ColumnHead *head, RecordView *view, WordStore *store);

// Writing: a header record, and a column record whose count words (in the
// machine's order, doubles' halves already in the file's order) follow
// the head. 0 on success.
int binary_write_header(MatrixChannel *ch, const HeaderRecord *header);
int binary_write_column(MatrixChannel *ch, const ColumnHead *head, const uint32_t *words, int64_t count);

#endif
