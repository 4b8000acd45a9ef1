// Strict conversions between UTF-8, UTF-16 and UTF-32.
#include "core/text/Utf.h"

#include "core/Compiler.h"

#if QUORVIN_HAS_SSE2
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <utility>

namespace Quorvin {
namespace {

using R = ConversionResult;

constexpr uint32_t HighSurrogateStart = 0xD800;
constexpr uint32_t LowSurrogateStart = 0xDC00;
constexpr uint32_t SurrogateEnd = 0xE000;
constexpr uint32_t CodePointLimit = 0x110000;

// Trailing bytes announced by a first byte; continuation bytes count as single bytes here and are
// rejected by the legality rules instead.
constexpr std::array<uint8_t, 256> TrailingBytes = [] {
    std::array<uint8_t, 256> table{};
    for (int b = 0; b < 256; ++b) {
        table[b] = b < 0xC0 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : b < 0xF8 ? 3 : b < 0xFC ? 4 : 5;
    }
    return table;
}();

// What accumulating (value << 6) + byte over a sequence adds on top of the code point: the
// length-marker bits of the first byte and the 0x80 of every trailing byte.
constexpr uint32_t SequenceOffsets[6] = {0x00000000, 0x00003080, 0x000E2080, 0x03C82080, 0xFA082080, 0x82082080};
constexpr uint8_t FirstByteMarks[7] = {0x00, 0x00, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};

constexpr uint64_t AsciiMask8 = 0x8080808080808080ull;

QUORVIN_FORCEINLINE bool IsSurrogate(uint32_t value) {
    return value >= HighSurrogateStart && value < SurrogateEnd;
}

QUORVIN_FORCEINLINE uint64_t Load64(const void* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// The eight bytes at `p` with the first in the lowest bits, whatever the byte order.
QUORVIN_FORCEINLINE uint64_t LoadLittle64(const void* p) {
    if constexpr (std::endian::native == std::endian::little) {
        return Load64(p);
    } else {
        const auto* bytes = static_cast<const unsigned char*>(p);
        uint64_t word = 0;
        for (int i = 7; i >= 0; --i) {
            word = (word << 8) | bytes[i];
        }
        return word;
    }
}

constexpr uint64_t EveryByte = 0x0101010101010101ull;

// For bytes that each hold a small count: byte k of the result is the sum of bytes 0 to k - 1.
// Multiplying by EveryByte adds every byte into all higher ones; the counts here never carry.
QUORVIN_FORCEINLINE uint64_t SumsBefore(uint64_t counts) {
    return (counts << 8) * EveryByte;
}

QUORVIN_FORCEINLINE uint32_t ByteAt(uint64_t word, int k) {
    return static_cast<uint32_t>(word >> (8 * k)) & 0xFF;
}

// `length` bytes from `s` must be readable.
bool IsLegalSequence(const Utf8Unit* s, unsigned length) {
    if (length > 4) {
        return false;
    }
    for (unsigned i = 1; i < length; ++i) {
        if (s[i] < 0x80 || s[i] > 0xBF) {
            return false;
        }
    }
    if (length >= 2) {
        switch (s[0]) {
        case 0xE0: if (s[1] < 0xA0) return false; break;  // overlong three-byte form
        case 0xED: if (s[1] > 0x9F) return false; break;  // encoded surrogate
        case 0xF0: if (s[1] < 0x90) return false; break;  // overlong four-byte form
        case 0xF4: if (s[1] > 0x8F) return false; break;  // above U+10FFFF
        default: break;
        }
    }
    return !(s[0] >= 0x80 && s[0] < 0xC2) && s[0] <= 0xF4;
}

// Walks legal UTF-8 from `s`, counting sequences. Stops at the end (true) or at the first byte of
// an illegal or truncated sequence (false).
bool ScanUtf8(const Utf8Unit*& s, const Utf8Unit* end, uint64_t& count) {
    const Utf8Unit* p = s;
    uint64_t n = 0;
    bool legal = true;
    while (p < end) {
        if (*p < 0x80) {
            const Utf8Unit* runStart = p;
            // ASCII runs are checked 32 bytes at a time; the byte loop below finds where one ends.
            while (end - p >= 32 && ((Load64(p) | Load64(p + 8) | Load64(p + 16) | Load64(p + 24)) & AsciiMask8) == 0) {
                p += 32;
            }
            while (p < end && *p < 0x80) {
                ++p;
            }
            n += static_cast<uint64_t>(p - runStart);
            continue;
        }
        const unsigned length = TrailingBytes[*p] + 1u;
        if (static_cast<ptrdiff_t>(length) > end - p || !IsLegalSequence(p, length)) {
            legal = false;
            break;
        }
        p += length;
        ++n;
    }
    s = p;
    count = n;
    return legal;
}

// Copies the ASCII run at `s` while both ranges have room; stops at a non-ASCII byte. Blocks go
// through local arrays so the compiler may widen them with vector instructions: the caller's
// buffers could alias as far as it knows.
template <class Unit>
QUORVIN_FORCEINLINE void CopyAscii(const Utf8Unit*& s, const Utf8Unit* sourceEnd, Unit*& t, Unit* targetEnd) {
    const Utf8Unit* p = s;
    Unit* q = t;
    while (sourceEnd - p >= 16 && targetEnd - q >= 16) {
        if (((Load64(p) | Load64(p + 8)) & AsciiMask8) != 0) {
            break;
        }
        Utf8Unit bytes[16];
        std::memcpy(bytes, p, sizeof bytes);
        Unit units[16];
        for (int i = 0; i < 16; ++i) {
            units[i] = static_cast<Unit>(bytes[i]);
        }
        std::memcpy(q, units, sizeof units);
        p += 16;
        q += 16;
    }
    while (p < sourceEnd && q < targetEnd && *p < 0x80) {
        *q++ = static_cast<Unit>(*p++);
    }
    s = p;
    t = q;
}

template <class Unit>
QUORVIN_FORCEINLINE void StoreDecoded(uint32_t value, Unit*& t) {
    if constexpr (sizeof(Unit) == 2) {
        if (value > 0xFFFF) {
            value -= 0x10000;
            *t++ = static_cast<Unit>(HighSurrogateStart + (value >> 10));
            *t++ = static_cast<Unit>(LowSurrogateStart + (value & 0x3FF));
            return;
        }
    }
    *t++ = static_cast<Unit>(value);
}

// Sixteen bytes of ASCII and two-byte sequences, the text accented Latin is made of, decoded as one
// block: only ASCII and well-formed two-byte sequences, the first byte not a continuation, and a
// sequence that starts at the last byte completed by the byte after it. Every byte's unit is worked
// out without branches on the text and the units are packed by a running index, so mixed text costs
// no mispredicted branch; a continuation's unit lands where the next character goes and is
// overwritten by it, and the slot after the last character is put back, so nothing past the new
// cursor changes. A block of sixteen ASCII bytes is left to the ASCII copy, and one that holds
// anything else is refused; both with nothing moved or written. Needs 17 readable bytes and 17
// units of room.
enum class BlockOutcome { Decoded, AllAscii, Refused };

#if QUORVIN_HAS_SSE2

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
        const __m128i keep = _mm_load_si128(reinterpret_cast<const __m128i*>(LanesBelow[std::bit_width(lanes)]));
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
    const __m128i wrong = _mm_or_si128(_mm_or_si128(three, overlong), _mm_xor_si128(lead, followedByContinuation));
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
        _mm_storeu_si128(reinterpret_cast<__m128i*>(t + countLow), SqueezeLanes(units[1], continuations >> 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(t + count), spare);
    } else {
        const Unit spare = t[count];
        unsigned k = 0;
        // Lanes are taken straight from the registers: a trip through memory stalls on the reloads.
#define QUORVIN_PLACE_UNIT(half, lane)                                                   \
        t[k] = static_cast<Unit>(_mm_extract_epi16(units[half], lane));                  \
        k += (starts >> (8 * (half) + (lane))) & 1;
        QUORVIN_PLACE_UNIT(0, 0) QUORVIN_PLACE_UNIT(0, 1) QUORVIN_PLACE_UNIT(0, 2) QUORVIN_PLACE_UNIT(0, 3)
        QUORVIN_PLACE_UNIT(0, 4) QUORVIN_PLACE_UNIT(0, 5) QUORVIN_PLACE_UNIT(0, 6) QUORVIN_PLACE_UNIT(0, 7)
        QUORVIN_PLACE_UNIT(1, 0) QUORVIN_PLACE_UNIT(1, 1) QUORVIN_PLACE_UNIT(1, 2) QUORVIN_PLACE_UNIT(1, 3)
        QUORVIN_PLACE_UNIT(1, 4) QUORVIN_PLACE_UNIT(1, 5) QUORVIN_PLACE_UNIT(1, 6) QUORVIN_PLACE_UNIT(1, 7)
#undef QUORVIN_PLACE_UNIT
        t[count] = spare;
    }
    s += length;
    t += count;
    return BlockOutcome::Decoded;
}

#else

// Per byte of `word`, 1 in the byte's lowest bit where the byte continues a sequence (10xxxxxx).
QUORVIN_FORCEINLINE uint64_t ContinuationBits(uint64_t word) {
    return (word >> 7) & ~(word >> 6) & EveryByte;
}

template <class Unit>
QUORVIN_FORCEINLINE BlockOutcome DecodeTwoByteBlock(const Utf8Unit*& s, Unit*& t) {
    if (((Load64(s) | Load64(s + 8)) & AsciiMask8) == 0) {
        return BlockOutcome::AllAscii;
    }
    // The same checks in two 64-bit words, one bit per byte.
    uint64_t bad = ContinuationBits(LoadLittle64(s)) & 1;
    uint64_t lastLead = 0;
    for (int half = 0; half < 2; ++half) {
        const uint64_t word = LoadLittle64(s + 8 * half);
        const uint64_t top = (word >> 7) & (word >> 6) & EveryByte;  // 11xxxxxx
        const uint64_t three = top & (word >> 5);                     // 111xxxxx
        const uint64_t lead = top & ~three;
        const uint64_t payloadNonZero = (((word >> 1) & 0x0F0F0F0F0F0F0F0Full) + 0x7F7F7F7F7F7F7F7Full) >> 7;
        const uint64_t following = ContinuationBits(LoadLittle64(s + 8 * half + 1));
        bad |= three | (lead & ~payloadNonZero) | (lead ^ following);
        lastLead = lead >> 56;
    }
    if (bad != 0) {
        return BlockOutcome::Refused;
    }
    Utf8Unit bytes[17];
    std::memcpy(bytes, s, sizeof bytes);
    Unit units[16];
    uint8_t starts[16];
    unsigned count = 0;
    for (int i = 0; i < 16; ++i) {
        const uint32_t b = bytes[i];
        const uint32_t pair = ((b & 0x1F) << 6) | (bytes[i + 1] & 0x3F);
        units[i] = static_cast<Unit>(b >= 0xC0 ? pair : b);
        starts[i] = static_cast<uint8_t>((b & 0xC0) != 0x80);
        count += starts[i];
    }
    const Unit spare = t[count];
    unsigned k = 0;
    QUORVIN_UNROLL
    for (int i = 0; i < 16; ++i) {
        t[k] = units[i];
        k += starts[i];
    }
    t[count] = spare;
    s += 16 + static_cast<unsigned>(lastLead);
    t += count;
    return BlockOutcome::Decoded;
}

#endif

// Decodes one well-formed character at `s` with the sequence's bits checked in one word; false,
// with nothing moved, for anything else. Needs eight readable bytes and two units of room.
template <class Unit>
QUORVIN_FORCEINLINE bool DecodeOne(const Utf8Unit*& s, Unit*& t) {
    const uint32_t x = static_cast<uint32_t>(LoadLittle64(s));
    if ((x & 0x80) == 0) {
        *t++ = static_cast<Unit>(x & 0x7F);
        s += 1;
        return true;
    }
    if ((x & 0xC0E0) == 0x80C0) {
        if ((x & 0x1E) == 0) {
            return false;  // C0 or C1: an overlong two-byte form
        }
        *t++ = static_cast<Unit>(((x & 0x1F) << 6) | ((x >> 8) & 0x3F));
        s += 2;
        return true;
    }
    // Overlongs and encoded surrogates show in the decoded value.
    if ((x & 0xC0C0F0) == 0x8080E0) {
        const uint32_t value = ((x & 0x0F) << 12) | ((x >> 2) & 0xFC0) | ((x >> 16) & 0x3F);
        if (value < 0x800 || IsSurrogate(value)) {
            return false;
        }
        *t++ = static_cast<Unit>(value);
        s += 3;
        return true;
    }
    if ((x & 0xC0C0C0F8) == 0x808080F0) {
        const uint32_t value = ((x & 0x07) << 18) | ((x << 4) & 0x3F000) | ((x >> 10) & 0xFC0) | ((x >> 24) & 0x3F);
        if (value < 0x10000 || value >= CodePointLimit) {
            return false;
        }
        StoreDecoded(value, t);
        s += 4;
        return true;
    }
    return false;
}

// The three-byte sequence at `s`, the commonest in text that the two-byte block turns away; false,
// with nothing moved, for anything else. Needs four readable bytes.
template <class Unit>
QUORVIN_FORCEINLINE bool DecodeThree(const Utf8Unit*& s, Unit*& t) {
    const uint32_t x = static_cast<uint32_t>(s[0]) | (static_cast<uint32_t>(s[1]) << 8) | (static_cast<uint32_t>(s[2]) << 16);
    if ((x & 0xC0C0F0) != 0x8080E0) {
        return false;
    }
    const uint32_t value = ((x & 0x0F) << 12) | ((x >> 2) & 0xFC0) | ((x >> 16) & 0x3F);
    if (value < 0x800 || IsSurrogate(value)) {
        return false;
    }
    *t++ = static_cast<Unit>(value);
    s += 3;
    return true;
}

constexpr ptrdiff_t DecodeStretch = 64;

template <class Unit>
ConversionResult DecodeUtf8(const Utf8Unit*& source, const Utf8Unit* sourceEnd, Unit*& target, Unit* targetEnd) {
    const Utf8Unit* s = source;
    Unit* t = target;
    R result = R::Ok;
    for (;;) {
        // While this much is left, a block or any single character after it fits both ranges, so
        // well-formed text needs no bounds checks; anything else drops to the exact rules below.
        while (std::min(sourceEnd - s, targetEnd - t) >= DecodeStretch + 16) {
            const BlockOutcome outcome = DecodeTwoByteBlock(s, t);
            if (outcome == BlockOutcome::Decoded) {
                continue;
            }
            if (outcome == BlockOutcome::AllAscii) {
                CopyAscii(s, sourceEnd, t, targetEnd);
                continue;
            }
            // Character by character for a while before a block is tried again, three-byte sequences
            // first: text that turns the block away is mostly made of them.
            const Utf8Unit* const stretchEnd = s + DecodeStretch;
            while (s < stretchEnd && (DecodeThree(s, t) || DecodeOne(s, t))) {
            }
            if (s < stretchEnd) {
                break;
            }
        }
        if (s >= sourceEnd) {
            break;
        }
        if (*s < 0x80) {
            if (t >= targetEnd) {
                result = R::TargetExhausted;
                break;
            }
            *t++ = static_cast<Unit>(*s++);
            continue;
        }
        // One character by the exact rules, in their order: cut by the end, legality, room.
        const unsigned trailing = TrailingBytes[*s];
        if (static_cast<ptrdiff_t>(trailing) >= sourceEnd - s) {
            result = R::SourceExhausted;
            break;
        }
        if (!IsLegalSequence(s, trailing + 1)) {
            result = R::SourceIllegal;
            break;
        }
        uint32_t value = 0;
        for (unsigned i = 0; i < trailing; ++i) {
            value = (value + s[i]) << 6;
        }
        value = value + s[trailing] - SequenceOffsets[trailing];
        const ptrdiff_t needed = sizeof(Unit) == 2 && value > 0xFFFF ? 2 : 1;
        if (targetEnd - t < needed) {
            result = R::TargetExhausted;
            break;
        }
        StoreDecoded(value, t);
        s += trailing + 1;
    }
    source = s;
    target = t;
    return result;
}

QUORVIN_FORCEINLINE int Utf8Length(uint32_t value) {
    return value < 0x80 ? 1 : value < 0x800 ? 2 : value < 0x10000 ? 3 : 4;
}

// Writes `value` (below 0x110000) as `length` bytes from the last byte backwards.
QUORVIN_FORCEINLINE void WriteUtf8(uint32_t value, int length, Utf8Unit*& t) {
    Utf8Unit* q = t + length;
    for (int i = length - 1; i > 0; --i) {
        *--q = static_cast<Utf8Unit>(0x80 | (value & 0x3F));
        value >>= 6;
    }
    *--q = static_cast<Utf8Unit>(value | FirstByteMarks[length]);
    t += length;
}

// Reads one UTF-16 character. On success `s` moves past it; on a stop it stays at its first unit.
QUORVIN_FORCEINLINE R ReadUtf16(const Utf16Unit*& s, const Utf16Unit* end, ConversionMode mode, uint32_t& value) {
    uint32_t u = static_cast<uint16_t>(s[0]);
    if (u >= HighSurrogateStart && u < LowSurrogateStart) {
        if (end - s < 2) {
            return R::SourceExhausted;
        }
        const uint32_t next = static_cast<uint16_t>(s[1]);
        if (next >= LowSurrogateStart && next < SurrogateEnd) {
            value = ((u - HighSurrogateStart) << 10) + (next - LowSurrogateStart) + 0x10000;
            s += 2;
            return R::Ok;
        }
        if (mode == ConversionMode::Strict) {
            return R::SourceIllegal;
        }
    } else if (u >= LowSurrogateStart && u < SurrogateEnd && mode == ConversionMode::Strict) {
        return R::SourceIllegal;
    }
    value = u;
    ++s;
    return R::Ok;
}

// Narrows the ASCII run at `s` while both ranges have room; stops at a unit of 0x80 or more.
QUORVIN_FORCEINLINE void NarrowAscii(const Utf16Unit*& s, const Utf16Unit* sourceEnd, Utf8Unit*& t, Utf8Unit* targetEnd) {
    const Utf16Unit* p = s;
    Utf8Unit* q = t;
    while (sourceEnd - p >= 16 && targetEnd - q >= 16) {
        if (((Load64(p) | Load64(p + 4) | Load64(p + 8) | Load64(p + 12)) & 0xFF80FF80FF80FF80ull) != 0) {
            break;
        }
        uint16_t units[16];
        std::memcpy(units, p, sizeof units);
        Utf8Unit bytes[16];
        for (int i = 0; i < 16; ++i) {
            bytes[i] = static_cast<Utf8Unit>(units[i]);
        }
        std::memcpy(q, bytes, sizeof bytes);
        p += 16;
        q += 16;
    }
    while (p < sourceEnd && q < targetEnd && static_cast<uint16_t>(*p) < 0x80) {
        *q++ = static_cast<Utf8Unit>(*p++);
    }
    s = p;
    t = q;
}

// Writes the UTF-8 of a scalar value below 0x10000, for which WriteUtf8 would give the same bytes.
QUORVIN_FORCEINLINE void WriteBmpUtf8(uint32_t unit, Utf8Unit*& t) {
    if (unit < 0x80) {
        *t++ = static_cast<Utf8Unit>(unit);
    } else if (unit < 0x800) {
        t[0] = static_cast<Utf8Unit>(0xC0 | (unit >> 6));
        t[1] = static_cast<Utf8Unit>(0x80 | (unit & 0x3F));
        t += 2;
    } else {
        t[0] = static_cast<Utf8Unit>(0xE0 | (unit >> 12));
        t[1] = static_cast<Utf8Unit>(0x80 | ((unit >> 6) & 0x3F));
        t[2] = static_cast<Utf8Unit>(0x80 | (unit & 0x3F));
        t += 3;
    }
}

// Encodes one well-formed character at `s`; false, with nothing moved, at a surrogate that does not
// start a pair. Reads two units when the first is a high surrogate and writes up to four bytes, so
// the caller guarantees that much of both ranges.
QUORVIN_FORCEINLINE bool EncodeWellFormed(const Utf16Unit*& s, Utf8Unit*& t) {
    const uint32_t unit = static_cast<uint16_t>(s[0]);
    if (!IsSurrogate(unit)) {
        WriteBmpUtf8(unit, t);
        ++s;
        return true;
    }
    const uint32_t next = static_cast<uint16_t>(s[1]);
    if (unit >= LowSurrogateStart || next < LowSurrogateStart || next >= SurrogateEnd) {
        return false;
    }
    const uint32_t value = ((unit - HighSurrogateStart) << 10) + (next - LowSurrogateStart) + 0x10000;
    t[0] = static_cast<Utf8Unit>(0xF0 | (value >> 18));
    t[1] = static_cast<Utf8Unit>(0x80 | ((value >> 12) & 0x3F));
    t[2] = static_cast<Utf8Unit>(0x80 | ((value >> 6) & 0x3F));
    t[3] = static_cast<Utf8Unit>(0x80 | (value & 0x3F));
    t += 4;
    s += 2;
    return true;
}

// Block encoding, for the same reason as block decoding: the bytes of 16 units are worked out
// together by loops without branches on the text, then packed into the target. Blocks with a
// surrogate are left to the character-at-a-time encoder.
constexpr ptrdiff_t Utf16Block = 16;
// Three bytes per unit at most, and the four-byte stores may reach three bytes past the last
// character: those are restored.
constexpr ptrdiff_t Utf16BlockRoom = 3 * Utf16Block + 4;

// Stores the four bytes of `word`, lowest first.
QUORVIN_FORCEINLINE void StoreBytes4(Utf8Unit* q, uint32_t word) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(q, &word, sizeof word);
    } else {
        for (int i = 0; i < 4; ++i) {
            q[i] = static_cast<Utf8Unit>(word >> (8 * i));
        }
    }
}

