// Windows path rules (parent directory, joining), kept free of the Windows API so they are tested
// natively too.
//
// Both '\' and '/' separate components. A root is a drive designator with the separators after it
// ("C:", "C:\"), a server share's name with the separator after it ("\\server\"), or the leading
// separators of a rooted path ("\").
#pragma once

#include <string>
#include <string_view>

namespace Quorvin {

/// `path` without its last component and the run of separators before it; a root is never
/// shortened ("C:\game.exe" -> "C:\", "\\server\share\game.exe" -> "\\server\share").
/// A bare file name gives the empty path.
std::wstring ParentPath(std::wstring_view path);

/// The length of ParentPath(path), for callers that work in place without allocating.
size_t ParentPathLength(std::wstring_view path) noexcept;

/// `directory` joined with `fileName`: a backslash goes between them unless the directory is
/// empty, already ends in a separator, or is a bare drive designator such as "C:".
std::wstring JoinPath(std::wstring_view directory, std::wstring_view fileName);

}  // namespace Quorvin
