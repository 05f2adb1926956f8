// The matrix channel: one open matrix file, read forward or written
// through a buffer of its own. Every routine of the record layers takes
// the channel, so that any number of files can be open at once.
#ifndef IO_CHANNEL_H
#define IO_CHANNEL_H

#include <cstdint>

#include "format.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the words are taken in the machine's order");

constexpr int64_t IO_BUFFER_BYTES = 1 << 18;
constexpr int CHANNEL_PATH_LENGTH = 4096;

enum TextLayout { TEXT_T1, TEXT_T2 };

// What reading or writing the current text matrix's lines needs; set by
// each header line.
struct TextState {
    TextLayout layout;
    int field_width;       // T1: width of a value field (0: unknown)
    int integer_width;     // T1: width of an integer field, 8 or 16
    int words_per_number;  // 2 in double precision, else 1
    int numbers_per_value; // 2 for complex values
    int large;             // strings in the large-matrix encoding
    int digits;            // writing: digits after the point
    int per_line;          // writing: numbers on a line
};

struct MatrixChannel {
    int fd;
    int is_open;
    int writing;           // opened by open_channel_for_writing
    int stuck;             // framing could not be followed, or a write failed; every later call fails
    int big_endian;        // the file's numbers are big-endian
    int text;              // a text file: records are lines
    int64_t size;          // bytes in the file when it was opened (reading)
    int64_t position;      // next byte to consume or to write
    int64_t buffer_start;  // file offset of buffer[0] (reading)
    int64_t buffer_length; // valid bytes in buffer (reading), bytes waiting (writing)
    uint64_t device;       // identity of the file, to tell it when reopened
    uint64_t inode;
    int64_t appended_from; // appending: the file's length before (else -1)
    int in_place;          // writing a pipe, device or socket as it is: no temporary file, no sync
    int write_error;       // errno of the write that failed
    int64_t record_start;  // text: where the column record read last began
    int64_t memory_budget; // when above 0, the bytes the process may get instead of what the machine has
    int result_copies;     // copies of a result the host holds at once; 0 counts as 2 (a MEX host's)
    TextState text_state;
    char path[CHANNEL_PATH_LENGTH];      // the file read, or the file a new file becomes
    char temporary[CHANNEL_PATH_LENGTH]; // a new file's name until it is complete
    char problem[PROBLEM_LENGTH];        // what was wrong with the last text record, or ""
    // The word buffer: word k of the column record read last is words[k - 1];
    // zero in a new channel, never cleared, so higher words keep earlier
    // reads. Writing, it holds the words of the column record being encoded.
    uint32_t words[WORD_BUFFER_WORDS];
    unsigned char buffer[IO_BUFFER_BYTES];
};

// Opens the channel on a regular file for reading; 0 on success, 1 on
// failure. An open channel is closed first. (open_matrix_file in
// records.h also decides the file's byte order and kind.)
int open_channel(MatrixChannel *ch, const char *path);
void close_channel(MatrixChannel *ch);
int channel_is_open(const MatrixChannel *ch);
// Closes the file but keeps the place, so that the host may end the call
// without leaving a file open; resume reopens it when it is still the
// same file (0), else closes the channel (1).
void suspend_channel(MatrixChannel *ch);
int resume_channel(MatrixChannel *ch);

// Reading: bytes from the position to the end of the file; the place of
// the next record and a return to a place taken earlier.
int64_t channel_remaining(const MatrixChannel *ch);
int64_t channel_position(const MatrixChannel *ch);
void channel_return_to(MatrixChannel *ch, int64_t position);
// Copies count bytes from the position on and moves past them; 0 on
// success. The caller has made sure they lie inside the file.
int channel_take(MatrixChannel *ch, void *destination, int64_t count);
// Reads count bytes at offset without moving; 0 on success.
int channel_peek(MatrixChannel *ch, void *destination, int64_t count, int64_t offset);
void channel_mark_stuck(MatrixChannel *ch);

// Text lines.
enum LineOutcome { LINE_DONE = 0, LINE_END_OF_FILE = 1, LINE_TOO_LONG = 2 };
// The next line without its LF or CR LF; *line points into the channel's
// buffer and stays valid until the next read. A line longer than
// max_length is passed over whole and reported.
int channel_read_line(MatrixChannel *ch, const char **line, int64_t *length, int64_t max_length);
// The 1-based number of the line that starts at position (for messages).
int64_t channel_line_number(MatrixChannel *ch, int64_t position);

// What the open file is, for listings: "binary" or "text"; "little",
// "big", or "none" for text.
const char *channel_format_name(const MatrixChannel *ch);
const char *channel_byte_order_name(const MatrixChannel *ch);

// Writing. The path's links are followed to the file they finally name
// (a dangling link: the file it names is made, the link kept). A new or
// replaced regular file is written under a temporary name of its own in
// the same folder (created exclusively, never a link; a replaced file's
// mode and group kept) and takes its name at commit; a file its user may
// not write is refused. Appending opens the file for reading and writing,
// locked (flock) until commit or abort, so that its format can be read
// first, and cuts it back to its old length at abort. A pipe, device or
// socket is written in place. 0 on success; on failure ch->write_error
// says why.
int open_channel_for_writing(MatrixChannel *ch, const char *path, int append);
// Writing to a descriptor the caller holds open (standard output), in place.
int open_channel_on_descriptor(MatrixChannel *ch, int descriptor);
// After reading an appended file's format: writing starts at its end.
int channel_begin_writing(MatrixChannel *ch);
int channel_put(MatrixChannel *ch, const void *bytes, int64_t count);
// Completes the file (flush, sync, rename); 0 on success. On failure the
// file is aborted.
int commit_channel(MatrixChannel *ch);
// Leaves nothing behind: removes the temporary file, or cuts the appended
// file back.
void abort_channel(MatrixChannel *ch);

#endif
