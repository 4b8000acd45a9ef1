// Line breaking, inline markers, colour-code skipping, escape table and style records.
#include "core/text/LineBreak.h"

#include <algorithm>

#include "core/diagnostics/Ensure.h"
#include "core/text/Utf.h"

namespace Quorvin {

std::set<uint32_t> NoLineStartSet;
std::set<uint32_t> NoLineEndSet;
std::map<int32_t, StyleRecord> StyleTable;

uint32_t NoBreakChar = 0x00A0;
uint32_t MarkerA = 7;
uint32_t MarkerB = 8;
std::unique_ptr<std::unordered_map<std::u32string, std::u32string>> EscapeTable;

namespace {

constexpr uint32_t NoLineEndMembers[] = {
    0x0028, 0xFF08, 0x3010, 0x300C, 0xFE5D, 0x301D, 0x005B, 0x3014, 0x3008, 0xFE59, 0x2018, 0x2035,
    0x007B, 0xFF5B, 0x300E, 0xFE5B, 0x201C, 0x0024, 0xFFE1, 0x300A, 0xFF04, 0x003C, 0x002A, 0x00AB,
    0x00A3, 0x00A5, 0xFF3B, 0xFFE5, 0xFFE6, 0x002B, 0x002D, 0x00B1, 0x20AC, 0xFFE0,
};

constexpr uint32_t NoLineStartMembers[] = {
    0x0021, 0xFF01, 0x003F, 0xFF1F, 0x3002, 0x3001, 0x002E, 0x002C, 0xFF09, 0x0029, 0xFF0C, 0xFF0E,
    0xFF1A, 0xFE30, 0xFE50, 0x00B7, 0xFE56, 0xFF5D, 0x300F, 0xFE5C, 0x201D, 0x003A, 0x005D, 0x2022,
    0x2027, 0x2026, 0xFE51, 0xFE54, 0xFE57, 0x3011, 0x300D, 0xFE5E, 0x301E, 0x003B, 0x007D, 0xFF1B,
    0xFE52, 0xFE55, 0x3015, 0x3009, 0xFE5A, 0x2019, 0x2032, 0x00B0, 0x2033, 0x2103, 0x300B, 0xFF05,
    0xFF3D, 0x2013, 0x2014, 0x00BB, 0x003E,
};

bool IsDigit(uint32_t c) {
    return c >= '0' && c <= '9';
}

bool IsLowerHexDigit(uint32_t c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f');
}

}  // namespace

void InitLineBreaking() {
    NoLineEndSet.clear();
    NoLineEndSet.insert(std::begin(NoLineEndMembers), std::end(NoLineEndMembers));
    NoLineStartSet.clear();
    NoLineStartSet.insert(std::begin(NoLineStartMembers), std::end(NoLineStartMembers));
    if (!EscapeTable) {
        EscapeTable = std::make_unique<std::unordered_map<std::u32string, std::u32string>>();
    }
}

bool CanBreakBetween(uint32_t previous, uint32_t next, bool rulesEnabled) {
    if (!rulesEnabled) {
        return true;
    }
    if (next == 0) {
        return false;
    }
    if (previous == NoBreakChar || next == NoBreakChar) {
        return false;
    }
    if (previous == ' ') {
        return true;
    }
    const int previousClass = GetPunctuationClass(previous);
    if (previousClass == 2) {
        return false;
    }
    if (previousClass == 1) {
        // A decimal point, thousands or time separator stays with the digits after it; a doubled
        // ellipsis or dash stays together.
        if ((previous == ',' || previous == '.' || previous == ':') && IsDigit(next)) {
            return false;
        }
        if (next == previous && (previous == 0x2026 || previous == 0x2014)) {
            return false;
        }
    }
    const int nextClass = GetPunctuationClass(next);
    if (nextClass == 1) {
        return false;
    }
    if (previousClass == 1 || nextClass == 2 || IsIdeographic(previous)) {
        return true;
    }
    return IsIdeographic(next);
}

bool IsIdeographic(uint32_t c) {
    return (c >= 0x0800 && c < 0x9FF0) || (c >= 0xF900 && c < 0xFB00) || (c >= 0xAC00 && c < 0xD7B0) ||
           (c >= 0x3130 && c < 0x3190);
}

bool IsHangul(uint32_t c) {
    return (c >= 0xAC00 && c < 0xD7B0) || (c >= 0x1100 && c < 0x1200) || (c >= 0x3130 && c < 0x3190);
}

int GetPunctuationClass(uint32_t codePoint) {
    if (NoLineStartSet.count(codePoint) != 0) {
        return 1;
    }
    if (NoLineEndSet.count(codePoint) != 0) {
        return 2;
    }
    return 0;
}

void SetMarkers(uint32_t markerA, uint32_t markerB, uint32_t noBreakChar) {
    MarkerA = markerA;
    MarkerB = markerB;
    NoBreakChar = noBreakChar;
}

bool IsMarker(uint32_t c) {
    return c == MarkerA || c == MarkerB || c == MarkerC;
}

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

bool HasEscapeTable() {
    return EscapeTable != nullptr;
}

int32_t RegisterStyle(const std::string& name, uint32_t a, uint32_t b, uint32_t d, uint32_t e, uint32_t f, float c,
                      uint32_t g, float h) {
    // Identifiers count up from the number of records. A record made out of turn by GetStyle may
    // already hold that number; the next free one is taken instead of dropping the new record.
    int64_t id = static_cast<int64_t>(StyleTable.size());
    while (StyleTable.count(static_cast<int32_t>(id)) != 0) {
        ++id;
    }
    QUORVIN_ENSURE(id <= INT32_MAX);
    StyleTable.emplace(static_cast<int32_t>(id), StyleRecord{name, a, b, c, d, e, f, g, h});
    return static_cast<int32_t>(id);
}

StyleRecord& GetStyle(int32_t id) {
    return StyleTable[id];
}

}  // namespace Quorvin
