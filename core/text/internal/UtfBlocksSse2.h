// The two-byte block routines of the SSE2 UTF kernel (SSE2 is part of every x86-64 target). Contract
// in UtfBlocks.h; the portable twins in UtfBlocksPortable.h give the same results.
#pragma once

#include <emmintrin.h>

#include "core/text/internal/UtfPrimitives.h"

namespace Quorvin::TextPrivate::Sse2 {

// Lane masks for SqueezeLanes: entry e keeps the lanes below e - 1 (entry 0 keeps all eight).
alignas(16) constexpr uint16_t LanesBelow[9][8] = {
    {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF},
    {0, 0, 0, 0, 0, 0, 0, 0},
    {0xFFFF, 0, 0, 0, 0, 0, 0, 0},
    {0xFFFF, 0xFFFF, 0, 0, 0, 0, 0, 0},
    {0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0, 0, 0},
    {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0, 0},
    {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0},
    {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0},
    {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0},
};

// Removes the 16-bit lanes of `units` named by the bits of `lanes` (at most four, none adjacent),
// moving the lanes above each one down. Four fixed steps, highest lane first, so the work does not
// depend on the text; a step with no lane left keeps everything.
QUORVIN_FORCEINLINE __m128i SqueezeLanes(__m128i units, unsigned lanes) {
    QUORVIN_UNROLL
    for (int step = 0; step < 4; ++step) {
        const __m128i keep =
            _mm_load_si128(reinterpret_cast<const __m128i*>(LanesBelow[std::bit_width(lanes)]));
        units = _mm_or_si128(_mm_and_si128(keep, units), _mm_andnot_si128(keep, _mm_srli_si128(units, 2)));
        lanes &= std::bit_floor(lanes) - 1;
    }
    return units;
}

template <class Unit>
QUORVIN_FORCEINLINE BlockOutcome DecodeTwoByteBlock(const Utf8Unit*& s, Unit*& t) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const __m128i following = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 1));
    const __m128i top3 = _mm_and_si128(bytes, _mm_set1_epi8(static_cast<char>(0xE0)));
    const __m128i lead = _mm_cmpeq_epi8(top3, _mm_set1_epi8(static_cast<char>(0xC0)));
    const __m128i three = _mm_cmpeq_epi8(top3, _mm_set1_epi8(static_cast<char>(0xE0)));
    // C0 and C1 are overlong leads.
    const __m128i overlong = _mm_cmpeq_epi8(_mm_and_si128(bytes, _mm_set1_epi8(static_cast<char>(0xFE))),
                                            _mm_set1_epi8(static_cast<char>(0xC0)));
    const __m128i top2 = _mm_set1_epi8(static_cast<char>(0xC0));
    const __m128i continuation = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i followedByContinuation = _mm_cmpeq_epi8(_mm_and_si128(following, top2), continuation);
    const unsigned continuations =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(bytes, top2), continuation)));
    // Every lead is followed by a continuation and every continuation follows a lead.
    const __m128i wrong =
        _mm_or_si128(_mm_or_si128(three, overlong), _mm_xor_si128(lead, followedByContinuation));
    if ((static_cast<unsigned>(_mm_movemask_epi8(wrong)) | (continuations & 1)) != 0) {
        return BlockOutcome::Refused;
    }
    if (_mm_movemask_epi8(bytes) == 0) {
        return BlockOutcome::AllAscii;
    }
    const unsigned length = 16 + (static_cast<unsigned>(_mm_movemask_epi8(lead)) >> 15);

    const __m128i zero = _mm_setzero_si128();
    const __m128i low5 = _mm_set1_epi16(0x1F);
    const __m128i low6 = _mm_set1_epi16(0x3F);
    __m128i units[2];
    for (int half = 0; half < 2; ++half) {
        const __m128i b = half == 0 ? _mm_unpacklo_epi8(bytes, zero) : _mm_unpackhi_epi8(bytes, zero);
        const __m128i n = half == 0 ? _mm_unpacklo_epi8(following, zero) : _mm_unpackhi_epi8(following, zero);
        const __m128i isLead = half == 0 ? _mm_unpacklo_epi8(lead, lead) : _mm_unpackhi_epi8(lead, lead);
        const __m128i pair = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(b, low5), 6), _mm_and_si128(n, low6));
        units[half] = _mm_or_si128(_mm_and_si128(isLead, pair), _mm_andnot_si128(isLead, b));
    }
    const unsigned starts = ~continuations & 0xFFFF;
    const unsigned count = static_cast<unsigned>(std::popcount(starts));
    if constexpr (sizeof(Unit) == 2) {
        // Each half's continuation lanes are squeezed out inside the register and the half is
        // stored whole; the eight units after the last character are put back.
        const unsigned countLow = static_cast<unsigned>(std::popcount(starts & 0xFF));
        const __m128i spare = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + count));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(t), SqueezeLanes(units[0], continuations & 0xFF));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(t + countLow),
                         SqueezeLanes(units[1], continuations >> 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(t + count), spare);
    } else {
        const Unit spare = t[count];
        unsigned k = 0;
        // Lanes are taken straight from the registers: a trip through memory stalls on the reloads.
#define QUORVIN_PLACE_UNIT(half, lane)                                  \
    do {                                                                \
        t[k] = static_cast<Unit>(_mm_extract_epi16(units[half], lane)); \
        k += (starts >> (8 * (half) + (lane))) & 1;                     \
    } while (false)
        QUORVIN_PLACE_UNIT(0, 0);
        QUORVIN_PLACE_UNIT(0, 1);
        QUORVIN_PLACE_UNIT(0, 2);
        QUORVIN_PLACE_UNIT(0, 3);
        QUORVIN_PLACE_UNIT(0, 4);
        QUORVIN_PLACE_UNIT(0, 5);
        QUORVIN_PLACE_UNIT(0, 6);
        QUORVIN_PLACE_UNIT(0, 7);
        QUORVIN_PLACE_UNIT(1, 0);
        QUORVIN_PLACE_UNIT(1, 1);
        QUORVIN_PLACE_UNIT(1, 2);
        QUORVIN_PLACE_UNIT(1, 3);
        QUORVIN_PLACE_UNIT(1, 4);
        QUORVIN_PLACE_UNIT(1, 5);
        QUORVIN_PLACE_UNIT(1, 6);
        QUORVIN_PLACE_UNIT(1, 7);
#undef QUORVIN_PLACE_UNIT
        t[count] = spare;
    }
    s += length;
    t += count;
    return BlockOutcome::Decoded;
}

