// Running programs as child processes without a console window, waiting for them and returning
// their exit codes; optionally capturing their standard output and error through callbacks, with a
// cancel handle. Windows builds only. Paths, command lines and directories are UTF-16, as Windows
// takes them.
//
// Every run blocks the calling thread until the child has ended and, in a captured run, until both
// of its output streams are closed; then all of its handles and threads are gone. Runs may be
// started from several threads at once, but every child inherits all inheritable handles of the
// process, including other captured runs' pipe ends: a captured run then also waits until the
// children of runs started meanwhile have ended. Likewise a captured run lasts until every process
// that inherited the child's output handles (its own children, say) has ended or closed them.
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
/// line, no pipes or threads to be had). GetLastError() then tells why. A child may end with this
/// value too: tell the two apart by whether the program can exist.
inline constexpr uint32_t ProcessNotStarted = 0xFFFFFFFE;
/// The result of a run whose child was ended through the cancel handle.
inline constexpr uint32_t ProcessCancelled = 0xFFFFFFFF;

/// Runs `commandLine` as a child process without a window and waits until it ends; returns its exit
/// code, or ProcessNotStarted. `applicationName` names the program; when it is empty, the program
/// is the first token of `commandLine`. The child inherits the environment, the current directory
/// and no handles.
uint32_t RunProcess(const std::wstring& applicationName, std::wstring commandLine);

/// RunProcessWithPipes without a cancel handle, in the current directory.
uint32_t RunProcessCaptured(const std::wstring& applicationName, std::wstring commandLine,
                            OutputCallback standardOutput, OutputCallback standardError);

/// Runs `commandLine` as a child process without a window whose standard output and error go to
/// anonymous pipes, and waits until it ends; returns its exit code, ProcessCancelled or
/// ProcessNotStarted. `applicationName` as for RunProcess; an empty `workingDirectory` leaves the
/// child in the caller's current directory.
///
/// Two reader threads of the run's own read the pipes 128 bytes at a time and hand every chunk to
/// `standardOutput` or `standardError`, in pipe order. The two callbacks may run at the same time
/// as each other, each on its reader thread; calls of one never overlap. An empty write by the
/// child delivers nothing and reading goes on, so nothing written later is lost. The callbacks are
/// destroyed before the run returns, and none is called after it. When a callback throws, its
/// stream is still read to its end but no longer delivered, and once the run has ended and
/// cleaned up, the first exception (standard output's before standard error's) propagates to the
/// caller instead of the exit code.
///
/// The child's standard input is a pipe that nobody writes to and that stays open until the child
/// has ended: a child that waits for input waits until it is cancelled.
///
/// `cancelHandle`, when not null, is a Windows HANDLE to wait on beside the child (an Event's
/// NativeHandle, say): once it is signalled while the child still runs, the child is terminated
/// with exit code ProcessCancelled. A child that has already ended wins, and its own exit code is
/// returned. A handle that cannot be waited on counts as none.
uint32_t RunProcessWithPipes(void* cancelHandle, const std::wstring& workingDirectory,
                             const std::wstring& applicationName, std::wstring commandLine,
                             OutputCallback standardOutput, OutputCallback standardError);

}  // namespace Quorvin
