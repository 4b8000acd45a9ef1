// Where the running program lives: the directory of its executable (and, later, the paths of its
// modules). Implemented for Windows only; the declarations carry no Windows types.
#pragma once

#include <string>

namespace Quorvin {

/// The running executable's directory as a UTF-16 path: the module file name without its last
/// component and the separators before it. Both '\' and '/' separate; a root ("C:\", "\\server\",
/// "\") is never shortened. The file name is read into 260 units; a longer path arrives truncated.
std::wstring GetModuleDirectory();

}  // namespace Quorvin
