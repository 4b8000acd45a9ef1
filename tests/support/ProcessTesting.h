// What the child-process tests share: this test program started as its own child with steps to
// follow, what a captured run delivered, and the few system calls of child and parent, defined once
// per system beside the tests (core/process/windows/ProcessTesting_windows.cpp,
// core/process/posix/ProcessTesting_posix.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/process/Process.h"

namespace Quorvin::ProcessTest {

// ---- Per system ----

/// The most bytes one chunk of a captured run holds on this system.
extern const uint64_t ReadChunkSize;

/// This test program's full path.
std::wstring SelfPath();
/// This process's command line as one text (Linux: its arguments joined by spaces).
std::wstring OwnCommandLine();
/// This process's arguments after the program name, as the system handed them over, in UTF-8.
std::vector<std::string> OwnArguments();
/// Writes `bytes` in one write to standard output (`stream` 1) or standard error (2).
void WriteToStream(int stream, const std::string& bytes);
/// This process's id.
uint64_t OwnProcessId();
/// This process's current directory as the system reports it.
std::string OwnCurrentDirectory();
/// Reads standard input until it ends or fails.
void DrainStandardInput();
/// Ends this process at once with exit code `code`.
[[noreturn]] void ExitWith(uint32_t code);
/// Follows a child step that only this system knows; false when `name` is none of them.
bool RunSystemStep(const std::wstring& name, uint64_t value);

/// Waits until this process's child `processId` has ended, leaving its exit code to the run.
void WaitForChildEnd(uint64_t processId);
/// Clears the system's last error (GetLastError, errno).
void ClearLastError();
/// The system's last error.
uint64_t LastError();
/// A full path of a program that does not exist.
std::wstring MissingProgram();

/// A directory to run a child in, and how the child reports it as its current directory; one of
/// this test's own, removed again, where the system allows.
class ChildDirectory {
public:
    ChildDirectory();
    ~ChildDirectory();
    ChildDirectory(const ChildDirectory&) = delete;
    ChildDirectory& operator=(const ChildDirectory&) = delete;

    /// The directory, for RunProcessWithPipes.
    std::wstring path;
    /// What a child running there reports as its current directory (OwnCurrentDirectory).
    std::string reported;
};

// ---- Shared ----

/// Separates the program from the steps of a child in its command line.
inline constexpr wchar_t ChildMarker[] = L" --quorvin-process-child ";

/// A command line that starts this program as a child with `steps`.
inline std::wstring ChildCommand(const std::wstring& steps) {
    return L"\"" + SelfPath() + L"\"" + ChildMarker + steps;
}

/// What one stream delivered: the bytes, and the size of every chunk.
struct Capture {
    std::string bytes;
    std::vector<uint64_t> chunks;

    OutputCallback Callback() {
        return [this](const char* data, uint64_t size) {
            bytes.append(data, size);
            chunks.push_back(size);
        };
    }
};

/// A captured run's exit code and what each stream delivered.
struct CapturedRun {
    uint32_t code = 0;
    Capture output;
    Capture error;
};

/// RunProcessCaptured into a CapturedRun.
inline CapturedRun RunCaptured(const std::wstring& applicationName, const std::wstring& commandLine) {
    CapturedRun run;
    run.code = RunProcessCaptured(applicationName, commandLine, run.output.Callback(), run.error.Callback());
    return run;
}

}  // namespace Quorvin::ProcessTest
