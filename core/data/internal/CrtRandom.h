// The calling thread's C run-time pseudo-random generator (srand and rand), behind one interface:
// the run time's own on Windows, a generator of the same definition elsewhere.
#pragma once

#include <cstdint>

namespace Quorvin::DataPrivate {

/// Seeds the calling thread's generator (srand).
void SeedCrtRandom(uint32_t seed);

/// The calling thread's next generator value, 0 to 32767 (rand).
uint32_t NextCrtRandom();

}  // namespace Quorvin::DataPrivate