// Encodes the 16 units at `s` and moves both cursors past them; false, with nothing moved, when
// one is a surrogate. Needs Utf16BlockRoom bytes at `t`.
QUORVIN_FORCEINLINE bool EncodeUtf16Block(const Utf16Unit*& s, Utf8Unit*& t) {
    uint16_t units[Utf16Block];
    std::memcpy(units, s, sizeof units);
    uint32_t surrogates = 0;
    for (int i = 0; i < Utf16Block; ++i) {
        surrogates |= IsSurrogate(units[i]);
    }
    if (surrogates != 0) {
        return false;
    }
    // The bytes WriteBmpUtf8 would write, lowest first in one word, and their number.
    uint32_t words[Utf16Block];
    uint8_t lengths[Utf16Block];
    for (int i = 0; i < Utf16Block; ++i) {
        const uint32_t u = units[i];
        const uint32_t first = u < 0x80 ? u : u < 0x800 ? 0xC0 | (u >> 6) : 0xE0 | (u >> 12);
        const uint32_t second = 0x80 | ((u < 0x800 ? u : u >> 6) & 0x3F);
        const uint32_t third = 0x80 | (u & 0x3F);
        words[i] = first | (second << 8) | (third << 16);
        lengths[i] = static_cast<uint8_t>(1 + (u >= 0x80) + (u >= 0x800));
    }
    // Each word is stored whole at the sum of the lengths before it; a later word overwrites the
    // bytes it does not own, and those past the last are restored. The offsets come from sums
    // over bytes rather than a running cursor, so the stores do not wait on one another.
    const uint64_t lengthsLow = LoadLittle64(lengths);
    const uint64_t lengthsHigh = LoadLittle64(lengths + 8);
    const uint64_t offsetsLow = SumsBefore(lengthsLow);
    const uint64_t offsetsHigh = SumsBefore(lengthsHigh);
    const uint32_t totalLow = ByteAt(offsetsLow, 7) + ByteAt(lengthsLow, 7);
    const uint32_t total = totalLow + ByteAt(offsetsHigh, 7) + ByteAt(lengthsHigh, 7);
    Utf8Unit spare[4];
    std::memcpy(spare, t + total, sizeof spare);
    QUORVIN_UNROLL
    for (int i = 0; i < 8; ++i) {
        StoreBytes4(t + ByteAt(offsetsLow, i), words[i]);
    }
    QUORVIN_UNROLL
    for (int i = 0; i < 8; ++i) {
        StoreBytes4(t + totalLow + ByteAt(offsetsHigh, i), words[8 + i]);
    }
    std::memcpy(t + total, spare, sizeof spare);
    s += Utf16Block;
    t += total;
    return true;
}

