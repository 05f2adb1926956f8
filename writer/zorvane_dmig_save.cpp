// zorvane_dmig_save(file, name, A, rows, cols, ...), (file, name, A, ...),
// (file, S, ...): matrices written as DMIG cards (with labels) or DMI
// cards (without), for the bulk data of either solver family.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "adapter.h"
#include "card_writer.h"
#include "convert.h"

namespace {

const char FUNCTION[] = "zorvane_dmig_save";
const char OPTIONS[] = "field, precision, tout, form, triangle, append";
constexpr int OPTION_TEXT = 32;
constexpr int MAX_MATRICES = 100000;

// The file appended to is read through a channel of its own.
MatrixChannel reading;

[[noreturn]] void fail(const char *mnemonic, const char *format, ...) __attribute__((format(printf, 2, 3)));
void fail(const char *mnemonic, const char *format, ...)
{
    char identifier[64], message[PROBLEM_LENGTH + CHANNEL_PATH_LENGTH];
    snprintf(identifier, sizeof identifier, "MATLAB:%s:%s", FUNCTION, mnemonic);
#ifdef HAVE_OCTAVE
    int n = 0; // Octave puts the function's name in front of the message itself
#else
    int n = snprintf(message, sizeof message, "%s: ", FUNCTION);
#endif
    va_list args;
    va_start(args, format);
    vsnprintf(message + n, sizeof message - static_cast<size_t>(n), format, args);
    va_end(args);
    raise_closed(identifier, message);
}

// What the options say; -1 where not given.
struct CardOptions {
    int large, single, tout, form, both_sides, append;
};

int choice(const char *option, const mxArray *value, const char *first, const char *second)
{
    char word[OPTION_TEXT];
    if (!text_argument(value, word, sizeof word)) {
        if (strcasecmp(word, first) == 0)
            return 0;
        if (strcasecmp(word, second) == 0)
            return 1;
    }
    fail("BadOption", "The option %s takes %s or %s.", option, first, second);
}

int integer_option(const mxArray *value, const char *option, const char *values, const int *allowed, int count)
{
    double number = 0;
    if (!MXISCHAR(value) && !MXISCOMPLEX(value) && MXGETNUMBEROFELEMENTS(value) == 1 &&
        first_numeric_value(value, &number) == 0)
        for (int k = 0; k < count; ++k)
            if (number == allowed[k])
                return allowed[k];
    fail("BadOption", "The option %s takes %s.", option, values);
}

CardOptions parse_options(int count, const mxArray *const *args)
{
    static const int touts[] = {0, 1, 2, 3, 4}, forms[] = {1, 2, 6, 9}, flags[] = {0, 1};
    CardOptions o = {1, -1, -1, -1, 0, 0};
    if (count % 2 != 0)
        fail("BadOption", "Every option needs a value; the options are %s.", OPTIONS);
    for (int k = 0; k < count; k += 2) {
        char option[OPTION_TEXT];
        if (text_argument(args[k], option, sizeof option))
            fail("BadOption", "Option names are text: %s.", OPTIONS);
        const mxArray *value = args[k + 1];
        if (strcasecmp(option, "field") == 0)
            o.large = 1 - choice(option, value, "large", "small");
        else if (strcasecmp(option, "precision") == 0)
            o.single = choice(option, value, "double", "single");
        else if (strcasecmp(option, "tout") == 0)
            o.tout = integer_option(value, option, "0, 1, 2, 3 or 4", touts, 5);
        else if (strcasecmp(option, "form") == 0)
            o.form = integer_option(value, option, "1, 2, 6 or 9 (DMI: 1, 2 or 6)", forms, 4);
        else if (strcasecmp(option, "triangle") == 0)
            o.both_sides = choice(option, value, "upper", "both");
        else if (strcasecmp(option, "append") == 0)
            o.append = integer_option(value, option, "true or false", flags, 2);
        else
            fail("BadOption", "%s is no option; the options are %s.", option, OPTIONS);
    }
    return o;
}

void name_of(const mxArray *a, int64_t k, char upper[CARD_NAME_LENGTH + 1])
{
    char text[CARD_NAME_LENGTH + 2];
    if (a == nullptr || text_argument(a, text, sizeof text) ||
        !card_name_is_valid(text, static_cast<int64_t>(strlen(text)), upper))
        fail("BadName", "name %lld must be 1-8 letters or digits, a letter first.", static_cast<long long>(k + 1));
}

MatrixSource matrix_of(const mxArray *a, const char *name)
{
    if (a == nullptr || (!MXISNUMERIC(a) && !MXISLOGICAL(a)) || MXGETNUMBEROFDIMENSIONS(a) != 2)
        fail("BadMatrix", "%s: the matrix must be a numeric or logical 2-D array.", name);
    return matrix_source(double_matrix(a));
}

// A k x 2 array of integer labels as points and components (host memory).
void labels_of(const mxArray *a, int64_t count, const char *name, const char *side, const int64_t **points,
               const int64_t **components)
{
    if (a == nullptr || !MXISNUMERIC(a) || MXISCOMPLEX(a) || MXISSPARSE(a) || MXGETM730(a) != count ||
        (MXGETN730(a) != 2 && count > 0))
        fail("BadLabels", "%s: %s must be a %lld x 2 array of [point component].", name, side,
             static_cast<long long>(count));
    const mxArray *d = double_matrix(a);
    auto *p = static_cast<int64_t *>(MXREALLOC(nullptr, static_cast<size_t>(2 * count + 1) * sizeof(int64_t)));
    for (int64_t k = 0; k < 2 * count; ++k) {
        double v = MXGETPR(d)[k];
        if (!(v == std::trunc(v)) || std::fabs(v) > 4e18)
            fail("BadLabels", "%s: %s must hold integers.", name, side);
        p[k] = static_cast<int64_t>(v);
    }
    *points = p;
    *components = p + count;
}

int32_t type_of(const MatrixSource *s, int single) { return (single ? 1 : 2) + (s->imag != nullptr ? 2 : 0); }

double struct_number(const mxArray *s, int64_t k, const char *field, double fallback)
{
    const mxArray *a = MXHASFIELD(s, field) ? MXGETFIELD(s, k, field) : nullptr;
    double value = fallback;
    if (a != nullptr && MXGETNUMBEROFELEMENTS(a) > 0 && first_numeric_value(a, &value) != 0)
        fail("BadMatrix", "element %lld: the field %s must be a number.", static_cast<long long>(k + 1), field);
    return value;
}

void items_from_struct(const mxArray *s, const CardOptions *o, CardItem *items)
{
    int64_t count = MXGETNUMBEROFELEMENTS(s);
    if (!MXHASFIELD(s, "name") || !MXHASFIELD(s, "matrix"))
        fail("BadMatrix", "the structure needs the fields name and matrix.");
    for (int64_t k = 0; k < count; ++k) {
        CardItem *item = &items[k];
        *item = CardItem{};
        name_of(MXGETFIELD(s, k, "name"), k, item->name);
        item->source = matrix_of(MXGETFIELD(s, k, "matrix"), item->name);
        const mxArray *rows = MXHASFIELD(s, "rows") ? MXGETFIELD(s, k, "rows") : nullptr;
        const mxArray *card = MXHASFIELD(s, "card") ? MXGETFIELD(s, k, "card") : nullptr;
        char kind[8] = "";
        bool dmig = card != nullptr ? !text_argument(card, kind, sizeof kind) && strcasecmp(kind, "DMIG") == 0
                                    : rows != nullptr && MXGETNUMBEROFELEMENTS(rows) > 0;
        item->kind = dmig ? CARD_DMIG : CARD_DMI;
        if (dmig) {
            labels_of(rows, item->source.rows, item->name, "rows", &item->row_points, &item->row_components);
            labels_of(MXHASFIELD(s, "cols") ? MXGETFIELD(s, k, "cols") : nullptr, item->source.columns, item->name,
                      "cols", &item->column_points, &item->column_components);
        }
        double type = struct_number(s, k, "type", 0);
        int single = o->single >= 0 ? o->single : type == 1 || type == 3;
        item->type = type_of(&item->source, single);
        item->form = o->form >= 0 ? o->form : static_cast<int32_t>(struct_number(s, k, "form", 0));
        item->tout = o->tout >= 0 ? o->tout : static_cast<int32_t>(struct_number(s, k, "tout", -1));
        item->both_sides = o->both_sides;
    }
}

} // namespace

