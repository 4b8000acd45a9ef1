// Module paths from the Windows loader.
#include "core/platform/ModulePath.h"

#include <array>

#include "core/platform/PathRules.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {

std::wstring GetModuleDirectory() {
    std::array<wchar_t, MAX_PATH> buffer{};
    // On truncation the platform fills the whole buffer without a terminator; the count it
    // returns is still the number of units written.
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    return ParentPath(std::wstring_view(buffer.data(), length));
}

}  // namespace Quorvin
