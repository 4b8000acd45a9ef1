// Module paths from the Windows loader.
#include "core/system/ModulePath.h"

#include "core/system/PathRules.h"
#include "core/text/Utf.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {

size_t ReadModuleFileName(void* module, wchar_t* buffer, size_t capacity) noexcept {
    if (capacity == 0) return 0;
    const DWORD size =
        static_cast<DWORD>(capacity < MaxModulePathLength + 1 ? capacity : MaxModulePathLength + 1);
    // A name that does not fit comes back cut to the buffer, with the buffer's size as its length
    // (and, on old systems, no terminator): a length below the size is the only sign of a whole name.
    const DWORD length = GetModuleFileNameW(static_cast<HMODULE>(module), buffer, size);
    if (length == 0 || length >= size) return 0;
    buffer[length] = L'\0';
    return length;
}

std::wstring ReadModuleFileName(void* module) {
    // Most paths fit the classic limit; a longer one is read again into a larger buffer.
    constexpr DWORD LargestSize = MaxModulePathLength + 1;
    for (DWORD size = MAX_PATH;; size = size * 4 < LargestSize ? size * 4 : LargestSize) {
        std::wstring buffer(size, L'\0');
        const DWORD length = GetModuleFileNameW(static_cast<HMODULE>(module), buffer.data(), size);
        if (length == 0) return std::wstring();
        if (length < size) {
            buffer.resize(length);
            return buffer;
        }
        if (size == LargestSize) return std::wstring();
    }
}

std::string GetModulePath(void* module) {
    const std::wstring path = ReadModuleFileName(module);
    // File names may hold any 16-bit units; an unpaired surrogate becomes U+FFFD.
    return Utf16ToUtf8Replacing(path);
}

std::wstring GetModuleDirectory() { return ParentPath(ReadModuleFileName(nullptr)); }

}  // namespace Quorvin
