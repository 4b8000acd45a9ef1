// Conversions between Unicode and Windows code pages, over WideCharToMultiByte and
// MultiByteToWideChar. Windows only: the functions are defined only in Windows builds.
//
// None of them reports failure; each falls back to an empty result or to its input unchanged, as
// its comment says. Code page 0 is the system ANSI code page in force at the moment of the call.
// Characters a code page lacks are replaced by Windows' own default characters and best-fit
// mappings (conversion flags are 0). Windows' error state (GetLastError) is neither read nor reset.
// An input longer than INT_MAX units cannot be handed to Windows and takes the failure fallback.
//
// Thread-safety: reentrant, no shared state. Declared not to throw: running out of memory while
// reading UTF-8 ends the process; running out of memory while building an output takes the fallback.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Quorvin {

/// UTF-16 text in `codePage`; empty for empty input or on failure (e.g. an unknown code page).
std::string WideToCodePage(const std::wstring& input, uint32_t codePage) noexcept;
/// As WideToCodePage, for a view of 16-bit units.
std::string WideViewToCodePage(std::wstring_view input, uint32_t codePage) noexcept;
/// Bytes in `codePage` as UTF-16; empty for empty input or on failure.
std::wstring CodePageToWide(const std::string& input, uint32_t codePage) noexcept;
/// As CodePageToWide, for a view of bytes.
std::wstring CodePageViewToWide(std::string_view input, uint32_t codePage) noexcept;

/// UTF-8 text in `codePage`. The UTF-8 is read loosely (see TextPrivate::ReadLooseUtf8: no
/// validation, overlongs accepted). The input comes back unchanged when it holds a stray
/// continuation byte anywhere or ends inside a sequence, when it is empty, when Windows cannot
/// convert it, or when memory runs out.
std::string Utf8ToCodePage(const std::string& input, uint32_t codePage) noexcept;
/// As Utf8ToCodePage, but a stray continuation byte or a sequence cut short by the end of the
/// input ends the reading and only what was read before it is converted; the input comes back
/// unchanged only when nothing was read before it (or memory runs out). When Windows cannot convert
/// the text the result is empty.
std::string Utf8ViewToCodePage(std::string_view input, uint32_t codePage) noexcept;

/// The byte length of Utf8ToCodePage(input, 0); a text that cannot be converted reports its own.
uint64_t AnsiLengthOfUtf8(const std::string& input) noexcept;

}  // namespace Quorvin
