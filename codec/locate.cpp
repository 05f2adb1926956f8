// Every record is read as a header; a name of printable bytes is a
// matrix's. The host is not known here: list mode's names go to a listener.
#include "locate.h"

#include <cstring>

#include "decode.h"

namespace {


} // namespace

void LOCATEMATRIX(MatrixChannel *ch, const char *path, const char wanted_name_field[NAME_LENGTH], double third_input,
                  int32_t *selector, HeaderRecord *header, NameListener listener, void *listener_context,
                  int32_t *locate_status)
{
    *selector = selector_from_double(third_input);
    *locate_status = LOCATE_FOUND;
    if (path[0] == '\0' || open_matrix_file(ch, path) != 0) {
        *locate_status = LOCATE_NOT_OPENED;
        return;
    }
    int list_mode = memcmp(wanted_name_field, LIST_MODE_NAME, NAME_LENGTH) == 0;
    for (;;) {
        RecordOutcome outcome = read_header(ch, header);
        // A length word that cannot be followed ends the scan like the end of the file.
        if (outcome == RECORD_END_OF_FILE || outcome == RECORD_DAMAGED) {
            *locate_status = LOCATE_NOT_FOUND;
            return;
        }
        if (outcome != RECORD_DONE || !is_printable_name(header->name))
            continue;
        if (list_mode) {
            if (listener != nullptr)
                listener(header->name, listener_context);
            continue;
        }
        if (memcmp(header->name, wanted_name_field, NAME_LENGTH) == 0)
            return;
    }
}
