// Matrices of DMIG and DMI cards: their headers and terms collected from
// the bulk data, their labels ordered, their terms placed into compressed
// sparse columns. No host: memory comes through the caller's resize.
#ifndef CODEC_CARDS_H
#define CODEC_CARDS_H

#include <cstdint>

#include "card_numbers.h"
#include "channel.h"
#include "problem.h"

enum CardKind { CARD_DMIG = 1, CARD_DMI = 2 };

// Memory for the collection: resize gives a block of bytes for old (or
// null for bytes 0: frees it), or null without memory.
struct CardMemory {
    void *(*resize)(void *old, int64_t bytes, void *context);
    void *context;
};

// Labels of an ordered matrix: a table from label keys (point x 8 +
// component) to their place, and the keys in ascending order.
struct LabelTable {
    int64_t *keys;   // slots, -1 empty
    int64_t *places; // the key's 0-based place once ordered
    int64_t slots;
    int64_t count;
    int64_t *ordered; // count keys ascending
};

struct CardMatrix {
    char name[CARD_NAME_LENGTH + 1];
    int kind;
    int32_t form;  // IFO or FORM
    int32_t type;  // TIN
    int32_t tout;
    int32_t polar;
    int64_t ncol;    // DMIG IFO 9: NCOL
    int64_t rows;    // DMI: M; DMIG: the row labels, once ordered
    int64_t columns; // DMI: N; DMIG: the columns, once ordered (NCOL for IFO 9)
    int64_t line;    // of the header card
    int64_t terms;   // items on its column cards, a THRU range counting each row
    int wanted;      // its terms are kept
    int64_t first_card, last_card; // its column cards, a list through next_card (-1: none)
    LabelTable row_labels, column_labels; // DMIG, once ordered (IFO 1 and 6: one table, in row_labels)
};

struct ColumnCard {
    int64_t matrix;
    int64_t column; // DMIG: the column's label key; DMI: J
    int64_t line;
    int64_t first_term;
    int64_t next_card;
};

struct CardSet {
    CardMemory memory;
    MatrixChannel *ch; // for the memory the process can get
    Problem failure;   // what stopped the last call on the set
    Problem *problem;  // &failure
    CardMatrix *matrices;
    int64_t matrix_count, matrix_room;
    ColumnCard *cards;
    int64_t card_count, card_room;
    int64_t *term_rows; // DMIG: the row's label key; DMI: I
    double *term_real;
    double *term_imag; // made when a complex matrix has its first term
    int64_t *term_lines;
    int64_t term_count, term_room;
    const char *const *names; // wanted names (upper case), or null for all
    int64_t name_count;
    void *parse; // the card being read
};

// Reads every DMIG and DMI card of the file open on ch into set (terms
// only of wanted matrices: names, compared in upper case, or all when
// names is null); 0 or the status of set->problem. A name the file lacks
// is PROBLEM_NOT_FOUND.
int collect_cards(MatrixChannel *ch, CardMemory memory, const char *const *names, int64_t name_count, CardSet *set);

// Orders a DMIG matrix's labels (rows, columns, counts); DMI matrices have
// their sizes already. 0 or the problem's status (IFO 9 with more
// columns than NCOL).
int order_card_labels(CardSet *set, int64_t matrix);

// The most entries placing can give (terms, twice for a symmetric
// matrix's mirrored terms).
int64_t card_entry_bound(const CardSet *set, int64_t matrix);

// Where a matrix's entries go: column_pointers (columns + 1), rows, real
// and (complex types) imag, each with room for card_entry_bound entries.
struct CardOutput {
    int64_t *column_pointers;
    int64_t *rows;
    double *real;
    double *imag;
};

// Places the matrix's terms, exact zeros left out; *entries gets their
// count. 0 or the problem's status (a term given twice, two sides of a
// symmetric matrix that differ).
int place_card_matrix(CardSet *set, int64_t matrix, CardOutput *out, int64_t *entries);

// The label (point, component) at a 0-based row or column of an ordered
// DMIG matrix; [0 0] for an IFO 9 matrix's null columns.
void card_row_label(const CardSet *set, int64_t matrix, int64_t row, int64_t label[2]);
void card_column_label(const CardSet *set, int64_t matrix, int64_t column, int64_t label[2]);

// Frees every block of the set.
void release_cards(CardSet *set);

#endif
