// The fast stretches of the AVX2 UTF kernel (see UtfKernelLoops.inc). Included only by
// UtfKernelAvx2.cpp, inside its AVX2 region, so nothing here is compiled for the build's baseline.
//
// Each block is proven well formed before a unit is written: UTF-8 by per-byte checks of each byte
// against the one to three before it (three nibble lookups and a count of the continuation bytes
// each lead byte demands), UTF-16 and UTF-32 by range checks. Units are then worked out for every
// lane at once and packed by shuffles from tables generated at compile time. A block that is not
// proven is left to the scalar fast paths and, at the first doubtful unit, to the exact rules.
#pragma once

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <bit>

#include "core/text/internal/UtfPrimitives.h"

namespace Quorvin::TextPrivate::Avx2 {

// ---------------------------------------------------------------------------------------------
// Shuffle tables, generated at compile time.

struct alignas(16) Shuffle {
    uint8_t bytes[16];
};

// Packs the 16-bit lanes named by an 8-bit mask to the front, in order.
inline constexpr std::array<Shuffle, 256> KeepLanes16 = [] {
    std::array<Shuffle, 256> table{};
    for (int mask = 0; mask < 256; ++mask) {
        int k = 0;
        for (int lane = 0; lane < 8; ++lane) {
            if ((mask >> lane) & 1) {
                table[mask].bytes[k++] = static_cast<uint8_t>(2 * lane);
                table[mask].bytes[k++] = static_cast<uint8_t>(2 * lane + 1);
            }
        }
        while (k < 16) {
            table[mask].bytes[k++] = 0x80;
        }
    }
    return table;
}();

// Packs the first one or two bytes of each of eight 16-bit lanes; bit k of the mask says that lane
// k has two.
inline constexpr std::array<Shuffle, 256> KeepPairs = [] {
    std::array<Shuffle, 256> table{};
    for (int mask = 0; mask < 256; ++mask) {
        int k = 0;
        for (int lane = 0; lane < 8; ++lane) {
            table[mask].bytes[k++] = static_cast<uint8_t>(2 * lane);
            if ((mask >> lane) & 1) {
                table[mask].bytes[k++] = static_cast<uint8_t>(2 * lane + 1);
            }
        }
        while (k < 16) {
            table[mask].bytes[k++] = 0x80;
        }
    }
    return table;
}();

// Packs the first 1 to 4 bytes of each of four 32-bit lanes; two bits per lane hold its length
// less one.
inline constexpr std::array<Shuffle, 256> KeepQuads = [] {
    std::array<Shuffle, 256> table{};
    for (int code = 0; code < 256; ++code) {
        int k = 0;
        for (int lane = 0; lane < 4; ++lane) {
            const int length = ((code >> (2 * lane)) & 3) + 1;
            for (int b = 0; b < length; ++b) {
                table[code].bytes[k++] = static_cast<uint8_t>(4 * lane + b);
            }
        }
        while (k < 16) {
            table[code].bytes[k++] = 0x80;
        }
    }
    return table;
}();

inline constexpr std::array<uint8_t, 256> QuadLengths = [] {
    std::array<uint8_t, 256> table{};
    for (int code = 0; code < 256; ++code) {
        for (int lane = 0; lane < 4; ++lane) {
            table[code] = static_cast<uint8_t>(table[code] + ((code >> (2 * lane)) & 3) + 1);
        }
    }
    return table;
}();

// ---------------------------------------------------------------------------------------------
// Small helpers.

QUORVIN_FORCEINLINE __m256i Load256(const void* p) {
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}
QUORVIN_FORCEINLINE __m128i Load128(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
QUORVIN_FORCEINLINE void Store256(void* p, __m256i v) { _mm256_storeu_si256(static_cast<__m256i*>(p), v); }
QUORVIN_FORCEINLINE void Store128(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
QUORVIN_FORCEINLINE __m256i Bytes(int value) { return _mm256_set1_epi8(static_cast<char>(value)); }
QUORVIN_FORCEINLINE __m256i Words(int value) { return _mm256_set1_epi16(static_cast<short>(value)); }
QUORVIN_FORCEINLINE __m256i Dwords(int value) { return _mm256_set1_epi32(value); }
QUORVIN_FORCEINLINE uint32_t Mask(__m256i v) { return static_cast<uint32_t>(_mm256_movemask_epi8(v)); }

// One bit per byte: set where the unsigned byte is at least `floor`.
QUORVIN_FORCEINLINE uint32_t AtLeast(__m256i v, int floor) {
    return Mask(_mm256_cmpeq_epi8(_mm256_max_epu8(v, Bytes(floor)), v));
}

// Two shuffle controls for one 256-bit register, one per 128-bit half.
QUORVIN_FORCEINLINE __m256i Controls(const Shuffle& low, const Shuffle& high) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(Load128(low.bytes)), Load128(high.bytes), 1);
}

// ---------------------------------------------------------------------------------------------
// UTF-8 legality of a 32-byte block.
//
// Every rule of UTF-8 legality is a rule about a byte and the one to three bytes before it. Each
// byte's high nibble, and the previous byte's high and low nibbles, look up the set of faults that
// the pair could show; a fault present in all three lookups is real. A continuation byte after a
// continuation byte is allowed exactly where the lead two or three bytes back demands it.

constexpr uint8_t TooShort = 1 << 0;      // a lead byte not followed by a continuation byte
constexpr uint8_t TooLong = 1 << 1;       // a continuation byte after ASCII
constexpr uint8_t Overlong3 = 1 << 2;     // E0 80..9F
constexpr uint8_t TooLarge = 1 << 3;      // F4 90..BF and F5..FF with 90..BF
constexpr uint8_t Surrogate = 1 << 4;     // ED A0..BF
constexpr uint8_t Overlong2 = 1 << 5;     // C0 and C1 with a continuation byte
constexpr uint8_t LowFour = 1 << 6;       // F0 80..8F (overlong) and F5..FF 80..8F (too large)
constexpr uint8_t TwoContinued = 1 << 7;  // a continuation byte after a continuation byte
constexpr uint8_t AnyLow = TooShort | TooLong | TwoContinued;

QUORVIN_FORCEINLINE __m256i Nibbles(const uint8_t (&values)[16]) {
    const __m128i half = Load128(values);
    return _mm256_broadcastsi128_si256(half);
}

// By the previous byte's high nibble.
alignas(16) constexpr uint8_t ByPreviousHigh[16] = {
    TooLong,
    TooLong,
    TooLong,
    TooLong,
    TooLong,
    TooLong,
    TooLong,
    TooLong,  // 0x00..0x7F
    TwoContinued,
    TwoContinued,
    TwoContinued,
    TwoContinued,                      // 0x80..0xBF
    TooShort | Overlong2,              // 0xC0..0xCF
    TooShort,                          // 0xD0..0xDF
    TooShort | Overlong3 | Surrogate,  // 0xE0..0xEF
    TooShort | TooLarge | LowFour,     // 0xF0..0xFF
};
// By the previous byte's low nibble.
alignas(16) constexpr uint8_t ByPreviousLow[16] = {
    AnyLow | Overlong3 | Overlong2 | LowFour,  // C0, E0, F0
    AnyLow | Overlong2,                        // C1
    AnyLow,
    AnyLow,
    AnyLow | TooLarge,            // F4
    AnyLow | TooLarge | LowFour,  // F5 and up
    AnyLow | TooLarge | LowFour,
    AnyLow | TooLarge | LowFour,
    AnyLow | TooLarge | LowFour,
    AnyLow | TooLarge | LowFour,
    AnyLow | TooLarge | LowFour,
    AnyLow | TooLarge | LowFour,
    AnyLow | TooLarge | LowFour,
    AnyLow | TooLarge | LowFour | Surrogate,  // ED
    AnyLow | TooLarge | LowFour,
    AnyLow | TooLarge | LowFour,
};
// By the byte's own high nibble.
alignas(16) constexpr uint8_t ByCurrentHigh[16] = {
    TooShort,
    TooShort,
    TooShort,
    TooShort,
    TooShort,
    TooShort,
    TooShort,
    TooShort,                                                   // 0x00..0x7F
    TooLong | Overlong2 | TwoContinued | Overlong3 | LowFour,   // 0x80..0x8F
    TooLong | Overlong2 | TwoContinued | Overlong3 | TooLarge,  // 0x90..0x9F
    TooLong | Overlong2 | TwoContinued | Surrogate | TooLarge,  // 0xA0..0xAF
    TooLong | Overlong2 | TwoContinued | Surrogate | TooLarge,  // 0xB0..0xBF
    TooShort,
    TooShort,
    TooShort,
    TooShort,  // 0xC0..0xFF
};

// Nonzero where the 32 bytes of `v` break the legality rules, given the 32 bytes before them
// (zeros, as after ASCII, at a character boundary). A sequence cut by the block's end shows no fault
// yet: the next block's check, or IncompleteAtEnd, finds it.
QUORVIN_FORCEINLINE __m256i Faults(__m256i v, __m256i previous1, __m256i previous2, __m256i previous3) {
    const __m256i nibble = Bytes(0x0F);
    const __m256i faults = _mm256_and_si256(
        _mm256_and_si256(_mm256_shuffle_epi8(Nibbles(ByPreviousHigh),
                                             _mm256_and_si256(_mm256_srli_epi16(previous1, 4), nibble)),
                         _mm256_shuffle_epi8(Nibbles(ByPreviousLow), _mm256_and_si256(previous1, nibble))),
        _mm256_shuffle_epi8(Nibbles(ByCurrentHigh), _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble)));
    // 0x80 where a lead two back (E0 and up) or three back (F0 and up) demands a continuation.
    const __m256i third = _mm256_subs_epu8(previous2, Bytes(0xE0 - 0x80));
    const __m256i fourth = _mm256_subs_epu8(previous3, Bytes(0xF0 - 0x80));
    const __m256i demanded = _mm256_and_si256(_mm256_or_si256(third, fourth), Bytes(0x80));
    return _mm256_xor_si256(faults, demanded);
}

