// UTF-16 path text to UTF-8, for file names that the system reports as UTF-16.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Quorvin::PathTextPrivate {

/// Converts `length` UTF-16 units to UTF-8. File names may hold surrogates that are not part of a
/// pair (the file system stores any 16-bit units); each such unit becomes U+FFFD, so the result is
/// always well-formed UTF-8. Never reads beyond `length` units. `Unit` is any 16-bit code unit type.
template <typename Unit>
std::string Utf16PathToUtf8(const Unit* text, size_t length) {
    std::string result;
    result.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        uint32_t point = static_cast<uint16_t>(text[i]);
        if (point >= 0xD800 && point <= 0xDFFF) {
            const uint32_t next = i + 1 < length ? static_cast<uint16_t>(text[i + 1]) : 0;
            if (point <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
                point = 0x10000 + ((point & 0x3FF) << 10) + (next & 0x3FF);
                ++i;
            } else {
                point = 0xFFFD;
            }
        }
        if (point < 0x80) {
            result += static_cast<char>(point);
        } else if (point < 0x800) {
            result += static_cast<char>(0xC0 | point >> 6);
            result += static_cast<char>(0x80 | (point & 0x3F));
        } else if (point < 0x10000) {
            result += static_cast<char>(0xE0 | point >> 12);
            result += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
            result += static_cast<char>(0x80 | (point & 0x3F));
        } else {
            result += static_cast<char>(0xF0 | point >> 18);
            result += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
            result += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
            result += static_cast<char>(0x80 | (point & 0x3F));
        }
    }
    return result;
}

}  // namespace Quorvin::PathTextPrivate
