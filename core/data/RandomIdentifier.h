// Random identifiers of the 62 characters 0-9, A-Z and a-z, drawn from the C run time's
// pseudo-random generator (rand, seeded by srand).
//
// The identifiers are predictable from the generator's seed: they name things, they are no secret.
// On Windows the generator is the run time's own, shared with every other rand caller on the
// thread; elsewhere it is a per-thread generator of the same definition (state = state * 214013 +
// 2531011 modulo 2^32, returning bits 16 to 30), so the same seed gives the same identifiers on
// every platform. A thread that never seeded starts from state 1: its first values are 41, 18467
// and 6334.
//
// Thread-safety: each thread has its own generator state, so calls on different threads do not
// interfere.
// Failure: none. The caller's buffer must hold the identifier's length plus one.
#pragma once

#include <cstdint>

namespace Quorvin {

/// Sets `length` + 1 bytes of `buffer` to 0, then writes `length` characters, each drawn with one
/// call of the calling thread's generator, continuing its sequence.
void RandomAlphanumeric(char* buffer, uint64_t length);

/// Seeds the calling thread's generator with the current calendar time in whole seconds (so every
/// call within one second gives the same identifier), draws the length `minimum` + (next value
/// mod `range`), then fills `buffer` as RandomAlphanumeric does. `buffer` must hold `minimum` +
/// min(`range`, 32768) characters: one generator value is below 32768, so larger ranges never add
/// more than 32767. A `range` of 0 is taken as 1: the length is exactly `minimum`, and the generator
/// sequence is the same as with 1.
void RandomAlphanumericRange(char* buffer, uint64_t minimum, uint64_t range);

}  // namespace Quorvin
