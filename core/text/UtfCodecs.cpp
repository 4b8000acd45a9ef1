// The UTF range codecs and the validating scan: the encoding rules, with fast paths for runs and
// blocks of well-formed text that give exactly the results of the character rules.
#include "core/text/Utf.h"

#include <algorithm>
#include <limits>

#include "core/text/internal/UtfBlocks.h"
#include "core/text/internal/UtfPrimitives.h"

namespace Quorvin {
namespace {

using namespace UtfPrivate;

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
            while (end - p >= 32 &&
                   ((Load64(p) | Load64(p + 8) | Load64(p + 16) | Load64(p + 24)) & AsciiMask8) == 0) {
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

constexpr ptrdiff_t DecodeStretch = 64;

template <class Unit>
ConversionResult DecodeUtf8(const Utf8Unit*& source, const Utf8Unit* sourceEnd, Unit*& target,
                            Unit* targetEnd) {
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
            while (s < stretchEnd && (DecodeThree(s, t) || DecodeOne(s, t))) {}
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

// Reads one UTF-16 character. On success `s` moves past it; on a stop it stays at its first unit.
QUORVIN_FORCEINLINE R ReadUtf16(const Utf16Unit*& s, const Utf16Unit* end, ConversionMode mode,
                                uint32_t& value) {
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

// Block encoding, for the same reason as block decoding: the bytes of 16 units are worked out
// together by loops without branches on the text, then packed into the target. Blocks with a
// surrogate are left to the character-at-a-time encoder.
// Three bytes per unit at most, and the four-byte stores may reach three bytes past the last
// character: those are restored.
constexpr ptrdiff_t Utf16BlockRoom = 3 * Utf16Block + 4;

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
            while (s < stretchEnd && EncodeWellFormed(s, t)) {}
            if (s < stretchEnd) {
                break;
            }
        }
        // Near the ends, well-formed characters that fit still need no exact checks.
        while (sourceEnd - s >= 2 && targetEnd - t >= 4 && EncodeWellFormed(s, t)) {}
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

bool IsLegalUtf8Range(const Utf8Unit*& cursor, const Utf8Unit* end) noexcept {
    uint64_t count = 0;
    return ScanUtf8(cursor, end, count);
}

uint32_t CountUtf8CodePoints(const char* text) noexcept {
    const auto* s = reinterpret_cast<const Utf8Unit*>(text);
    uint64_t count = 0;
    if (!ScanUtf8(s, s + std::strlen(text), count) || count > std::numeric_limits<uint32_t>::max()) {
        return 0;
    }
    return static_cast<uint32_t>(count);
}

}  // namespace Quorvin
