#include "problem.h"

#include <cstdarg>
#include <cstdio>

int set_problem(Problem *p, int status, int64_t line, const char *format, ...)
{
    if (p->status != PROBLEM_NONE)
        return p->status;
    p->status = status;
    p->line = line;
    va_list args;
    va_start(args, format);
    vsnprintf(p->message, sizeof p->message, format, args);
    va_end(args);
    return status;
}

const char *problem_mnemonic(int status)
{
    static const char *const names[] = {"",         "BadFile",     "TooLarge",  "OutOfMemory", "NotFound",
                                        "CannotOpen", "CannotWrite", "BadOption", "Mismatch",    "Encoding",
                                        "Range",    "BadMatrix",   "BadName",   "BadLabels",   "BadCard"};
    return status >= 0 && status <= PROBLEM_BAD_CARD ? names[status] : "Failed";
}
