// The two-byte block routines of the portable UTF kernel, in plain 64-bit word arithmetic for any
// target; the sanitizer build tests them. Contract in UtfBlocks.h.
#pragma once

#include "core/text/internal/UtfPrimitives.h"

namespace Quorvin::TextPrivate::Portable {

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
        const uint64_t three = top & (word >> 5);                    // 111xxxxx
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

}  // namespace Quorvin::TextPrivate::Portable
