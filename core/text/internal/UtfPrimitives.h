// Scalar building blocks shared by the UTF codecs and their block routines: the encoding tables,
// unaligned word loads and single-character writers. Private to the text subsystem.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/Compiler.h"
#include "core/text/Utf.h"

namespace Quorvin::UtfPrivate {

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

}  // namespace Quorvin::UtfPrivate
