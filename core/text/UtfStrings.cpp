// Whole-string UTF conversions (all or nothing) and the small helpers built on the range codecs.
#include "core/text/Utf.h"

#include <cstring>
#include <iterator>
#include <utility>

#include "core/text/internal/UtfPrimitives.h"

namespace Quorvin {

using TextPrivate::R;

namespace {

template <class In, class Out>
using RangeCodec = ConversionResult (*)(const In*&, const In*, Out*&, Out*, ConversionMode) noexcept;

// Runs `codec` strictly over the whole input into a scratch string of `unitsPerInput` output units
// per input unit (the most any input can need) and delivers the result only on Ok. `Char` is the
// string's character type, `Out` the codec's unit of the same size (char for unsigned bytes).
template <class In, class Out, class Char>
bool ConvertWhole(const In* data, size_t size, std::basic_string<Char>& output, size_t unitsPerInput,
                  RangeCodec<In, Out> codec) {
    static_assert(sizeof(Out) == sizeof(Char));
    if (size == 0) {
        output.clear();
        return true;
    }
    std::basic_string<Char> scratch(size * unitsPerInput, Char{});
    const In* s = data;
    Out* const begin = reinterpret_cast<Out*>(scratch.data());
    Out* t = begin;
    if (codec(s, data + size, t, begin + scratch.size(), ConversionMode::Strict) != R::Ok) {
        output.clear();
        return false;
    }
    scratch.resize(static_cast<size_t>(t - begin));
    output = std::move(scratch);
    return true;
}

const Utf8Unit* Bytes(const char* p) { return reinterpret_cast<const Utf8Unit*>(p); }

}  // namespace

// Scratch sizes are the exact worst cases: a UTF-8 byte never yields more than one UTF-16 or UTF-32
// unit (four bytes give a surrogate pair), a UTF-16 unit never more than three UTF-8 bytes (a pair
// gives four for two units), a UTF-32 value at most four bytes or two UTF-16 units.
bool Utf8ToUtf16(std::string_view input, Utf16String& output) noexcept {
    return ConvertWhole<Utf8Unit, Utf16Unit>(Bytes(input.data()), input.size(), output, 1, &Utf8ToUtf16Range);
}

bool Utf16ToUtf8(Utf16View input, std::string& output) noexcept {
    return ConvertWhole<Utf16Unit, Utf8Unit>(input.data(), input.size(), output, 3, &Utf16ToUtf8Range);
}

bool Utf8ToUtf32(std::string_view input, Utf32String& output) noexcept {
    return ConvertWhole<Utf8Unit, Utf32Unit>(Bytes(input.data()), input.size(), output, 1, &Utf8ToUtf32Range);
}

bool Utf32ToUtf8(Utf32View input, std::string& output) noexcept {
    return ConvertWhole<Utf32Unit, Utf8Unit>(input.data(), input.size(), output, 4, &Utf32ToUtf8Range);
}

bool Utf16ToUtf32(Utf16View input, Utf32String& output) noexcept {
    return ConvertWhole<Utf16Unit, Utf32Unit>(input.data(), input.size(), output, 1, &Utf16ToUtf32Range);
}

bool Utf32ToUtf16(Utf32View input, Utf16String& output) noexcept {
    return ConvertWhole<Utf32Unit, Utf16Unit>(input.data(), input.size(), output, 2, &Utf32ToUtf16Range);
}

namespace {

ConversionResult DecodeRange(const Utf8Unit*& s, const Utf8Unit* end, Utf16Unit*& t, Utf16Unit* targetEnd,
                             ConversionMode mode) noexcept {
    return Utf8ToUtf16Range(s, end, t, targetEnd, mode);
}

ConversionResult DecodeRange(const Utf8Unit*& s, const Utf8Unit* end, Utf32Unit*& t, Utf32Unit* targetEnd,
                             ConversionMode mode) noexcept {
    return Utf8ToUtf32Range(s, end, t, targetEnd, mode);
}

// Decodes into a small local array and copies out byte-wise, so the caller's buffer needs no
// alignment for the unit type.
template <class Unit>
bool DecodeIntoBytes(const std::string& text, unsigned char*& result, const char*& errorPosition) {
    const Utf8Unit* s = Bytes(text.data());
    const Utf8Unit* end = s + text.size();
    unsigned char* out = result;
    Unit chunk[256];
    for (;;) {
        Unit* t = chunk;
        const R r = DecodeRange(s, end, t, chunk + std::size(chunk), ConversionMode::Strict);
        const size_t bytes = static_cast<size_t>(t - chunk) * sizeof(Unit);
        if (bytes != 0) {
            std::memcpy(out, chunk, bytes);
            out += bytes;
        }
        if (r == R::Ok) {
            result = out;
            return true;
        }
        if (r != R::TargetExhausted) {
            errorPosition = text.data() + (s - Bytes(text.data()));
            return false;
        }
    }
}

}  // namespace

bool Utf8ToWideBuffer(int width, const std::string& text, unsigned char*& result,
                      const char*& errorPosition) noexcept {
    switch (width) {
    case 1: {
        const Utf8Unit* s = Bytes(text.data());
        if (!IsLegalUtf8Range(s, s + text.size())) {
            errorPosition = reinterpret_cast<const char*>(s);
            return false;
        }
        if (!text.empty()) {
            std::memcpy(result, text.data(), text.size());
        }
        result += text.size();
        return true;
    }
    case 2: return DecodeIntoBytes<Utf16Unit>(text, result, errorPosition);
    case 4: return DecodeIntoBytes<Utf32Unit>(text, result, errorPosition);
    default: return true;
    }
}

bool CodePointToUtf8(uint32_t codePoint, unsigned char*& cursor) noexcept {
    const Utf32Unit value = codePoint;
    const Utf32Unit* s = &value;
    Utf8Unit* t = cursor;
    if (Utf32ToUtf8Range(s, s + 1, t, t + 4, ConversionMode::Strict) != R::Ok) {
        return false;
    }
    cursor = t;
    return true;
}

bool HasUtf16ByteOrderMark(const unsigned char* bytes, size_t size) noexcept {
    return size >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF));
}

