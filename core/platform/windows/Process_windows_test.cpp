// Tests of child processes, run under Windows (or Wine) with this test program itself as the child:
// started with ChildMarker in its command line it follows the steps written after the marker
// instead of running tests.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/platform/Process.h"
#include "core/platform/Sync.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {
namespace {

constexpr wchar_t ChildMarker[] = L" --quorvin-process-child ";
constexpr uint64_t MiB = 1024 * 1024;

// The bytes each stream carries, by position in the stream: the periods do not divide 128, so
// chunks that arrive out of order or twice are noticed.
char PatternByte(int stream, uint64_t position) {
    return static_cast<char>(stream == 1 ? position % 251 : (position * 7 + 3) % 253);
}

std::string Pattern(int stream, uint64_t begin, uint64_t end) {
    std::string bytes;
    for (uint64_t p = begin; p < end; ++p) bytes += PatternByte(stream, p);
    return bytes;
}

// ---- The child ----

// Writes `count` bytes in one write, continuing the stream's pattern at `position`.
void WritePattern(int stream, uint64_t& position, uint64_t count) {
    const std::string bytes = Pattern(stream, position, position + count);
    DWORD written = 0;
    WriteFile(GetStdHandle(stream == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE), bytes.data(),
              static_cast<DWORD>(bytes.size()), &written, nullptr);
    position += count;
}

void WriteText(const std::string& text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written,
              nullptr);
}

// Steps, separated by spaces: out=N and err=N (one write of N bytes, N may be 0), both=N/C (N bytes
// on each stream in alternating writes of C), pid (its process id, in decimal, on standard output),
// cwd (its current directory), sleep=MS, stdin (reads its input until that fails), exit=CODE.
[[noreturn]] void RunChild(const std::wstring& steps) {
    uint64_t positions[3] = {0, 0, 0};
    size_t at = 0;
    while (at < steps.size()) {
        size_t end = steps.find(L' ', at);
        if (end == std::wstring::npos) end = steps.size();
        const std::wstring step = steps.substr(at, end - at);
        at = end + 1;
        const size_t equals = step.find(L'=');
        const std::wstring name = step.substr(0, equals);
        const uint64_t value =
            equals == std::wstring::npos ? 0 : std::wcstoull(step.c_str() + equals + 1, nullptr, 10);
        if (name == L"out") WritePattern(1, positions[1], value);
        if (name == L"err") WritePattern(2, positions[2], value);
        if (name == L"both") {
            const uint64_t chunk = std::wcstoull(step.c_str() + step.find(L'/') + 1, nullptr, 10);
            for (uint64_t done = 0; done < value; done += chunk) {
                WritePattern(1, positions[1], chunk);
                WritePattern(2, positions[2], chunk);
            }
        }
        if (name == L"pid") WriteText(std::to_string(GetCurrentProcessId()));
        if (name == L"cwd") {
            char directory[MAX_PATH] = {};
            WriteText(std::string(directory, GetCurrentDirectoryA(MAX_PATH, directory)));
        }
        if (name == L"sleep") Sleep(static_cast<DWORD>(value));
        if (name == L"stdin") {
            char buffer[64];
            DWORD count = 0;
            while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof(buffer), &count, nullptr)) {}
        }
        if (name == L"exit") ExitProcess(static_cast<UINT>(value));
    }
    ExitProcess(0);
}

const bool ChildStepsRun = [] {
    const std::wstring commandLine = GetCommandLineW();
    const size_t marker = commandLine.find(ChildMarker);
    if (marker != std::wstring::npos) RunChild(commandLine.substr(marker + std::size(ChildMarker) - 1));
    return false;
}();

// ---- The tests ----

std::wstring SelfPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

// A command line that starts this program as a child with `steps`.
std::wstring ChildCommand(const std::wstring& steps) {
    return L"\"" + SelfPath() + L"\"" + ChildMarker + steps;
}

// Collects what one stream delivered: the bytes, and the size of every chunk.
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

