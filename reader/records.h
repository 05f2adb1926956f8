// Matrix file records: the file channel, and the two reads (header read and
// column read) that each take exactly one record.
#ifndef READER_RECORDS_H
#define READER_RECORDS_H

#include <cstdint>

#include <cstring>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the words are taken in the machine's order");

constexpr int32_t WORD_BUFFER_WORDS = 1000000;
constexpr int NAME_LENGTH = 8;
constexpr int FILE_NAME_LENGTH = 80;

// Outcome of one read.
enum RecordOutcome {
    RECORD_DONE = 0,
    RECORD_END_OF_FILE = 1, // no further record starts
    RECORD_READ_ERROR = 2,  // payload too short for the items; record used up
    RECORD_DAMAGED = 3,     // framing that cannot be followed; the channel is stuck
    RECORD_OVERSIZED = 4    // column record with more words than any buffer could be had for
};

// The words of the column record read last, in the machine's order: word k
// (k from 1) is words[k - 1]. Decoders take words only through the view
// and ask view_holds before they do.
struct RecordView {
    const uint32_t *words;
    int64_t count;
    int high_half_first; // a double's first word is its high half (big-endian file)
};

// The one check of a run of words: 1 when words first .. first + count - 1
// all lie in the record.
inline int view_holds(const RecordView *view, int64_t first, int64_t count)
{
    return first >= 1 && count >= 0 && count <= view->count && first - 1 <= view->count - count;
}

inline int32_t view_int(const RecordView *view, int64_t k) { return static_cast<int32_t>(view->words[k - 1]); }

inline float view_single(const RecordView *view, int64_t k)
{
    float value;
    memcpy(&value, &view->words[k - 1], sizeof value);
    return value;
}

// The double in words k and k + 1, for a view whose half order the
// caller has chosen at compile time (view->high_half_first == HIGH_HALF_FIRST).
template <bool HIGH_HALF_FIRST> inline double view_double_in_order(const RecordView *view, int64_t k)
{
    uint64_t first = view->words[k - 1], second = view->words[k];
    uint64_t bits = HIGH_HALF_FIRST ? first << 32 | second : second << 32 | first;
    double value;
    memcpy(&value, &bits, sizeof value);
    return value;
}


// Room for records longer than the word buffer, obtained from the caller:
// enlarge gives words room for at least count words, or returns 1.
struct WordStore {
    uint32_t *words;
    int64_t capacity;
    int (*enlarge)(struct WordStore *store, int64_t count, void *context);
    void *context;
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
// 1 when the file is read big-endian (decided when it was opened).
int channel_is_big_endian();
// What the open file is, for listings: "binary" or "text"; "little",
// "big", or "none" for text.
const char *channel_format_name();
const char *channel_byte_order_name();
// The place of the next record, and a return to a place taken earlier.
int64_t channel_position();
void channel_return_to(int64_t position);

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
// Reads the head and max(word_count, 0) words into the word buffer, or,
// past its size, into the store (when given); view then shows them.
RecordOutcome read_column(ColumnHead *head, RecordView *view = nullptr, WordStore *store = nullptr);
// Whether the next record's framing can be followed, without reading it:
// RECORD_DONE, RECORD_END_OF_FILE or RECORD_DAMAGED.
RecordOutcome peek_record();

// Text files: the channel's lines, for the text record layer.
enum LineOutcome { LINE_DONE = 0, LINE_END_OF_FILE = 1, LINE_TOO_LONG = 2 };
// The next line without its LF or CR LF; *line points into the channel's
// buffer and stays valid until the next read. A line longer than
// max_length is passed over whole and reported.
int channel_read_line(const char **line, int64_t *length, int64_t max_length);
// The 1-based number of the line that starts at position (for messages).
int64_t channel_line_number(int64_t position);
int channel_is_text();
void channel_mark_stuck();

// The text record layer (text_records.cpp): the same records, from lines.
int text_file_starts();
RecordOutcome text_read_header(HeaderRecord *header);
RecordOutcome text_read_column(ColumnHead *head, RecordView *view, WordStore *store);
// What was wrong with the last text record that could not be read, or "".
const char *text_problem();

#endif
