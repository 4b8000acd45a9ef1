// The contract of the two-byte block routines of the portable and SSE2 kernels, sixteen units at a
// time, for text made of ASCII and two-byte sequences (accented Latin). UtfBlocksPortable.h has them
// in plain 64-bit word arithmetic, UtfBlocksSse2.h with SSE2; both give exactly the same results.
// Each kernel source includes one of them (the choice between kernels is UtfKernel.h's):
//
//   BlockOutcome DecodeTwoByteBlock(const Utf8Unit*& s, Unit*& t)
//     Decodes 16 bytes when they are ASCII and well-formed two-byte sequences only, the first byte
//     not a continuation, and a sequence that starts at the last byte completed by the byte after
//     it. Every byte's unit is worked out without branches on the text and the units are packed by
//     a running index, so mixed text costs no mispredicted branch; the slot after the last
//     character is put back, so nothing past the new cursor changes. Sixteen ASCII bytes give
//     AllAscii (left to the ASCII copy), anything else Refused; both with nothing moved or
//     written. Needs 17 readable bytes and 17 units of room.
//
//   void EncodeTwoByteBlock(const Utf16Unit*& s, Utf8Unit*& t)
//     Encodes 16 units that are all below 0x800, each unit's bytes worked out without branches and
//     stored two at a time by a running cursor; the byte after the last character is put back.
//     Needs 33 bytes of room at `t`.
#pragma once
