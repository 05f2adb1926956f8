// The file channel reads forward through a static buffer with pread, so a
// record costs no system call of its own and skipped data is never read.
// Every length word is checked against the file's size before it is used.
// The byte order is decided once, at open, from the first record; the
// records' numbers and words leave this file in the machine's order.
#include "records.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

uint32_t word_buffer[WORD_BUFFER_WORDS];

namespace {

constexpr int64_t IO_BUFFER_BYTES = 1 << 18;

struct FileChannel {
    int fd;
    int is_open;
    int stuck;           // framing could not be followed; every read fails
    int big_endian;      // the file's numbers are big-endian
    int text;            // a text file: records are lines (text_records.cpp)
    int64_t size;        // bytes in the file when it was opened
    int64_t position;    // next byte to consume
    int64_t buffer_start;  // file offset of io_buffer[0]
    int64_t buffer_length; // valid bytes in io_buffer
    uint64_t device;       // identity of the file, to tell it when reopened
    uint64_t inode;
    char path[FILE_NAME_LENGTH + 1];
};

FileChannel channel = {};
unsigned char io_buffer[IO_BUFFER_BYTES];

// Reads exactly count bytes at offset; 0 on success, 1 on a short read or error.
int read_fully(void *destination, int64_t count, int64_t offset)
{
    auto *out = static_cast<unsigned char *>(destination);
    while (count > 0) {
        ssize_t got = pread(channel.fd, out, static_cast<size_t>(count), static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return 1;
        out += got;
        count -= got;
        offset += got;
    }
    return 0;
}

// Copies count bytes from the current position and moves past them.
// The caller has made sure they lie inside the file.
int take_bytes(void *destination, int64_t count)
{
    auto *out = static_cast<unsigned char *>(destination);
    while (count > 0) {
        int64_t offset = channel.position - channel.buffer_start;
        if (offset >= 0 && offset < channel.buffer_length) {
            int64_t chunk = channel.buffer_length - offset;
            if (chunk > count)
                chunk = count;
            memcpy(out, io_buffer + offset, static_cast<size_t>(chunk));
            out += chunk;
            count -= chunk;
            channel.position += chunk;
        } else if (count >= IO_BUFFER_BYTES) {
            // Large runs go straight to their destination.
            if (read_fully(out, count, channel.position) != 0)
                return 1;
            channel.position += count;
            count = 0;
        } else {
            int64_t length = channel.size - channel.position;
            if (length > IO_BUFFER_BYTES)
                length = IO_BUFFER_BYTES;
            if (length < count || read_fully(io_buffer, length, channel.position) != 0) {
                channel.buffer_length = 0;
                return 1;
            }
            channel.buffer_start = channel.position;
            channel.buffer_length = length;
        }
    }
    return 0;
}

int32_t int32_in(const unsigned char *bytes, int big_endian)
{
    uint32_t value;
    memcpy(&value, bytes, sizeof value);
    return static_cast<int32_t>(big_endian ? __builtin_bswap32(value) : value);
}

int32_t int32_at(const unsigned char *bytes) { return int32_in(bytes, channel.big_endian); }

void words_to_machine_order(uint32_t *words, int64_t count)
{
    if (channel.big_endian)
        for (int64_t i = 0; i < count; ++i)
            words[i] = __builtin_bswap32(words[i]);
}

// 1 when a record starting at offset can be followed in the given byte
// order: its length fits the file and the trailing word repeats it.
int framing_holds(int64_t offset, int big_endian)
{
    unsigned char word[4];
    int64_t remaining = channel.size - offset;
    if (remaining < 8 || read_fully(word, 4, offset) != 0)
        return 0;
    int64_t length = int32_in(word, big_endian);
    if (length < 0 || length > remaining - 8 || read_fully(word, 4, offset + 4 + length) != 0)
        return 0;
    return int32_in(word, big_endian) == length;
}

// Starts a record: returns its payload length, or -1 at the end of the
// file, or -2 when the length word cannot be followed.
int64_t begin_record()
{
    int64_t remaining = channel.size - channel.position;
    if (remaining == 0)
        return -1;
    unsigned char word[4];
    if (remaining < 8 || take_bytes(word, 4) != 0)
        return -2;
    int64_t length = int32_at(word);
    if (length < 0 || length > remaining - 8)
        return -2;
    return length;
}

// Passes over the rest of the payload and checks the trailing length word.
RecordOutcome end_record(int64_t payload_end, int64_t length, RecordOutcome outcome)
{
    channel.position = payload_end;
    unsigned char word[4];
    if (take_bytes(word, 4) != 0 || int32_at(word) != length)
        return RECORD_DAMAGED;
    return outcome;
}

RecordOutcome stuck()
{
    channel.stuck = 1;
    return RECORD_DAMAGED;
}

// Makes the buffer hold the file from the position on, count bytes or to
// the end of the file; returns the bytes it holds from the position.
int64_t buffer_from_position(int64_t count)
{
    int64_t wanted = channel.size - channel.position < count ? channel.size - channel.position : count;
    int64_t offset = channel.position - channel.buffer_start;
    if (offset >= 0 && offset <= channel.buffer_length && channel.buffer_length - offset >= wanted)
        return channel.buffer_length - offset;
    int64_t length = channel.size - channel.position;
    if (length > IO_BUFFER_BYTES)
        length = IO_BUFFER_BYTES;
    if (read_fully(io_buffer, length, channel.position) != 0) {
        channel.buffer_length = 0;
        return -1;
    }
    channel.buffer_start = channel.position;
    channel.buffer_length = length;
    return length;
}

} // namespace

int channel_read_line(const char **line, int64_t *length, int64_t max_length)
{
    if (!channel.is_open || channel.stuck || channel.position >= channel.size)
        return LINE_END_OF_FILE;
    int64_t held = buffer_from_position(max_length + 2);
    if (held < 0)
        return LINE_END_OF_FILE;
    const char *start = reinterpret_cast<const char *>(io_buffer + (channel.position - channel.buffer_start));
    int64_t looked = held < max_length + 2 ? held : max_length + 2;
    const char *newline = static_cast<const char *>(memchr(start, '\n', static_cast<size_t>(looked)));
    int64_t taken = newline != nullptr ? newline - start : looked;
    if (newline == nullptr && !(held == looked && channel.position + held == channel.size && held <= max_length)) {
        // Too long: passed over up to its end.
        while (channel.position < channel.size) {
            held = buffer_from_position(IO_BUFFER_BYTES);
            if (held <= 0)
                break;
            start = reinterpret_cast<const char *>(io_buffer + (channel.position - channel.buffer_start));
            newline = static_cast<const char *>(memchr(start, '\n', static_cast<size_t>(held)));
            channel.position += newline != nullptr ? newline - start + 1 : held;
            if (newline != nullptr)
                break;
        }
        return LINE_TOO_LONG;
    }
    channel.position += newline != nullptr ? taken + 1 : taken;
    if (taken > 0 && start[taken - 1] == '\r')
        --taken;
    *line = start;
    *length = taken;
    return LINE_DONE;
}

int64_t channel_line_number(int64_t position)
{
    int64_t lines = 1;
    for (int64_t offset = 0; offset < position && offset < channel.size;) {
        unsigned char chunk[4096];
        int64_t count = position - offset < 4096 ? position - offset : 4096;
        if (read_fully(chunk, count, offset) != 0)
            break;
        for (int64_t i = 0; i < count; ++i)
            lines += chunk[i] == '\n';
        offset += count;
    }
    return lines;
}

int channel_is_text() { return channel.text; }

void channel_mark_stuck() { channel.stuck = 1; }

RecordOutcome read_column(ColumnHead *head, RecordView *view, WordStore *store)
{
    if (!channel.is_open || channel.stuck)
        return RECORD_DAMAGED;
    if (channel.text)
        return text_read_column(head, view, store);
    int64_t length = begin_record();
    if (length == -1)
        return RECORD_END_OF_FILE;
    if (length < 0)
        return stuck();
    int64_t payload_end = channel.position + length;
    if (length < 12)
        return end_record(payload_end, length, RECORD_READ_ERROR) == RECORD_DAMAGED ? stuck() : RECORD_READ_ERROR;
    unsigned char bytes[12];
    if (take_bytes(bytes, 12) != 0)
        return stuck();
    head->column = int32_at(bytes);
    head->first_row = int32_at(bytes + 4);
    head->word_count = int32_at(bytes + 8);
    int64_t count = head->word_count > 0 ? head->word_count : 0;
    uint32_t *words = word_buffer;
    RecordOutcome outcome = RECORD_DONE;
    if (count > WORD_BUFFER_WORDS && store == nullptr)
        outcome = RECORD_OVERSIZED;
    else if (12 + 4 * count > length)
        outcome = RECORD_READ_ERROR;
    else if (count > WORD_BUFFER_WORDS && count > store->capacity && store->enlarge(store, count, store->context) != 0)
        outcome = RECORD_OVERSIZED;
    if (outcome == RECORD_DONE && count > WORD_BUFFER_WORDS)
        words = store->words;
    if (outcome == RECORD_DONE && count > 0) {
        if (take_bytes(words, 4 * count) != 0)
            return stuck();
        words_to_machine_order(words, count);
    }
    if (view != nullptr)
        *view = RecordView{words, outcome == RECORD_DONE ? count : 0, channel.big_endian};
    if (end_record(payload_end, length, outcome) == RECORD_DAMAGED)
        return stuck();
    return outcome;
}

// Opens a regular file read-only; -1 on failure. Directories, pipes and
// devices could fail or block on read.
int open_regular(const char *path, struct stat *status)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    if (fstat(fd, status) != 0 || !S_ISREG(status->st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

int open_channel(const char *path)
{
    close_channel();
    struct stat status;
    if (strlen(path) > FILE_NAME_LENGTH)
        return 1;
    int fd = open_regular(path, &status);
    if (fd < 0)
        return 1;
    channel.fd = fd;
    channel.is_open = 1;
    channel.size = static_cast<int64_t>(status.st_size);
    channel.device = static_cast<uint64_t>(status.st_dev);
    channel.inode = static_cast<uint64_t>(status.st_ino);
    memcpy(channel.path, path, strlen(path) + 1);
    channel.text = text_file_starts();
    channel.position = 0;
    channel.big_endian = !channel.text && !framing_holds(0, 0) && framing_holds(0, 1);
    return 0;
}

void close_channel()
{
    if (channel.is_open)
        close(channel.fd);
    channel = FileChannel{};
    channel.fd = -1;
}

void suspend_channel()
{
    if (channel.is_open)
        close(channel.fd);
    channel.fd = -1;
    channel.is_open = 0;
}

int resume_channel()
{
    struct stat status;
    int fd = open_regular(channel.path, &status);
    if (fd >= 0 && static_cast<uint64_t>(status.st_dev) == channel.device &&
        static_cast<uint64_t>(status.st_ino) == channel.inode && static_cast<int64_t>(status.st_size) == channel.size) {
        channel.fd = fd;
        channel.is_open = 1;
        return 0;
    }
    if (fd >= 0)
        close(fd);
    close_channel();
    return 1;
}

int channel_is_open() { return channel.is_open; }

int channel_is_big_endian() { return channel.big_endian; }

const char *channel_format_name() { return channel.text ? "text" : "binary"; }

const char *channel_byte_order_name() { return channel.text ? "none" : channel.big_endian ? "big" : "little"; }

int64_t channel_position() { return channel.position; }

void channel_return_to(int64_t position)
{
    if (position >= 0 && position <= channel.size)
        channel.position = position;
}

RecordOutcome peek_record()
{
    if (!channel.is_open || channel.stuck)
        return RECORD_DAMAGED;
    if (channel.position == channel.size)
        return RECORD_END_OF_FILE;
    if (channel.text)
        return RECORD_DONE; // a text record's lines are checked as they are read
    return framing_holds(channel.position, channel.big_endian) ? RECORD_DONE : RECORD_DAMAGED;
}

int64_t channel_remaining() { return channel.is_open ? channel.size - channel.position : 0; }

RecordOutcome read_header(HeaderRecord *header)
{
    if (!channel.is_open || channel.stuck)
        return RECORD_DAMAGED;
    if (channel.text)
        return text_read_header(header);
    int64_t length = begin_record();
    if (length == -1)
        return RECORD_END_OF_FILE;
    if (length < 0)
        return stuck();
    int64_t payload_end = channel.position + length;
    RecordOutcome outcome = RECORD_READ_ERROR;
    if (length >= 24) {
        unsigned char bytes[24];
        if (take_bytes(bytes, 24) != 0)
            return stuck();
        header->column_count = int32_at(bytes);
        header->row_count = int32_at(bytes + 4);
        header->form = int32_at(bytes + 8);
        header->value_type = int32_at(bytes + 12);
        memcpy(header->name, bytes + 16, NAME_LENGTH);
        outcome = RECORD_DONE;
    }
    if (end_record(payload_end, length, outcome) == RECORD_DAMAGED)
        return stuck();
    return outcome;
}

