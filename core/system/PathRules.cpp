// Parent path and path joining with Windows separator and root rules; the POSIX parent rule.
#include "core/system/PathRules.h"

namespace Quorvin {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveDesignator(std::wstring_view path) {
    return path.size() >= 2 && path[1] == L':' &&
           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

// Length of the root: the root name ("C:" or "\\server") and the separators that follow it.
size_t RootLength(std::wstring_view path) {
    size_t length = 0;
    if (IsDriveDesignator(path)) {
        length = 2;
    } else if (path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2])) {
        length = 2;
        while (length < path.size() && !IsSeparator(path[length])) ++length;
    }
    while (length < path.size() && IsSeparator(path[length])) ++length;
    return length;
}

}  // namespace

size_t ParentPathLength(std::wstring_view path) noexcept {
    const size_t rootLength = RootLength(path);
    size_t end = path.size();
    while (end > rootLength && !IsSeparator(path[end - 1])) --end;  // drop the file name
    while (end > rootLength && IsSeparator(path[end - 1])) --end;   // and the separators before it
    return end;
}

std::wstring ParentPath(std::wstring_view path) {
    return std::wstring(path.substr(0, ParentPathLength(path)));
}

std::wstring PosixParentPath(std::wstring_view path) {
    size_t rootLength = 0;
    while (rootLength < path.size() && path[rootLength] == L'/') ++rootLength;
    size_t end = path.size();
    while (end > rootLength && path[end - 1] != L'/') --end;
    while (end > rootLength && path[end - 1] == L'/') --end;
    return std::wstring(path.substr(0, end));
}

std::wstring JoinPath(std::wstring_view directory, std::wstring_view fileName) {
    std::wstring joined(directory);
    const bool bareDrive = directory.size() == 2 && IsDriveDesignator(directory);
    if (!directory.empty() && !IsSeparator(directory.back()) && !bareDrive) joined += L'\\';
    joined += fileName;
    return joined;
}

}  // namespace Quorvin