QUORVIN_FORCEINLINE __m256i BlockFaults(__m256i v, __m256i previous) {
    // The bytes one to three places back.
    const __m256i before = _mm256_permute2x128_si256(previous, v, 0x21);
    return Faults(v, _mm256_alignr_epi8(v, before, 15), _mm256_alignr_epi8(v, before, 14),
                  _mm256_alignr_epi8(v, before, 13));
}

// The same for the 32 bytes at `p` when the three before them are readable: loads cost less than
// shuffles across the halves of a register.
QUORVIN_FORCEINLINE __m256i BlockFaultsAt(const Utf8Unit* p) {
    return Faults(Load256(p), Load256(p - 1), Load256(p - 2), Load256(p - 3));
}

// Nonzero when the last bytes of `v` start a sequence that its end cuts: the last byte C0 or more,
// the one before E0 or more, or the one before that F0 or more.
QUORVIN_FORCEINLINE __m256i IncompleteAtEnd(__m256i v) {
    const __m256i limits =
        _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                         -1, -1, -1, -1, -1, -1, -1, -1, static_cast<char>(0xF0 - 1),
                         static_cast<char>(0xE0 - 1), static_cast<char>(0xC0 - 1));
    return _mm256_subs_epu8(v, limits);
}

// Bytes before `p` (down to `start`) that belong to a sequence cut at `p`: 0 to 3.
QUORVIN_FORCEINLINE ptrdiff_t CutBefore(const Utf8Unit* p, const Utf8Unit* start) {
    if (p - start >= 3 && p[-3] >= 0xF0) {
        return 3;
    }
    if (p - start >= 2 && p[-2] >= 0xE0) {
        return 2;
    }
    if (p - start >= 1 && p[-1] >= 0xC0) {
        return 1;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// UTF-8 to UTF-16 and UTF-32.

// Stores the 16-bit units of `values` (two halves of eight lanes) whose bits are set in the 16-bit
// `keep`, packed from `t`; answers how many. Each half is stored whole: the caller puts back what
// lies past the last unit.
template <class Unit>
QUORVIN_FORCEINLINE unsigned PackUnits(__m256i values, uint32_t keep, Unit* t) {
    const uint32_t low = keep & 0xFF;
    const uint32_t high = keep >> 8;
    const __m256i packed = _mm256_shuffle_epi8(values, Controls(KeepLanes16[low], KeepLanes16[high]));
    const unsigned countLow = static_cast<unsigned>(std::popcount(low));
    if constexpr (sizeof(Unit) == 2) {
        Store128(t, _mm256_castsi256_si128(packed));
        Store128(t + countLow, _mm256_extracti128_si256(packed, 1));
    } else {
        Store256(t, _mm256_cvtepu16_epi32(_mm256_castsi256_si128(packed)));
        Store256(t + countLow, _mm256_cvtepu16_epi32(_mm256_extracti128_si256(packed, 1)));
    }
    return countLow + static_cast<unsigned>(std::popcount(high));
}

// As PackUnits into UTF-32, with the bits above 16 of each unit in `high`.
QUORVIN_FORCEINLINE unsigned PackWideUnits(__m256i values, __m256i high, uint32_t keep, Utf32Unit* t) {
    const uint32_t low = keep & 0xFF;
    const uint32_t upper = keep >> 8;
    const __m256i controls = Controls(KeepLanes16[low], KeepLanes16[upper]);
    const __m256i packedLow = _mm256_shuffle_epi8(values, controls);
    const __m256i packedHigh = _mm256_shuffle_epi8(high, controls);
    // Units 0-3 and 4-7 of each half, as 32-bit lanes.
    const __m256i first = _mm256_unpacklo_epi16(packedLow, packedHigh);
    const __m256i second = _mm256_unpackhi_epi16(packedLow, packedHigh);
    const unsigned countLow = static_cast<unsigned>(std::popcount(low));
    Store256(t, _mm256_permute2x128_si256(first, second, 0x20));
    Store256(t + countLow, _mm256_permute2x128_si256(first, second, 0x31));
    return countLow + static_cast<unsigned>(std::popcount(upper));
}

// Decodes every character whose first byte lies in the 32 bytes at `s`, reading up to three bytes
// past them; the caller has proven all of them legal. Answers the units written at `t`; nothing past
// them changes. Needs 36 readable bytes and 41 units of room.
// Stores 32 ASCII bytes as 32 units at `t`.
template <class Unit>
QUORVIN_FORCEINLINE void StoreAscii(__m256i v, Unit* t) {
    if constexpr (sizeof(Unit) == 2) {
        Store256(t, _mm256_cvtepu8_epi16(_mm256_castsi256_si128(v)));
        Store256(t + 16, _mm256_cvtepu8_epi16(_mm256_extracti128_si256(v, 1)));
    } else {
        Store256(t, _mm256_cvtepu8_epi32(_mm256_castsi256_si128(v)));
        Store256(t + 8, _mm256_cvtepu8_epi32(_mm_srli_si128(_mm256_castsi256_si128(v), 8)));
        Store256(t + 16, _mm256_cvtepu8_epi32(_mm256_extracti128_si256(v, 1)));
        Store256(t + 24, _mm256_cvtepu8_epi32(_mm_srli_si128(_mm256_extracti128_si256(v, 1), 8)));
    }
}

template <class Unit>
QUORVIN_FORCEINLINE unsigned DecodeBlock(const Utf8Unit* s, __m256i v, Unit* t) {
    const uint32_t nonAscii = Mask(v);
    if (nonAscii == 0) {
        StoreAscii(v, t);
        return 32;
    }
    const uint32_t leads2 = AtLeast(v, 0xC0);
    const uint32_t leads3 = AtLeast(v, 0xE0);
    const uint32_t leads4 = AtLeast(v, 0xF0);
    // A lane per character, at its first byte; into UTF-16 the lane after a four-byte lead carries
    // the low surrogate (for a lead at the last lane it is written after the others).
    const uint32_t keep = ~nonAscii | leads2 | (sizeof(Unit) == 2 ? leads4 << 1 : 0);
    const unsigned total = static_cast<unsigned>(std::popcount(keep));
    __m256i spare;
    if constexpr (sizeof(Unit) == 2) {
        spare = _mm256_castsi128_si256(Load128(t + total));
    } else {
        spare = Load256(t + total);
    }
    Unit* q = t;
    for (int half = 0; half < 2; ++half) {
        const __m256i b0 = _mm256_cvtepu8_epi16(Load128(s + 16 * half));
        const __m256i b1 = _mm256_cvtepu8_epi16(Load128(s + 16 * half + 1));
        const __m256i twoByte = _mm256_or_si256(_mm256_and_si256(_mm256_slli_epi16(b0, 6), Words(0x7C0)),
                                                _mm256_and_si256(b1, Words(0x3F)));
        __m256i units;
        if (leads3 == 0) {
            units = _mm256_blendv_epi8(b0, twoByte, _mm256_cmpgt_epi16(b0, Words(0xBF)));
        } else {
            const __m256i b2 = _mm256_cvtepu8_epi16(Load128(s + 16 * half + 2));
            // The low twelve bits of a three-byte character, from the two bytes after the lead.
            const __m256i tail = _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(b1, Words(0x3F)), 6),
                                                 _mm256_and_si256(b2, Words(0x3F)));
            const __m256i threeByte = _mm256_or_si256(_mm256_slli_epi16(b0, 12), tail);
            units = _mm256_blendv_epi8(b0, twoByte, _mm256_cmpgt_epi16(b0, Words(0xBF)));
            units = _mm256_blendv_epi8(units, threeByte, _mm256_cmpgt_epi16(b0, Words(0xDF)));
            if (sizeof(Unit) == 4 && leads4 != 0) {
                // Four-byte characters need 21 bits: their low 16 here, the 5 above in a second
                // register, packed alike and interleaved.
                const __m256i b3 = _mm256_cvtepu8_epi16(Load128(s + 16 * half + 3));
                const __m256i four = _mm256_cmpgt_epi16(b0, Words(0xEF));
                const __m256i low16 =
                    _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(b1, Words(0x0F)), 12),
                                    _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(b2, Words(0x3F)), 6),
                                                    _mm256_and_si256(b3, Words(0x3F))));
                const __m256i high5 = _mm256_and_si256(
                    four, _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(b0, Words(0x07)), 2),
                                          _mm256_srli_epi16(_mm256_and_si256(b1, Words(0x3F)), 4)));
                units = _mm256_blendv_epi8(units, low16, four);
                q += PackWideUnits(units, high5, (keep >> (16 * half)) & 0xFFFF,
                                   reinterpret_cast<Utf32Unit*>(q));
                continue;
            }
            if (sizeof(Unit) == 2 && leads4 != 0) {
                // At a lead, the high surrogate 0xD800 + ((value - 0x10000) >> 10), from the lead and
                // the two bytes after it; at the continuation lane after it, the low surrogate (the
                // only continuation lanes kept).
                const __m256i highSurrogate =
                    _mm256_add_epi16(_mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(b0, Words(0x07)), 8),
                                                     _mm256_srli_epi16(tail, 4)),
                                     Words(0xD800 - 0x40));
                const __m256i lowSurrogate =
                    _mm256_or_si256(_mm256_and_si256(tail, Words(0x3FF)), Words(0xDC00));
                units = _mm256_blendv_epi8(units, highSurrogate, _mm256_cmpgt_epi16(b0, Words(0xEF)));
                units = _mm256_blendv_epi8(units, lowSurrogate, _mm256_cmpgt_epi16(Words(0xC0), b0));
                units = _mm256_blendv_epi8(units, b0, _mm256_cmpgt_epi16(Words(0x80), b0));
            }
        }
        q += PackUnits(units, (keep >> (16 * half)) & 0xFFFF, q);
    }
    if constexpr (sizeof(Unit) == 2) {
        Store128(t + total, _mm256_castsi256_si128(spare));
        if ((leads4 >> 31) != 0) {
            t[total] = static_cast<Unit>(0xDC00 | ((s[33] & 0x0F) << 6) | (s[34] & 0x3F));
            return total + 1;
        }
    } else {
        Store256(t + total, spare);
    }
    return total;
}

