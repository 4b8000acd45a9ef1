// The unvalidating UTF-8 reader behind the code-page conversions.
#include "core/text/internal/LooseUtf8.h"

#include <cstdint>

namespace Quorvin::TextPrivate {

bool ReadLooseUtf8(std::string_view input, Utf16String& output) {
    const auto* p = reinterpret_cast<const unsigned char*>(input.data());
    const auto* const end = p + input.size();
    output.reserve(output.size() + input.size());
    while (p < end) {
        const uint32_t b0 = p[0];
        const ptrdiff_t left = end - p;
        if (b0 >= 0xF0) {
            if (left < 4) {
                return false;
            }
            // Unsigned arithmetic and the 16-bit store keep any value, in range or not, defined.
            const uint32_t value =
                ((b0 & 0x07) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
            output.push_back(
                static_cast<Utf16Unit>(static_cast<uint16_t>(0xD800 + ((value - 0x10000) >> 10))));
            output.push_back(
                static_cast<Utf16Unit>(static_cast<uint16_t>(0xDC00 + ((value - 0x10000) & 0x3FF))));
            p += 4;
        } else if (b0 >= 0xE0) {
            if (left < 3) {
                return false;
            }
            output.push_back(
                static_cast<Utf16Unit>(((b0 & 0x0F) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu)));
            p += 3;
        } else if (b0 >= 0xC0) {
            if (left < 2) {
                return false;
            }
            output.push_back(static_cast<Utf16Unit>(((b0 & 0x1F) << 6) | (p[1] & 0x3Fu)));
            p += 2;
        } else if (b0 >= 0x80) {
            return false;
        } else {
            output.push_back(static_cast<Utf16Unit>(b0));
            ++p;
        }
    }
    return true;
}

}  // namespace Quorvin::TextPrivate
