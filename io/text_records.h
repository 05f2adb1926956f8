// Text (formatted) matrix files as the same header and column records as
// binary ones, both directions. Two layouts: T1, fixed-width fields with
// the values' Fortran format in the header line, and T2, free-width fields
// with each string of a sparse column on a line of its own.
#ifndef IO_TEXT_RECORDS_H
#define IO_TEXT_RECORDS_H

#include "channel.h"
#include "record_types.h"

// 1 when the file's first line is a text header (the position is left at 0).
int text_file_starts(MatrixChannel *ch);
RecordOutcome text_read_header(MatrixChannel *ch, HeaderRecord *header);
// On RECORD_DAMAGED, ch->problem says what and on which line.
RecordOutcome text_read_column(MatrixChannel *ch, ColumnHead *head, RecordView *view, WordStore *store);
// The line number of the column record read last (for messages).
int64_t text_record_line(MatrixChannel *ch);
// The line of the column record read last that holds its word (from 1);
// the column line itself for word 0.
int64_t text_word_line(MatrixChannel *ch, int64_t word);

// Writing T1: the header line with the format 1P,kEw.d (w = digits + 7),
// every integer field 16 wide when wide is set; a column record whose
// words are laid out as in a binary record (dense values, packed strings
// H then values, or large strings L, R then values). 0 on success.
int text_write_header(MatrixChannel *ch, const HeaderRecord *header, int digits, int wide);
int text_write_column(MatrixChannel *ch, const ColumnHead *head, const uint32_t *words, int64_t count);

#endif
