// S = zorvane_dmig_dir(file): what zorvane_dmig_load would return of each
// DMIG and DMI matrix, without its matrix: sizes, terms, header line.
#include "adapter.h"
#include "host_struct.h"

namespace {

const char FUNCTION[] = "zorvane_dmig_dir";
const char *FIELDS[] = {"name", "card", "form", "type", "tout", "polar", "rows", "cols", "terms", "line"};
constexpr int FIELD_COUNT = 10;

} // namespace

HOST_EXPORT void MEXFUNCTION(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    begin_call_memory();
    if (nrhs != 1)
        MEXERRMSGIDANDTXT("MATLAB:zorvane_dmig_dir:nInput", "One input required.");
    if (nlhs > 1)
        MEXERRMSGIDANDTXT("MATLAB:zorvane_dmig_dir:nOutput", "One output required.");
    CardSet set;
    collect_cards_for_host(FUNCTION, prhs[0], nullptr, &set);
    plhs[0] = MXCREATESTRUCTMATRIX(set.matrix_count, 1, FIELD_COUNT, FIELDS);
    for (int64_t k = 0; k < set.matrix_count; ++k) {
        if (order_card_labels(&set, k) != 0)
            raise_problem(FUNCTION, set.problem);
        const CardMatrix *m = &set.matrices[k];
        MXSETFIELD(plhs[0], k, "name", MXCREATESTRING(m->name));
        MXSETFIELD(plhs[0], k, "card", MXCREATESTRING(m->kind == CARD_DMIG ? "DMIG" : "DMI"));
        MXSETFIELD(plhs[0], k, "form", MXCREATEDOUBLESCALAR(m->form));
        MXSETFIELD(plhs[0], k, "type", MXCREATEDOUBLESCALAR(m->type));
        MXSETFIELD(plhs[0], k, "tout", MXCREATEDOUBLESCALAR(m->tout));
        MXSETFIELD(plhs[0], k, "polar", MXCREATEDOUBLESCALAR(m->polar));
        MXSETFIELD(plhs[0], k, "rows", MXCREATEDOUBLESCALAR(static_cast<double>(m->rows)));
        MXSETFIELD(plhs[0], k, "cols", MXCREATEDOUBLESCALAR(static_cast<double>(m->columns)));
        MXSETFIELD(plhs[0], k, "terms", MXCREATEDOUBLESCALAR(static_cast<double>(m->terms)));
        MXSETFIELD(plhs[0], k, "line", MXCREATEDOUBLESCALAR(static_cast<double>(m->line)));
    }
    release_cards(&set);
    end_call_memory();
}
