// Finding a matrix by name, taking every record for a possible header.
#ifndef CODEC_LOCATE_H
#define CODEC_LOCATE_H

#include <cstdint>

#include "records.h"

enum LocateStatus { LOCATE_FOUND = 0, LOCATE_NOT_OPENED = 1, LOCATE_NOT_FOUND = 2 };

// Called with each printable name in list mode.
typedef void (*NameListener)(const char name[NAME_LENGTH], void *context);

// Opens path on the channel and reads records as headers until one carries
// the wanted (blank-filled) name; in list mode ("XXXXXXXX") tells every
// printable name to listener and runs to the end. The header found is in
// *header, and the channel stands just behind it.
void LOCATEMATRIX(MatrixChannel *ch, const char *path, const char wanted_name_field[NAME_LENGTH], double third_input,
                  int32_t *selector, HeaderRecord *header, NameListener listener, void *listener_context,
                  int32_t *locate_status);

#endif
