// Every length word is checked against the file's size before it is used;
// numbers and words leave this file in the machine's order.
#include "binary_records.h"

#include <cstring>

#include "words.h"

namespace {

int32_t int32_in(const unsigned char *bytes, int big_endian)
{
    uint32_t value;
    memcpy(&value, bytes, sizeof value);
    return static_cast<int32_t>(word_in_order(value, big_endian));
}

void put_int32(unsigned char *bytes, int32_t value, int big_endian)
{
    uint32_t word = word_in_order(static_cast<uint32_t>(value), big_endian);
    memcpy(bytes, &word, sizeof word);
}

void words_to_machine_order(const MatrixChannel *ch, uint32_t *words, int64_t count)
{
    if (ch->big_endian)
        for (int64_t i = 0; i < count; ++i)
            words[i] = word_in_order(words[i], 1);
}

// Starts a record: returns its payload length, or -1 at the end of the
// file, or -2 when the length word cannot be followed.
int64_t begin_record(MatrixChannel *ch)
{
    int64_t remaining = ch->size - ch->position;
    if (remaining == 0)
        return -1;
    unsigned char word[4];
    if (remaining < 8 || channel_take(ch, word, 4) != 0)
        return -2;
    int64_t length = int32_in(word, ch->big_endian);
    if (length < 0 || length > remaining - 8)
        return -2;
    return length;
}

// Passes over the rest of the payload and checks the trailing length word.
RecordOutcome end_record(MatrixChannel *ch, int64_t payload_end, int64_t length, RecordOutcome outcome)
{
    ch->position = payload_end;
    unsigned char word[4];
    if (channel_take(ch, word, 4) != 0 || int32_in(word, ch->big_endian) != length) {
        ch->stuck = 1;
        return RECORD_DAMAGED;
    }
    return outcome;
}

RecordOutcome stuck(MatrixChannel *ch)
{
    ch->stuck = 1;
    return RECORD_DAMAGED;
}

// The framing words and the fixed items of a record being written.
int put_record_start(MatrixChannel *ch, int64_t payload, const int32_t *items, int count)
{
    unsigned char bytes[4 * 8];
    put_int32(bytes, static_cast<int32_t>(payload), ch->big_endian);
    for (int k = 0; k < count; ++k)
        put_int32(bytes + 4 + 4 * k, items[k], ch->big_endian);
    return channel_put(ch, bytes, 4 + 4 * static_cast<int64_t>(count));
}

int put_length(MatrixChannel *ch, int64_t payload)
{
    unsigned char bytes[4];
    put_int32(bytes, static_cast<int32_t>(payload), ch->big_endian);
    return channel_put(ch, bytes, 4);
}

} // namespace

int binary_framing_holds(MatrixChannel *ch, int64_t offset, int big_endian)
{
    unsigned char word[4];
    int64_t remaining = ch->size - offset;
    if (remaining < 8 || channel_peek(ch, word, 4, offset) != 0)
        return 0;
    int64_t length = int32_in(word, big_endian);
    if (length < 0 || length > remaining - 8 || channel_peek(ch, word, 4, offset + 4 + length) != 0)
        return 0;
    return int32_in(word, big_endian) == length;
}

int binary_records_tile(MatrixChannel *ch, int big_endian)
{
    for (int64_t offset = 0; offset < ch->size;) {
        unsigned char word[4];
        if (!binary_framing_holds(ch, offset, big_endian) || channel_peek(ch, word, 4, offset) != 0)
            return 0;
        offset += 8 + int32_in(word, big_endian);
    }
    return 1;
}

RecordOutcome binary_read_header(MatrixChannel *ch, HeaderRecord *header)
{
    int64_t length = begin_record(ch);
    if (length == -1)
        return RECORD_END_OF_FILE;
    if (length < 0)
        return stuck(ch);
    int64_t payload_end = ch->position + length;
    RecordOutcome outcome = RECORD_READ_ERROR;
    if (length >= HEADER_BYTES) {
        unsigned char bytes[HEADER_BYTES];
        if (channel_take(ch, bytes, HEADER_BYTES) != 0)
            return stuck(ch);
        header->column_count = int32_in(bytes, ch->big_endian);
        header->row_count = int32_in(bytes + 4, ch->big_endian);
        header->form = int32_in(bytes + 8, ch->big_endian);
        header->value_type = int32_in(bytes + 12, ch->big_endian);
        memcpy(header->name, bytes + 16, NAME_LENGTH);
        outcome = RECORD_DONE;
    }
    return end_record(ch, payload_end, length, outcome);
}

RecordOutcome binary_read_column(MatrixChannel *ch, ColumnHead *head, RecordView *view, WordStore *store)
{
    int64_t length = begin_record(ch);
    if (length == -1)
        return RECORD_END_OF_FILE;
    if (length < 0)
        return stuck(ch);
    int64_t payload_end = ch->position + length;
    if (length < COLUMN_HEAD_BYTES)
        return end_record(ch, payload_end, length, RECORD_READ_ERROR);
    unsigned char bytes[COLUMN_HEAD_BYTES];
    if (channel_take(ch, bytes, COLUMN_HEAD_BYTES) != 0)
        return stuck(ch);
    head->column = int32_in(bytes, ch->big_endian);
    head->first_row = int32_in(bytes + 4, ch->big_endian);
    head->word_count = int32_in(bytes + 8, ch->big_endian);
    int64_t count = head->word_count > 0 ? head->word_count : 0;
    uint32_t *words = ch->words;
    RecordOutcome outcome = RECORD_DONE;
    if (count > WORD_BUFFER_WORDS && store == nullptr)
        outcome = RECORD_OVERSIZED;
    else if (COLUMN_HEAD_BYTES + 4 * count > length)
        outcome = RECORD_READ_ERROR;
    else if (count > WORD_BUFFER_WORDS && count > store->capacity && store->enlarge(store, count, store->context) != 0)
        outcome = RECORD_OVERSIZED;
    if (outcome == RECORD_DONE && count > WORD_BUFFER_WORDS)
        words = store->words;
    if (outcome == RECORD_DONE && count > 0) {
        if (channel_take(ch, words, 4 * count) != 0)
            return stuck(ch);
        words_to_machine_order(ch, words, count);
    }
    if (view != nullptr)
        *view = RecordView{words, outcome == RECORD_DONE ? count : 0, ch->big_endian};
    return end_record(ch, payload_end, length, outcome);
}

int binary_write_header(MatrixChannel *ch, const HeaderRecord *header)
{
    const int32_t items[] = {header->column_count, header->row_count, header->form, header->value_type};
    return put_record_start(ch, HEADER_BYTES, items, 4) || channel_put(ch, header->name, NAME_LENGTH) ||
           put_length(ch, HEADER_BYTES);
}

int binary_write_column(MatrixChannel *ch, const ColumnHead *head, const uint32_t *words, int64_t count)
{
    int64_t payload = COLUMN_HEAD_BYTES + 4 * count;
    const int32_t items[] = {head->column, head->first_row, head->word_count};
    if (put_record_start(ch, payload, items, 3) != 0)
        return 1;
    if (!ch->big_endian) {
        if (channel_put(ch, words, 4 * count) != 0)
            return 1;
    } else {
        uint32_t block[1024];
        for (int64_t done = 0; done < count;) {
            int64_t n = count - done < 1024 ? count - done : 1024;
            for (int64_t i = 0; i < n; ++i)
                block[i] = word_in_order(words[done + i], 1);
            if (channel_put(ch, block, 4 * n) != 0)
                return 1;
            done += n;
        }
    }
    return put_length(ch, payload);
}
