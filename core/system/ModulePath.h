// Where the running program lives: the file names of its modules (as wide text or UTF-8) and the
// directory of its executable. The declarations carry no system types: a module is named by a
// pointer, and null means the executable.
//
// Windows: a module is named by its handle (its base address, as GetModuleHandle gives it), and
// wide text is UTF-16. Linux: a module is named by any address inside it (a function's or a
// variable's), and the module is the loaded object whose segments hold that address. A handle from
// dlopen is not such an address but the loader's own record of the library, outside every module,
// so it names none (use an address that dlsym returns). Wide text holds code points, one per
// wchar_t; file names are bytes, and where they are not UTF-8 each ill-formed part becomes U+FFFD.
//
// Paths are read whole or not at all: a path that the platform would truncate is never returned in
// part, because a truncated path names an ancestor folder, and files read from or programs started
// in that folder would be the wrong ones. For the same reason, on Linux a library that the loader
// knows only by a relative name (it was loaded through a relative path, from a current directory
// that may have changed since) has no path to give, and neither has the kernel's vDSO. An
// executable deleted or replaced while it runs (Windows forbids both) has no file left to name: its
// path reads as the kernel gives it, with " (deleted)" appended.
//
// Thread-safety: no shared state; safe from any thread. A module must stay loaded while its name is
// read.
#pragma once

#include <cstddef>
#include <string>

namespace Quorvin {

/// The longest path the functions report, in wide units without the terminator: on Windows the
/// limit of extended-length paths in UTF-16 units; on Linux the same number of code points, far
/// above what the kernel hands out (PATH_MAX, 4096 bytes with the terminator, for the executable;
/// no loaded library can have a longer name, since the loader opened it by that name).
inline constexpr size_t MaxModulePathLength = 32767;

/// Reads the full file name of `module` (null: the executable) into `buffer`, NUL-terminated, and
/// returns its length in units. Returns 0, with the buffer's content unspecified, when the module
/// is unknown or the name does not fit `capacity` units including the terminator. Allocates
/// nothing and takes little stack, so it may run inside a crashed process (on Linux the executable's
/// path is read through the caller's buffer itself).
size_t ReadModuleFileName(void* module, wchar_t* buffer, size_t capacity) noexcept;

/// The full file name of `module` (null: the executable), read into a buffer grown as needed up to
/// MaxModulePathLength units. Empty when it cannot be read whole.
std::wstring ReadModuleFileName(void* module);

/// The full file name of `module` (null: the executable) in UTF-8, read whole at any length up to
/// MaxModulePathLength units. The result is always well-formed UTF-8: on Windows a surrogate unit
/// that is not part of a pair (file names may hold any 16-bit units) becomes U+FFFD; on Linux, where
/// file names may hold any bytes, each ill-formed part of the name (a byte that cannot start a
/// sequence, or the longest start of a sequence that breaks off) becomes U+FFFD. Empty when the
/// module is unknown or its name cannot be read.
std::string GetModulePath(void* module);

/// The running executable's directory as a wide path: its full file name without the last
/// component and the separators before it. On Windows both '\' and '/' separate and a root ("C:\",
/// "\\server\", "\") is never shortened (ParentPath); on Linux only '/' separates and the root "/"
/// is never shortened (PosixParentPath). Empty when the file name cannot be read whole (an
/// executable's path always has a directory, so empty means unknown, never "the current
/// directory").
std::wstring GetModuleDirectory();

}  // namespace Quorvin
