// Code page 1252 (Windows' Western European code page) one character at a time, with exactly the
// results Windows gives for conversion flags 0. The tables behind the portable code-page conversions;
// compiled on every system, so that the Windows tests hold them against the system's own conversions
// for every byte and every unit.
//
// Thread-safety: constant tables, no state.
#pragma once

#include <cstdint>

namespace Quorvin::TextPrivate {

/// The UTF-16 unit that `byte` decodes to. Every byte decodes to one unit: 00..7F and A0..FF to the
/// code point of their own value, 80..9F as the code page assigns them, the five bytes it leaves
/// unassigned (81, 8D, 8F, 90, 9D) to the C1 control of their value, as Windows decodes them.
uint16_t Windows1252ToUnit(uint8_t byte) noexcept;

/// The byte that the UTF-16 unit `unit` encodes to: the byte that decodes to it, else Windows' best
/// fit for it (U+0100 gives 'A', U+FF21 'A', U+2264 '='), else the default character '?'. Every
/// surrogate gives '?', so a surrogate pair gives two of them.
uint8_t UnitToWindows1252(uint16_t unit) noexcept;

}  // namespace Quorvin::TextPrivate
