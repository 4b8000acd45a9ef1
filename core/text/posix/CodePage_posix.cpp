// The code-page conversions on Linux: UTF-8, Windows-1252 and code page 0 (UTF-8, the system's
// text) without the system, with the results Windows gives; wide text holds code points.
#include "core/text/internal/CodePageBackend.h"
#include "core/text/internal/PortableCodePages.h"

namespace Quorvin::TextPrivate {
namespace {

// Linux text is UTF-8 whatever the locale says, so the active code page always is.
constexpr uint32_t ActiveCodePage = 65001;

uint32_t Resolve(uint32_t codePage) { return codePage == 0 ? ActiveCodePage : codePage; }

template <class Units>
bool Encode(const Units& units, uint32_t codePage, std::string& output) noexcept {
    try {
        EncodeCodePage(units, Resolve(codePage), output);
    } catch (...) {
        output.clear();
        return false;
    }
    return true;
}

}  // namespace

bool WideToCodePageOnSystem(const wchar_t* data, size_t size, uint32_t codePage,
                            std::string& output) noexcept {
    // wchar_t and char32_t are distinct types of the same size here: a copy, element by element.
    Utf32String points;
    try {
        points.assign(data, data + size);
    } catch (...) {
        return false;
    }
    return Encode(Utf32View(points), codePage, output);
}

bool Utf16ToCodePageOnSystem(const Utf16Unit* data, size_t size, uint32_t codePage,
                             std::string& output) noexcept {
    return Encode(Utf16View(data, size), codePage, output);
}

void CodePageToWideOnSystem(const char* data, size_t size, uint32_t codePage, std::wstring& output) noexcept {
    try {
        Utf32String points;
        if (DecodeCodePage(std::string_view(data, size), Resolve(codePage), points)) {
            output.assign(points.begin(), points.end());
        }
    } catch (...) {
        output.clear();
    }
}

}  // namespace Quorvin::TextPrivate