// Encodes 16 units that are all below 0x800 (ASCII and two-byte sequences, as accented Latin text
// is made of). Each unit's bytes are worked out without branches on the text and stored two at a
// time by a running cursor; the byte after the last character is put back, so nothing past the new
// cursor changes. Needs 33 bytes of room at `t`.
#if QUORVIN_HAS_SSE2

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
        const __m128i second = _mm_slli_epi16(_mm_or_si128(_mm_and_si128(u, _mm_set1_epi16(0x3F)), _mm_set1_epi16(0x80)), 8);
        pairs[half] = _mm_or_si128(_mm_and_si128(wide, _mm_or_si128(first, second)), _mm_andnot_si128(wide, u));
    }
    const unsigned total = 16 + static_cast<unsigned>(std::popcount(nonAscii)) / 2;
    const Utf8Unit spare = t[total];
    Utf8Unit* q = t;
    // Lanes are taken straight from the registers: a trip through memory stalls on the reloads.
#define QUORVIN_PLACE_PAIR(half, lane)                                                              \
    {                                                                                               \
        const uint16_t pair = static_cast<uint16_t>(_mm_extract_epi16(pairs[half], lane));          \
        q[0] = static_cast<Utf8Unit>(pair);                                                         \
        q[1] = static_cast<Utf8Unit>(pair >> 8);                                                    \
        q += 1 + ((nonAscii >> (16 * (half) + 2 * (lane))) & 1);                                    \
    }
    QUORVIN_PLACE_PAIR(0, 0) QUORVIN_PLACE_PAIR(0, 1) QUORVIN_PLACE_PAIR(0, 2) QUORVIN_PLACE_PAIR(0, 3)
    QUORVIN_PLACE_PAIR(0, 4) QUORVIN_PLACE_PAIR(0, 5) QUORVIN_PLACE_PAIR(0, 6) QUORVIN_PLACE_PAIR(0, 7)
    QUORVIN_PLACE_PAIR(1, 0) QUORVIN_PLACE_PAIR(1, 1) QUORVIN_PLACE_PAIR(1, 2) QUORVIN_PLACE_PAIR(1, 3)
    QUORVIN_PLACE_PAIR(1, 4) QUORVIN_PLACE_PAIR(1, 5) QUORVIN_PLACE_PAIR(1, 6) QUORVIN_PLACE_PAIR(1, 7)
