// What the host will hold for an output, and whether the process can get it.
#ifndef CODEC_MEMORY_H
#define CODEC_MEMORY_H

#include <cstdint>

#include "channel.h"

// Bytes the process can still get: the machine's available memory, and
// what the address-space limit leaves, whichever is less; or the channel's
// memory budget, when it has one (tests and fuzzers).
int64_t memory_available(const MatrixChannel *ch);

// Bytes a sparse output of columns and slots entries takes in the host,
// counted twice for the copy the host makes when the call returns.
int64_t output_bytes(int64_t columns, int64_t slots, int complex_values);

// Bytes the host holds for such an output: the copies it makes, counted.
int64_t result_bytes(const MatrixChannel *ch, int64_t columns, int64_t slots, int complex_values);

// Bytes that may be reserved without being written, given what the
// process can get (memory_available): half of it, or none under an
// address-space limit or a budget, where reserved bytes count as used.
int64_t reservable_bytes(const MatrixChannel *ch, int64_t available);

// 1 when needed bytes fit, given that held of them are held already.
int memory_fits(int64_t needed, int64_t held, int64_t available);

#endif
