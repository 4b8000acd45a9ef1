// Line breaking and inline text markup for laying out UTF-32 text: the break rule between two code
// points, character classes, inline marker characters, the next visible character past colour
// codes, the escape-sequence table and the registry of numbered style records.
//
// All state is process-wide. NoLineStartSet, NoLineEndSet and StyleTable are constructed empty
// during static initialisation, before WinMain; InitLineBreaking fills the two sets and creates the
// escape table.
//
// Thread-safety: no locking. Fill the tables (InitLineBreaking, LoadEscapes, SetMarkers,
// RegisterStyle, GetStyle of a new identifier) before readers use them, or from one thread only.
// Failure: none is reported; bad escape text is skipped (see LoadEscapes).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>

namespace Quorvin {

/// A numbered style record; the library stores and returns its fields without interpreting them.
struct StyleRecord {
    std::string name;
    uint32_t a = 0;
    uint32_t b = 0;
    float c = 0;
    uint32_t d = 0;
    uint32_t e = 0;
    uint32_t f = 0;
    uint32_t g = 0;
    float h = 0;
};

/// Code points that must not begin a line (closing brackets and quotes, punctuation, units).
extern std::set<uint32_t> NoLineStartSet;
/// Code points that must not end a line (opening brackets and quotes, currency and sign characters).
extern std::set<uint32_t> NoLineEndSet;
/// Style records by identifier; records are never removed.
extern std::map<int32_t, StyleRecord> StyleTable;

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

/// Clears and fills NoLineStartSet and NoLineEndSet and creates EscapeTable if it does not exist.
/// May be called again.
void InitLineBreaking();

/// Whether a line may break between `previous` and `next`; `next` 0 stands for the end of the text.
/// With `rulesEnabled` false every position may break.
bool CanBreakBetween(uint32_t previous, uint32_t next, bool rulesEnabled);

/// U+0800..U+9FEF, U+F900..U+FAFF, U+AC00..U+D7AF or U+3130..U+318F.
bool IsIdeographic(uint32_t codePoint);
/// U+AC00..U+D7AF, U+1100..U+11FF or U+3130..U+318F.
bool IsHangul(uint32_t codePoint);
/// 1 for a member of NoLineStartSet, else 2 for a member of NoLineEndSet, else 0.
int GetPunctuationClass(uint32_t codePoint);

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

/// Adds a style record and returns its identifier: the current number of records, or, when a
/// record already holds that identifier (GetStyle can create records out of turn), the next free
/// identifier above it. Note the argument order: a, b, d, e, f, c, g, h.
int32_t RegisterStyle(const std::string& name, uint32_t a, uint32_t b, uint32_t d, uint32_t e, uint32_t f, float c,
                      uint32_t g, float h);
/// The record with `id`, inserting an empty one (empty name, all numbers 0) when there is none.
/// The reference stays valid for the life of the process.
StyleRecord& GetStyle(int32_t id);

}  // namespace Quorvin
