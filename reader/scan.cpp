// Matrices by the file's structure, for reading whole files.
#include "scan.h"

#include "reader.h"

namespace {

// A header's shape: a printable name, sizes that can be created, a value type the format knows.
int header_shaped(const HeaderRecord *h)
{
    return is_printable_name(h->name) && h->column_count >= 0 && h->row_count != INT32_MIN &&
           h->value_type >= VALUE_TYPE_SINGLE && h->value_type <= VALUE_TYPE_COMPLEX_DOUBLE;
}

// Whether the record at position reads as a header; the channel goes back there.
int header_at(int64_t position)
{
    HeaderRecord h;
    channel_return_to(position);
    int shaped = read_header(&h) == RECORD_DONE && header_shaped(&h);
    channel_return_to(position);
    return shaped;
}

int encoding_of(const MatrixEntry *entry, const ColumnHead *head, const RecordView *view)
{
    if (head->first_row != 0)
        return SEEN_DENSE;
    if (static_cast<uint32_t>(entry->header.row_count) > static_cast<uint32_t>(LARGE_ROW_BOUND))
        return SEEN_LARGE;
    if (view->count <= 1)
        return 0;
    int32_t rows = entry->header.row_count;
    return strings_count_values(view, entry->header.value_type, rows) ? SEEN_VALUE_COUNT : SEEN_PACKED;
}

} // namespace

int is_printable_name(const char name[NAME_LENGTH])
{
    for (int i = 0; i < NAME_LENGTH; ++i) {
        auto byte = static_cast<unsigned char>(name[i]);
        if (byte < 0x20 || byte > 0x7A)
            return 0;
    }
    return 1;
}

int header_follows() { return header_at(channel_position()); }

RecordOutcome SCANHEADER(MatrixEntry *entry)
{
    for (;;) {
        RecordOutcome outcome = read_header(&entry->header);
        if (outcome == RECORD_END_OF_FILE || outcome == RECORD_DAMAGED)
            return outcome;
        if (outcome == RECORD_DONE && header_shaped(&entry->header)) {
            entry->encodings = 0;
            return RECORD_DONE;
        }
    }
}

RecordOutcome SKIPCOLUMNS(MatrixEntry *entry, WordStore *store)
{
    int string_rule_seen = 0;
    for (;;) {
        // End records are too short for a header, so the shape is asked first.
        if (header_at(channel_position()))
            return RECORD_DONE;
        ColumnHead head;
        RecordView view;
        RecordOutcome outcome = read_column(&head, &view, store);
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