// Decodes runs of 32-byte blocks from a character boundary. Each block is decoded only once the
// block after it is proven legal too, since its last characters may reach into that one; a block
// is taken whole, so the stride does not wait on the text.
template <class Unit>
QUORVIN_FORCEINLINE void DecodeFast(const Utf8Unit*& s, const Utf8Unit* sourceEnd, Unit*& t,
                                    Unit* targetEnd) {
    while (sourceEnd - s >= 64 && targetEnd - t >= 48) {
        const Utf8Unit* p = s;
        Unit* q = t;
        __m256i block = Load256(p);
        __m256i faults = BlockFaults(block, _mm256_setzero_si256());
        if (_mm256_testz_si256(faults, faults)) {
            while (sourceEnd - p >= 64 && targetEnd - q >= 48) {
                // A stretch of ASCII goes 64 bytes a step: with this block and the next ASCII, both
                // are widened at once, and the block after them, ASCII too, is legal to go on from.
                if (Mask(block) == 0) {
                    while (sourceEnd - p >= 128 && targetEnd - q >= 64) {
                        const __m256i second = Load256(p + 32);
                        const __m256i third = Load256(p + 64);
                        if (Mask(_mm256_or_si256(second, third)) != 0) {
                            break;
                        }
                        StoreAscii(block, q);
                        StoreAscii(second, q + 32);
                        p += 64;
                        q += 64;
                        block = third;
                    }
                    if (sourceEnd - p < 64 || targetEnd - q < 48) {
                        break;
                    }
                }
                const __m256i next = Load256(p + 32);
                if (Mask(_mm256_or_si256(block, next)) == 0) {
                    // ASCII after ASCII: nothing to check.
                    q += DecodeBlock(p, block, q);
                    p += 32;
                    block = next;
                    continue;
                }
                faults = BlockFaultsAt(p + 32);
                if (!_mm256_testz_si256(faults, faults)) {
                    break;
                }
                q += DecodeBlock(p, block, q);
                p += 32;
                block = next;
            }
            // The run ends on the boundary after the characters decoded: past the continuation
            // bytes that open the block it stopped at.
            p += std::countr_one(Mask(_mm256_cmpgt_epi8(Bytes(0xC0), block)) & 7u);
            s = p;
            t = q;
        }
        // Character by character through a block the run could not take, then runs again.
        const Utf8Unit* const stretchEnd = s + std::min<ptrdiff_t>(64, sourceEnd - s);
        while (s < stretchEnd && sourceEnd - s >= 8 && targetEnd - t >= 2 && DecodeOne(s, t)) {}
        if (s < stretchEnd) {
            return;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// UTF-16 to UTF-8.

// Room an encoding step needs: it reads up to 33 units and writes up to 96 bytes, the last block's
// 16-byte stores and spare included; the scalar stretch after a refused block writes up to 49.
inline constexpr ptrdiff_t EncodeSourceRoom = 33;
inline constexpr ptrdiff_t EncodeTargetRoom = 112;

// Packs the bytes worked out for eight 32-bit lanes (one register; two bits of `codes` per lane give
// its length less one) from `t`; answers how many bytes. Stores 16 bytes per four lanes.
QUORVIN_FORCEINLINE unsigned PackQuads(__m256i words, uint32_t codes, Utf8Unit* t) {
    const uint32_t low = codes & 0xFF;
    const uint32_t high = (codes >> 8) & 0xFF;
    const __m256i packed = _mm256_shuffle_epi8(words, Controls(KeepQuads[low], KeepQuads[high]));
    Store128(t, _mm256_castsi256_si128(packed));
    Store128(t + QuadLengths[low], _mm256_extracti128_si256(packed, 1));
    return QuadLengths[low] + QuadLengths[high];
}

// The UTF-8 of eight BMP values in 32-bit lanes, lowest byte first: one byte below 0x80, two below
// 0x800, three above.
QUORVIN_FORCEINLINE __m256i BmpWords(__m256i x) {
    const __m256i last = _mm256_or_si256(_mm256_and_si256(x, Dwords(0x3F)), Dwords(0x80));
    const __m256i middle =
        _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(x, 6), Dwords(0x3F)), Dwords(0x80));
    const __m256i three =
        _mm256_or_si256(_mm256_or_si256(_mm256_srli_epi32(x, 12), Dwords(0xE0)),
                        _mm256_or_si256(_mm256_slli_epi32(middle, 8), _mm256_slli_epi32(last, 16)));
    const __m256i two =
        _mm256_or_si256(_mm256_or_si256(_mm256_srli_epi32(x, 6), Dwords(0xC0)), _mm256_slli_epi32(last, 8));
    __m256i words = _mm256_blendv_epi8(x, two, _mm256_cmpgt_epi32(x, Dwords(0x7F)));
    return _mm256_blendv_epi8(words, three, _mm256_cmpgt_epi32(x, Dwords(0x7FF)));
}

// One bit per 16-bit lane from the two that a movemask of 16-bit compares gives.
QUORVIN_FORCEINLINE uint32_t LaneBits(uint32_t mask) { return _pext_u32(mask, 0x55555555u); }

// Lanes of 16-bit units whose bits under `bits` are all clear.
QUORVIN_FORCEINLINE __m256i Clear(__m256i u, int bits) {
    return _mm256_cmpeq_epi16(_mm256_and_si256(u, Words(bits)), _mm256_setzero_si256());
}

// The blocks below store 16 bytes at a time, so each leaves up to 15 bytes past the bytes it wrote
// changed. The next block's first store covers them; the bytes that a run's last block covers are
// kept in a Spare, read before that block's stores, and put back when the run ends.
struct Spare {
    __m128i bytes = _mm_setzero_si128();  // read only after Keep; set so no compiler doubts it
    Utf8Unit* at = nullptr;

    QUORVIN_FORCEINLINE void Keep(Utf8Unit* p) {
        bytes = Load128(p);
        at = p;
    }
    QUORVIN_FORCEINLINE void PutBack() {
        if (at != nullptr) {
            Store128(at, bytes);
        }
    }
};

// Encodes 16 units below 0x800 (accented Latin) at `t`: one or two bytes per unit, made in 16-bit
// lanes (first byte low). Answers the bytes written.
QUORVIN_FORCEINLINE unsigned EncodeLatin(__m256i u, Utf8Unit* t, Spare& spare) {
    // Units stay below 0x800 here, so a signed comparison finds those of two bytes.
    const __m256i twoLanes = _mm256_cmpgt_epi16(u, Words(0x7F));
    const __m256i pairs = _mm256_or_si256(
        _mm256_or_si256(_mm256_srli_epi16(u, 6), _mm256_slli_epi16(_mm256_and_si256(u, Words(0x3F)), 8)),
        Words(static_cast<short>(0x80C0)));
    const __m256i units = _mm256_blendv_epi8(u, pairs, twoLanes);
    const uint32_t two = LaneBits(Mask(twoLanes));
    const __m256i packed = _mm256_shuffle_epi8(units, Controls(KeepPairs[two & 0xFF], KeepPairs[two >> 8]));
    const unsigned lengthLow = 8 + static_cast<unsigned>(std::popcount(two & 0xFF));
    const unsigned total = 16 + static_cast<unsigned>(std::popcount(two));
    spare.Keep(t + total);
    Store128(t, _mm256_castsi256_si128(packed));
    Store128(t + lengthLow, _mm256_extracti128_si256(packed, 1));
    return total;
}

// Encodes the 16 units `u` read at `s` into `t` and answers the bytes written; -1, with nothing
// written, at a surrogate that is not half of a pair. A pair gives its first three bytes at its high
// half and its last at its low half, so a pair cut by the block's end is finished by the next block:
// `carry` says that the block before ended with a high surrogate and is set when this one does.
// Reads the 17th unit after a high surrogate.
QUORVIN_FORCEINLINE int EncodeBmp(const Utf16Unit* s, __m256i u, Utf8Unit* t, uint32_t& carry, Spare& spare) {
    const __m256i asciiLanes = Clear(u, static_cast<short>(0xFF80));
    const __m256i smallLanes = Clear(u, static_cast<short>(0xF800));
    const uint32_t ascii = Mask(asciiLanes);
    const uint32_t small = Mask(smallLanes);
    // Per unit, its first two bytes in one 16-bit lane (first byte low) and its third in another.
    const __m256i last = _mm256_or_si256(_mm256_and_si256(u, Words(0x3F)), Words(0x80));
    const __m256i middle =
        _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi16(u, 6), Words(0x3F)), Words(0x80));
    const __m256i twoBytes =
        _mm256_or_si256(_mm256_or_si256(_mm256_srli_epi16(u, 6), Words(0xC0)), _mm256_slli_epi16(last, 8));
    const __m256i threeBytes =
        _mm256_or_si256(_mm256_or_si256(_mm256_srli_epi16(u, 12), Words(0xE0)), _mm256_slli_epi16(middle, 8));
    __m256i front = _mm256_blendv_epi8(twoBytes, u, asciiLanes);
    front = _mm256_blendv_epi8(threeBytes, front, smallLanes);
    __m256i back = last;
    uint32_t lows = 0;
    const uint32_t surrogates = Mask(_mm256_cmpeq_epi16(
        _mm256_and_si256(u, Words(static_cast<short>(0xF800))), Words(static_cast<short>(0xD800))));
    if (surrogates != 0) {
        const __m256i next = Load256(s + 1);
        const __m256i top6 = Words(static_cast<short>(0xFC00));
        const __m256i highLanes =
            _mm256_cmpeq_epi16(_mm256_and_si256(u, top6), Words(static_cast<short>(0xD800)));
        const __m256i lowLanes =
            _mm256_cmpeq_epi16(_mm256_and_si256(u, top6), Words(static_cast<short>(0xDC00)));
        const uint32_t highs = Mask(highLanes);
        lows = Mask(lowLanes);
        const uint32_t nextLows =
            Mask(_mm256_cmpeq_epi16(_mm256_and_si256(next, top6), Words(static_cast<short>(0xDC00))));
        // Each high surrogate is followed by a low one and each low one follows a high one.
        if ((highs & ~nextLows) != 0 || lows != ((highs << 2) | carry)) {
            return -1;
        }
        // A high surrogate gives the first three bytes of its character, from the top eleven bits
        // of value - 0x10000 ((high & 0x3FF) + 0x40 with the 0x10000 put back) and the low
        // surrogate's top four; the low surrogate after it gives the last byte.
        const __m256i top = _mm256_add_epi16(_mm256_and_si256(u, Words(0x3FF)), Words(0x40));
        const __m256i pairFront = _mm256_or_si256(
            _mm256_or_si256(_mm256_srli_epi16(top, 8), Words(0xF0)),
            _mm256_slli_epi16(
                _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi16(top, 2), Words(0x3F)), Words(0x80)), 8));
        const __m256i pairThird =
            _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(top, Words(3)), 4),
                                            _mm256_and_si256(_mm256_srli_epi16(next, 6), Words(0xF))),
                            Words(0x80));
        front = _mm256_blendv_epi8(front, pairFront, highLanes);
        back = _mm256_blendv_epi8(back, pairThird, highLanes);
        front = _mm256_blendv_epi8(front, last, lowLanes);
        carry = highs >> 30;
    } else if (carry != 0) {
        return -1;
    }
    // Units 0-3 and 8-11, and 4-7 and 12-15, as 32-bit lanes.
    const __m256i wordsA = _mm256_unpacklo_epi16(front, back);
    const __m256i wordsB = _mm256_unpackhi_epi16(front, back);
    // Lengths less one, two bits per unit: one for each of 0x80 and 0x800 passed; a low surrogate
    // gives one byte.
    const uint32_t codes = (~ascii & ~lows & 0x55555555u) + (~small & ~lows & 0x55555555u);
    const uint32_t c0 = codes & 0xFF, c1 = (codes >> 8) & 0xFF, c2 = (codes >> 16) & 0xFF, c3 = codes >> 24;
    const unsigned l0 = QuadLengths[c0], l1 = QuadLengths[c1], l2 = QuadLengths[c2], l3 = QuadLengths[c3];
    const unsigned written = l0 + l1 + l2 + l3;
    const __m256i packedA = _mm256_shuffle_epi8(wordsA, Controls(KeepQuads[c0], KeepQuads[c2]));
    const __m256i packedB = _mm256_shuffle_epi8(wordsB, Controls(KeepQuads[c1], KeepQuads[c3]));
    spare.Keep(t + written);
    Store128(t, _mm256_castsi256_si128(packedA));
    Store128(t + l0, _mm256_castsi256_si128(packedB));
    Store128(t + l0 + l1, _mm256_extracti128_si256(packedA, 1));
    Store128(t + l0 + l1 + l2, _mm256_extracti128_si256(packedB, 1));
    return static_cast<int>(written);
}

