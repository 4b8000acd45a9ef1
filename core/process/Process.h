// Running programs as child processes without a console window, waiting for them and returning
// their exit codes; optionally capturing their standard output and error through callbacks, with a
// cancel handle. Windows and Linux, with one contract; the differences are stated where they arise.
//
// Text. Paths, command lines and directories are wide strings: UTF-16 on Windows, as Windows takes
// them; on Linux one code point per element, converted to UTF-8 for the system. Text that has no
// UTF-8 form (a surrogate code point, or a value above U+10FFFF) is refused: the run is
// ProcessNotStarted with errno EILSEQ, and nothing is started. As on Windows, each text ends at its
// first NUL. A command line means the same on both systems: Linux splits it into the child's
// arguments by the rules of Windows programs (CommandLineToArgvW's), and the child's first
// argument is its first token.
//
// Every run blocks the calling thread until the child has ended and, in a captured run, until both
// of its output streams are closed; then all of its handles, descriptors and threads are gone (and,
// on Linux, the child has been reaped). Runs may be started from several threads at once. On
// Windows every child inherits all inheritable handles of the process, including other captured
// runs' pipe ends: a captured run then also waits until the children of runs started meanwhile have
// ended. On Linux the pipes are created close-on-exec and every child keeps only its descriptors 0,
// 1 and 2, so concurrent runs never hold each other's pipes. On both, a captured run lasts until
// every process that inherited the child's output (its own children, say) has ended or closed it.
//
// Linux: the child starts with no signal blocked and every signal at its default action. A run
// needs its child's exit status: a program that ignores SIGCHLD, or reaps children it did not
// start (waitpid(-1, ...)), takes it away, and the run then answers ProcessNotStarted with errno
// ECHILD once the child has ended.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace Quorvin {

/// Receives one chunk of a child's output: the bytes as the child wrote them (no decoding, no line
/// splitting, no terminating NUL) and their number, at least 1. An empty callback discards its
/// stream (which is still read, so the child never blocks on it).
using OutputCallback = std::function<void(const char* data, uint64_t size)>;

/// The result of a run whose child could not be started (a missing program, an invalid command
/// line, no pipes or threads to be had). GetLastError() (Windows) or errno (Linux) then tells why.
/// A Windows child may end with this value too: tell the two apart by whether the program can
/// exist. Linux exit codes are never this large.
inline constexpr uint32_t ProcessNotStarted = 0xFFFFFFFE;
/// The result of a run whose child was ended through the cancel handle.
inline constexpr uint32_t ProcessCancelled = 0xFFFFFFFF;

/// Runs `commandLine` as a child process without a window and waits until it ends; returns its exit
/// code, or ProcessNotStarted. `applicationName` names the program; when it is empty, the program
/// is the first token of `commandLine`. The child inherits the environment, the current directory
/// and no handles.
///
/// Linux: `applicationName` is the program's path (relative to the current directory, never looked
/// up in PATH); the child's arguments are still all of `commandLine`'s tokens, so its first
/// argument is the first token (or `applicationName` when the command line is empty). Without
/// `applicationName`, a first token with a '/' is a path and one without is looked up in PATH; an
/// empty first token is ENOENT. The exit code is the child's exit status (0 to 255), or 128 + N for
/// a child ended by signal N. The child shares the caller's descriptors 0, 1 and 2 and no other.
uint32_t RunProcess(const std::wstring& applicationName, std::wstring commandLine);

/// RunProcessWithPipes without a cancel handle, in the current directory.
uint32_t RunProcessCaptured(const std::wstring& applicationName, std::wstring commandLine,
                            OutputCallback standardOutput, OutputCallback standardError);

/// Runs `commandLine` as a child process without a window whose standard output and error go to
/// anonymous pipes, and waits until it ends; returns its exit code, ProcessCancelled or
/// ProcessNotStarted. `applicationName` and exit codes as for RunProcess; an empty
/// `workingDirectory` leaves the child in the caller's current directory. A relative program path
/// names what it names in the caller's current directory, not in `workingDirectory`.
///
/// Every chunk read from the pipes goes to `standardOutput` or `standardError`, in pipe order.
/// Windows: two reader threads of the run's own read 128 bytes at a time; the two callbacks may
/// run at the same time as each other, each on its reader thread. Linux: the calling thread reads
/// both pipes, up to 64 KiB at a time, and calls both callbacks, one at a time. On both, calls of
/// one callback never overlap. An empty write by the child delivers nothing and reading goes on,
/// so nothing written later is lost. The callbacks are destroyed before the run returns, and none
/// is called after it. When a callback throws, its stream is still read to its end but no longer
/// delivered, and once the run has ended and cleaned up, the first exception (standard output's
/// before standard error's) propagates to the caller instead of the exit code.
///
/// The child's standard input is a pipe that nobody writes to and that stays open until the child
/// has ended: a child that waits for input waits until it is cancelled.
///
/// `cancelHandle`, when not null, is waited on beside the child: once it is signalled while the
/// child still runs, the child is ended and the run returns ProcessCancelled after it is gone. A
/// child that has already ended wins: its own exit code is returned, and the signal is left for
/// others. Windows: any HANDLE that can be waited on (an Event's NativeHandle, say), the child
/// terminated with exit code ProcessCancelled; a handle that cannot be waited on counts as none.
/// Linux: only an Event's NativeHandle(); the child is killed with SIGKILL by a watcher thread of
/// the run's own.
uint32_t RunProcessWithPipes(void* cancelHandle, const std::wstring& workingDirectory,
                             const std::wstring& applicationName, std::wstring commandLine,
                             OutputCallback standardOutput, OutputCallback standardError);

}  // namespace Quorvin
