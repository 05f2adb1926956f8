// Matrix file records: the file channel, and the two reads (header read and
// column read) that each take exactly one record.
#ifndef READER_RECORDS_H
#define READER_RECORDS_H

#include <cstdint>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the file format is little-endian");

constexpr int32_t WORD_BUFFER_WORDS = 1000000;
constexpr int NAME_LENGTH = 8;
constexpr int FILE_NAME_LENGTH = 80;

// Outcome of one read.
enum RecordOutcome {
    RECORD_DONE = 0,
    RECORD_END_OF_FILE = 1, // no further record starts
    RECORD_READ_ERROR = 2,  // payload too short for the items; record used up
    RECORD_DAMAGED = 3,     // framing that cannot be followed; the channel is stuck
    RECORD_OVERSIZED = 4    // column record with more words than the buffer holds
};

// Word k of the record read last (k from 1) is word_buffer[k - 1]. Static,
// zero at load, never cleared.
extern uint32_t word_buffer[WORD_BUFFER_WORDS];

// Opens the channel read-only on a regular file; 0 on success, 1 on failure.
// An open channel is closed first.
int open_channel(const char *path);
void close_channel();
int channel_is_open();
// Closes the file but keeps the place, so that the host may end the call
// (when it cannot create the output) without leaving a file open.
void suspend_channel();
// Reopens the suspended file at its place; 0 when it is still the same
// file, 1 otherwise (the channel then stays closed).
int resume_channel();
// Bytes from the position to the end of the file.
int64_t channel_remaining();

struct HeaderRecord {
    int32_t column_count;
    int32_t row_count;
    int32_t form;
    int32_t value_type;
    char name[NAME_LENGTH];
};

struct ColumnHead {
    int32_t column;
    int32_t first_row;
    int32_t word_count;
};

RecordOutcome read_header(HeaderRecord *header);
// Reads the head and max(word_count, 0) words into the word buffer.
RecordOutcome read_column(ColumnHead *head);

#endif
