// Random base-62 identifiers from the C run time's generator.
#include "core/data/RandomIdentifier.h"

#include <cstring>
#include <ctime>

#include "core/data/internal/CrtRandom.h"

namespace Quorvin {
namespace {

constexpr char Alphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

}  // namespace

void RandomAlphanumeric(char* buffer, uint64_t length) {
    std::memset(buffer, 0, static_cast<size_t>(length) + 1);
    for (uint64_t i = 0; i < length; ++i) {
        buffer[i] = Alphabet[DataPrivate::NextCrtRandom() % 62];
    }
}

void RandomAlphanumericRange(char* buffer, uint64_t minimum, uint64_t range) {
    DataPrivate::SeedCrtRandom(static_cast<uint32_t>(std::time(nullptr)));
    const uint64_t offset = DataPrivate::NextCrtRandom() % (range == 0 ? 1 : range);
    RandomAlphanumeric(buffer, minimum + offset);
}

}  // namespace Quorvin
