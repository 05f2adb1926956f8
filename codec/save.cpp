#include "save.h"

#include <cmath>
#include <cstring>

namespace {

// Options that contradict the file's format: BadOption when the options
// chose it, Mismatch when the file to append to did.
int check_against_format(const SaveOptions *o, int adopted, const char *path, Problem *p)
{
    int status = adopted ? PROBLEM_MISMATCH : PROBLEM_BAD_OPTION;
    const char *kind = adopted ? "the file is" : "the format is";
    if (o->text && o->given_byte_order)
        return set_problem(p, status, 0, "%s: %s text; byte_order applies to binary files only.", path, kind);
    if (o->text && o->encoding == ENCODING_VALUE_COUNT)
        return set_problem(p, status, 0, "%s: %s text; the value-count encoding is binary only.", path, kind);
    if (!o->text && o->given_digits)
        return set_problem(p, status, 0, "%s: %s binary; digits applies to text files only.", path, kind);
    return 0;
}

// Appending to a file that holds something: its own format, byte order
// and whole last record, before any option counts.
int adopt_file(MatrixChannel *ch, const char *path, SaveOptions *o, Problem *p)
{
    if (!appends_to_existing(ch))
        return check_against_format(o, 0, path, p);
    if (is_foreign_file(ch))
        return set_problem(p, PROBLEM_MISMATCH, 0, "%s is not a matrix file; nothing appended.", path);
    if (!file_ends_at_record(ch))
        return set_problem(p, PROBLEM_MISMATCH, 0, "%s does not end where a record ends; nothing appended.", path);
    if ((o->given_format && o->text != ch->text) || (!ch->text && o->given_byte_order && o->big_endian != ch->big_endian))
        return set_problem(p, PROBLEM_MISMATCH, 0, "%s is a %s file%s; append in its own format.", path,
                           ch->text ? "text" : "binary", ch->text ? "" : ch->big_endian ? " (big-endian)" : " (little-endian)");
    o->text = ch->text;
    o->big_endian = ch->big_endian;
    return check_against_format(o, 1, path, p);
}

int plan_items(const SaveOptions *o, SaveItem *items, int64_t count, Problem *p)
{
    for (int64_t k = 0; k < count; ++k) {
        SaveItem *item = &items[k];
        int single = o->given_precision ? o->single : item->single;
        int32_t form = o->given_form ? o->form : item->form != NO_FORM ? item->form : default_form(&item->source);
        int square_needed = 0;
        char label[NAME_LENGTH + 1];
        trimmed_name(item->name, label);
        // The form option is checked; a matrix's own form (a file's, read back) is kept as it is.
        if (o->given_form && (!form_is_known(form, &square_needed) ||
                              (square_needed && item->source.rows != item->source.columns)))
            return set_problem(p, PROBLEM_BAD_OPTION, 0, "%s: form %d %s.", label, form,
                               square_needed ? "needs a square matrix" : "is none of 1-6, 8-11, 13, 15");
        int digits = o->given_digits ? o->digits : single ? 9 : 16;
        char problem[PROBLEM_LENGTH];
        if (plan_encoding(o->text, &item->source, item->name, form, single, o->encoding, digits, &item->plan, problem) !=
            ENCODE_DONE)
            return set_problem(p, PROBLEM_ENCODING, 0, "%s", problem);
    }
    return 0;
}

// Room for the longest column record beyond the word buffer.
int reserve_words(const SaveItem *items, int64_t count, WordStore *store, Problem *p)
{
    int64_t longest = 0;
    for (int64_t k = 0; k < count; ++k) {
        int64_t words = longest_record_bound(&items[k].source, &items[k].plan);
        longest = words > longest ? words : longest;
    }
    if (longest > WORD_BUFFER_WORDS && (store == nullptr || store->enlarge(store, longest, store->context) != 0))
        return set_problem(p, PROBLEM_OUT_OF_MEMORY, 0, "No memory for a column record of %lld words.",
                           static_cast<long long>(longest));
    return 0;
}

int cannot_write(MatrixChannel *ch, const char *path, const char *detail, Problem *p)
{
    int error = ch->write_error;
    return set_problem(p, PROBLEM_CANNOT_WRITE, 0, "%s: %s%s%s", path, error != 0 ? strerror(error) : "write failed",
                       detail[0] != '\0' ? " - " : "", detail);
}

int write_items(MatrixChannel *ch, const char *path, SaveItem *items, int64_t count, WordStore *store, Problem *p)
{
    if (channel_begin_writing(ch) != 0)
        return cannot_write(ch, path, "", p);
    for (int64_t k = 0; k < count; ++k) {
        char problem[PROBLEM_LENGTH] = "";
        int status = ENCODEMATRIX(ch, &items[k].source, &items[k].plan, store, problem);
        if (status == ENCODE_RANGE)
            return set_problem(p, PROBLEM_RANGE, 0, "%s", problem);
        if (status == ENCODE_ENCODING)
            return set_problem(p, PROBLEM_ENCODING, 0, "%s", problem);
        if (status == ENCODE_NO_MEMORY)
            return set_problem(p, PROBLEM_OUT_OF_MEMORY, 0, "%s", problem);
        if (status != ENCODE_DONE)
            return cannot_write(ch, path, problem, p);
    }
    if (commit_channel(ch) != 0)
        return cannot_write(ch, path, "", p);
    return 0;
}

} // namespace

SaveOptions default_save_options()
{
    SaveOptions o = {};
    o.encoding = ENCODING_AUTO;
    return o;
}

int form_is_known(double form, int *square_needed)
{
    // The forms both solver families know; 1, 3-6 and 8 are square by definition.
    static const int known[] = {1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 13, 15};
    *square_needed = 0;
    for (int f : known)
        if (form == f) {
            *square_needed = f == 1 || (f >= 3 && f <= 6) || f == 8;
            return 1;
        }
    return 0;
}

int save_matrices(MatrixChannel *ch, const char *path, SaveOptions options, SaveItem *items, int64_t count,
                  WordStore *store, Problem *p)
{
    clear_problem(p);
    if (open_matrix_file_for_writing(ch, options.to_standard_output ? nullptr : path, options.text, options.big_endian,
                                     options.append) != 0)
        return cannot_write(ch, path, "", p);
    if (adopt_file(ch, path, &options, p) != 0 || plan_items(&options, items, count, p) != 0 ||
        reserve_words(items, count, store, p) != 0 || write_items(ch, path, items, count, store, p) != 0) {
        abort_channel(ch);
        return p->status;
    }
    return 0;
}
