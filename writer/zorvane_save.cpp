// zorvane_save(file, names, matrices, option, value, ...): matrices written
// to an OUTPUT4 matrix file that the solvers read. The gateway checks and
// converts every input before the file is opened, so that an error leaves
// no file behind and no existing file changed.
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "adapter.h"
#include "convert.h"
#include "encode.h"
#include "host_struct.h"

namespace {

constexpr int MAX_MATRICES = 100000;
constexpr int OPTION_TEXT = 32;
constexpr int32_t NO_FORM = INT32_MIN; // a struct element without its form

// What the options say; given_* tell what the caller chose.
struct SaveOptions {
    int text, big_endian, single, append, digits;
    int given_format, given_byte_order, given_precision, given_form, given_digits;
    int32_t form;
    Encoding encoding;
};

// One matrix to write, as the host holds it (after conversion to double).
struct SaveItem {
    char name[NAME_LENGTH];
    const mxArray *matrix;
    int single;  // precision from the matrix's class or the struct's type
    int32_t form; // from the struct, or NO_FORM
    MatrixSource source;
    EncodePlan plan;
};

SaveItem *items;
int64_t item_count;
char path[CHANNEL_PATH_LENGTH];

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

// A text argument as a C string; 1 when it is not a character row that
// fits, or holds a NUL (which would silently name something else).
int text_of(const mxArray *a, char *buffer, int64_t size)
{
    return !MXISCHAR(a) || (MXGETM730(a) != 1 && MXGETNUMBEROFELEMENTS(a) != 0) || MXGETTEXT(a, buffer, size) != 0 ||
           static_cast<int64_t>(strlen(buffer)) != MXGETNUMBEROFELEMENTS(a);
}

// A name: 1 to 8 characters from ! to z, not the list-mode name.
void name_field(const mxArray *a, int64_t k, char field[NAME_LENGTH])
{
    char text[NAME_LENGTH + 2];
    if (a == nullptr || text_of(a, text, sizeof text) || text[0] == '\0' || strlen(text) > NAME_LENGTH ||
        strcmp(text, "XXXXXXXX") == 0)
        fail("BadName", "Name %lld must be 1 to 8 characters from ! to z, and not XXXXXXXX.",
             static_cast<long long>(k + 1));
    for (const char *p = text; *p != '\0'; ++p)
        if (*p < '!' || *p > 'z')
            fail("BadName", "Name %lld holds a character outside ! to z.", static_cast<long long>(k + 1));
    memset(field, ' ', NAME_LENGTH);
    memcpy(field, text, strlen(text));
}

void check_matrix(const mxArray *a, const char name[NAME_LENGTH])
{
    char label[NAME_LENGTH + 1];
    trimmed_name(name, label);
    if (a == nullptr || (!MXISNUMERIC(a) && !MXISLOGICAL(a)) || MXGETNUMBEROFDIMENSIONS(a) != 2)
        fail("BadMatrix", "%s: the matrix must be a numeric or logical 2-D array.", label);
}

void add_item(const char name[NAME_LENGTH], const mxArray *matrix, int single, int32_t form)
{
    check_matrix(matrix, name);
    SaveItem *item = &items[item_count++];
    memcpy(item->name, name, NAME_LENGTH);
    item->matrix = matrix;
    item->single = single;
    item->form = form;
}

void allocate_items(int64_t count)
{
    if (count > MAX_MATRICES)
        fail("nInput", "At most %d matrices a call.", MAX_MATRICES);
    items = static_cast<SaveItem *>(MXREALLOC(nullptr, static_cast<size_t>(count > 0 ? count : 1) * sizeof(SaveItem)));
    if (items == nullptr)
        fail("CannotWrite", "No memory for the list of matrices.");
}

// A scalar struct field as an integer, or fallback when absent or empty.
int32_t struct_integer(const mxArray *s, int64_t k, const char *field, int32_t fallback)
{
    const mxArray *a = MXGETFIELD(s, k, field);
    double value = 0;
    if (a == nullptr || MXGETNUMBEROFELEMENTS(a) == 0)
        return fallback;
    if (first_numeric_value(a, &value) != 0 || value != std::trunc(value) || std::fabs(value) > INT32_MAX)
        fail("BadMatrix", "Element %lld: the field %s must be an integer.", static_cast<long long>(k + 1), field);
    return static_cast<int32_t>(value);
}

void items_from_struct(const mxArray *s)
{
    int64_t count = MXGETNUMBEROFELEMENTS(s);
    if (!MXHASFIELD(s, "name") || !MXHASFIELD(s, "matrix"))
        fail("BadMatrix", "The structure needs the fields name and matrix.");
    allocate_items(count);
    for (int64_t k = 0; k < count; ++k) {
        char name[NAME_LENGTH];
        name_field(MXGETFIELD(s, k, "name"), k, name);
        int32_t type = struct_integer(s, k, "type", 0);
        const mxArray *matrix = MXGETFIELD(s, k, "matrix");
        int single = type == VALUE_TYPE_SINGLE || type == VALUE_TYPE_COMPLEX_SINGLE ||
                     (type == 0 && matrix != nullptr && MXGETCLASSID(matrix) == mxSINGLE_CLASS);
        add_item(name, matrix, single, struct_integer(s, k, "form", NO_FORM));
    }
}

void items_from_lists(const mxArray *names, const mxArray *matrices)
{
    int cells = MXISCELL(names);
    int64_t count = cells ? MXGETNUMBEROFELEMENTS(names) : 1;
    if (cells && (!MXISCELL(matrices) || MXGETNUMBEROFELEMENTS(matrices) != count))
        fail("nInput", "As many names as matrices are needed (a name and a matrix, or two cell arrays of one size).");
    allocate_items(count);
    for (int64_t k = 0; k < count; ++k) {
        char name[NAME_LENGTH];
        name_field(cells ? MXGETCELL(names, k) : names, k, name);
        const mxArray *matrix = cells ? MXGETCELL(matrices, k) : matrices;
        add_item(name, matrix, matrix != nullptr && MXGETCLASSID(matrix) == mxSINGLE_CLASS, NO_FORM);
    }
}

// One of the words an option takes; its index, or -1.
int choice(const char *text, const char *const *words, int count)
{
    for (int k = 0; k < count; ++k)
        if (strcasecmp(text, words[k]) == 0)
            return k;
    return -1;
}

int integer_option(const mxArray *value, const char *option, int64_t low, int64_t high)
{
    double number = 0;
    if (MXISCHAR(value) || MXGETNUMBEROFELEMENTS(value) != 1 || first_numeric_value(value, &number) != 0 ||
        number != std::trunc(number) || number < static_cast<double>(low) || number > static_cast<double>(high))
        fail("BadOption", "The option %s takes an integer from %lld to %lld.", option, static_cast<long long>(low),
             static_cast<long long>(high));
    return static_cast<int>(number);
}

void parse_options(int count, const mxArray *const *args, SaveOptions *o)
{
    static const char *const formats[] = {"binary", "text"}, *const orders[] = {"little", "big"},
                             *const precisions[] = {"double", "single"},
                             *const encodings[] = {"auto", "dense", "packed", "large", "value-count"};
    if (count % 2 != 0)
        fail("BadOption", "Every option needs a value.");
    for (int k = 0; k < count; k += 2) {
        char option[OPTION_TEXT], word[OPTION_TEXT];
        if (text_of(args[k], option, sizeof option))
            fail("BadOption", "Option names are text: format, byte_order, encoding, precision, form, digits, append.");
        const mxArray *value = args[k + 1];
        int is_word = !text_of(value, word, sizeof word);
        int pick = -1;
        if (strcasecmp(option, "format") == 0 && is_word && (pick = choice(word, formats, 2)) >= 0) {
            o->text = pick;
            o->given_format = 1;
        } else if (strcasecmp(option, "byte_order") == 0 && is_word && (pick = choice(word, orders, 2)) >= 0) {
            o->big_endian = pick;
            o->given_byte_order = 1;
        } else if (strcasecmp(option, "precision") == 0 && is_word && (pick = choice(word, precisions, 2)) >= 0) {
            o->single = pick;
            o->given_precision = 1;
        } else if (strcasecmp(option, "encoding") == 0 && is_word && (pick = choice(word, encodings, 5)) >= 0) {
            o->encoding = static_cast<Encoding>(pick);
        } else if (strcasecmp(option, "form") == 0) {
            o->form = integer_option(value, "form", INT32_MIN, INT32_MAX);
            o->given_form = 1;
        } else if (strcasecmp(option, "digits") == 0) {
            o->digits = integer_option(value, "digits", 1, 20);
            o->given_digits = 1;
        } else if (strcasecmp(option, "append") == 0) {
            o->append = integer_option(value, "append", 0, 1);
        } else {
            fail("BadOption", "The option %s does not take that value, or is no option.", option);
        }
    }
    if (o->text && o->given_byte_order)
        fail("BadOption", "byte_order applies to binary files only.");
    if (o->text && o->encoding == ENCODING_VALUE_COUNT)
        fail("BadOption", "The value-count encoding is binary only.");
    if (!o->text && o->given_digits)
        fail("BadOption", "digits applies to text files only.");
}

// A matrix of another class than double, as a double host array.
const mxArray *as_double(const mxArray *a)
{
    if (MXISDOUBLE(a))
        return a;
    int64_t m = MXGETM730(a), n = MXGETN730(a);
    if (MXISSPARSE(a)) { // only logical matrices are sparse and not double
        int64_t count = MXGETJC730(a)[n];
        mxArray *copy = MXCREATESPARSE730(m, n, count > 0 ? count : 1, 0);
        memcpy(MXGETJC730(copy), MXGETJC730(a), static_cast<size_t>(n + 1) * sizeof(int64_t));
        memcpy(MXGETIR730(copy), MXGETIR730(a), static_cast<size_t>(count) * sizeof(int64_t));
        const auto *bits = static_cast<const mxLogical *>(MXGETDATA(a));
        for (int64_t k = 0; k < count; ++k)
            MXGETPR(copy)[k] = bits[k] != 0 ? 1.0 : 0.0;
        return copy;
    }
    int complex_values = MXISCOMPLEX(a);
    mxArray *copy = MXCREATEDOUBLEMATRIX730(m, n, complex_values);
    int64_t count = m * n;
    for (int part = 0; part <= complex_values; ++part) {
        const void *data = part == 0 ? MXGETDATA(a) : MXGETIMAGDATA(a);
        double *out = part == 0 ? MXGETPR(copy) : MXGETPI(copy);
        for (int64_t k = 0; k < count; ++k) {
            double value = 0;
            switch (MXGETCLASSID(a)) {
            case mxSINGLE_CLASS: value = static_cast<const float *>(data)[k]; break;
            case mxLOGICAL_CLASS: value = static_cast<const mxLogical *>(data)[k] != 0; break;
            case mxINT8_CLASS: value = static_cast<const int8_t *>(data)[k]; break;
            case mxUINT8_CLASS: value = static_cast<const uint8_t *>(data)[k]; break;
            case mxINT16_CLASS: value = static_cast<const int16_t *>(data)[k]; break;
            case mxUINT16_CLASS: value = static_cast<const uint16_t *>(data)[k]; break;
            case mxINT32_CLASS: value = static_cast<const int32_t *>(data)[k]; break;
            case mxUINT32_CLASS: value = static_cast<const uint32_t *>(data)[k]; break;
            case mxINT64_CLASS: value = static_cast<double>(static_cast<const int64_t *>(data)[k]); break;
            default: value = static_cast<double>(static_cast<const uint64_t *>(data)[k]); break;
            }
            out[k] = value;
        }
    }
    return copy;
}

MatrixSource source_of(const mxArray *a)
{
    MatrixSource s = {MXGETM730(a), MXGETN730(a), nullptr, nullptr, MXGETPR(a), MXGETPI(a)};
    if (MXISSPARSE(a)) {
        s.column_pointers = MXGETJC730(a);
        s.row_indices = MXGETIR730(a);
    }
    return s;
}

// Plans every matrix before the file is touched.
void plan_items(const SaveOptions *o)
{
    for (int64_t k = 0; k < item_count; ++k) {
        SaveItem *item = &items[k];
        item->matrix = as_double(item->matrix);
        item->source = source_of(item->matrix);
        int single = o->given_precision ? o->single : item->single;
        int32_t form = o->given_form ? o->form : item->form != NO_FORM ? item->form : default_form(&item->source);
        int digits = o->given_digits ? o->digits : single ? 9 : 16;
        char problem[PROBLEM_LENGTH];
        if (plan_encoding(o->text, &item->source, item->name, form, single, o->encoding, digits, &item->plan, problem) !=
            ENCODE_DONE)
            fail("Encoding", "%s", problem);
    }
}

// Room for the longest column record, taken before the file is opened.
void reserve_words(WordStore *store)
{
    int64_t longest = 0;
    for (int64_t k = 0; k < item_count; ++k) {
        int64_t words = longest_record_bound(&items[k].source, &items[k].plan);
        longest = words > longest ? words : longest;
    }
    if (longest > WORD_BUFFER_WORDS && store->enlarge(store, longest, store->context) != 0)
        fail("CannotWrite", "No memory for a column record of %lld words.", static_cast<long long>(longest));
}

// Appending: the file's own format and byte order, unless none was chosen
// that differs. A file that does not exist is created.
void adopt_file(SaveOptions *o)
{
    MatrixChannel *ch = plugin_channel();
    if (!o->append || open_matrix_file(ch, path) != 0) {
        o->append = 0;
        return;
    }
    if (ch->size > 0) {
        if (is_foreign_file(ch))
            fail("Mismatch", "%s is not a matrix file; nothing appended.", path);
        int text = ch->text, big = ch->big_endian;
        if ((o->given_format && o->text != text) || (o->given_byte_order && o->big_endian != big))
            fail("Mismatch", "%s is a %s file%s; append in its own format.", path, text ? "text" : "binary",
                 text ? "" : big ? " (big-endian)" : " (little-endian)");
        o->text = text;
        o->big_endian = big;
    }
    close_channel(ch);
}

[[noreturn]] void cannot_write(const char *problem)
{
    int error = plugin_channel()->write_error;
    fail("CannotWrite", "%s: %s%s%s", path, error != 0 ? strerror(error) : "write failed",
         problem[0] != '\0' ? " - " : "", problem);
}

void write_items(const SaveOptions *o, WordStore *store)
{
    MatrixChannel *ch = plugin_channel();
    if (open_matrix_file_for_writing(ch, path, o->text, o->big_endian, o->append) != 0)
        cannot_write("");
    for (int64_t k = 0; k < item_count; ++k) {
        char problem[PROBLEM_LENGTH] = "";
        int status = ENCODEMATRIX(ch, &items[k].source, &items[k].plan, store, problem);
        if (status == ENCODE_RANGE)
            fail("Range", "%s", problem);
        if (status == ENCODE_ENCODING)
            fail("Encoding", "%s", problem);
        if (status != ENCODE_DONE)
            cannot_write(problem);
    }
    if (commit_channel(ch) != 0)
        cannot_write("");
}

} // namespace

HOST_EXPORT void MEXFUNCTION(int nlhs, mxArray *[], int nrhs, const mxArray *prhs[])
{
    begin_call_memory();
    items = nullptr;
    item_count = 0;
    if (nlhs > 0)
        fail("nOutput", "zorvane_save returns no output.");
    if (nrhs < 2 || (nrhs < 3 && !MXISSTRUCT(prhs[1])))
        fail("nInput", "A file and a struct array, or a file, names and matrices, are required.");
    if (text_of(prhs[0], path, sizeof path) || path[0] == '\0')
        fail("BadFileName", "The file name must be a non-empty character row.");
    int first_option = MXISSTRUCT(prhs[1]) ? 2 : 3;
    if (MXISSTRUCT(prhs[1]))
        items_from_struct(prhs[1]);
    else
        items_from_lists(prhs[1], prhs[2]);
    SaveOptions options = {};
    options.encoding = ENCODING_AUTO;
    parse_options(nrhs - first_option, prhs + first_option, &options);
    adopt_file(&options);
    plan_items(&options);
    WordStore *store = long_record_store();
    reserve_words(store);
    write_items(&options, store);
    MXFREE(items);
    end_call_memory();
}
