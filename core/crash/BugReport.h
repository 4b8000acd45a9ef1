// The bug-report launcher: the crash callback that starts "bugreport.exe" for the current report.
#pragma once

#include <string>

namespace Quorvin {

/// Starts "bugreport.exe" from the executable's directory with the command line
///   ` "<directory>\bugreport.exe" --error-id=<transid>`
/// where <transid> is the library's "transid" exactly as it yields it (neither quoted nor escaped,
/// so blanks or quotes in it split or alter the child's arguments). Returns at once without waiting
/// for the program. When no file-system entry of that name exists nothing is started; a failed
/// start is ignored. The directory stays UTF-16 throughout, so any directory name works.
/// It is registered as the crash callback by CrashReporter::Init; before Init found its
/// configuration there is no library to ask and it does nothing. Throws std::runtime_error when the
/// identifier is not convertible.
void LaunchBugReport();

/// Converts `text` from `codePage` to UTF-16 with MultiByteToWideChar (flags 0). The result keeps
/// the terminating NUL that the platform counts as its last unit; empty text gives an empty result
/// without any platform call. Throws std::runtime_error("string_to_wstring Error<code>") when the
/// platform reports a length of 0.
std::wstring string_to_wstring(const std::string& text, unsigned int codePage);

}  // namespace Quorvin