QUORVIN_FORCEINLINE void EncodeUtf16Fast(const Utf16Unit*& s, const Utf16Unit* sourceEnd, Utf8Unit*& t,
                                         Utf8Unit* targetEnd) {
    while (sourceEnd - s >= EncodeSourceRoom && targetEnd - t >= EncodeTargetRoom) {
        // Blocks at a fixed stride, so that the next block's loads never wait on this one's text.
        uint32_t carry = 0;
        bool refused = false;
        Spare spare;
        do {
            const __m256i a = Load256(s);
            const __m256i b = Load256(s + 16);
            const __m256i both = _mm256_or_si256(a, b);
            if (carry == 0 && _mm256_testz_si256(both, Words(static_cast<short>(0xFF80)))) {
                // 32 ASCII units: narrowed and put back in order (the pack interleaves the halves).
                Store256(t, _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8));
                spare.at = nullptr;
                s += 32;
                t += 32;
            } else if (carry == 0 && _mm256_testz_si256(both, Words(static_cast<short>(0xF800)))) {
                t += EncodeLatin(a, t, spare);
                t += EncodeLatin(b, t, spare);
                s += 32;
            } else {
                // Two blocks of any BMP text and pairs; the run stops at a refused one.
                int written = EncodeBmp(s, a, t, carry, spare);
                refused = written < 0;
                if (!refused) {
                    s += 16;
                    t += written;
                    written = EncodeBmp(s, b, t, carry, spare);
                    refused = written < 0;
                    if (!refused) {
                        s += 16;
                        t += written;
                    }
                }
            }
        } while (!refused && sourceEnd - s >= EncodeSourceRoom && targetEnd - t >= EncodeTargetRoom);
        spare.PutBack();
        if (carry != 0) {
            // The last block ended inside a pair: its last byte, from the low surrogate (the block
            // checked it), so that the cursors stand on a character boundary.
            *t++ = static_cast<Utf8Unit>(0x80 | (static_cast<uint16_t>(*s) & 0x3F));
            ++s;
        }
        if (!refused) {
            continue;
        }
        const Utf16Unit* const stretchEnd = s + std::min<ptrdiff_t>(16, sourceEnd - s);
        while (s < stretchEnd && sourceEnd - s >= 2 && targetEnd - t >= 4 && EncodeWellFormed(s, t)) {}
        if (s < stretchEnd) {
            return;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// UTF-32 to UTF-8.

// Encodes the eight values at `s`, all scalar values, and moves both cursors past them; false, with
// nothing moved or written, otherwise. Needs 8 values and 48 bytes of room.
QUORVIN_FORCEINLINE bool EncodeValues(const Utf32Unit*& s, Utf8Unit*& t) {
    const __m256i x = Load256(s);
    // Scalar values: below 0x110000 and not surrogates (compared as signed, so 0x80000000 and up
    // fail the first test too).
    const __m256i inRange = _mm256_cmpgt_epi32(Dwords(0x110000), x);
    const __m256i surrogate = _mm256_cmpeq_epi32(_mm256_and_si256(x, Dwords(~0x7FF)), Dwords(0xD800));
    const __m256i positive = _mm256_cmpgt_epi32(x, Dwords(-1));
    if (Mask(_mm256_andnot_si256(surrogate, _mm256_and_si256(inRange, positive))) != 0xFFFFFFFFu) {
        return false;
    }
    const uint32_t ascii = Mask(_mm256_cmpgt_epi32(Dwords(0x80), x));
    if (ascii == 0xFFFFFFFFu) {
        const __m256i words = _mm256_packus_epi32(x, x);  // lanes 0..3, 0..3 | 4..7, 4..7
        const __m128i bytes =
            _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(t), _mm_shuffle_epi32(bytes, 0x08));
        s += 8;
        t += 8;
        return true;
    }
    const __m256i four = _mm256_cmpgt_epi32(x, Dwords(0xFFFF));
    __m256i words = BmpWords(x);
    const uint32_t fourMask = Mask(four);
    if (fourMask != 0) {
        const __m256i c6 = Dwords(0x3F);
        const __m256i c80 = Dwords(0x80);
        const __m256i fourWord = _mm256_or_si256(
            _mm256_or_si256(
                _mm256_or_si256(_mm256_srli_epi32(x, 18), Dwords(0xF0)),
                _mm256_slli_epi32(_mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(x, 12), c6), c80), 8)),
            _mm256_or_si256(
                _mm256_slli_epi32(_mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(x, 6), c6), c80), 16),
                _mm256_slli_epi32(_mm256_or_si256(_mm256_and_si256(x, c6), c80), 24)));
        words = _mm256_blendv_epi8(words, fourWord, four);
    }
    // Lengths less one, two bits per lane: one for each of 0x80, 0x800 and 0x10000 passed.
    const uint32_t two = _pext_u32(~ascii, 0x11111111u);
    const uint32_t three = _pext_u32(Mask(_mm256_cmpgt_epi32(x, Dwords(0x7FF))), 0x11111111u);
    const uint32_t fours = _pext_u32(fourMask, 0x11111111u);
    const uint32_t codes = _pdep_u32(two, 0x5555u) + _pdep_u32(three, 0x5555u) + _pdep_u32(fours, 0x5555u);
    const unsigned total = QuadLengths[codes & 0xFF] + QuadLengths[codes >> 8];
    const __m128i spare = Load128(t + total);
    PackQuads(words, codes, t);
    Store128(t + total, spare);
    s += 8;
    t += total;
    return true;
}

