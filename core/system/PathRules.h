// Path rules (parent directory, joining): Windows', kept free of the Windows API so they are tested
// natively too, and the POSIX parent rule that Linux paths follow.
//
// Windows rules: both '\' and '/' separate components. A root is a drive designator with the
// separators after it ("C:", "C:\"), a server share's name with the separator after it
// ("\\server\"), or the leading separators of a rooted path ("\").
//
// POSIX rule: only '/' separates, and the root is the run of leading '/'.
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

/// `path` without its last component and the run of '/' before it, by the POSIX rule: '\' is an
/// ordinary character and the leading run of '/' is never shortened ("/opt/game/bin" -> "/opt/game",
/// "/game" -> "/"). A bare file name gives the empty path.
std::wstring PosixParentPath(std::wstring_view path);

/// `directory` joined with `fileName`: a backslash goes between them unless the directory is
/// empty, already ends in a separator, or is a bare drive designator such as "C:".
std::wstring JoinPath(std::wstring_view directory, std::wstring_view fileName);

}  // namespace Quorvin
