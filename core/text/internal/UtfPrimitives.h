// Scalar building blocks shared by the UTF codecs and their block routines: the encoding tables,
// unaligned word loads and single-character writers. Private to the text subsystem.
#pragma once

#include <array>
#include <bit>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "core/base/Compiler.h"
#include "core/text/Utf.h"

namespace Quorvin::TextPrivate {

using R = ConversionResult;

inline constexpr uint32_t HighSurrogateStart = 0xD800;
inline constexpr uint32_t LowSurrogateStart = 0xDC00;
inline constexpr uint32_t SurrogateEnd = 0xE000;
inline constexpr uint32_t CodePointLimit = 0x110000;

// Trailing bytes announced by a first byte; continuation bytes count as single bytes here and are
// rejected by the legality rules instead.
inline constexpr std::array<uint8_t, 256> TrailingBytes = [] {
    std::array<uint8_t, 256> table{};
    for (int b = 0; b < 256; ++b) {
        table[b] = b < 0xC0 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : b < 0xF8 ? 3 : b < 0xFC ? 4 : 5;
    }
    return table;
}();

// What accumulating (value << 6) + byte over a sequence adds on top of the code point: the
// length-marker bits of the first byte and the 0x80 of every trailing byte.
inline constexpr uint32_t SequenceOffsets[6] = {0x00000000, 0x00003080, 0x000E2080,
                                                0x03C82080, 0xFA082080, 0x82082080};
inline constexpr uint8_t FirstByteMarks[7] = {0x00, 0x00, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};

inline constexpr uint64_t AsciiMask8 = 0x8080808080808080ull;

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

inline constexpr uint64_t EveryByte = 0x0101010101010101ull;

// For bytes that each hold a small count: byte k of the result is the sum of bytes 0 to k - 1.
// Multiplying by EveryByte adds every byte into all higher ones; the counts here never carry.
QUORVIN_FORCEINLINE uint64_t SumsBefore(uint64_t counts) { return (counts << 8) * EveryByte; }

QUORVIN_FORCEINLINE uint32_t ByteAt(uint64_t word, int k) {
    return static_cast<uint32_t>(word >> (8 * k)) & 0xFF;
}

// `length` bytes from `s` must be readable.
inline bool IsLegalSequence(const Utf8Unit* s, unsigned length) {
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
        case 0xE0:
            if (s[1] < 0xA0) return false;
            break;  // overlong three-byte form
        case 0xED:
            if (s[1] > 0x9F) return false;
            break;  // encoded surrogate
        case 0xF0:
            if (s[1] < 0x90) return false;
            break;  // overlong four-byte form
        case 0xF4:
            if (s[1] > 0x8F) return false;
            break;  // above U+10FFFF
        default: break;
        }
    }
    return !(s[0] >= 0x80 && s[0] < 0xC2) && s[0] <= 0xF4;
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

// Units in one block of the UTF-16 encoder.
inline constexpr ptrdiff_t Utf16Block = 16;

// How a block routine left its block: decoded (both cursors moved), all ASCII or refused (nothing
// moved or written).
enum class BlockOutcome { Decoded, AllAscii, Refused };

// Character-at-a-time fast paths and the scalar UTF-16 block, shared by every kernel. Each needs
// the room its comment names and falls back, with nothing moved, on anything it cannot prove.

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
        const uint32_t value =
            ((x & 0x07) << 18) | ((x << 4) & 0x3F000) | ((x >> 10) & 0xFC0) | ((x >> 24) & 0x3F);
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
    const uint32_t x = static_cast<uint32_t>(s[0]) | (static_cast<uint32_t>(s[1]) << 8) |
                       (static_cast<uint32_t>(s[2]) << 16);
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

// Reads one UTF-16 character. On success `s` moves past it; on a stop it stays at its first unit.
QUORVIN_FORCEINLINE R ReadUtf16(const Utf16Unit*& s, const Utf16Unit* end, ConversionMode mode,
                                uint32_t& value) {
    uint32_t u = static_cast<uint16_t>(s[0]);
    if (u >= HighSurrogateStart && u < LowSurrogateStart) {
        if (end - s < 2) {
            if (mode != ConversionMode::Replacing) {
                return R::SourceExhausted;
            }
        } else {
            const uint32_t next = static_cast<uint16_t>(s[1]);
            if (next >= LowSurrogateStart && next < SurrogateEnd) {
                value = ((u - HighSurrogateStart) << 10) + (next - LowSurrogateStart) + 0x10000;
                s += 2;
                return R::Ok;
            }
        }
        if (mode == ConversionMode::Strict) {
            return R::SourceIllegal;
        }
    } else if (u >= LowSurrogateStart && u < SurrogateEnd && mode == ConversionMode::Strict) {
        return R::SourceIllegal;
    }
    // Here u is a scalar value, or an unpaired surrogate in a mode that lets it through.
    value = mode == ConversionMode::Replacing && u >= HighSurrogateStart && u < SurrogateEnd
                ? ReplacementCharacter
                : u;
    ++s;
    return R::Ok;
}

// Narrows the ASCII run at `s` while both ranges have room; stops at a unit of 0x80 or more.
QUORVIN_FORCEINLINE void NarrowAscii(const Utf16Unit*& s, const Utf16Unit* sourceEnd, Utf8Unit*& t,
                                     Utf8Unit* targetEnd) {
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

// Block encoding: the bytes of 16 units are worked out together by loops without branches on the
// text, then packed into the target, so mixed text costs no mispredicted branch. Blocks with a
// surrogate are left to the character-at-a-time encoder.
// Three bytes per unit at most, and the four-byte stores may reach three bytes past the last
// character: those are restored.
inline constexpr ptrdiff_t Utf16BlockRoom = 3 * Utf16Block + 4;

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

}  // namespace Quorvin::TextPrivate
