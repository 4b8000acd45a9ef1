// Conversions between Unicode and Windows code pages, on Windows and on Linux.
//
// On Windows they are the system's own, WideCharToMultiByte and MultiByteToWideChar: every code page
// the system has, wide text in UTF-16, and code page 0 the system ANSI code page in force at the
// moment of the call. Characters a code page lacks are replaced by Windows' own default characters
// and best-fit mappings (conversion flags are 0). Windows' error state (GetLastError) is neither
// read nor reset.
//
// On Linux they give the same bytes and characters as Windows for three code pages and fail for
// every other as Windows fails for a code page it does not have:
//  - 65001, UTF-8. Decoding replaces ill-formed bytes with U+FFFD as Windows does (which bytes make
//    one U+FFFD: internal/PortableCodePages.h); encoding writes U+FFFD for an unpaired surrogate.
//  - 1252, Windows-1252, with Windows' decoding of the five bytes the code page leaves unassigned
//    (81, 8D, 8F, 90, 9D give the C1 controls of their values), its best-fit mappings and its
//    default character '?'.
//  - 0, the active code page, which on Linux is UTF-8 always, whatever the locale: Linux text (file
//    names, the console, the environment) is UTF-8.
// Wide text on Linux holds code points, one element each (wchar_t has 32 bits): it is the UTF-32
// form of the UTF-16 text Windows would convert. So CodePageToWide gives a supplementary character
// as one element, and WideToCodePage takes one element for it and converts it as Windows converts
// its surrogate pair (UTF-8: its four bytes; 1252: "??", one '?' for each half). An element that is
// a surrogate or lies above U+10FFFF converts as an unpaired surrogate does on Windows (UTF-8: the
// bytes of U+FFFD; 1252: '?'), never as a pair with its neighbour.
//
// None of them reports failure; each falls back to an empty result or to its input unchanged, as its
// comment says. An input longer than INT_MAX units (bytes, or wide characters) cannot be handed to
// Windows and takes the failure fallback, on both systems. The functions taking UTF-8 read it
// loosely into UTF-16 and convert that (on Linux too, so a four-byte sequence is a pair there).
//
// Thread-safety: reentrant, no shared state. Declared not to throw: running out of memory while
// reading UTF-8 ends the process; running out of memory while building an output takes the fallback.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Quorvin {

/// Wide text (UTF-16 on Windows, code points on Linux) in `codePage`; empty for empty input or on
/// failure (e.g. an unknown code page).
std::string WideToCodePage(const std::wstring& input, uint32_t codePage) noexcept;
/// As WideToCodePage, for a view of wide characters.
std::string WideViewToCodePage(std::wstring_view input, uint32_t codePage) noexcept;
/// Bytes in `codePage` as wide text (UTF-16 on Windows, code points on Linux); empty for empty input
/// or on failure.
std::wstring CodePageToWide(const std::string& input, uint32_t codePage) noexcept;
/// As CodePageToWide, for a view of bytes.
std::wstring CodePageViewToWide(std::string_view input, uint32_t codePage) noexcept;

/// UTF-8 text in `codePage`. The UTF-8 is read loosely (see TextPrivate::ReadLooseUtf8: no
/// validation, overlongs accepted). The input comes back unchanged when it holds a stray
/// continuation byte anywhere or ends inside a sequence, when it is empty, when the conversion
/// fails (e.g. an unknown code page), or when memory runs out.
std::string Utf8ToCodePage(const std::string& input, uint32_t codePage) noexcept;
/// As Utf8ToCodePage, but a stray continuation byte or a sequence cut short by the end of the
/// input ends the reading and only what was read before it is converted; the input comes back
/// unchanged only when nothing was read before it (or memory runs out). When the conversion fails
/// the result is empty.
std::string Utf8ViewToCodePage(std::string_view input, uint32_t codePage) noexcept;

/// The byte length of Utf8ToCodePage(input, 0) (on Linux the UTF-8 length after the loose reading);
/// a text that cannot be converted reports its own.
uint64_t AnsiLengthOfUtf8(const std::string& input) noexcept;

}  // namespace Quorvin
