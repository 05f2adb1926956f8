// M = zorvane_load(file [, names [, selector]]): every matrix of the file,
// or those named, as a struct array in file order, repeated names kept;
// the file is read once, its matrices found by its structure.
#include <cstdio>

#include "adapter.h"
#include "convert.h"
#include "host_struct.h"
#include "scan.h"

namespace {

const char *FIELDS[] = {"name", "form", "type", "matrix"};
constexpr int FIELD_COUNT = 4;

struct Loaded {
    HeaderRecord header;
    mxArray *matrix;
};

// The call's lists, in host memory that the host frees if it ends the call.
char (*wanted)[NAME_LENGTH];
int *found;
int64_t wanted_count;
Loaded *loaded;
int64_t loaded_count, loaded_room;
char (*seen)[NAME_LENGTH]; // names of the matrices passed over
int64_t seen_count, seen_room;

void *host_array(void *p, int64_t count, size_t size)
{
    void *q = MXREALLOC(p, static_cast<size_t>(count > 0 ? count : 1) * size);
    if (q == nullptr)
        raise_closed(reader_identifier(PROBLEM_OUT_OF_MEMORY), "Out of memory for the list of matrices.");
    return q;
}

// One name as a blank-filled field; raises on what is not a name.
void name_field(const mxArray *name, char field[NAME_LENGTH])
{
    if (!MXISCHAR(name) || MXGETM730(name) != 1)
        MEXERRMSGIDANDTXT("MATLAB:zorvane_load:NonString", "Names must be character rows or a cell array of them.");
    if (MXGETN730(name) > NAME_LENGTH)
        MEXERRMSGIDANDTXT("MATLAB:zorvane_load:TooLong", "A name has more than 8 characters.");
    if (MXGETSTRING730(name, field, NAME_LENGTH) != 0)
        MEXERRMSGIDANDTXT("MATLAB:zorvane_load:readError", "Error reading string.");
}

// Names given as {} or []: every matrix.
int names_are_empty(const mxArray *names)
{
    return MXGETNUMBEROFELEMENTS(names) == 0 && (MXISCELL(names) || MXISNUMERIC(names));
}

void wanted_names(const mxArray *names)
{
    if (names_are_empty(names))
        return;
    wanted_count = MXISCELL(names) ? MXGETNUMBEROFELEMENTS(names) : 1;
    wanted = static_cast<char(*)[NAME_LENGTH]>(host_array(nullptr, wanted_count, NAME_LENGTH));
    found = static_cast<int *>(host_array(nullptr, wanted_count, sizeof(int)));
    for (int64_t k = 0; k < wanted_count; ++k) {
        const mxArray *name = MXISCELL(names) ? MXGETCELL(names, k) : names;
        if (name == nullptr)
            MEXERRMSGIDANDTXT("MATLAB:zorvane_load:NonString", "Names must be character rows or a cell array of them.");
        name_field(name, wanted[k]);
        found[k] = 0;
    }
}

// Whether the matrix is asked for (every one when no names were given).
int is_wanted(const char name[NAME_LENGTH])
{
    int asked = wanted == nullptr;
    for (int64_t k = 0; k < wanted_count; ++k)
        if (memcmp(wanted[k], name, NAME_LENGTH) == 0)
            asked = found[k] = 1;
    return asked;
}

// Whether no matrix of this name came before (the one zorvane finds).
int first_of_its_name(const char name[NAME_LENGTH])
{
    for (int64_t k = 0; k < loaded_count; ++k)
        if (memcmp(loaded[k].header.name, name, NAME_LENGTH) == 0)
            return 0;
    for (int64_t k = 0; k < seen_count; ++k)
        if (memcmp(seen[k], name, NAME_LENGTH) == 0)
            return 0;
    return 1;
}

// Decodes the matrix just located; a failure names the matrix.
void load_matrix(MatrixEntry *entry, int32_t selector)
{
    const HeaderRecord *h = &entry->header;
    char problem[PROBLEM_LENGTH], message[PROBLEM_LENGTH + 32], name[NAME_LENGTH + 1];
    trimmed_name(h->name, name);
    mxArray *matrix = nullptr;
    int end_record_read = 0;
    HeaderWatch watch = {first_of_its_name(h->name) ? 0 : 1, -1};
    const char *identifier = decode_to_host(h, selector, &watch, &matrix, &end_record_read, problem);
    if (identifier != nullptr) {
        snprintf(message, sizeof message, "%s: %s", name, problem);
        raise_closed(identifier, message);
    }
    if (loaded_count == loaded_room) {
        loaded_room = 2 * loaded_room + 8;
        suspend_for_host();
        loaded = static_cast<Loaded *>(host_array(loaded, loaded_room, sizeof(Loaded)));
        resume_after_host();
    }
    loaded[loaded_count++] = Loaded{*h, matrix};
    finish_watched_matrix(plugin_channel(), entry, &watch, end_record_read, long_record_store());
}

// A matrix not asked for: its name noted, its records passed over.
void pass_over(MatrixEntry *entry)
{
    if (seen_count == seen_room) {
        seen_room = 2 * seen_room + 8;
        suspend_for_host();
        seen = static_cast<char(*)[NAME_LENGTH]>(host_array(seen, seen_room, NAME_LENGTH));
        resume_after_host();
    }
    memcpy(seen[seen_count++], entry->header.name, NAME_LENGTH);
    finish_structural_matrix(plugin_channel(), entry, 0, long_record_store());
}

void check_all_found()
{
    for (int64_t k = 0; k < wanted_count; ++k)
        if (!found[k]) {
            char name[NAME_LENGTH + 1], message[64];
            trimmed_name(wanted[k], name);
            snprintf(message, sizeof message, "Matrix %s is not in the file.", name);
            MEXERRMSGIDANDTXT("MATLAB:zorvane_load:NotFound", message);
        }
}

mxArray *result()
{
    mxArray *out = MXCREATESTRUCTMATRIX(loaded_count, 1, FIELD_COUNT, FIELDS);
    for (int64_t k = 0; k < loaded_count; ++k) {
        char name[NAME_LENGTH + 1];
        trimmed_name(loaded[k].header.name, name);
        MXSETFIELD(out, k, "name", MXCREATESTRING(name));
        MXSETFIELD(out, k, "form", MXCREATEDOUBLESCALAR(loaded[k].header.form));
        MXSETFIELD(out, k, "type", MXCREATEDOUBLESCALAR(loaded[k].header.value_type));
        MXSETFIELD(out, k, "matrix", loaded[k].matrix);
    }
    return out;
}

} // namespace

