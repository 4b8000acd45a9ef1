// The Windows run time's own per-thread generator, so identifiers follow any srand the game makes.
#include <cstdlib>

#include "core/data/internal/CrtRandom.h"

namespace Quorvin::DataPrivate {

void SeedCrtRandom(uint32_t seed) { std::srand(seed); }

uint32_t NextCrtRandom() { return static_cast<uint32_t>(std::rand()); }

}  // namespace Quorvin::DataPrivate