#undef QUORVIN_PLACE_PAIR
    t[total] = spare;
    s += Utf16Block;
    t += total;
}

#else

QUORVIN_FORCEINLINE void EncodeTwoByteBlock(const Utf16Unit*& s, Utf8Unit*& t) {
    uint16_t units[Utf16Block];
    std::memcpy(units, s, sizeof units);
    uint8_t pairs[Utf16Block][2];
    uint8_t lengths[Utf16Block];
    unsigned total = 0;
    for (int i = 0; i < Utf16Block; ++i) {
        const uint32_t u = units[i];
        const bool ascii = u < 0x80;
        pairs[i][0] = static_cast<uint8_t>(ascii ? u : 0xC0 | (u >> 6));
        pairs[i][1] = static_cast<uint8_t>(0x80 | (u & 0x3F));
        lengths[i] = static_cast<uint8_t>(ascii ? 1 : 2);
        total += lengths[i];
    }
    const Utf8Unit spare = t[total];
    Utf8Unit* q = t;
    QUORVIN_UNROLL
    for (int i = 0; i < Utf16Block; ++i) {
        std::memcpy(q, pairs[i], 2);
        q += lengths[i];
    }
    t[total] = spare;
    s += Utf16Block;
    t += total;
}

#endif

}  // namespace

