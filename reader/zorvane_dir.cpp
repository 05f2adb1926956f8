// info = zorvane_dir(file): every matrix's header as a struct array, in
// file order, found by the file's structure.
#include "adapter.h"
#include "host_struct.h"
#include "scan.h"

namespace {

const char *FIELDS[] = {"name", "rows", "columns", "form", "type", "precision", "complex", "encoding", "byte_order",
                        "format"};
constexpr int FIELD_COUNT = 10;

// Reads the next matrix through its end record; 0 when there is none.
int next_matrix(MatrixEntry *entry, WordStore *store)
{
    return next_structural_matrix(plugin_channel(), entry, store);
}

void fill(mxArray *info, int64_t k, const MatrixEntry *entry)
{
    const HeaderRecord *h = &entry->header;
    char name[NAME_LENGTH + 1];
    trimmed_name(h->name, name);
    const MatrixChannel *ch = plugin_channel();
    MXSETFIELD(info, k, "name", MXCREATESTRING(name));
    MXSETFIELD(info, k, "rows", MXCREATEDOUBLESCALAR(static_cast<double>(header_rows(h->row_count))));
    MXSETFIELD(info, k, "columns", MXCREATEDOUBLESCALAR(h->column_count));
    MXSETFIELD(info, k, "form", MXCREATEDOUBLESCALAR(h->form));
    MXSETFIELD(info, k, "type", MXCREATEDOUBLESCALAR(h->value_type));
    MXSETFIELD(info, k, "precision", MXCREATESTRING(value_type_is_double(h->value_type) ? "double" : "single"));
    MXSETFIELD(info, k, "complex", MXCREATELOGICALSCALAR(value_type_is_complex(h->value_type)));
    MXSETFIELD(info, k, "encoding", MXCREATESTRING(encoding_name(entry->encodings)));
    MXSETFIELD(info, k, "byte_order", MXCREATESTRING(channel_byte_order_name(ch)));
    MXSETFIELD(info, k, "format", MXCREATESTRING(channel_format_name(ch)));
}

} // namespace

HOST_EXPORT void MEXFUNCTION(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    begin_call_memory();
    if (nrhs != 1)
        MEXERRMSGIDANDTXT("MATLAB:zorvane_dir:nInput", "One input required.");
    if (nlhs > 1)
        MEXERRMSGIDANDTXT("MATLAB:zorvane_dir:nOutput", "One output required.");
    char path[CHANNEL_PATH_LENGTH];
    file_path_argument(prhs[0], "zorvane_dir", path);
    // Counted first, so that the struct array is created once, with the file closed.
    MatrixChannel *ch = plugin_channel();
    if (path[0] == '\0' || open_matrix_file(ch, path) != 0)
        raise_closed(nullptr, COULD_NOT_OPEN);
    if (is_foreign_file(ch))
        raise_closed("MATLAB:zorvane_dir:NotMatrixFile", NOT_MATRIX_FILE);
    MatrixEntry entry;
    int64_t count = 0;
    while (next_matrix(&entry, long_record_store()))
        ++count;
    close_channel(ch);
    plhs[0] = MXCREATESTRUCTMATRIX(count, 1, FIELD_COUNT, FIELDS);
    if (open_matrix_file(ch, path) != 0)
        raise_closed(nullptr, COULD_NOT_OPEN);
    for (int64_t k = 0; k < count && next_matrix(&entry, long_record_store()); ++k) {
        suspend_for_host();
        fill(plhs[0], k, &entry);
        resume_after_host();
    }
    close_channel(ch);
    end_call_memory();
}
