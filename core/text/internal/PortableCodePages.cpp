// UTF-8 and Windows-1252 conversions with Windows' results, without the system.
#include "core/text/internal/PortableCodePages.h"

#include "core/diagnostics/Ensure.h"
#include "core/text/internal/Windows1252.h"

namespace Quorvin::TextPrivate {
namespace {

constexpr uint32_t Utf8CodePage = 65001;
constexpr uint32_t Windows1252CodePage = 1252;

bool IsContinuation(uint8_t byte) { return (byte & 0xC0) == 0x80; }

// How many bytes from `s`, where the strict decoder refused a sequence, make one U+FFFD (see the
// header's list).
size_t ReplacedLength(const Utf8Unit* s, const Utf8Unit* end) {
    const uint8_t lead = s[0];
    const size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                          : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                         : 0;
    if (length == 0) return 1;
    const auto left = static_cast<size_t>(end - s);
    if (left < length) return left;
    if (!IsContinuation(s[1])) return 1;
    const uint8_t low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const uint8_t high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (s[1] < low || s[1] > high) return 2;
    size_t read = 2;
    while (read < length && IsContinuation(s[read])) ++read;
    return read;
}

// UTF-8 through the strict range codec, which takes well-formed stretches at the kernel's speed; at
// each stop, the bytes that Windows replaces become one U+FFFD and decoding goes on after them.
template <class Unit, class Codec>
void DecodeUtf8(std::string_view input, std::basic_string<Unit>& output, Codec codec) {
    // No character has more units than bytes, and U+FFFD replaces at least one byte: the target
    // never runs out.
    output.resize(input.size());
    const auto* s = reinterpret_cast<const Utf8Unit*>(input.data());
    const auto* const end = s + input.size();
    Unit* t = output.data();
    Unit* const targetEnd = t + output.size();
    for (;;) {
        const ConversionResult result = codec(s, end, t, targetEnd, ConversionMode::Strict);
        if (result == ConversionResult::Ok) break;
        QUORVIN_ENSURE(result != ConversionResult::TargetExhausted);
        s += ReplacedLength(s, end);
        *t++ = static_cast<Unit>(ReplacementCharacter);
    }
    output.resize(static_cast<size_t>(t - output.data()));
}

// The strict and replacing codecs give Windows' UTF-8: a surrogate that is not half of a pair, and
// in UTF-32 a value above U+10FFFF, becomes U+FFFD. At most three bytes a unit from UTF-16 (four
// for a pair's two), four an element from UTF-32.
template <class Unit, class Codec>
void EncodeUtf8(std::basic_string_view<Unit> input, size_t bytesPerUnit, std::string& output, Codec codec) {
    output.resize(input.size() * bytesPerUnit);
    const Unit* s = input.data();
    auto* t = reinterpret_cast<Utf8Unit*>(output.data());
    auto* const start = t;
    const ConversionResult result =
        codec(s, input.data() + input.size(), t, t + output.size(), ConversionMode::Replacing);
    QUORVIN_ENSURE(result != ConversionResult::TargetExhausted);
    output.resize(static_cast<size_t>(t - start));
}

template <class Unit, class Codec>
bool Decode(std::string_view input, uint32_t codePage, std::basic_string<Unit>& output, Codec codec) {
    output.clear();
    if (codePage == Utf8CodePage) {
        DecodeUtf8(input, output, codec);
    } else if (codePage == Windows1252CodePage) {
        output.reserve(input.size());
        for (const char c : input) {
            output.push_back(static_cast<Unit>(Windows1252ToUnit(static_cast<uint8_t>(c))));
        }
    } else {
        return false;
    }
    return true;
}

template <class Unit, class Codec, class Encode1252>
bool Encode(std::basic_string_view<Unit> input, uint32_t codePage, std::string& output,
            size_t utf8BytesPerUnit, Codec codec, Encode1252 encode1252) {
    output.clear();
    if (codePage == Utf8CodePage) {
        EncodeUtf8(input, utf8BytesPerUnit, output, codec);
    } else if (codePage == Windows1252CodePage) {
        output.reserve(input.size());
        for (const Unit unit : input) encode1252(unit);
    } else {
        return false;
    }
    return true;
}

}  // namespace

bool IsPortableCodePage(uint32_t codePage) noexcept {
    return codePage == Utf8CodePage || codePage == Windows1252CodePage;
}

bool DecodeCodePage(std::string_view input, uint32_t codePage, Utf16String& output) {
    return Decode(input, codePage, output, &Utf8ToUtf16Range);
}

bool DecodeCodePage(std::string_view input, uint32_t codePage, Utf32String& output) {
    return Decode(input, codePage, output, &Utf8ToUtf32Range);
}

bool EncodeCodePage(Utf16View input, uint32_t codePage, std::string& output) {
    return Encode(input, codePage, output, 3, &Utf16ToUtf8Range, [&output](Utf16Unit unit) {
        output.push_back(static_cast<char>(UnitToWindows1252(static_cast<uint16_t>(unit))));
    });
}

bool EncodeCodePage(Utf32View input, uint32_t codePage, std::string& output) {
    return Encode(input, codePage, output, 4, &Utf32ToUtf8Range, [&output](char32_t c) {
        if (c >= 0x10000 && c <= 0x10FFFF) {
            // As its surrogate pair, unit by unit.
            output.push_back(
                static_cast<char>(UnitToWindows1252(static_cast<uint16_t>(0xD800 + ((c - 0x10000) >> 10)))));
            output.push_back(
                static_cast<char>(UnitToWindows1252(static_cast<uint16_t>(0xDC00 + (c & 0x3FF)))));
        } else {
            // A value above U+10FFFF as an unpaired surrogate.
            output.push_back(
                static_cast<char>(UnitToWindows1252(static_cast<uint16_t>(c <= 0xFFFF ? c : 0xDFFF))));
        }
    });
}

}  // namespace Quorvin::TextPrivate
