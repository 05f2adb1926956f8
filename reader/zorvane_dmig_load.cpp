// M = zorvane_dmig_load(file, names): the DMIG and DMI matrices of a
// bulk-data or punch file, with their grid/component labels.
#include "adapter.h"
#include "host_struct.h"
#include "memory.h"

namespace {

const char FUNCTION[] = "zorvane_dmig_load";
const char *FIELDS[] = {"name", "card", "form", "type", "tout", "polar", "matrix", "rows", "cols"};
constexpr int FIELD_COUNT = 9;

// k labels as a k x 2 double array [point component].
mxArray *labels(const CardSet *set, int64_t matrix, int64_t count, bool rows)
{
    mxArray *a = MXCREATEDOUBLEMATRIX730(count, 2, 0);
    double *out = MXGETPR(a);
    for (int64_t k = 0; k < count; ++k) {
        int64_t label[2];
        if (rows)
            card_row_label(set, matrix, k, label);
        else
            card_column_label(set, matrix, k, label);
        out[k] = static_cast<double>(label[0]);
        out[count + k] = static_cast<double>(label[1]);
    }
    return a;
}

mxArray *sparse_of(CardSet *set, int64_t matrix)
{
    const CardMatrix *m = &set->matrices[matrix];
    int complex_values = m->type == 3 || m->type == 4;
    int64_t bound = card_entry_bound(set, matrix);
    int64_t needed = result_bytes(plugin_channel(), m->columns, bound, complex_values);
    int64_t available = memory_available(plugin_channel());
    if (!memory_fits(needed, 0, available)) {
        Problem problem;
        clear_problem(&problem);
        set_problem(&problem, PROBLEM_OUT_OF_MEMORY, 0, "Out of memory: %s needs %lld MB, the process can get %lld MB.",
                    m->name, static_cast<long long>(needed >> 20), static_cast<long long>(available >> 20));
        raise_problem(FUNCTION, &problem);
    }
    mxArray *a = MXCREATESPARSE730(m->rows, m->columns, bound > 0 ? bound : 1, complex_values);
    CardOutput out = {MXGETJC730(a), MXGETIR730(a), MXGETPR(a), complex_values ? MXGETPI(a) : nullptr};
    int64_t entries = 0;
    if (place_card_matrix(set, matrix, &out, &entries) != 0)
        raise_problem(FUNCTION, set->problem);
    (void)MXRESIZESPARSE730(a, entries);
    return a;
}

} // namespace

HOST_EXPORT void MEXFUNCTION(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    begin_call_memory();
    if (nrhs < 1 || nrhs > 2)
        MEXERRMSGIDANDTXT("MATLAB:zorvane_dmig_load:nInput", "One or two inputs required.");
    if (nlhs > 1)
        MEXERRMSGIDANDTXT("MATLAB:zorvane_dmig_load:nOutput", "One output required.");
    CardSet set;
    collect_cards_for_host(FUNCTION, prhs[0], nrhs > 1 ? prhs[1] : nullptr, &set);
    int64_t count = 0;
    for (int64_t k = 0; k < set.matrix_count; ++k)
        count += set.matrices[k].wanted;
    plhs[0] = MXCREATESTRUCTMATRIX(count, 1, FIELD_COUNT, FIELDS);
    for (int64_t k = 0, out = 0; k < set.matrix_count; ++k) {
        const CardMatrix *m = &set.matrices[k];
        if (!m->wanted)
            continue;
        if (order_card_labels(&set, k) != 0)
            raise_problem(FUNCTION, set.problem);
        bool dmig = m->kind == CARD_DMIG;
        MXSETFIELD(plhs[0], out, "name", MXCREATESTRING(m->name));
        MXSETFIELD(plhs[0], out, "card", MXCREATESTRING(dmig ? "DMIG" : "DMI"));
        MXSETFIELD(plhs[0], out, "form", MXCREATEDOUBLESCALAR(m->form));
        MXSETFIELD(plhs[0], out, "type", MXCREATEDOUBLESCALAR(m->type));
        MXSETFIELD(plhs[0], out, "tout", MXCREATEDOUBLESCALAR(m->tout));
        MXSETFIELD(plhs[0], out, "polar", MXCREATEDOUBLESCALAR(m->polar));
        MXSETFIELD(plhs[0], out, "matrix", sparse_of(&set, k));
        MXSETFIELD(plhs[0], out, "rows", labels(&set, k, dmig ? m->rows : 0, true));
        MXSETFIELD(plhs[0], out, "cols", labels(&set, k, dmig ? m->columns : 0, false));
        ++out;
    }
    release_cards(&set);
    end_call_memory();
}
