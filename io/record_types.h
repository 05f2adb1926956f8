// What the record layers hand upward: a read's outcome, the words of the
// column record read last, and room for records longer than the word buffer.
#ifndef IO_RECORD_TYPES_H
#define IO_RECORD_TYPES_H

#include <cstdint>
#include <cstring>

#include "words.h"

enum RecordOutcome {
    RECORD_DONE = 0,
    RECORD_END_OF_FILE = 1, // no further record starts
    RECORD_READ_ERROR = 2,  // payload too short for the items; record used up
    RECORD_DAMAGED = 3,     // framing that cannot be followed; the channel is stuck
    RECORD_OVERSIZED = 4    // column record with more words than any buffer could be had for
};

// The words of a column record, in the machine's order: word k (k from 1)
// is words[k - 1]. Decoders take words only through the view and ask
// view_holds before they do.
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

inline float view_single(const RecordView *view, int64_t k) { return single_of_word(view->words[k - 1]); }

// The double in words k and k + 1, for a view whose half order the
// caller has chosen at compile time (view->high_half_first == HIGH_HALF_FIRST).
template <bool HIGH_HALF_FIRST> inline double view_double_in_order(const RecordView *view, int64_t k)
{
    return double_of_words(view->words[k - 1], view->words[k], HIGH_HALF_FIRST);
}

// Room for records longer than the word buffer, obtained from the caller:
// enlarge gives words room for at least count words, or returns 1.
struct WordStore {
    uint32_t *words;
    int64_t capacity;
    int (*enlarge)(struct WordStore *store, int64_t count, void *context);
    void *context;
};

#endif
