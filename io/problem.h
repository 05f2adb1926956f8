// The one error value of the core: what went wrong (a status), what to say
// (a message) and, where known, the line of the file it was found on. It
// is set where the fault is found and only the first one counts, so that
// a later fault never hides the cause. Front ends turn the status into
// their own identifiers.
#ifndef IO_PROBLEM_H
#define IO_PROBLEM_H

#include <cstdint>

#include "format.h"

enum ProblemStatus {
    PROBLEM_NONE = 0,
    PROBLEM_BAD_FILE,      // damage in a matrix file
    PROBLEM_TOO_LARGE,     // more entries than the capacity
    PROBLEM_OUT_OF_MEMORY, // the process cannot get what is needed
    PROBLEM_NOT_FOUND,     // a name asked for is not in the file
    PROBLEM_CANNOT_OPEN,   // the file cannot be read
    PROBLEM_CANNOT_WRITE,  // the file cannot be written
    PROBLEM_BAD_OPTION,    // options that contradict each other or take no such value
    PROBLEM_MISMATCH,      // options, or a file to append to, that the file's own format contradicts
    PROBLEM_ENCODING,      // a matrix the chosen encoding cannot carry
    PROBLEM_RANGE,         // a value the chosen precision or text cannot carry
    PROBLEM_BAD_MATRIX,    // a matrix or its description that cannot be written
    PROBLEM_BAD_NAME,      // a matrix name that cannot be written
    PROBLEM_BAD_LABELS,    // row or column labels that cannot be written
    PROBLEM_BAD_CARD       // a bulk-data card that cannot be read
};

struct Problem {
    int status;
    int64_t line; // 1-based line of the file, or 0
    char message[PROBLEM_LENGTH];
};

inline void clear_problem(Problem *p)
{
    p->status = PROBLEM_NONE;
    p->line = 0;
    p->message[0] = '\0';
}

// Sets the problem unless one is set already; returns its status.
int set_problem(Problem *p, int status, int64_t line, const char *format, ...) __attribute__((format(printf, 4, 5)));

// The status's mnemonic, for identifiers: "BadFile", "CannotWrite", ...
const char *problem_mnemonic(int status);

#endif