ConversionResult Utf8ToUtf16Range(const Utf8Unit*& source, const Utf8Unit* sourceEnd, Utf16Unit*& target,
                                  Utf16Unit* targetEnd, ConversionMode) noexcept {
    return DecodeUtf8(source, sourceEnd, target, targetEnd);
}

ConversionResult Utf8ToUtf32Range(const Utf8Unit*& source, const Utf8Unit* sourceEnd, Utf32Unit*& target,
                                  Utf32Unit* targetEnd, ConversionMode) noexcept {
    return DecodeUtf8(source, sourceEnd, target, targetEnd);
}

ConversionResult Utf16ToUtf8Range(const Utf16Unit*& source, const Utf16Unit* sourceEnd, Utf8Unit*& target,
                                  Utf8Unit* targetEnd, ConversionMode mode) noexcept {
    const Utf16Unit* s = source;
    Utf8Unit* t = target;
    R result = R::Ok;
    for (;;) {
        // While this much is left, a block, or any character that starts in the 16 units after
        // it (a pair may reach one unit further), fits both ranges.
        while (sourceEnd - s > Utf16Block && targetEnd - t >= Utf16BlockRoom) {
            if (((Load64(s) | Load64(s + 4) | Load64(s + 8) | Load64(s + 12)) & 0xFF80FF80FF80FF80ull) == 0) {
                NarrowAscii(s, sourceEnd, t, targetEnd);
                continue;
            }
            if (((Load64(s) | Load64(s + 4) | Load64(s + 8) | Load64(s + 12)) & 0xF800F800F800F800ull) == 0) {
                EncodeTwoByteBlock(s, t);
                continue;
            }
            // Blocks pay where most units need three bytes (CJK); where short sequences mix with
            // ASCII the character loop is quicker.
            if (static_cast<uint16_t>(*s) >= 0x800 && EncodeUtf16Block(s, t)) {
                continue;
            }
            // Character by character through these 16 units before the next block is tried.
            const Utf16Unit* const stretchEnd = s + Utf16Block;
            while (s < stretchEnd && EncodeWellFormed(s, t)) {
            }
            if (s < stretchEnd) {
                break;
            }
        }
        // Near the ends, well-formed characters that fit still need no exact checks.
        while (sourceEnd - s >= 2 && targetEnd - t >= 4 && EncodeWellFormed(s, t)) {
        }
        if (s >= sourceEnd) {
            break;
        }
        // One character by the exact rules.
        const Utf16Unit* start = s;
        uint32_t value = 0;
        result = ReadUtf16(s, sourceEnd, mode, value);
        if (result != R::Ok) {
            break;
        }
        const int length = Utf8Length(value);
        if (targetEnd - t < length) {
            s = start;
            result = R::TargetExhausted;
            break;
        }
        WriteUtf8(value, length, t);
    }
    source = s;
    target = t;
    return result;
}

