// What the encoder and the decoder's checks share, kept in one place.
#pragma once
#include <stdint.h>

// Unchanged pixels a run may carry: a gap of 32 or more closes the run, because a new 8-byte run
// header is cheaper than 32 carried codes.
const uint32_t MaxGapInRun = 31;

// 32-bit Windows starts threads and calls window procedures with the stack aligned to 4 bytes only,
// while the compiler spills vectors to 16- and 32-byte aligned slots: the vector code realigns on entry.
#if defined(__i386__)
#define REALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define REALIGN_STACK
#endif
