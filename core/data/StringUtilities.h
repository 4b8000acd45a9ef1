// Byte-string helpers: backslash escaping and its inverse, whitespace compaction for free text, and
// the 32-bit MurmurHash3 of a byte string (MurmurHash32, defined with the other hashes in
// core/data/Hash.h).
//
// Everything works on 8-bit characters and never interprets a multi-byte encoding: bytes above 0x7F
// pass through unchanged wherever a rule does not name them.
//
// Thread-safety: every function is reentrant and keeps no state.
// Failure: none; any byte string is valid input. Growing an output string may throw std::bad_alloc.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/data/Hash.h"

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

}  // namespace Quorvin