ConversionResult Utf32ToUtf8Range(const Utf32Unit*& source, const Utf32Unit* sourceEnd, Utf8Unit*& target,
                                  Utf8Unit* targetEnd, ConversionMode mode) noexcept {
    const Utf32Unit* s = source;
    Utf8Unit* t = target;
    R result = R::Ok;
    for (; s < sourceEnd; ++s) {
        uint32_t value = *s;
        if (mode == ConversionMode::Strict && IsSurrogate(value)) {
            result = R::SourceIllegal;
            break;
        }
        int length = 0;
        if (value < CodePointLimit) {
            length = Utf8Length(value);
        } else {
            value = ReplacementCharacter;
            length = 3;
            result = R::SourceIllegal;
        }
        if (targetEnd - t < length) {
            result = R::TargetExhausted;
            break;
        }
        WriteUtf8(value, length, t);
    }
    source = s;
    target = t;
    return result;
}

ConversionResult Utf16ToUtf32Range(const Utf16Unit*& source, const Utf16Unit* sourceEnd, Utf32Unit*& target,
                                   Utf32Unit* targetEnd, ConversionMode mode) noexcept {
    const Utf16Unit* s = source;
    Utf32Unit* t = target;
    R result = R::Ok;
    while (s < sourceEnd) {
        const Utf16Unit* start = s;
        uint32_t value = 0;
        result = ReadUtf16(s, sourceEnd, mode, value);
        if (result != R::Ok) {
            break;
        }
        if (t >= targetEnd) {
            s = start;
            result = R::TargetExhausted;
            break;
        }
        *t++ = static_cast<Utf32Unit>(value);
    }
    source = s;
    target = t;
    return result;
}

