// Line breaking for laying out UTF-32 text: the rule that decides whether a line may break between
// two code points, and the character classes it rests on.
//
// The two sets are process-wide, constructed empty during static initialisation (before WinMain);
// InitLineBreaking fills them. The rule also honours the no-break character of the inline markup
// (InlineMarkup.h).
//
// Thread-safety: no locking. Call InitLineBreaking before readers use the sets, or from one thread.
// Failure: none is reported.
#pragma once

#include <cstdint>
#include <set>

namespace Quorvin {

/// Code points that must not begin a line (closing brackets and quotes, punctuation, units).
extern std::set<uint32_t> NoLineStartSet;
/// Code points that must not end a line (opening brackets and quotes, currency and sign characters).
extern std::set<uint32_t> NoLineEndSet;

/// Clears and fills NoLineStartSet and NoLineEndSet and creates the escape table of the inline
/// markup (EscapeTable) if it does not exist. May be called again.
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

}  // namespace Quorvin
