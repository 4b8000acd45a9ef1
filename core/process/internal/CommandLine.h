// Splitting a command line into arguments by the rules Windows programs apply to their own, so that
// a command line means the same program and arguments on every system.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Quorvin::ProcessPrivate {

/// Splits `commandLine` into arguments as Windows' CommandLineToArgvW does. Works on code units:
/// only space, tab, `"` and `\` are special, so the text may be UTF-16 (Windows) or code points
/// (Linux) alike.
///
/// The first argument, the program name, ends at the first space or tab; when it starts with `"`
/// it runs to the next `"` instead (backslashes are not special there) and the next argument
/// starts right after that quote. Each later argument runs to the next space or tab outside
/// quotes; inside it, 2n backslashes followed by `"` give n backslashes and open or close quoting,
/// 2n+1 backslashes followed by `"` give n backslashes and a literal `"`, and other backslashes
/// are literal. One more rule, which the system's splitter (as Wine answers it) follows beyond the
/// usual description: a `"` that closes quoting and is followed by another `"` gives a literal `"`
/// for the pair, and quoting stays closed. Spaces and tabs between arguments are skipped, so none
/// is empty unless quoted (`""`). An empty command line gives no argument (CommandLineToArgvW
/// answers the calling program's own path instead); one that starts with a space or tab gives an
/// empty program name.
std::vector<std::wstring> SplitCommandLine(std::wstring_view commandLine);

}  // namespace Quorvin::ProcessPrivate
