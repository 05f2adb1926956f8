// zorvane_save(file, names, matrices, option, value, ...): matrices written
// to an OUTPUT4 matrix file that the solvers read. The gateway checks and
// converts the inputs; the core's save does the rest, so that an error
// leaves no file behind and no existing file changed.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "adapter.h"
#include "convert.h"
#include "host_struct.h"
#include "save.h"

namespace {

constexpr int MAX_MATRICES = 100000;
constexpr int OPTION_TEXT = 32;

// What one call holds.
struct SaveCall {
    char path[CHANNEL_PATH_LENGTH];
    SaveItem *items;
    int64_t count;
    SaveOptions options;
};

[[noreturn]] void fail(const char *mnemonic, const char *format, ...) __attribute__((format(printf, 2, 3)));
void fail(const char *mnemonic, const char *format, ...)
{
    char identifier[64], message[PROBLEM_LENGTH + CHANNEL_PATH_LENGTH];
    snprintf(identifier, sizeof identifier, "MATLAB:zorvane_save:%s", mnemonic);
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof message, format, args);
    va_end(args);
    raise_closed(identifier, message);
}

void name_field(const mxArray *a, int64_t k, char field[NAME_LENGTH])
{
    char text[NAME_LENGTH + 2];
    if (a == nullptr || text_argument(a, text, sizeof text) || !writable_name(text, field))
        fail("BadName", "Name %lld must be 1 to 8 characters from ! to z, and not XXXXXXXX.",
             static_cast<long long>(k + 1));
}

void add_item(SaveCall *call, const char name[NAME_LENGTH], const mxArray *matrix, int single, int32_t form)
{
    char label[NAME_LENGTH + 1];
    trimmed_name(name, label);
    if (matrix == nullptr || (!MXISNUMERIC(matrix) && !MXISLOGICAL(matrix)) || MXGETNUMBEROFDIMENSIONS(matrix) != 2)
        fail("BadMatrix", "%s: the matrix must be a numeric or logical 2-D array.", label);
    SaveItem *item = &call->items[call->count++];
    memcpy(item->name, name, NAME_LENGTH);
    item->source = matrix_source(double_matrix(matrix));
    item->single = single;
    item->form = form;
}

void allocate_items(SaveCall *call, int64_t count)
{
    if (count > MAX_MATRICES)
        fail("nInput", "At most %d matrices a call.", MAX_MATRICES);
    call->items = static_cast<SaveItem *>(MXREALLOC(nullptr, static_cast<size_t>(count > 0 ? count : 1) * sizeof(SaveItem)));
    if (call->items == nullptr)
        fail("CannotWrite", "No memory for the list of matrices.");
}

// A scalar struct field as an integer from low to high, or fallback when absent or empty.
int32_t struct_integer(const mxArray *s, int64_t k, const char *field, int32_t fallback, int32_t low, int32_t high)
{
    const mxArray *a = MXGETFIELD(s, k, field);
    double value = 0;
    if (a == nullptr || MXGETNUMBEROFELEMENTS(a) == 0)
        return fallback;
    if (MXGETNUMBEROFELEMENTS(a) != 1 || MXISCOMPLEX(a) || first_numeric_value(a, &value) != 0 ||
        value != std::trunc(value) || value < low || value > high)
        fail("BadMatrix", "Element %lld: the field %s must be an integer from %d to %d.", static_cast<long long>(k + 1),
             field, low, high);
    return static_cast<int32_t>(value);
}

void items_from_struct(SaveCall *call, const mxArray *s)
{
    int64_t count = MXGETNUMBEROFELEMENTS(s);
    if (!MXHASFIELD(s, "name") || !MXHASFIELD(s, "matrix"))
        fail("BadMatrix", "The structure needs the fields name and matrix.");
    allocate_items(call, count);
    for (int64_t k = 0; k < count; ++k) {
        char name[NAME_LENGTH];
        name_field(MXGETFIELD(s, k, "name"), k, name);
        int32_t type = struct_integer(s, k, "type", 0, VALUE_TYPE_SINGLE, VALUE_TYPE_COMPLEX_DOUBLE);
        const mxArray *matrix = MXGETFIELD(s, k, "matrix");
        int single = type == VALUE_TYPE_SINGLE || type == VALUE_TYPE_COMPLEX_SINGLE ||
                     (type == 0 && matrix != nullptr && MXGETCLASSID(matrix) == mxSINGLE_CLASS);
        add_item(call, name, matrix, single, struct_integer(s, k, "form", NO_FORM, INT32_MIN + 1, INT32_MAX));
    }
}