bool Utf16TextToUtf8(const Utf16String& text, std::string& output) {
    if (text.empty()) {
        return true;
    }
    const Utf16Unit* s = text.data();
    const Utf16Unit* end = s + text.size();
    Utf16String swapped;
    if (static_cast<uint16_t>(text[0]) == 0xFFFE) {
        swapped = text;
        for (Utf16Unit& unit : swapped) {
            const auto u = static_cast<uint16_t>(unit);
            unit = static_cast<Utf16Unit>(static_cast<uint16_t>((u >> 8) | (u << 8)));
        }
        s = swapped.data();
        end = s + swapped.size();
    }
    if (static_cast<uint16_t>(*s) == 0xFEFF) {
        ++s;
    }
    output.resize(text.size() * 4 + 1);
    Utf8Unit* begin = reinterpret_cast<Utf8Unit*>(output.data());
    Utf8Unit* t = begin;
    if (Utf16ToUtf8Range(s, end, t, begin + output.size(), ConversionMode::Strict) != R::Ok) {
        output.clear();
        return false;
    }
    output.resize(static_cast<size_t>(t - begin));
    return true;
}

std::string Utf16ToUtf8Replacing(Utf16View input) {
    // A unit becomes at most three bytes (a pair, two units, four).
    std::string output(3 * input.size(), '\0');
    const Utf16Unit* s = input.data();
    Utf8Unit* const begin = reinterpret_cast<Utf8Unit*>(output.data());
    Utf8Unit* t = begin;
    Utf16ToUtf8Range(s, s + input.size(), t, begin + output.size(), ConversionMode::Replacing);
    output.resize(static_cast<size_t>(t - begin));
    return output;
}

int Utf8SequenceLength(Utf8Unit firstByte) noexcept { return TextPrivate::TrailingBytes[firstByte] + 1; }

int Utf8SequenceLength(char firstByte) noexcept {
    return Utf8SequenceLength(static_cast<Utf8Unit>(firstByte));
}

}  // namespace Quorvin
