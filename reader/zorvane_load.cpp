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
struct LoadCall {
    char (*wanted)[NAME_LENGTH];
    int *found;
    int64_t wanted_count;
    Loaded *loaded;
    int64_t loaded_count, loaded_room;
    char (*seen)[NAME_LENGTH]; // names of the matrices passed over
    int64_t seen_count, seen_room;
};

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

void wanted_names(LoadCall *call, const mxArray *names)
{
    if (names_are_empty(names))
        return;
    call->wanted_count = MXISCELL(names) ? MXGETNUMBEROFELEMENTS(names) : 1;
    call->wanted = static_cast<char(*)[NAME_LENGTH]>(host_array(nullptr, call->wanted_count, NAME_LENGTH));
    call->found = static_cast<int *>(host_array(nullptr, call->wanted_count, sizeof(int)));
    for (int64_t k = 0; k < call->wanted_count; ++k) {
        const mxArray *name = MXISCELL(names) ? MXGETCELL(names, k) : names;
        if (name == nullptr)
            MEXERRMSGIDANDTXT("MATLAB:zorvane_load:NonString", "Names must be character rows or a cell array of them.");
        name_field(name, call->wanted[k]);
        call->found[k] = 0;
    }
}

// Whether the matrix is asked for (every one when no names were given).
int is_wanted(LoadCall *call, const char name[NAME_LENGTH])
{
    int asked = call->wanted == nullptr;
    for (int64_t k = 0; k < call->wanted_count; ++k)
        if (memcmp(call->wanted[k], name, NAME_LENGTH) == 0)
            asked = call->found[k] = 1;
    return asked;
}

// Whether no matrix of this name came before (the one zorvane finds).
int first_of_its_name(const LoadCall *call, const char name[NAME_LENGTH])
{
    for (int64_t k = 0; k < call->loaded_count; ++k)
        if (memcmp(call->loaded[k].header.name, name, NAME_LENGTH) == 0)
            return 0;
    for (int64_t k = 0; k < call->seen_count; ++k)
        if (memcmp(call->seen[k], name, NAME_LENGTH) == 0)
            return 0;
    return 1;
}

// Decodes the matrix just located; a failure names the matrix.
void load_matrix(LoadCall *call, MatrixEntry *entry, int32_t selector)
{
    const HeaderRecord *h = &entry->header;
    char problem[PROBLEM_LENGTH], message[PROBLEM_LENGTH + 32], name[NAME_LENGTH + 1];
    trimmed_name(h->name, name);
    mxArray *matrix = nullptr;
    int end_record_read = 0;
    HeaderWatch watch = {first_of_its_name(call, h->name) ? 0 : 1, -1};
    const char *identifier = decode_to_host(h, selector, &watch, &matrix, &end_record_read, problem);
    if (identifier != nullptr) {
        snprintf(message, sizeof message, "%s: %s", name, problem);
        raise_closed(identifier, message);
    }
    if (call->loaded_count == call->loaded_room) {
        call->loaded_room = 2 * call->loaded_room + 8;
        suspend_for_host();
        call->loaded = static_cast<Loaded *>(host_array(call->loaded, call->loaded_room, sizeof(Loaded)));
        resume_after_host();
    }
    call->loaded[call->loaded_count++] = Loaded{*h, matrix};
    finish_watched_matrix(plugin_channel(), entry, &watch, end_record_read, long_record_store());
}

// A matrix not asked for: its name noted, its records passed over.
void pass_over(LoadCall *call, MatrixEntry *entry)
{
    if (call->seen_count == call->seen_room) {
        call->seen_room = 2 * call->seen_room + 8;
        suspend_for_host();
        call->seen = static_cast<char(*)[NAME_LENGTH]>(host_array(call->seen, call->seen_room, NAME_LENGTH));
        resume_after_host();
    }
    memcpy(call->seen[call->seen_count++], entry->header.name, NAME_LENGTH);
    finish_structural_matrix(plugin_channel(), entry, 0, long_record_store());
}

void check_all_found(const LoadCall *call)
{
    for (int64_t k = 0; k < call->wanted_count; ++k)
        if (!call->found[k]) {
            char name[NAME_LENGTH + 1], message[64];
            trimmed_name(call->wanted[k], name);
            snprintf(message, sizeof message, "Matrix %s is not in the file.", name);
            MEXERRMSGIDANDTXT("MATLAB:zorvane_load:NotFound", message);
        }
}

mxArray *result(const LoadCall *call)
{
    mxArray *out = MXCREATESTRUCTMATRIX(call->loaded_count, 1, FIELD_COUNT, FIELDS);
    for (int64_t k = 0; k < call->loaded_count; ++k) {
        char name[NAME_LENGTH + 1];
        trimmed_name(call->loaded[k].header.name, name);
        MXSETFIELD(out, k, "name", MXCREATESTRING(name));
        MXSETFIELD(out, k, "form", MXCREATEDOUBLESCALAR(call->loaded[k].header.form));
        MXSETFIELD(out, k, "type", MXCREATEDOUBLESCALAR(call->loaded[k].header.value_type));
        MXSETFIELD(out, k, "matrix", call->loaded[k].matrix);
    }
    return out;
}

} // namespace

HOST_EXPORT void MEXFUNCTION(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    begin_call_memory();
    LoadCall call = {};
    if (nrhs < 1 || nrhs > 3)
        MEXERRMSGIDANDTXT("MATLAB:zorvane_load:nInput", "One to three inputs required.");
    if (nlhs > 1)
        MEXERRMSGIDANDTXT("MATLAB:zorvane_load:nOutput", "One output required.");
    char path[CHANNEL_PATH_LENGTH];
    file_path_argument(prhs[0], "zorvane_load", path);
    if (nrhs >= 2)
        wanted_names(&call, prhs[1]);
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
        if (is_wanted(&call, entry.header.name))
            load_matrix(&call, &entry, selector);
        else
            pass_over(&call, &entry);
    }
    close_channel(ch);
    check_all_found(&call);
    plhs[0] = result(&call);
    end_call_memory();
}
