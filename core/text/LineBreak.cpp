// Line breaking: the two punctuation sets and the break rule.
#include "core/text/LineBreak.h"

#include <iterator>
#include <memory>

#include "core/base/Compiler.h"
#include "core/base/StartupOrder.h"
#include "core/text/InlineMarkup.h"

namespace Quorvin {

std::set<uint32_t> NoLineStartSet QUORVIN_INIT_PRIORITY(StartupOrder::NoLineStartSet);
std::set<uint32_t> NoLineEndSet QUORVIN_INIT_PRIORITY(StartupOrder::NoLineEndSet);

namespace {

constexpr uint32_t NoLineEndMembers[] = {
    0x0028, 0xFF08, 0x3010, 0x300C, 0xFE5D, 0x301D, 0x005B, 0x3014, 0x3008, 0xFE59, 0x2018, 0x2035,
    0x007B, 0xFF5B, 0x300E, 0xFE5B, 0x201C, 0x0024, 0xFFE1, 0x300A, 0xFF04, 0x003C, 0x002A, 0x00AB,
    0x00A3, 0x00A5, 0xFF3B, 0xFFE5, 0xFFE6, 0x002B, 0x002D, 0x00B1, 0x20AC, 0xFFE0,
};

constexpr uint32_t NoLineStartMembers[] = {
    0x0021, 0xFF01, 0x003F, 0xFF1F, 0x3002, 0x3001, 0x002E, 0x002C, 0xFF09, 0x0029, 0xFF0C,
    0xFF0E, 0xFF1A, 0xFE30, 0xFE50, 0x00B7, 0xFE56, 0xFF5D, 0x300F, 0xFE5C, 0x201D, 0x003A,
    0x005D, 0x2022, 0x2027, 0x2026, 0xFE51, 0xFE54, 0xFE57, 0x3011, 0x300D, 0xFE5E, 0x301E,
    0x003B, 0x007D, 0xFF1B, 0xFE52, 0xFE55, 0x3015, 0x3009, 0xFE5A, 0x2019, 0x2032, 0x00B0,
    0x2033, 0x2103, 0x300B, 0xFF05, 0xFF3D, 0x2013, 0x2014, 0x00BB, 0x003E,
};

bool IsDigit(uint32_t c) { return c >= '0' && c <= '9'; }

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

}  // namespace Quorvin
