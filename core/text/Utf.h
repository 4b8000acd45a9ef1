// Strict conversions between UTF-8, UTF-16 and UTF-32: range codecs, whole-string conversions and
// small helpers (validation, counting, one code point, byte-order marks).
//
// Three layers:
//  - Range codecs convert between caller buffers through a source and a target cursor and report a
//    ConversionResult. They alone hold the encoding rules and offer a strict and a lenient mode.
//  - String conversions convert a whole view into a standard string, always strictly, and deliver
//    all or nothing: true with the complete result, or false with an empty output.
//  - Helpers built on the codecs.
//
// Code units. UTF-8 is handled as unsigned bytes (Utf8Unit) and held in std::string. UTF-32 is
// char32_t / std::u32string. UTF-16 is Utf16Unit, which is always a 16-bit type: wchar_t where
// wchar_t has 16 bits (Windows), char16_t elsewhere (wchar_t has 32 bits on Linux). So on Windows
// Utf16String *is* std::wstring and passes to and from Win32 calls without copies or casts, while
// the same code builds and is tested on a host where wchar_t could not hold UTF-16.
//
// Thread-safety: every operation is reentrant and keeps no state; the tables are constant.
// Failure: bad text is reported through the result code or false, never by an exception.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace Quorvin {

/// One UTF-8 code unit.
using Utf8Unit = unsigned char;
/// One UTF-16 code unit: wchar_t where it has 16 bits (Windows), char16_t otherwise.
using Utf16Unit = std::conditional_t<sizeof(wchar_t) == 2, wchar_t, char16_t>;
/// One UTF-32 code unit.
using Utf32Unit = char32_t;

/// UTF-16 text; std::wstring on Windows.
using Utf16String = std::basic_string<Utf16Unit>;
using Utf16View = std::basic_string_view<Utf16Unit>;
using Utf32String = std::u32string;
using Utf32View = std::u32string_view;

static_assert(sizeof(Utf16Unit) == 2 && sizeof(Utf32Unit) == 4);

/// Outcome of a range codec.
enum class ConversionResult : uint32_t {
    Ok = 0,               ///< the whole source range was converted
    SourceExhausted = 1,  ///< the source ends inside a multi-unit sequence
    TargetExhausted = 2,  ///< the target range has no room for the next character
    SourceIllegal = 3,    ///< the source holds an ill-formed sequence or a value that is not allowed
};

/// How the codecs treat surrogates and out-of-range values (UTF-8 decoding is the same in all).
enum class ConversionMode : uint32_t {
    Strict = 0,
    Lenient = 1,
    /// As Lenient, except that every surrogate that is not half of a pair, in UTF-16 or UTF-32
    /// input, is written as U+FFFD, and a high surrogate as the last unit of a UTF-16 range counts
    /// as unpaired (the range is the whole text): the output is always well-formed. For text that
    /// may hold any 16-bit units, such as file names.
    Replacing = 2,
};

/// U+FFFD, written in place of values that cannot be encoded.
inline constexpr uint32_t ReplacementCharacter = 0xFFFD;

// ---------------------------------------------------------------------------------------------
// Range codecs.
//
/// Each converts from `source` up to `sourceEnd` into `target` up to `targetEnd`. On return both
/// cursors stand after the last character converted completely; on a stop the source cursor stands
/// at the first unit of the offending character. A source cursor at or past its end returns Ok at
/// once. Neither cursor is ever moved past its end, and no unit outside the two ranges is touched.
///
/// UTF-8 input: a sequence whose announced length reaches past the source end gives
/// SourceExhausted; one that breaks the legality rules (overlongs, encoded surrogates, values above
/// U+10FFFF, five- and six-byte forms, stray continuation bytes, C0, C1, F5..FF) SourceIllegal.
/// UTF-16 input: a high surrogate as the last unit gives SourceExhausted when Strict or Lenient; an
/// unpaired surrogate is SourceIllegal when Strict, taken as its own value when Lenient and written
/// as U+FFFD when Replacing.
/// UTF-32 to UTF-8: a value above U+10FFFF is written as U+FFFD and the conversion goes on, but the
/// result becomes SourceIllegal (every mode); Strict stops at a surrogate value, Replacing writes
/// U+FFFD for it.
/// UTF-32 to UTF-16: Strict stops at a surrogate value and skips (consumes, writes nothing) a value
/// above U+10FFFF, recording SourceIllegal and going on; Lenient writes U+FFFD for both.
ConversionResult Utf8ToUtf16Range(const Utf8Unit*& source, const Utf8Unit* sourceEnd, Utf16Unit*& target,
                                  Utf16Unit* targetEnd, ConversionMode mode) noexcept;
ConversionResult Utf8ToUtf32Range(const Utf8Unit*& source, const Utf8Unit* sourceEnd, Utf32Unit*& target,
                                  Utf32Unit* targetEnd, ConversionMode mode) noexcept;