QUORVIN_FORCEINLINE void EncodeTwoByteBlock(const Utf16Unit*& s, Utf8Unit*& t) {
    const __m128i ascii = _mm_set1_epi16(0x7F);
    unsigned nonAscii = 0;  // two bits per unit
    __m128i pairs[2];
    for (int half = 0; half < 2; ++half) {
        const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 8 * half));
        const __m128i wide = _mm_cmpgt_epi16(u, ascii);  // units stay below 0x800, so signed is fine
        nonAscii |= static_cast<unsigned>(_mm_movemask_epi8(wide)) << (16 * half);
        // Two-byte form: 110xxxxx in the low byte, 10xxxxxx in the high byte; ASCII stays itself.
        const __m128i first = _mm_or_si128(_mm_srli_epi16(u, 6), _mm_set1_epi16(0xC0));
        const __m128i second =
            _mm_slli_epi16(_mm_or_si128(_mm_and_si128(u, _mm_set1_epi16(0x3F)), _mm_set1_epi16(0x80)), 8);
        pairs[half] =
            _mm_or_si128(_mm_and_si128(wide, _mm_or_si128(first, second)), _mm_andnot_si128(wide, u));
    }
    const unsigned total = 16 + static_cast<unsigned>(std::popcount(nonAscii)) / 2;
    const Utf8Unit spare = t[total];
    Utf8Unit* q = t;
    // Lanes are taken straight from the registers: a trip through memory stalls on the reloads.
#define QUORVIN_PLACE_PAIR(half, lane)                                                     \
    do {                                                                                   \
        const uint16_t pair = static_cast<uint16_t>(_mm_extract_epi16(pairs[half], lane)); \
        q[0] = static_cast<Utf8Unit>(pair);                                                \
        q[1] = static_cast<Utf8Unit>(pair >> 8);                                           \
        q += 1 + ((nonAscii >> (16 * (half) + 2 * (lane))) & 1);                           \
    } while (false)
    QUORVIN_PLACE_PAIR(0, 0);
    QUORVIN_PLACE_PAIR(0, 1);
    QUORVIN_PLACE_PAIR(0, 2);
    QUORVIN_PLACE_PAIR(0, 3);
    QUORVIN_PLACE_PAIR(0, 4);
    QUORVIN_PLACE_PAIR(0, 5);
    QUORVIN_PLACE_PAIR(0, 6);
    QUORVIN_PLACE_PAIR(0, 7);
    QUORVIN_PLACE_PAIR(1, 0);
    QUORVIN_PLACE_PAIR(1, 1);
    QUORVIN_PLACE_PAIR(1, 2);
    QUORVIN_PLACE_PAIR(1, 3);
    QUORVIN_PLACE_PAIR(1, 4);
    QUORVIN_PLACE_PAIR(1, 5);
    QUORVIN_PLACE_PAIR(1, 6);
    QUORVIN_PLACE_PAIR(1, 7);
#undef QUORVIN_PLACE_PAIR
    t[total] = spare;
    s += Utf16Block;
    t += total;
}

}  // namespace Quorvin::TextPrivate::Sse2
