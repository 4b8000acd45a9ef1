// The run time's generator definition, for platforms whose own rand differs from the Windows one.
#include "core/data/internal/CrtRandom.h"

namespace Quorvin::DataPrivate {
namespace {

thread_local uint32_t GeneratorState = 1;

}  // namespace

void SeedCrtRandom(uint32_t seed) { GeneratorState = seed; }

uint32_t NextCrtRandom() {
    GeneratorState = GeneratorState * 214013u + 2531011u;
    return (GeneratorState >> 16) & 0x7FFF;
}

}  // namespace Quorvin::DataPrivate