ConversionResult Utf32ToUtf16Range(const Utf32Unit*& source, const Utf32Unit* sourceEnd, Utf16Unit*& target,
                                   Utf16Unit* targetEnd, ConversionMode mode) noexcept {
    const Utf32Unit* s = source;
    Utf16Unit* t = target;
    R result = R::Ok;
    for (; s < sourceEnd; ++s) {
        if (t >= targetEnd) {
            result = R::TargetExhausted;
            break;
        }
        uint32_t value = *s;
        if (value <= 0xFFFF) {
            if (IsSurrogate(value)) {
                if (mode == ConversionMode::Strict) {
                    result = R::SourceIllegal;
                    break;
                }
                value = ReplacementCharacter;
            }
            *t++ = static_cast<Utf16Unit>(value);
        } else if (value >= CodePointLimit) {
            if (mode == ConversionMode::Strict) {
                result = R::SourceIllegal;
            } else {
                *t++ = static_cast<Utf16Unit>(ReplacementCharacter);
            }
        } else {
            if (targetEnd - t < 2) {
                result = R::TargetExhausted;
                break;
            }
            value -= 0x10000;
            *t++ = static_cast<Utf16Unit>(HighSurrogateStart + (value >> 10));
            *t++ = static_cast<Utf16Unit>(LowSurrogateStart + (value & 0x3FF));
        }
    }
    source = s;
    target = t;
    return result;
}

namespace {

template <class In, class Out>
using RangeCodec = ConversionResult (*)(const In*&, const In*, Out*&, Out*, ConversionMode) noexcept;

// Runs `codec` strictly over the whole input into a scratch string of `unitsPerInput` output units
// per input unit (the most any input can need) and delivers the result only on Ok. `Char` is the
// string's character type, `Out` the codec's unit of the same size (char for unsigned bytes).
template <class In, class Out, class Char>
bool ConvertWhole(const In* data, size_t size, std::basic_string<Char>& output, size_t unitsPerInput,
                  RangeCodec<In, Out> codec) {
    static_assert(sizeof(Out) == sizeof(Char));
    if (size == 0) {
        output.clear();
        return true;
    }
    std::basic_string<Char> scratch(size * unitsPerInput, Char{});
    const In* s = data;
    Out* const begin = reinterpret_cast<Out*>(scratch.data());
    Out* t = begin;
    if (codec(s, data + size, t, begin + scratch.size(), ConversionMode::Strict) != R::Ok) {
        output.clear();
        return false;
    }
    scratch.resize(static_cast<size_t>(t - begin));
    output = std::move(scratch);
    return true;
}

const Utf8Unit* Bytes(const char* p) {
    return reinterpret_cast<const Utf8Unit*>(p);
}

}  // namespace

// Scratch sizes are the exact worst cases: a UTF-8 byte never yields more than one UTF-16 or UTF-32
// unit (four bytes give a surrogate pair), a UTF-16 unit never more than three UTF-8 bytes (a pair
// gives four for two units), a UTF-32 value at most four bytes or two UTF-16 units.
bool Utf8ToUtf16(std::string_view input, Utf16String& output) noexcept {
    return ConvertWhole<Utf8Unit, Utf16Unit>(Bytes(input.data()), input.size(), output, 1, &Utf8ToUtf16Range);
}