TEST(RunProcess, ReturnsTheExactExitCodeOrTheFailureValue) {
    EXPECT_EQ(RunProcess(L"", ChildCommand(L"exit=7")), 7u);
    EXPECT_EQ(RunProcess(L"", ChildCommand(L"")), 0u);
    EXPECT_EQ(RunProcess(L"", ChildCommand(L"exit=3000000000")), 3000000000u);
    // With an application name, the first token of the command line is only the child's argv[0].
    EXPECT_EQ(RunProcess(SelfPath(), std::wstring(L"anything") + ChildMarker + L"exit=12"), 12u);

    SetLastError(0);
    EXPECT_EQ(RunProcess(L"C:\\no\\such\\program.exe", L"program"), ProcessNotStarted);
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_EQ(RunProcess(L"", L""), ProcessNotStarted);
    EXPECT_EQ(RunProcess(L"", L"no-such-program-anywhere.exe"), ProcessNotStarted);
}

TEST(RunProcessCaptured, DeliversOutputIn128ByteChunksInOrder) {
    Capture output;
    Capture error;
    EXPECT_EQ(
        RunProcessCaptured(L"", ChildCommand(L"out=300 err=5 exit=4"), output.Callback(), error.Callback()),
        4u);
    EXPECT_EQ(output.chunks, (std::vector<uint64_t>{128, 128, 44}));
    EXPECT_EQ(output.bytes, Pattern(1, 0, 300));
    EXPECT_EQ(error.chunks, (std::vector<uint64_t>{5}));
    EXPECT_EQ(error.bytes, Pattern(2, 0, 5));

    Capture quietOutput;
    Capture quietError;
    EXPECT_EQ(RunProcessCaptured(SelfPath(), std::wstring(L"child") + ChildMarker + L"exit=3000000001",
                                 quietOutput.Callback(), quietError.Callback()),
              3000000001u);
    EXPECT_TRUE(quietOutput.chunks.empty());
    EXPECT_TRUE(quietError.chunks.empty());
}

TEST(RunProcessCaptured, DeliversEverythingAfterEmptyWritesAndFromBothStreamsAtOnce) {
    Capture output;
    Capture error;
    EXPECT_EQ(RunProcessCaptured(L"", ChildCommand(L"out=0 err=0 out=1048576 err=0 err=1000 exit=9"),
                                 output.Callback(), error.Callback()),
              9u);
    EXPECT_EQ(output.bytes.size(), MiB);
    EXPECT_TRUE(output.bytes == Pattern(1, 0, MiB));
    EXPECT_TRUE(error.bytes == Pattern(2, 0, 1000));

    // Alternating writes larger than a pipe: the child blocks on one stream until that stream is
    // read, so a run that read the two streams one after the other would never end.
    Capture both1;
    Capture both2;
    EXPECT_EQ(RunProcessCaptured(L"", ChildCommand(L"both=1048576/4096"), both1.Callback(), both2.Callback()),
              0u);
    EXPECT_EQ(both1.bytes.size(), MiB);
    EXPECT_EQ(both2.bytes.size(), MiB);
    EXPECT_TRUE(both1.bytes == Pattern(1, 0, MiB));
    EXPECT_TRUE(both2.bytes == Pattern(2, 0, MiB));
}

