// Finds a matrix by name, reading every record as a header; in list mode
// prints every printable name instead.
#include <cstring>

#include "host.h"
#include "reader.h"

namespace {

const char LIST_MODE_NAME[NAME_LENGTH] = {'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X'};

// Module storage that every call overwrites: the header name field.
char header_name_field[NAME_LENGTH];

void print_name(const char name[NAME_LENGTH])
{
    char line[NAME_LENGTH + 2];
    memcpy(line, name, NAME_LENGTH);
    line[NAME_LENGTH] = '\n';
    line[NAME_LENGTH + 1] = '\0';
    MEXPRINTF(line);
}

// The file name without trailing blanks, as a C string; 1 when it holds a
// NUL byte, which would silently name another file.
int file_path(const char field[FILE_NAME_LENGTH], char path[FILE_NAME_LENGTH + 1])
{
    int length = FILE_NAME_LENGTH;
    while (length > 0 && field[length - 1] == ' ')
        --length;
    if (memchr(field, '\0', static_cast<size_t>(length)) != nullptr)
        return 1;
    memcpy(path, field, static_cast<size_t>(length));
    path[length] = '\0';
    return 0;
}

} // namespace

void LOCATEMATRIX(const char file_name_field[FILE_NAME_LENGTH], const char wanted_name_field[NAME_LENGTH],
                  double third_input, int32_t *selector, int32_t *row_count, int32_t *column_count,
                  int32_t *value_type, int32_t *locate_status)
{
    *selector = selector_from_double(third_input);
    *locate_status = LOCATE_FOUND;
    char path[FILE_NAME_LENGTH + 1];
    if (file_path(file_name_field, path) != 0 || open_channel(path) != 0) {
        *locate_status = LOCATE_NOT_OPENED;
        return;
    }
    int list_mode = memcmp(wanted_name_field, LIST_MODE_NAME, NAME_LENGTH) == 0;
    for (;;) {
        HeaderRecord header;
        RecordOutcome outcome = read_header(&header);
        // A length word that cannot be followed ends the scan like the end of the file.
        if (outcome == RECORD_END_OF_FILE || outcome == RECORD_DAMAGED) {
            *locate_status = LOCATE_NOT_FOUND;
            return;
        }
        if (outcome != RECORD_DONE)
            continue;
        memcpy(header_name_field, header.name, NAME_LENGTH);
        *column_count = header.column_count;
        *row_count = header.row_count;
        *value_type = header.value_type;
        if (!is_printable_name(header_name_field))
            continue;
        if (list_mode) {
            print_name(header_name_field);
            continue;
        }
        if (memcmp(header_name_field, wanted_name_field, NAME_LENGTH) == 0)
            return;
    }
}
