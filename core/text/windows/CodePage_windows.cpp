// The code-page conversions on Windows: the system's own, WideCharToMultiByte and MultiByteToWideChar.
#include "core/text/internal/CodePageBackend.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin::TextPrivate {
namespace {

// Asks for the length, then converts into `output`, made of that many spaces. A failing call leaves
// `output` empty. Returns false only when memory ran out (`output` is empty then too).
template <class Out, class Convert>
bool TwoCallConversion(Convert convert, Out& output) {
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

}  // namespace

bool WideToCodePageOnSystem(const wchar_t* data, size_t size, uint32_t codePage,
                            std::string& output) noexcept {
    return TwoCallConversion(
        [&](char* buffer, int capacity) {
            return WideCharToMultiByte(codePage, 0, data, static_cast<int>(size), buffer, capacity, nullptr,
                                       nullptr);
        },
        output);
}

bool Utf16ToCodePageOnSystem(const Utf16Unit* data, size_t size, uint32_t codePage,
                             std::string& output) noexcept {
    return WideToCodePageOnSystem(data, size, codePage, output);
}

void CodePageToWideOnSystem(const char* data, size_t size, uint32_t codePage, std::wstring& output) noexcept {
    TwoCallConversion(
        [&](wchar_t* buffer, int capacity) {
            return MultiByteToWideChar(codePage, 0, data, static_cast<int>(size), buffer, capacity);
        },
        output);
}

}  // namespace Quorvin::TextPrivate
