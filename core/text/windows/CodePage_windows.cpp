// Conversions between Unicode and Windows code pages.
#include "core/text/CodePage.h"

#include <climits>

#include "core/text/internal/LooseUtf8.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {
namespace {

// Asks for the length, then converts into `output`, made of that many spaces. An empty input, one
// too long to hand to Windows, or a failing call leaves `output` empty. Returns false only when
// memory ran out (`output` is empty then too).
template <class Out, class Convert>
bool TwoCallConversion(size_t inputSize, Convert convert, Out& output) {
    if (inputSize == 0 || inputSize > INT_MAX) {
        return true;
    }
    const int length = convert(nullptr, 0);
    if (length <= 0) {
        return true;
    }
    try {
        output.assign(static_cast<size_t>(length), typename Out::value_type(' '));
    } catch (...) {
        return false;
    }
    const int written = convert(output.data(), length);
    output.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return true;
}

std::string FromWide(const wchar_t* data, size_t size, uint32_t codePage, bool* outOfMemory = nullptr) {
    std::string output;
    const bool ok = TwoCallConversion(
        size,
        [&](char* buffer, int capacity) {
            return WideCharToMultiByte(codePage, 0, data, static_cast<int>(size), buffer, capacity, nullptr,
                                       nullptr);
        },
        output);
    if (outOfMemory != nullptr) {
        *outOfMemory = !ok;
    }
    return output;
}

std::wstring ToWide(const char* data, size_t size, uint32_t codePage) {
    std::wstring output;
    TwoCallConversion(
        size,
        [&](wchar_t* buffer, int capacity) {
            return MultiByteToWideChar(codePage, 0, data, static_cast<int>(size), buffer, capacity);
        },
        output);
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
    std::wstring wide;
    if (!TextPrivate::ReadLooseUtf8(input, wide) || wide.empty()) {
        return input;
    }
    std::string converted = FromWide(wide.data(), wide.size(), codePage);
    if (converted.empty()) {
        return input;
    }
    return converted;
}

std::string Utf8ViewToCodePage(std::string_view input, uint32_t codePage) noexcept {
    std::wstring wide;
    TextPrivate::ReadLooseUtf8(input, wide);
    if (wide.empty()) {
        return std::string(input);
    }
    bool outOfMemory = false;
    std::string converted = FromWide(wide.data(), wide.size(), codePage, &outOfMemory);
    if (outOfMemory) {
        return std::string(input);
    }
    return converted;
}

uint64_t AnsiLengthOfUtf8(const std::string& input) noexcept { return Utf8ToCodePage(input, 0).size(); }

}  // namespace Quorvin
