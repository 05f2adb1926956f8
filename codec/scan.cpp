// Matrices by the file's structure, for reading whole files.
#include "scan.h"

#include "decode.h"

namespace {

// A header's shape: a printable name, sizes that can be created, a value type the format knows.
int header_shaped(const HeaderRecord *h)
{
    return is_printable_name(h->name) && header_is_valid(h->row_count, h->column_count) &&
           h->value_type >= VALUE_TYPE_SINGLE && h->value_type <= VALUE_TYPE_COMPLEX_DOUBLE;
}

// Whether the record at position reads as a header; the channel goes back there.
int header_at(MatrixChannel *ch, int64_t position)
{
    HeaderRecord h;
    channel_return_to(ch, position);
    int shaped = read_header(ch, &h) == RECORD_DONE && header_shaped(&h);
    channel_return_to(ch, position);
    return shaped;
}

int encoding_of(const MatrixEntry *entry, const ColumnHead *head, const RecordView *view)
{
    if (head->first_row != 0)
        return SEEN_DENSE;
    if (header_is_large(entry->header.row_count))
        return SEEN_LARGE;
    if (view->count <= 1)
        return 0;
    int32_t rows = entry->header.row_count;
    return strings_count_values(view, entry->header.value_type, rows) ? SEEN_VALUE_COUNT : SEEN_PACKED;
}

} // namespace

const char NOT_MATRIX_FILE[] = "Not a matrix file: its first record is neither a binary record nor a text header.";

int next_structural_matrix(MatrixChannel *ch, MatrixEntry *entry, WordStore *store)
{
    if (SCANHEADER(ch, entry) != RECORD_DONE)
        return 0;
    finish_structural_matrix(ch, entry, 0, store);
    return 1;
}

void finish_structural_matrix(MatrixChannel *ch, MatrixEntry *entry, int end_record_read, WordStore *store)
{
    // Damage leaves the channel stuck, so that the next SCANHEADER ends the scan.
    if (!end_record_read && SKIPCOLUMNS(ch, entry, store) == RECORD_DAMAGED)
        channel_mark_stuck(ch);
}

int watch_for_headers(MatrixChannel *ch, void *watch)
{
    auto *w = static_cast<HeaderWatch *>(watch);
    if (!header_follows(ch))
        return 0;
    if (w->header_at < 0)
        w->header_at = channel_position(ch);
    return w->stop;
}

void finish_watched_matrix(MatrixChannel *ch, MatrixEntry *entry, const HeaderWatch *watch, int end_record_read,
                           WordStore *store)
{
    if (watch->header_at >= 0) {
        channel_return_to(ch, watch->header_at); // where the scan ends the matrix
        return;
    }
    finish_structural_matrix(ch, entry, end_record_read, store);
}

int header_follows(MatrixChannel *ch) { return header_at(ch, channel_position(ch)); }

RecordOutcome SCANHEADER(MatrixChannel *ch, MatrixEntry *entry)
{
    for (;;) {
        RecordOutcome outcome = read_header(ch, &entry->header);
        if (outcome == RECORD_END_OF_FILE || outcome == RECORD_DAMAGED)
            return outcome;
        if (outcome == RECORD_DONE && header_shaped(&entry->header)) {
            entry->encodings = 0;
            return RECORD_DONE;
        }
    }
}

RecordOutcome SKIPCOLUMNS(MatrixChannel *ch, MatrixEntry *entry, WordStore *store)
{
    int string_rule_seen = 0;
    for (;;) {
        // End records are too short for a header, so the shape is asked first.
        if (header_at(ch, channel_position(ch)))
            return RECORD_DONE;
        ColumnHead head;
        RecordView view;
        RecordOutcome outcome = read_column(ch, &head, &view, store);
        if (outcome == RECORD_END_OF_FILE)
            return RECORD_DONE;
        if (outcome == RECORD_DAMAGED)
            return outcome;
        if (outcome != RECORD_DONE)
            continue;
        if (head.column > entry->header.column_count)
            return RECORD_DONE;
        // The first string record decides the string rule, as in decoding.
        int seen = encoding_of(entry, &head, &view);
        if (seen & (SEEN_PACKED | SEEN_VALUE_COUNT)) {
            if (string_rule_seen)
                seen = entry->encodings & (SEEN_PACKED | SEEN_VALUE_COUNT);
            string_rule_seen = 1;
        }
        entry->encodings |= seen;
    }
}

const char *encoding_name(int encodings)
{
    switch (encodings) {
    case 0:
    case SEEN_DENSE: return "dense";
    case SEEN_PACKED: return "packed";
    case SEEN_LARGE: return "large";
    case SEEN_VALUE_COUNT: return "value-count";
    default: return "mixed";
    }
}
