// Bulk-data cards as text: physical lines (comments cut, tabs expanded,
// LF or CR LF), their fields (small, large or free field), and logical
// cards (a line and its continuations), handed to a sink field by field
// so that no card is ever held whole.
#ifndef IO_CARD_LINES_H
#define IO_CARD_LINES_H

#include <cstdint>

#include "channel.h"
#include "problem.h"

constexpr int64_t MAX_CARD_LINE = 65536; // longer lines are damage

// One data field: its text without surrounding blanks (length 0: blank),
// valid until the next field is handed over, and the line it stands on.
struct CardField {
    const char *text;
    int64_t length;
    int64_t line;
};

struct CardSink {
    // A card begins: its name in upper case without a large field's '*'
    // (at most 8 characters, terminated). Returns 1 when its fields are
    // wanted, 0 to pass the card over, -1 to stop (problem set).
    int (*begin)(void *context, const char *name, int64_t line);
    // Field index (1 = the card's field 2; 8 more per small line, 4 per
    // large one) of the card begun last; nonzero stops (problem set).
    int (*field)(void *context, int64_t index, const CardField *field);
    // The card begun last has no more fields; nonzero stops.
    int (*end)(void *context);
    // A BEGIN BULK line: what was handed over before it is no bulk data.
    int (*restart)(void *context);
    void *context;
};

// Reads the bulk data of the file open on the channel (up to ENDDATA; a
// BEGIN BULK line restarts the sink, so that only what follows it counts)
// into the sink; 0, or the status of
// the problem that stopped it.
int read_cards(MatrixChannel *ch, CardSink *sink, Problem *problem);

#endif
