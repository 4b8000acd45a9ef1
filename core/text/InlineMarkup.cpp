// Inline markup: markers, colour-code skipping and the escape table.
#include "core/text/InlineMarkup.h"

#include <algorithm>

#include "core/text/Utf.h"

namespace Quorvin {

uint32_t NoBreakChar = 0x00A0;
uint32_t MarkerA = 7;
uint32_t MarkerB = 8;
std::unique_ptr<std::unordered_map<std::u32string, std::u32string>> EscapeTable;

namespace {

bool IsLowerHexDigit(uint32_t c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

}  // namespace

void SetMarkers(uint32_t markerA, uint32_t markerB, uint32_t noBreakChar) {
    MarkerA = markerA;
    MarkerB = markerB;
    NoBreakChar = noBreakChar;
}

bool IsMarker(uint32_t c) { return c == MarkerA || c == MarkerB || c == MarkerC; }

int GetMarkerKind(uint32_t c) {
    if (c == MarkerA) {
        return 1;
    }
    if (c == MarkerB || c == MarkerC) {
        return 2;
    }
    if (c == NoBreakChar) {
        return 3;
    }
    return 0;
}

bool ContainsMarker(const std::u32string& text) {
    return std::any_of(text.begin(), text.end(), [](char32_t c) { return IsMarker(c); });
}

uint32_t NextVisibleChar(const std::u32string& text, int32_t index, bool skipColourCodes) {
    // 64-bit positions: index + 1 cannot overflow, and an index below -1 is simply outside the text.
    const int64_t n = static_cast<int64_t>(text.size());
    int64_t k = static_cast<int64_t>(index) + 1;
    if (k < 0 || k >= n) {
        return 0;
    }
    while (skipColourCodes && text[k] == '#') {
        if (k + 1 < n && text[k + 1] == 'E') {
            k += 2;
        } else {
            if (k + 6 >= n) {
                return '#';
            }
            for (int64_t i = k + 1; i <= k + 6; ++i) {
                if (!IsLowerHexDigit(text[i])) {
                    return '#';
                }
            }
            k += 7;
        }
        if (k >= n) {
            return 0;
        }
    }
    return text[k];
}

void LoadEscapes(const std::string& text) {
    if (!EscapeTable) {
        return;
    }
    size_t p = 0;
    while (p < text.size()) {
        const size_t colon = text.find(':', p);
        const size_t semicolon = std::min(text.find(';', p), text.size());
        if (colon == std::string::npos || colon >= semicolon) {
            return;
        }
        const std::string_view key(text.data() + p, colon - p);
        const std::string_view value(text.data() + colon + 1, semicolon - colon - 1);
        if (key.size() == 2 && key[0] == '#' && key[1] != 'E') {
            std::u32string key32;
            std::u32string value32;
            if (Utf8ToUtf32(key, key32) && Utf8ToUtf32(value, value32)) {
                (*EscapeTable)[std::move(key32)] = std::move(value32);
            }
        }
        p = semicolon + 1;
    }
}

const std::u32string* FindEscape(const std::u32string& key) {
    if (!EscapeTable) {
        return nullptr;
    }
    const auto found = EscapeTable->find(key);
    return found == EscapeTable->end() ? nullptr : &found->second;
}

bool HasEscapeTable() { return EscapeTable != nullptr; }

}  // namespace Quorvin
