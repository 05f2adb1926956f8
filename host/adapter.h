// The one host adapter of the matrix-file plug-ins: the plug-in's channel,
// the call's own memory, the gateways' shared argument checks, decoding
// into a host sparse matrix and the one place where a call that opened a
// file ends in an error.
#ifndef HOST_ADAPTER_H
#define HOST_ADAPTER_H

#include "cards.h"
#include "decode.h"
#include "encode.h"
#include "host.h"
#include "host_struct.h"
#include "scan.h"

// The file-name argument's field: 80 characters, as zorvane takes it.
constexpr int FILE_NAME_LENGTH = 80;

// Messages without an identifier that every reading plug-in raises.
extern const char COULD_NOT_OPEN[];
extern const char NOT_FOUND[];

// The plug-in's one channel, kept where the host's error can close it.
MatrixChannel *plugin_channel();

// "MATLAB:zorvane:" and the mnemonic of a problem status (problem.h).
const char *reader_identifier(int problem_status);

// At the start of every call: whatever an ended call held, its host freed.
void begin_call_memory();
// Before a call returns: frees the call's own memory.
void end_call_memory();
// Room for records longer than the word buffer, in the call's memory.
WordStore *long_record_store();

// Closes (or, writing, aborts) the channel, frees the call's memory and
// raises (no identifier when null).
[[noreturn]] void raise_closed(const char *identifier, const char *message);

// Host work while a file is open: closes the file before, reopens it after.
void suspend_for_host();
void resume_after_host();

// A gateway's file-name input (checked as zorvane checks it, under the
// caller's identifiers, but of any length the system takes) as a path,
// "~" expanded; raises on what is not one. A name holding NUL gives ""
// (it would silently name another file).
void file_path_argument(const mxArray *input, const char *function, char path[CHANNEL_PATH_LENGTH]);
// The file-name field without its trailing blanks, "~" expanded; "" when it holds a NUL.
void path_from_field(const char field[FILE_NAME_LENGTH], char path[CHANNEL_PATH_LENGTH]);
// A leading "~" or "~/" as the home folder.
void expand_home(const char *text, char path[CHANNEL_PATH_LENGTH]);
// The selector input, checked as zorvane checks it, under the caller's
// identifiers: its shape (not text, a scalar), then its value.
void check_selector_shape(const mxArray *input, const char *function);
double selector_value(const mxArray *input, const char *function);
// A text argument as a C string; 1 when it is not a character row that
// fits, or holds a NUL.
int text_argument(const mxArray *a, char *buffer, int64_t size);

// Decodes the matrix whose header was read last into a new host sparse
// matrix, trimmed to its entries, once the process is known to have the
// memory for it. The file stays open behind the last record read. Returns
// null, or the error's identifier with problem set. A watch (or null) is
// asked before each record (scan.h).
const char *decode_to_host(const HeaderRecord *header, int32_t selector, HeaderWatch *watch, mxArray **matrix,
                           int *end_record_read, char problem[PROBLEM_LENGTH]);

// A numeric or logical 2-D array as a double array (a new one unless it
// is double already), and that as a matrix source for the writers.
const mxArray *double_matrix(const mxArray *a);
MatrixSource matrix_source(const mxArray *a);

// Raises a core problem under "MATLAB:<function>:<mnemonic>", the message
// "<function>: [line N: ]..." (closing the channel first).
[[noreturn]] void raise_problem(const char *function, const Problem *problem);

// Memory for the card layer: host memory, the file closed while the host allocates.
CardMemory host_card_memory();

// The cards of the file input (checked as a file name) into set: every
// matrix, or those named in the cell array names (null: all); raises
// under function's identifiers (nInput and the like are the caller's).
void collect_cards_for_host(const char *function, const mxArray *file, const mxArray *names, CardSet *set);

#endif
