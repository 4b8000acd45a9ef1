// Where the running program lives: the file names of its modules (as UTF-16 or UTF-8) and the
// directory of its executable. Implemented for Windows only; the declarations carry no Windows
// types (a module is named by its handle as a pointer; null means the executable).
//
// Paths are read whole or not at all: a path that the platform would truncate is never returned in
// part, because a truncated path names an ancestor folder, and files read from or programs started
// in that folder would be the wrong ones.
//
// Thread-safety: no shared state; safe from any thread.
#pragma once

#include <cstddef>
#include <string>

namespace Quorvin {

/// The longest path the platform reports, in UTF-16 units without the terminator (the limit of
/// extended-length paths).
inline constexpr size_t MaxModulePathLength = 32767;

/// Reads the full file name of `module` (null: the executable) into `buffer`, NUL-terminated, and
/// returns its length in units. Returns 0, with the buffer's content unspecified, when the module
/// is unknown or the name does not fit `capacity` units including the terminator. Allocates
/// nothing, so it may run inside a crashed process.
size_t ReadModuleFileName(void* module, wchar_t* buffer, size_t capacity) noexcept;

/// The full file name of `module` (null: the executable), read into a buffer grown as needed up to
/// MaxModulePathLength units. Empty when it cannot be read whole.
std::wstring ReadModuleFileName(void* module);

/// The full file name of `module` (null: the executable) in UTF-8, read whole at any length up to
/// MaxModulePathLength units. A surrogate unit that is not part of a pair (file names may hold
/// any 16-bit units) becomes U+FFFD, so the result is always well-formed UTF-8. Empty when the
/// module is unknown or its name cannot be read.
std::string GetModulePath(void* module);

/// The running executable's directory as a UTF-16 path: its full file name without the last
/// component and the separators before it. Both '\' and '/' separate; a root ("C:\", "\\server\",
/// "\") is never shortened. Empty when the file name cannot be read whole (an executable's path
/// always has a directory, so empty means unknown, never "the current directory").
std::wstring GetModuleDirectory();

}  // namespace Quorvin