QUORVIN_FORCEINLINE void EncodeUtf32Fast(const Utf32Unit*& s, const Utf32Unit* sourceEnd, Utf8Unit*& t,
                                         Utf8Unit* targetEnd) {
    while (sourceEnd - s >= 8 && targetEnd - t >= 48 && EncodeValues(s, t)) {}
}

// ---------------------------------------------------------------------------------------------
// Validation and counting.

// The exact rules take over for this many bytes when the fast scan stops, so that they find a fault
// in the block it stopped at, or pass it before the fast scan starts again.
inline constexpr ptrdiff_t ScanStretch = 80;

// Checks 64 bytes at a time from a character boundary, each block against the one before it; a
// block is checked whole, so the stride does not wait on the text. Counting adds the bytes that are
// not continuation bytes.
template <bool Counting>
QUORVIN_FORCEINLINE void ScanFast(const Utf8Unit*& s, const Utf8Unit* end, uint64_t& count) {
    const Utf8Unit* const start = s;
    const Utf8Unit* p = s;
    uint64_t n = count;
    const __m256i notContinuation = Bytes(-65);
    // The first block from the boundary with nothing before it; the later ones read the bytes
    // before them.
    if (end - p >= 64) {
        const __m256i first = Load256(p);
        const __m256i faults = BlockFaults(first, _mm256_setzero_si256());
        if (!_mm256_testz_si256(faults, faults)) {
            return;
        }
        if constexpr (Counting) {
            n += static_cast<uint64_t>(std::popcount(Mask(_mm256_cmpgt_epi8(first, notContinuation))));
        }
        p += 32;
    }
    // 64 bytes a step while there is room, then 32 (more at once only spills registers).
    bool faulty = false;
    while (p > start && end - p >= 64) {
        const __m256i v0 = Load256(p);
        const __m256i v1 = Load256(p + 32);
        __m256i faults;
        uint64_t characters = 64;
        if (Mask(_mm256_or_si256(v0, v1)) == 0) {
            // ASCII: only a sequence cut before it can be at fault.
            faults = IncompleteAtEnd(Load256(p - 32));
            if (!_mm256_testz_si256(faults, faults)) {
                faulty = true;
                break;
            }
            if constexpr (Counting) {
                n += 64;
            }
            p += 64;
            // The text now ends in ASCII, so more ASCII has nothing before it to check: a stretch of
            // it goes 128 bytes a step with no look back.
            while (end - p >= 128) {
                const __m256i a = _mm256_or_si256(Load256(p), Load256(p + 32));
                const __m256i b = _mm256_or_si256(Load256(p + 64), Load256(p + 96));
                if (Mask(_mm256_or_si256(a, b)) != 0) {
                    break;
                }
                if constexpr (Counting) {
                    n += 128;
                }
                p += 128;
            }
            continue;
        } else {
            faults = _mm256_or_si256(BlockFaultsAt(p), BlockFaultsAt(p + 32));
            if constexpr (Counting) {
                characters =
                    static_cast<uint64_t>(std::popcount(Mask(_mm256_cmpgt_epi8(v0, notContinuation))) +
                                          std::popcount(Mask(_mm256_cmpgt_epi8(v1, notContinuation))));
            }
        }
        if (!_mm256_testz_si256(faults, faults)) {
            faulty = true;
            break;
        }
        if constexpr (Counting) {
            n += characters;
        }
        p += 64;
    }
    while (!faulty && p > start && end - p >= 32) {
        const __m256i v = Load256(p);
        const __m256i faults = BlockFaultsAt(p);
        if (!_mm256_testz_si256(faults, faults)) {
            break;
        }
        if constexpr (Counting) {
            n += static_cast<uint64_t>(std::popcount(Mask(_mm256_cmpgt_epi8(v, notContinuation))));
        }
        p += 32;
    }
    // Back to the first byte of a sequence cut where the scan stopped: the exact rules check it whole
    // (its first byte was counted).
    const ptrdiff_t back = CutBefore(p, start);
    p -= back;
    if constexpr (Counting) {
        n -= back != 0 ? 1 : 0;
    }
    s = p;
    count = n;
}

}  // namespace Quorvin::TextPrivate::Avx2
