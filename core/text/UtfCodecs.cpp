// The UTF range codecs and the validating scan. The hot routines go to the kernel chosen for this
// process (see internal/UtfKernel.h); every kernel gives exactly the results of the character rules.
#include "core/text/Utf.h"

#include <cstring>
#include <limits>

#include "core/text/internal/UtfKernel.h"
#include "core/text/internal/UtfPrimitives.h"

namespace Quorvin {

using namespace TextPrivate;

// UTF-8 decoding is the same in every mode: the legality rules admit no surrogate and nothing above
// U+10FFFF.
ConversionResult Utf8ToUtf16Range(const Utf8Unit*& source, const Utf8Unit* sourceEnd, Utf16Unit*& target,
                                  Utf16Unit* targetEnd, ConversionMode) noexcept {
    return ActiveUtfKernel().utf8ToUtf16(source, sourceEnd, target, targetEnd);
}

ConversionResult Utf8ToUtf32Range(const Utf8Unit*& source, const Utf8Unit* sourceEnd, Utf32Unit*& target,
                                  Utf32Unit* targetEnd, ConversionMode) noexcept {
    return ActiveUtfKernel().utf8ToUtf32(source, sourceEnd, target, targetEnd);
}

ConversionResult Utf16ToUtf8Range(const Utf16Unit*& source, const Utf16Unit* sourceEnd, Utf8Unit*& target,
                                  Utf8Unit* targetEnd, ConversionMode mode) noexcept {
    return ActiveUtfKernel().utf16ToUtf8(source, sourceEnd, target, targetEnd, mode);
}

ConversionResult Utf32ToUtf8Range(const Utf32Unit*& source, const Utf32Unit* sourceEnd, Utf8Unit*& target,
                                  Utf8Unit* targetEnd, ConversionMode mode) noexcept {
    return ActiveUtfKernel().utf32ToUtf8(source, sourceEnd, target, targetEnd, mode);
}

ConversionResult Utf16ToUtf32Range(const Utf16Unit*& source, const Utf16Unit* sourceEnd, Utf32Unit*& target,
                                   Utf32Unit* targetEnd, ConversionMode mode) noexcept {
    const Utf16Unit* s = source;
    Utf32Unit* t = target;
    R result = R::Ok;
    while (s < sourceEnd) {
        const Utf16Unit* start = s;
        uint32_t value = 0;
        result = ReadUtf16(s, sourceEnd, mode, value);
        if (result != R::Ok) {
            break;
        }
        if (t >= targetEnd) {
            s = start;
            result = R::TargetExhausted;
            break;
        }
        *t++ = static_cast<Utf32Unit>(value);
    }
    source = s;
    target = t;
    return result;
}

ConversionResult Utf32ToUtf16Range(const Utf32Unit*& source, const Utf32Unit* sourceEnd, Utf16Unit*& target,
                                   Utf16Unit* targetEnd, ConversionMode mode) noexcept {
    const Utf32Unit* s = source;
    Utf16Unit* t = target;
    R result = R::Ok;
    for (; s < sourceEnd; ++s) {
        if (t >= targetEnd) {
            result = R::TargetExhausted;
            break;
        }
        uint32_t value = *s;
        if (value <= 0xFFFF) {
            if (IsSurrogate(value)) {
                if (mode == ConversionMode::Strict) {
                    result = R::SourceIllegal;
                    break;
                }
                value = ReplacementCharacter;
            }
            *t++ = static_cast<Utf16Unit>(value);
        } else if (value >= CodePointLimit) {
            if (mode == ConversionMode::Strict) {
                result = R::SourceIllegal;
            } else {
                *t++ = static_cast<Utf16Unit>(ReplacementCharacter);
            }
        } else {
            if (targetEnd - t < 2) {
                result = R::TargetExhausted;
                break;
            }
            value -= 0x10000;
            *t++ = static_cast<Utf16Unit>(HighSurrogateStart + (value >> 10));
            *t++ = static_cast<Utf16Unit>(LowSurrogateStart + (value & 0x3FF));
        }
    }
    source = s;
    target = t;
    return result;
}

bool IsLegalUtf8Range(const Utf8Unit*& cursor, const Utf8Unit* end) noexcept {
    return ActiveUtfKernel().validateUtf8(cursor, end);
}

uint32_t CountUtf8CodePoints(const char* text) noexcept {
    const auto* s = reinterpret_cast<const Utf8Unit*>(text);
    uint64_t count = 0;
    if (!ActiveUtfKernel().countUtf8(s, s + std::strlen(text), count) ||
        count > std::numeric_limits<uint32_t>::max()) {
        return 0;
    }
    return static_cast<uint32_t>(count);
}

}  // namespace Quorvin