bool Utf16ToUtf8(Utf16View input, std::string& output) noexcept {
    return ConvertWhole<Utf16Unit, Utf8Unit>(input.data(), input.size(), output, 3, &Utf16ToUtf8Range);
}

bool Utf8ToUtf32(std::string_view input, Utf32String& output) noexcept {
    return ConvertWhole<Utf8Unit, Utf32Unit>(Bytes(input.data()), input.size(), output, 1, &Utf8ToUtf32Range);
}

bool Utf32ToUtf8(Utf32View input, std::string& output) noexcept {
    return ConvertWhole<Utf32Unit, Utf8Unit>(input.data(), input.size(), output, 4, &Utf32ToUtf8Range);
}

bool Utf16ToUtf32(Utf16View input, Utf32String& output) noexcept {
    return ConvertWhole<Utf16Unit, Utf32Unit>(input.data(), input.size(), output, 1, &Utf16ToUtf32Range);
}

bool Utf32ToUtf16(Utf32View input, Utf16String& output) noexcept {
    return ConvertWhole<Utf32Unit, Utf16Unit>(input.data(), input.size(), output, 2, &Utf32ToUtf16Range);
}

namespace {

// Decodes into a small local array and copies out byte-wise, so the caller's buffer needs no
// alignment for the unit type.
template <class Unit>
bool DecodeIntoBytes(const std::string& text, unsigned char*& result, const char*& errorPosition) {
    const Utf8Unit* s = Bytes(text.data());
    const Utf8Unit* end = s + text.size();
    unsigned char* out = result;
    Unit chunk[256];
    for (;;) {
        Unit* t = chunk;
        const R r = DecodeUtf8(s, end, t, chunk + std::size(chunk));
        const size_t bytes = static_cast<size_t>(t - chunk) * sizeof(Unit);
        if (bytes != 0) {
            std::memcpy(out, chunk, bytes);
            out += bytes;
        }
        if (r == R::Ok) {
            result = out;
            return true;
        }
        if (r != R::TargetExhausted) {
            errorPosition = text.data() + (s - Bytes(text.data()));
            return false;
        }
    }
}

}  // namespace

bool Utf8ToWideBuffer(int width, const std::string& text, unsigned char*& result, const char*& errorPosition) noexcept {
    switch (width) {
    case 1: {
        const Utf8Unit* s = Bytes(text.data());
        if (!IsLegalUtf8Range(s, s + text.size())) {
            errorPosition = reinterpret_cast<const char*>(s);
            return false;
        }
        if (!text.empty()) {
            std::memcpy(result, text.data(), text.size());
        }
        result += text.size();
        return true;
    }
    case 2: return DecodeIntoBytes<Utf16Unit>(text, result, errorPosition);
    case 4: return DecodeIntoBytes<Utf32Unit>(text, result, errorPosition);
    default: return true;
    }
}

bool CodePointToUtf8(uint32_t codePoint, unsigned char*& cursor) noexcept {
    const Utf32Unit value = codePoint;
    const Utf32Unit* s = &value;
    Utf8Unit* t = cursor;
    if (Utf32ToUtf8Range(s, s + 1, t, t + 4, ConversionMode::Strict) != R::Ok) {
        return false;
    }
    cursor = t;
    return true;
}

bool HasUtf16ByteOrderMark(const unsigned char* bytes, size_t size) noexcept {
    return size >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF));
}

bool Utf16TextToUtf8(const Utf16String& text, std::string& output) {
    if (text.empty()) {
        return true;
    }
    const Utf16Unit* s = text.data();
    const Utf16Unit* end = s + text.size();
    Utf16String swapped;
    if (static_cast<uint16_t>(text[0]) == 0xFFFE) {
        swapped = text;
        for (Utf16Unit& unit : swapped) {
            const auto u = static_cast<uint16_t>(unit);
            unit = static_cast<Utf16Unit>(static_cast<uint16_t>((u >> 8) | (u << 8)));
        }
        s = swapped.data();
        end = s + swapped.size();
    }
    if (static_cast<uint16_t>(*s) == 0xFEFF) {
        ++s;
    }
    output.resize(text.size() * 4 + 1);
    Utf8Unit* begin = reinterpret_cast<Utf8Unit*>(output.data());
    Utf8Unit* t = begin;
    if (Utf16ToUtf8Range(s, end, t, begin + output.size(), ConversionMode::Strict) != R::Ok) {
        output.clear();
        return false;
    }
    output.resize(static_cast<size_t>(t - begin));
    return true;
}

bool IsLegalUtf8Range(const Utf8Unit*& cursor, const Utf8Unit* end) noexcept {
    uint64_t count = 0;
    return ScanUtf8(cursor, end, count);
}

int Utf8SequenceLength(Utf8Unit firstByte) noexcept {
    return TrailingBytes[firstByte] + 1;
}

int Utf8SequenceLength(char firstByte) noexcept {
    return Utf8SequenceLength(static_cast<Utf8Unit>(firstByte));
}

uint32_t CountUtf8CodePoints(const char* text) noexcept {
    const Utf8Unit* s = Bytes(text);
    uint64_t count = 0;
    if (!ScanUtf8(s, s + std::strlen(text), count) || count > std::numeric_limits<uint32_t>::max()) {
        return 0;
    }
    return static_cast<uint32_t>(count);
}

}  // namespace Quorvin