ConversionResult Utf16ToUtf8Range(const Utf16Unit*& source, const Utf16Unit* sourceEnd, Utf8Unit*& target,
                                  Utf8Unit* targetEnd, ConversionMode mode) noexcept;
ConversionResult Utf32ToUtf8Range(const Utf32Unit*& source, const Utf32Unit* sourceEnd, Utf8Unit*& target,
                                  Utf8Unit* targetEnd, ConversionMode mode) noexcept;
ConversionResult Utf16ToUtf32Range(const Utf16Unit*& source, const Utf16Unit* sourceEnd, Utf32Unit*& target,
                                   Utf32Unit* targetEnd, ConversionMode mode) noexcept;
ConversionResult Utf32ToUtf16Range(const Utf32Unit*& source, const Utf32Unit* sourceEnd, Utf16Unit*& target,
                                   Utf16Unit* targetEnd, ConversionMode mode) noexcept;

// ---------------------------------------------------------------------------------------------
// String conversions.
//
/// Each converts the whole input strictly. An empty input gives an empty output and true. On
/// success the output holds exactly the converted text (its previous storage is released) and the
/// result is true; on any ill-formed or truncated input the output is emptied (its storage may
/// stay allocated) and the result is false: nothing partial is ever delivered. Declared not to
/// throw: running out of memory ends the process.
bool Utf8ToUtf16(std::string_view input, Utf16String& output) noexcept;
bool Utf16ToUtf8(Utf16View input, std::string& output) noexcept;
bool Utf8ToUtf32(std::string_view input, Utf32String& output) noexcept;
bool Utf32ToUtf8(Utf32View input, std::string& output) noexcept;
bool Utf16ToUtf32(Utf16View input, Utf32String& output) noexcept;
bool Utf32ToUtf16(Utf32View input, Utf16String& output) noexcept;

// ---------------------------------------------------------------------------------------------
// Helpers.

/// Converts UTF-8 `text` into a caller buffer of units of `width` bytes (1, 2 or 4) starting at
/// `result`; the buffer must hold at least one unit per byte of `text`. Width 1 validates and copies
/// the bytes. On success `result` moves past the units written and the answer is true. On ill-formed
/// or truncated text the answer is false, `errorPosition` points at the first byte of the offending
/// sequence in `text` and `result` stays where it was (units before the error may have been
/// written). Any other width writes nothing and answers true. The buffer needs no alignment.
bool Utf8ToWideBuffer(int width, const std::string& text, unsigned char*& result,
                      const char*& errorPosition) noexcept;

/// Encodes one code point as UTF-8 at `cursor` (room for 4 bytes required) and moves the cursor
/// past it. False for a surrogate (nothing written) or a value above U+10FFFF (the three bytes of
/// U+FFFD are left at the cursor); the cursor does not move then.
bool CodePointToUtf8(uint32_t codePoint, unsigned char*& cursor) noexcept;

/// True when `size` is at least 2 and the bytes start with FF FE or FE FF.
bool HasUtf16ByteOrderMark(const unsigned char* bytes, size_t size) noexcept;

/// Converts UTF-16 that may start with a byte-order mark into UTF-8. Text starting with the swapped
/// mark 0xFFFE is byte-swapped first; a leading 0xFEFF is dropped. An empty text answers true and
/// leaves `output` untouched. On ill-formed text `output` is emptied and the answer is false.
/// Unlike the string conversions, running out of memory throws std::bad_alloc (nothing leaks).
bool Utf16TextToUtf8(const Utf16String& text, std::string& output);

/// Converts UTF-16 that may hold any 16-bit units into well-formed UTF-8, each unpaired surrogate
/// becoming U+FFFD (ConversionMode::Replacing); never fails. Running out of memory throws
/// std::bad_alloc.
std::string Utf16ToUtf8Replacing(Utf16View input);

/// Validates UTF-8 from `cursor` to `end`. True when every sequence is legal and complete; the
/// cursor then stands at the end. False with the cursor at the first byte of the first illegal or
/// truncated sequence. An empty range is legal.
bool IsLegalUtf8Range(const Utf8Unit*& cursor, const Utf8Unit* end) noexcept;

/// The length (1 to 6) that a UTF-8 sequence starting with `firstByte` announces. A continuation
/// byte counts as 1; the value says nothing about legality.
int Utf8SequenceLength(Utf8Unit firstByte) noexcept;
int Utf8SequenceLength(char firstByte) noexcept;

/// The number of code points of the NUL-terminated UTF-8 `text`; 0 for an empty text, for text that
/// holds an illegal or truncated sequence, or for a count that does not fit 32 bits.
uint32_t CountUtf8CodePoints(const char* text) noexcept;

}  // namespace Quorvin
