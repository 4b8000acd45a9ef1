// The bug-report launcher: the crash callback that starts "bugreport.exe" for the current report.
#pragma once

#if !defined(_WIN32)
#error "core/crash/BugReport.h is offered on Windows only: the bug-report launcher starts a Windows program beside the executable"
#endif

#include <string>

namespace Quorvin {

/// Starts "bugreport.exe" from the executable's directory with the command line
///   ` "<directory>\bugreport.exe" --error-id=<transid>`
/// where <transid> is the library's "transid" exactly as it yields it (neither quoted nor escaped,
/// so blanks or quotes in it split or alter the child's arguments). The directory is joined with
/// a backslash whatever it ends in, so at a drive root the path reads "X:\\bugreport.exe".
/// Returns at once without waiting for the program. When no file-system entry of that name exists
/// nothing is started; a failed start is ignored. The directory stays UTF-16 throughout, so any
/// directory name works.
///
/// It runs inside a crashed process, called by the crash-report library: it never throws (every
/// failure, the library's own exceptions included, ends it quietly with nothing started) and it
/// takes nothing from the heap. Its buffers come straight from the system's pages; the report text
/// it asks the library for is not copied, since nothing uses it. Nothing is started either when
/// the executable's path cannot be read whole, or when the identifier is not convertible or makes
/// the command line longer than the platform allows (32,767 units). It is registered as the crash
/// callback by CrashReporter::Init; before Init found its configuration there is no library to ask
/// and it does nothing.
void LaunchBugReport() noexcept;

/// Converts `text` from `codePage` to UTF-16 with MultiByteToWideChar (flags 0). The result keeps
/// the terminating NUL that the platform counts as its last unit; empty text gives an empty result
/// without any platform call. Throws std::runtime_error("string_to_wstring Error<code>") when the
/// platform reports a length of 0.
std::wstring string_to_wstring(const std::string& text, unsigned int codePage);

}  // namespace Quorvin
