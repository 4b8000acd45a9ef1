// The hash functions of the data structures, defined once: the MurmurHash3 64-bit finaliser with a
// seed (the perfect hash's key hashing), the Bloom filter's pair of key hashes, and the MurmurHash3
// x86 32-bit hash of a byte string. Each is fixed by the stored forms and results that depend on it.
//
// Thread-safety: pure functions. Nothing allocates or throws.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/base/Compiler.h"

namespace Quorvin {

/// The MurmurHash3 64-bit finaliser of key XOR seed.
inline uint64_t HashWithSeed(uint64_t key, uint64_t seed) {
    uint64_t x = key ^ seed;
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return x;
}

/// The Bloom filter's two hash values of a key: h1 is the MurmurHash3 64-bit finaliser of the key
/// (HashWithSeed with seed 0), h2 a second, independent mix of it.
inline void BloomHashPair(uint64_t key, uint64_t& h1, uint64_t& h2) {
    h1 = HashWithSeed(key, 0);
    uint64_t y = key ^ (key >> 31);
    y *= 0x85ebca6bULL;
    y ^= y >> 27;
    y *= 0xc2b2ae35ULL;
    y ^= y >> 33;
    h2 = y;
}

/// MurmurHash3 x86 32-bit hash of `length` bytes at `data`, seed 0. Defined here, and always
/// inlined, so that hashing a short key costs no call: compilers otherwise keep the loop out of
/// line whenever the length is not a constant. `data` may be null when `length` is 0.
QUORVIN_FORCEINLINE uint32_t MurmurHash32(const void* data, uint64_t length) {
    constexpr uint32_t c1 = 0xcc9e2d51;
    constexpr uint32_t c2 = 0x1b873593;
    const auto* bytes = static_cast<const unsigned char*>(data);
    const auto rotate = [](uint32_t x, int r) { return (x << r) | (x >> (32 - r)); };
    // One block's contribution before it meets the running hash; only the xor, rotation and
    // multiply-add that follow depend on the previous block.
    const auto mix = [rotate](const unsigned char* p) {
        uint32_t k;
        // A byte copy, so that unaligned input is fine; compilers make it one load. The hash is
        // defined on little-endian blocks, which every target of this library is.
        std::memcpy(&k, p, 4);
        return rotate(k * c1, 15) * c2;
    };
    const auto step = [rotate](uint32_t h, uint32_t k) { return rotate(h ^ k, 13) * 5 + 0xe6546b64; };
    uint32_t h = 0;
    const unsigned char* p = bytes;
    const unsigned char* const tail = bytes + (length & ~uint64_t{3});
    // Four blocks a round: fewer loop instructions keep more of the next call in flight.
    for (const unsigned char* const rounds = bytes + (length & ~uint64_t{15}); p != rounds; p += 16) {
        h = step(h, mix(p));
        h = step(h, mix(p + 4));
        h = step(h, mix(p + 8));
        h = step(h, mix(p + 12));
    }
    for (; p != tail; p += 4) {
        h = step(h, mix(p));
    }
    uint32_t k = 0;
    switch (length & 3) {
    case 3: k ^= uint32_t{tail[2]} << 16; [[fallthrough]];
    case 2: k ^= uint32_t{tail[1]} << 8; [[fallthrough]];
    case 1:
        k ^= tail[0];
        k *= c1;
        k = rotate(k, 15);
        k *= c2;
        h ^= k;
    }
    h ^= static_cast<uint32_t>(length);
    h ^= h >> 16;
    h *= 0x85ebca6b;
    h ^= h >> 13;
    h *= 0xc2b2ae35;
    h ^= h >> 16;
    return h;
}

}  // namespace Quorvin
