// The code pages converted without the system's help: UTF-8 (65001) and Windows-1252 (1252), with
// the results Windows gives for conversion flags 0, byte for byte and unit for unit. They are
// CodePage.h on Linux; they are compiled on every system, so that the Windows tests hold them against
// MultiByteToWideChar and WideCharToMultiByte.
//
// Wide text is read and written in one of two forms. UTF-16 units are what Windows converts. UTF-32
// holds the same text one code point to an element: a supplementary character is one element where
// UTF-16 has a surrogate pair, and an unpaired surrogate stays an element of its own value.
//
// Decoding UTF-8 as Windows does: every well-formed sequence gives its character, and each run of
// bytes below gives one U+FFFD.
//  - A byte that starts no sequence: 80..C1 and F5..FF.
//  - A sequence that the end of the input cuts short: the whole rest of the input, whatever it holds.
//  - A first byte whose next byte is no continuation byte (80..BF): the first byte alone.
//  - A first byte whose next byte is a continuation byte outside its range (E0 A0..BF, ED 80..9F,
//    F0 90..BF, F4 80..8F; these keep overlongs, surrogates and values above U+10FFFF out): both.
//  - Otherwise the first byte and the continuation bytes before the first that is missing.
// Encoding UTF-8: an unpaired surrogate (a surrogate element of UTF-32 too) gives U+FFFD's bytes.
// Windows-1252 encodes each UTF-16 unit on its own (Windows1252.h): a surrogate pair gives "??".
// A UTF-32 element that is a surrogate or above U+10FFFF converts as an unpaired surrogate does.
//
// Thread-safety: reentrant, no state. Running out of memory throws std::bad_alloc.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/text/Utf.h"

namespace Quorvin::TextPrivate {

/// True for the code pages converted here: 1252 and 65001.
bool IsPortableCodePage(uint32_t codePage) noexcept;

/// Replaces `output` with `input` in `codePage` decoded to UTF-16. False, with `output` empty, for a
/// code page that IsPortableCodePage refuses. An empty input gives an empty output and true.
bool DecodeCodePage(std::string_view input, uint32_t codePage, Utf16String& output);
/// As DecodeCodePage to UTF-16, to UTF-32.
bool DecodeCodePage(std::string_view input, uint32_t codePage, Utf32String& output);

/// Replaces `output` with the UTF-16 units `input` encoded in `codePage`. False, with `output`
/// empty, for a code page that IsPortableCodePage refuses.
bool EncodeCodePage(Utf16View input, uint32_t codePage, std::string& output);
/// As EncodeCodePage from UTF-16, from UTF-32.
bool EncodeCodePage(Utf32View input, uint32_t codePage, std::string& output);

}  // namespace Quorvin::TextPrivate