void items_from_lists(SaveCall *call, const mxArray *names, const mxArray *matrices)
{
    int cells = MXISCELL(names);
    int64_t count = cells ? MXGETNUMBEROFELEMENTS(names) : 1;
    if (cells && (!MXISCELL(matrices) || MXGETNUMBEROFELEMENTS(matrices) != count))
        fail("nInput", "As many names as matrices are needed (a name and a matrix, or two cell arrays of one size).");
    allocate_items(call, count);
    for (int64_t k = 0; k < count; ++k) {
        char name[NAME_LENGTH];
        name_field(cells ? MXGETCELL(names, k) : names, k, name);
        const mxArray *matrix = cells ? MXGETCELL(matrices, k) : matrices;
        add_item(call, name, matrix, matrix != nullptr && MXGETCLASSID(matrix) == mxSINGLE_CLASS, NO_FORM);
    }
}

const char OPTIONS[] = "format, byte_order, encoding, precision, form, digits, append";

// The index of the word an option takes, or a BadOption naming its choices.
int choice(const char *option, const mxArray *value, const char *const *words, int count, const char *listed)
{
    char word[OPTION_TEXT];
    if (!text_argument(value, word, sizeof word))
        for (int k = 0; k < count; ++k)
            if (strcasecmp(word, words[k]) == 0)
                return k;
    fail("BadOption", "The option %s takes %s.", option, listed);
}

double real_scalar(const mxArray *value, int *ok)
{
    double number = 0;
    *ok = !MXISCHAR(value) && !MXISCOMPLEX(value) && MXGETNUMBEROFELEMENTS(value) == 1 &&
          first_numeric_value(value, &number) == 0 && number == std::trunc(number);
    return number;
}

int integer_option(const mxArray *value, const char *option, int low, int high)
{
    int ok = 0;
    double number = real_scalar(value, &ok);
    if (!ok || number < low || number > high)
        fail("BadOption", "The option %s takes an integer from %d to %d.", option, low, high);
    return static_cast<int>(number);
}

void parse_options(int count, const mxArray *const *args, SaveOptions *o)
{
    static const char *const formats[] = {"binary", "text"}, *const orders[] = {"little", "big"},
                             *const precisions[] = {"double", "single"},
                             *const encodings[] = {"auto", "dense", "packed", "large", "value-count"};
    if (count % 2 != 0)
        fail("BadOption", "Every option needs a value; the options are %s.", OPTIONS);
    for (int k = 0; k < count; k += 2) {
        char option[OPTION_TEXT];
        if (text_argument(args[k], option, sizeof option))
            fail("BadOption", "Option names are text: %s.", OPTIONS);
        const mxArray *value = args[k + 1];
        if (strcasecmp(option, "format") == 0) {
            o->text = choice(option, value, formats, 2, "binary or text");
            o->given_format = 1;
        } else if (strcasecmp(option, "byte_order") == 0) {
            o->big_endian = choice(option, value, orders, 2, "little or big");
            o->given_byte_order = 1;
        } else if (strcasecmp(option, "precision") == 0) {
            o->single = choice(option, value, precisions, 2, "double or single");
            o->given_precision = 1;
        } else if (strcasecmp(option, "encoding") == 0) {
            o->encoding = static_cast<Encoding>(
                choice(option, value, encodings, 5, "auto, dense, packed, large or value-count"));
        } else if (strcasecmp(option, "form") == 0) {
            int ok = 0, square_needed = 0;
            double form = real_scalar(value, &ok);
            if (!ok || !form_is_known(form, &square_needed))
                fail("BadOption", "The option form takes one of 1-6, 8-11, 13, 15.");
            o->form = static_cast<int32_t>(form);
            o->given_form = 1;
        } else if (strcasecmp(option, "digits") == 0) {
            o->digits = integer_option(value, "digits", 1, 20);
            o->given_digits = 1;
        } else if (strcasecmp(option, "append") == 0) {
            o->append = integer_option(value, "append", 0, 1);
        } else {
            fail("BadOption", "%s is no option; the options are %s.", option, OPTIONS);
        }
    }
}

} // namespace

HOST_EXPORT void MEXFUNCTION(int nlhs, mxArray *[], int nrhs, const mxArray *prhs[])
{
    begin_call_memory();
    SaveCall call = {};
    if (nlhs > 0)
        fail("nOutput", "zorvane_save returns no output.");
    if (nrhs < 2 || (nrhs < 3 && !MXISSTRUCT(prhs[1])))
        fail("nInput", "A file and a struct array, or a file, names and matrices, are required.");
    char text[CHANNEL_PATH_LENGTH];
    if (text_argument(prhs[0], text, sizeof text - 64) || text[0] == '\0')
        fail("BadFileName", "The file name must be a non-empty character row.");
    expand_home(text, call.path);
    int first_option = MXISSTRUCT(prhs[1]) ? 2 : 3;
    if (MXISSTRUCT(prhs[1]))
        items_from_struct(&call, prhs[1]);
    else
        items_from_lists(&call, prhs[1], prhs[2]);
    call.options = default_save_options();
    parse_options(nrhs - first_option, prhs + first_option, &call.options);
    Problem problem;
    if (save_matrices(plugin_channel(), call.path, call.options, call.items, call.count, long_record_store(), &problem) != 0)
        fail(problem_mnemonic(problem.status), "%s", problem.message);
    MXFREE(call.items);
    end_call_memory();
}