TEST(RunProcessWithPipes, CancelEndsTheChildUnlessItEndedFirst) {
    // Already signalled: the child is started, then terminated.
    Event cancel;
    cancel.Set();
    EXPECT_EQ(RunProcessWithPipes(cancel.NativeHandle(), L"", L"", ChildCommand(L"stdin"), {}, {}),
              ProcessCancelled);

    // Signalled while the child waits for input that never comes.
    Event cancelLater;
    std::atomic<int> calls{0};
    EXPECT_EQ(RunProcessWithPipes(cancelLater.NativeHandle(), L"", L"", ChildCommand(L"out=1 stdin exit=5"),
                                  [&](const char*, uint64_t) {
                                      ++calls;
                                      cancelLater.Set();
                                  },
                                  {}),
              ProcessCancelled);
    EXPECT_EQ(calls.load(), 1);

    // Signalled only once the child has ended: the child's own exit code comes back.
    Event cancelAfter;
    std::string pid;
    EXPECT_EQ(RunProcessWithPipes(cancelAfter.NativeHandle(), L"", L"", ChildCommand(L"pid exit=6"),
                                  [&](const char* data, uint64_t size) {
                                      pid.append(data, size);
                                      const HANDLE child = OpenProcess(
                                          SYNCHRONIZE, FALSE, std::strtoul(pid.c_str(), nullptr, 10));
                                      WaitForSingleObject(child, INFINITE);
                                      CloseHandle(child);
                                      cancelAfter.Set();
                                  },
                                  {}),
              6u);
    EXPECT_TRUE(cancelAfter.TryWait());
}

TEST(RunProcessWithPipes, RunsInTheGivenDirectoryAndCopesWithEmptyOrThrowingCallbacks) {
    Capture directory;
    EXPECT_EQ(
        RunProcessWithPipes(nullptr, L"C:\\windows", L"", ChildCommand(L"cwd"), directory.Callback(), {}),
        0u);
    EXPECT_STRCASEEQ(directory.bytes.c_str(), "C:\\windows");

    // Empty callbacks discard their streams, which are still drained.
    EXPECT_EQ(RunProcessCaptured(L"", ChildCommand(L"out=100000 err=100000 exit=2"), {}, {}), 2u);

    // A throwing callback is not called again; its exception reaches the caller once the run is over.
    int calls = 0;
    Capture error;
    EXPECT_THROW(RunProcessCaptured(
                     L"", ChildCommand(L"out=1000 err=300"),
                     [&](const char*, uint64_t) {
                         ++calls;
                         throw std::runtime_error("no more");
                     },
                     error.Callback()),
                 std::runtime_error);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(error.bytes == Pattern(2, 0, 300));

    // A program that cannot be started calls no callback.
    Capture none;
    SetLastError(0);
    EXPECT_EQ(RunProcessCaptured(L"C:\\no\\such\\program.exe", L"program", none.Callback(), none.Callback()),
              ProcessNotStarted);
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_TRUE(none.chunks.empty());
}

// Open handles of this process. Wine's GetProcessHandleCount reports 0; there, handle values (small
// multiples of 4) are probed one by one.
size_t OpenHandleCount() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) return count;
    size_t open = 0;
    for (uintptr_t value = 4; value < 0x4000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++open;
    }
    return open;
}

TEST(RunProcessCaptured, LeavesNoHandleOpen) {
    // The count must notice a single handle.
    const size_t before = OpenHandleCount();
    {
        Event extra;
        EXPECT_EQ(OpenHandleCount(), before + 1);
    }
    EXPECT_EQ(OpenHandleCount(), before);

    // 200 captured runs, eight at a time (a run mostly waits, so this saves time; it also means that
    // children inherit each other's pipe ends). A first round lets the system settle whatever it
    // keeps for later runs.
    constexpr int Threads = 8;
    auto runOnThreads = [&](int runsPerThread) {
        std::atomic<int> wrongResults{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < Threads; ++t) {
            threads.emplace_back([&] {
                for (int i = 0; i < runsPerThread; ++i) {
                    uint64_t received = 0;
                    const uint32_t code =
                        RunProcessCaptured(L"", ChildCommand(L"out=300 err=10 exit=1"),
                                           [&](const char*, uint64_t size) { received += size; }, {});
                    if (code != 1 || received != 300) ++wrongResults;
                }
            });
        }
        for (std::thread& thread : threads) thread.join();
        return wrongResults.load();
    };
    EXPECT_EQ(runOnThreads(1), 0);
    const size_t settled = OpenHandleCount();
    EXPECT_EQ(runOnThreads(25), 0);
    EXPECT_EQ(OpenHandleCount(), settled);
}

}  // namespace
}  // namespace Quorvin
