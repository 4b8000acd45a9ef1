// What each system's backend of CodePage.h gives (windows/CodePage_windows.cpp over the system's
// conversions, posix/CodePage_posix.cpp over PortableCodePages.h): the conversion of a whole text
// between wide units and a code page. The public functions, their limits and fallbacks, are written
// once over these in CodePage.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/text/Utf.h"

namespace Quorvin::TextPrivate {

/// Replaces `output` (empty on entry) with the `size` wide characters at `data` in `codePage`, as
/// CodePage.h describes for the system; `size` is 1 to INT_MAX. A conversion that fails leaves
/// `output` empty. Returns false only when memory ran out (`output` is empty then too).
bool WideToCodePageOnSystem(const wchar_t* data, size_t size, uint32_t codePage,
                            std::string& output) noexcept;

/// As WideToCodePageOnSystem, for `size` UTF-16 units (what the loose UTF-8 reading gives); on
/// Windows, where they are the wide characters, the same conversion.
bool Utf16ToCodePageOnSystem(const Utf16Unit* data, size_t size, uint32_t codePage,
                             std::string& output) noexcept;

/// Replaces `output` (empty on entry) with the `size` bytes at `data` in `codePage` as wide
/// characters; `size` is 1 to INT_MAX. A conversion that fails, or memory running out, leaves `output`
/// empty.
void CodePageToWideOnSystem(const char* data, size_t size, uint32_t codePage, std::wstring& output) noexcept;

}  // namespace Quorvin::TextPrivate