HOST_EXPORT void MEXFUNCTION(int nlhs, mxArray *[], int nrhs, const mxArray *prhs[])
{
    begin_call_memory();
    if (nlhs > 0)
        fail("nOutput", "it returns no output.");
    bool from_struct = nrhs >= 2 && MXISSTRUCT(prhs[1]);
    if (nrhs < 2 || (!from_struct && nrhs < 3))
        fail("nInput", "a file and a struct array, or a file, a name and a matrix, are required.");
    char text[CHANNEL_PATH_LENGTH], path[CHANNEL_PATH_LENGTH];
    if (text_argument(prhs[0], text, sizeof text - 64) || text[0] == '\0')
        fail("BadFileName", "the file name must be a non-empty character row.");
    expand_home(text, path);
    // Labels are the two numeric inputs after the matrix, where given.
    bool labelled = !from_struct && nrhs >= 5 && !MXISCHAR(prhs[3]) && !MXISCHAR(prhs[4]);
    int first_option = from_struct ? 2 : labelled ? 5 : 3;
    CardOptions o = parse_options(nrhs - first_option, prhs + first_option);
    int64_t count = from_struct ? MXGETNUMBEROFELEMENTS(prhs[1]) : 1;
    if (count > MAX_MATRICES)
        fail("nInput", "at most %d matrices a call.", MAX_MATRICES);
    auto *items = static_cast<CardItem *>(MXREALLOC(nullptr, static_cast<size_t>(count + 1) * sizeof(CardItem)));
    if (from_struct) {
        items_from_struct(prhs[1], &o, items);
    } else {
        CardItem *item = &items[0];
        *item = CardItem{};
        name_of(prhs[1], 0, item->name);
        item->source = matrix_of(prhs[2], item->name);
        item->kind = labelled ? CARD_DMIG : CARD_DMI;
        if (labelled) {
            labels_of(prhs[3], item->source.rows, item->name, "ROWS", &item->row_points, &item->row_components);
            labels_of(prhs[4], item->source.columns, item->name, "COLS", &item->column_points, &item->column_components);
        }
        item->type = type_of(&item->source, o.single > 0);
        item->form = o.form > 0 ? o.form : 0;
        item->tout = o.tout;
        item->both_sides = o.both_sides;
    }
    Problem problem;
    CardWriteOptions write = {o.large, o.append};
    if (save_cards(plugin_channel(), &reading, path, write, items, count, host_card_memory(), &problem) != 0)
        raise_problem(FUNCTION, &problem);
    end_call_memory();
}
