// The host side of decoding, shared by the gateways: a located matrix into
// a new host sparse matrix, the call's own memory, and the one place where
// a call that opened the file ends in an error.
#ifndef READER_HOST_OUTPUT_H
#define READER_HOST_OUTPUT_H

#include "host.h"
#include "reader.h"

extern const char BAD_FILE[];
extern const char OUT_OF_MEMORY[];

// At the start of every call: whatever an ended call held, its host freed.
void begin_call_memory();
// Before a call returns: frees the call's own memory.
void end_call_memory();

// Room for records longer than the word buffer, in the call's memory.
WordStore *long_record_store();

// Closes the file, frees the call's memory and raises (no identifier when null).
[[noreturn]] void raise_closed(const char *identifier, const char *message);

// 1 (with message set) for a header no output can be created from.
int header_is_invalid(int32_t row_count, int32_t column_count, char message[PROBLEM_LENGTH]);

// Decodes the matrix whose header was read last into a new host sparse
// matrix, trimmed to its entries, once the process is known to have the
// memory for it. The file stays open behind the last record read. Returns
// null, or the error's identifier with problem set.
// With matrix_ends_here set, a matrix also ends before a record it says 1 to.
const char *decode_to_host(int32_t row_count, int32_t column_count, int32_t value_type, int32_t selector,
                           mxArray **matrix, int *end_record_read, char problem[PROBLEM_LENGTH],
                           int (*matrix_ends_here)() = nullptr);

// A gateway's file-name input (checked as zorvane checks it, under the
// caller's identifiers) as a path; raises on what is not one.
void file_path_argument(const mxArray *input, const char *function, char path[FILE_NAME_LENGTH + 1]);

// The matrix name without its trailing blanks, as a C string.
void trimmed_name(const char name[NAME_LENGTH], char text[NAME_LENGTH + 1]);

// Host work during a scan: closes the file before, reopens it after.
void suspend_for_host();
void resume_after_host();

#endif
