// Inline markup in UTF-32 text: marker characters, the no-break character, colour codes skipped
// when looking for the next visible character, and the table of escape sequences.
//
// All state is process-wide. The escape table is created by InitLineBreaking (LineBreak.h) and
// filled by LoadEscapes.
//
// Thread-safety: no locking. Set the markers and load the escapes before readers use them, or from
// one thread only. Failure: none is reported; bad escape text is skipped (see LoadEscapes).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

namespace Quorvin {

/// No break is allowed on either side of this character; U+00A0 until SetMarkers changes it.
extern uint32_t NoBreakChar;
/// Inline marker characters: MarkerA (default 7) and MarkerB (default 8) are settable, MarkerC is
/// fixed.
extern uint32_t MarkerA;
extern uint32_t MarkerB;
inline constexpr uint32_t MarkerC = 0x263B;

/// Escape replacements by UTF-32 key; null until the first InitLineBreaking, then kept for the
/// life of the process (never cleared).
extern std::unique_ptr<std::unordered_map<std::u32string, std::u32string>> EscapeTable;

/// Sets MarkerA, MarkerB and NoBreakChar.
void SetMarkers(uint32_t markerA, uint32_t markerB, uint32_t noBreakChar);
/// True for MarkerA, MarkerB or MarkerC.
bool IsMarker(uint32_t codePoint);
/// 1 for MarkerA; 2 for MarkerB or MarkerC; 3 for NoBreakChar; 0 otherwise (tested in that order).
int GetMarkerKind(uint32_t codePoint);
/// True when `text` contains MarkerA, MarkerB or MarkerC.
bool ContainsMarker(const std::u32string& text);

/// The character after position `index` of `text`, or 0 when there is none (this includes an
/// index below -1). With `skipColourCodes`, colour codes in the way are skipped: the end code "#E"
/// and "#" followed by six lower-case hexadecimal digits; any other '#' is visible and returned.
uint32_t NextVisibleChar(const std::u32string& text, int32_t index, bool skipColourCodes);

/// Reads segments "key:value;" from UTF-8 `text` (the last ';' may be missing) into EscapeTable,
/// replacing existing keys. Only two-byte keys "#x" other than "#E" are used; segments whose key or
/// value is not valid UTF-8 are skipped; reading stops at the first segment without a ':'. Does
/// nothing while EscapeTable does not exist.
void LoadEscapes(const std::string& text);
/// The replacement for `key`, or null when there is none or no EscapeTable. The pointer stays valid
/// until the entry is replaced.
const std::u32string* FindEscape(const std::u32string& key);
/// True once EscapeTable exists.
bool HasEscapeTable();

}  // namespace Quorvin