HOST_EXPORT void MEXFUNCTION(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    begin_call_memory();
    wanted = nullptr;
    found = nullptr;
    loaded = nullptr;
    seen = nullptr;
    wanted_count = loaded_count = loaded_room = seen_count = seen_room = 0;
    if (nrhs < 1 || nrhs > 3)
        MEXERRMSGIDANDTXT("MATLAB:zorvane_load:nInput", "One to three inputs required.");
    if (nlhs > 1)
        MEXERRMSGIDANDTXT("MATLAB:zorvane_load:nOutput", "One output required.");
    char path[CHANNEL_PATH_LENGTH];
    file_path_argument(prhs[0], "zorvane_load", path);
    if (nrhs >= 2)
        wanted_names(prhs[1]);
    // The shape first: an empty selector has no value to read.
    double third_input = 0.0;
    if (nrhs == 3) {
        check_selector_shape(prhs[2], "zorvane_load");
        third_input = selector_value(prhs[2], "zorvane_load");
    }
    int32_t selector = selector_from_double(third_input);
    MatrixChannel *ch = plugin_channel();
    if (path[0] == '\0' || open_matrix_file(ch, path) != 0)
        raise_closed(nullptr, COULD_NOT_OPEN);
    if (is_foreign_file(ch))
        raise_closed("MATLAB:zorvane_load:NotMatrixFile", NOT_MATRIX_FILE);
    MatrixEntry entry;
    while (SCANHEADER(ch, &entry) == RECORD_DONE) {
        if (is_wanted(entry.header.name))
            load_matrix(&entry, selector);
        else
            pass_over(&entry);
    }
    close_channel(ch);
    check_all_found();
    plhs[0] = result();
    end_call_memory();
}
