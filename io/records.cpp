// Each read and write goes to the binary or the text record layer by the
// file's kind, decided once when the file is opened.
#include "records.h"

#include <unistd.h>

#include "binary_records.h"
#include "text_records.h"

namespace {

// The kind and byte order of the file open on the channel, from its first record.
void take_file_kind(MatrixChannel *ch)
{
    ch->position = 0;
    ch->text = text_file_starts(ch);
    ch->position = 0;
    ch->big_endian = !ch->text && !binary_framing_holds(ch, 0, 0) && binary_framing_holds(ch, 0, 1);
}

} // namespace

int open_matrix_file(MatrixChannel *ch, const char *path)
{
    if (open_channel(ch, path) != 0)
        return 1;
    take_file_kind(ch);
    return 0;
}

RecordOutcome read_header(MatrixChannel *ch, HeaderRecord *header)
{
    if (!ch->is_open || ch->stuck)
        return RECORD_DAMAGED;
    return ch->text ? text_read_header(ch, header) : binary_read_header(ch, header);
}

RecordOutcome read_column(MatrixChannel *ch, ColumnHead *head, RecordView *view, WordStore *store)
{
    if (!ch->is_open || ch->stuck)
        return RECORD_DAMAGED;
    return ch->text ? text_read_column(ch, head, view, store) : binary_read_column(ch, head, view, store);
}

RecordOutcome peek_record(MatrixChannel *ch)
{
    if (!ch->is_open || ch->stuck)
        return RECORD_DAMAGED;
    if (ch->position == ch->size)
        return RECORD_END_OF_FILE;
    if (ch->text)
        return RECORD_DONE; // a text record's lines are checked as they are read
    return binary_framing_holds(ch, ch->position, ch->big_endian) ? RECORD_DONE : RECORD_DAMAGED;
}

int is_foreign_file(MatrixChannel *ch)
{
    return ch->size > 0 && !ch->text && !binary_framing_holds(ch, 0, 0) && !binary_framing_holds(ch, 0, 1);
}

int file_ends_at_record(MatrixChannel *ch)
{
    if (ch->size == 0)
        return 1;
    if (ch->text) {
        char last = 0;
        return channel_peek(ch, &last, 1, ch->size - 1) == 0 && last == '\n';
    }
    return binary_records_tile(ch, ch->big_endian);
}

int open_matrix_file_for_writing(MatrixChannel *ch, const char *path, int text, int big_endian, int append)
{
    if (path == nullptr ? open_channel_on_descriptor(ch, STDOUT_FILENO) != 0 : open_channel_for_writing(ch, path, append) != 0)
        return 1;
    ch->text = text;
    ch->big_endian = !text && big_endian;
    if (ch->appended_from > 0)
        take_file_kind(ch);
    return 0;
}

int appends_to_existing(const MatrixChannel *ch) { return ch->appended_from > 0; }

int write_header(MatrixChannel *ch, const HeaderRecord *header, int digits, int wide)
{
    return ch->text ? text_write_header(ch, header, digits, wide) : binary_write_header(ch, header);
}

int write_column(MatrixChannel *ch, const ColumnHead *head, const uint32_t *words, int64_t count)
{
    return ch->text ? text_write_column(ch, head, words, count) : binary_write_column(ch, head, words, count);
}
