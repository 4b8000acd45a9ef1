// The code-page conversions written once over the system's backend: the length limit, the fallbacks
// and the loose reading of UTF-8.
#include "core/text/CodePage.h"

#include <climits>

#include "core/text/internal/CodePageBackend.h"
#include "core/text/internal/LooseUtf8.h"

namespace Quorvin {
namespace {

// What the system is handed: not nothing, and not more than its conversions count (an int).
bool Convertible(size_t size) { return size != 0 && size <= INT_MAX; }

std::string FromWide(const wchar_t* data, size_t size, uint32_t codePage) {
    std::string output;
    if (Convertible(size)) {
        TextPrivate::WideToCodePageOnSystem(data, size, codePage, output);
    }
    return output;
}

// Sets `outOfMemory` when memory ran out (the result is empty then).
std::string FromUtf16(const Utf16String& units, uint32_t codePage, bool& outOfMemory) {
    std::string output;
    outOfMemory = Convertible(units.size()) &&
                  !TextPrivate::Utf16ToCodePageOnSystem(units.data(), units.size(), codePage, output);
    return output;
}

std::wstring ToWide(const char* data, size_t size, uint32_t codePage) {
    std::wstring output;
    if (Convertible(size)) {
        TextPrivate::CodePageToWideOnSystem(data, size, codePage, output);
    }
    return output;
}

}  // namespace

std::string WideToCodePage(const std::wstring& input, uint32_t codePage) noexcept {
    return FromWide(input.data(), input.size(), codePage);
}

std::string WideViewToCodePage(std::wstring_view input, uint32_t codePage) noexcept {
    return FromWide(input.data(), input.size(), codePage);
}

std::wstring CodePageToWide(const std::string& input, uint32_t codePage) noexcept {
    return ToWide(input.data(), input.size(), codePage);
}

std::wstring CodePageViewToWide(std::string_view input, uint32_t codePage) noexcept {
    return ToWide(input.data(), input.size(), codePage);
}

std::string Utf8ToCodePage(const std::string& input, uint32_t codePage) noexcept {
    Utf16String units;
    if (!TextPrivate::ReadLooseUtf8(input, units) || units.empty()) {
        return input;
    }
    bool outOfMemory = false;
    std::string converted = FromUtf16(units, codePage, outOfMemory);
    if (converted.empty()) {
        return input;
    }
    return converted;
}

std::string Utf8ViewToCodePage(std::string_view input, uint32_t codePage) noexcept {
    Utf16String units;
    TextPrivate::ReadLooseUtf8(input, units);
    if (units.empty()) {
        return std::string(input);
    }
    bool outOfMemory = false;
    std::string converted = FromUtf16(units, codePage, outOfMemory);
    if (outOfMemory) {
        return std::string(input);
    }
    return converted;
}

uint64_t AnsiLengthOfUtf8(const std::string& input) noexcept { return Utf8ToCodePage(input, 0).size(); }

}  // namespace Quorvin
