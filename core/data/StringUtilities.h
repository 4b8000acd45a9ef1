// Byte-string helpers: backslash escaping and its inverse, whitespace compaction for free text, and
// the 32-bit MurmurHash3 of a byte string.
//
// Everything works on 8-bit characters and never interprets a multi-byte encoding: bytes above 0x7F
// pass through unchanged wherever a rule does not name them.
//
// Thread-safety: every function is reentrant and keeps no state.
// Failure: none; any byte string is valid input. Growing an output string may throw std::bad_alloc.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "core/base/Compiler.h"

namespace Quorvin {

/// Appends to `output` (which is not cleared) the escaped form of `input`: tab, line feed, carriage
/// return, double quote, single quote and backslash become a backslash followed by t, n, r, ", '
/// and \ respectively; every other byte is appended unchanged.
void EscapeString(std::string_view input, std::string& output);

/// Appends to `output` (which is not cleared) the unescaped form of `input`. A backslash followed by
/// ", ', \, n, r or t appends the byte that sequence stands for; a backslash followed by any other
/// byte drops both bytes; a backslash that is the last input byte is kept. Every other byte is
/// appended unchanged. UnescapeString(EscapeString(x)) gives back x.
void UnescapeString(std::string_view input, std::string& output);

/// Compacts whitespace in free text: leading whitespace and whitespace right after a comma go,
/// tabs become spaces (a tab before a line feed merges into it), and a run of one whitespace byte
/// collapses to one. A carriage return always becomes a line feed and never collapses; a space then
/// a line feed keeps both; trailing whitespace is collapsed but not stripped.
std::string CompactWhitespace(std::string_view input);

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
