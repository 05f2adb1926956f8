// What the host will hold for an output, and whether the process can get it.
#ifndef READER_MEMORY_H
#define READER_MEMORY_H

#include <cstdint>

// Bytes the process can still get: the machine's available memory, and
// what the address-space limit leaves, whichever is less; or the budget
// set below.
int64_t memory_available();

// A fixed amount in place of what the machine has (tests and fuzzers);
// a negative amount goes back to the machine's.
void set_memory_budget(int64_t bytes);

// Bytes a sparse output of columns and slots entries takes in the host,
// counted twice for the copy the host makes when the call returns.
int64_t output_bytes(int64_t columns, int64_t slots, int complex_values);

// 1 when needed bytes fit, given that held of them are held already.
int memory_fits(int64_t needed, int64_t held, int64_t available);

#endif
