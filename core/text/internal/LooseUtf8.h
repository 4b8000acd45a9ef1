// The unvalidating UTF-8 reader behind the code-page conversions: turns UTF-8 into UTF-16 the way
// those conversions define it, without ever reading past its input.
#pragma once

#include <string_view>

#include "core/text/Utf.h"

namespace Quorvin::TextPrivate {

/// Appends the UTF-16 reading of `input` to `output`, one sequence at a time, without validation:
/// the first byte alone sets the length (F0..FF four bytes, E0..EF three, C0..DF two, 00..7F one)
/// and only the low six bits of each following byte are used. A four-byte sequence becomes a
/// surrogate pair computed without a range test (so an out-of-range or overlong value yields an
/// arbitrary but in-bounds pair); overlong forms are read as their value (C0 AF gives U+002F).
///
/// Reading stops early, before the offending byte, at a stray continuation byte (80..BF in first
/// position) or at a sequence whose announced length reaches past the end of the input: a cut-short
/// sequence is treated exactly like a stray byte, so no byte after the input is ever read and the
/// callers' fallbacks apply. Returns true when the whole input was read, false on an early stop
/// (`output` then holds the units read before it). Running out of memory throws std::bad_alloc.
bool ReadLooseUtf8(std::string_view input, Utf16String& output);

}  // namespace Quorvin::TextPrivate
