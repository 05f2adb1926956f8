// Matrices written as DMIG cards (labelled rows and columns) or DMI cards,
// small or large field, into a new file or before the ENDDATA line of an
// existing one; continuation marks unique in the file.
#ifndef CODEC_CARD_WRITER_H
#define CODEC_CARD_WRITER_H

#include <cstdint>

#include "cards.h"
#include "encode.h"

// One matrix to write.
struct CardItem {
    char name[CARD_NAME_LENGTH + 1]; // upper case
    int kind;                        // CARD_DMIG or CARD_DMI
    MatrixSource source;
    const int64_t *row_points, *row_components;       // DMIG: one per row
    const int64_t *column_points, *column_components; // DMIG: one per column; [0 0] a null column (IFO 9)
    int32_t form;   // 0: chosen from the matrix and its labels
    int32_t type;   // TIN: 1-4
    int32_t tout;   // -1: TIN
    int both_sides; // form 6 DMIG: the whole matrix, not each off-diagonal term once
};

struct CardWriteOptions {
    int large;  // 16-column fields
    int append; // before the file's ENDDATA line, or at its end
};

// Checks every item (labels, forms, values) before the file is touched,
// then writes them; the file is replaced only when complete. 0, or the
// problem's status. reading is a second channel, for the file appended to.
int save_cards(MatrixChannel *ch, MatrixChannel *reading, const char *path, CardWriteOptions options, CardItem *items,
               int64_t count, CardMemory memory, Problem *problem);

#endif
