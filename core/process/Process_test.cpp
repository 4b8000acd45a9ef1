// Tests of child processes on every system, with this test program itself as the child: started
// with ChildMarker in its command line it follows the steps written after the marker instead of
// running tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/process/Process.h"
#include "core/sync/Sync.h"
#include "tests/support/ProcessTesting.h"

namespace Quorvin::ProcessTest {
namespace {

constexpr uint64_t MiB = 1024 * 1024;

// The bytes of stream 1 (standard output) or 2 (standard error) from position `begin` to `end`.
// The periods divide no chunk size, so chunks that arrive out of order or twice are noticed.
std::string Pattern(int stream, uint64_t begin, uint64_t end) {
    std::string bytes;
    for (uint64_t p = begin; p < end; ++p)
        bytes += static_cast<char>(stream == 1 ? p % 251 : (p * 7 + 3) % 253);
    return bytes;
}

// ---- The child ----

// Steps, separated by spaces: out=N and err=N (one write of the stream's next N pattern bytes; N may
// be 0), both=N/C (N bytes on each stream in alternating writes of C), pid (its process id on
// standard output), cwd (its current directory, likewise), argv (its arguments after the program
// name, each followed by a NUL, likewise), stdin (reads its input until that fails), exit=CODE,
// and the system's own steps. Other words are ignored.
[[noreturn]] void RunChild(const std::wstring& steps) {
    uint64_t written[3] = {0, 0, 0};
    auto writePattern = [&](int stream, uint64_t count) {
        WriteToStream(stream, Pattern(stream, written[stream], written[stream] + count));
        written[stream] += count;
    };
    std::wistringstream stepStream(steps);
    for (std::wstring step; stepStream >> step;) {
        const std::wstring name = step.substr(0, step.find(L'='));
        const uint64_t value =
            std::wcstoull(step.c_str() + name.size() + (name.size() < step.size()), nullptr, 10);
        if (name == L"out" || name == L"err") {
            writePattern(name == L"out" ? 1 : 2, value);
        } else if (name == L"both") {
            const uint64_t chunk = std::wcstoull(step.c_str() + step.find(L'/') + 1, nullptr, 10);
            for (uint64_t done = 0; done < value; done += chunk)
                writePattern(1, chunk), writePattern(2, chunk);
        } else if (name == L"pid") {
            WriteToStream(1, std::to_string(OwnProcessId()));
        } else if (name == L"cwd") {
            WriteToStream(1, OwnCurrentDirectory());
        } else if (name == L"argv") {
            std::string arguments;
            for (const std::string& argument : OwnArguments()) arguments += argument + '\0';
            WriteToStream(1, arguments);
        } else if (name == L"stdin") {
            DrainStandardInput();
        } else if (name == L"exit") {
            ExitWith(static_cast<uint32_t>(value));
        } else {
            RunSystemStep(name, value);
        }
    }
    ExitWith(0);
}

// Runs before main: this program is either the test program or, with the marker, a child.
const bool ChildStepsRun = [] {
    const std::wstring commandLine = OwnCommandLine();
    const size_t marker = commandLine.find(ChildMarker);
    if (marker != std::wstring::npos) RunChild(commandLine.substr(marker + std::size(ChildMarker) - 1));
    return false;
}();

// ---- The tests ----

// The chunk sizes in which `size` bytes written at once arrive.
std::vector<uint64_t> ChunksOf(uint64_t size) {
    std::vector<uint64_t> chunks;
    for (; size > ReadChunkSize; size -= ReadChunkSize) chunks.push_back(ReadChunkSize);
    chunks.push_back(size);
    return chunks;
}

bool AllChunksFit(const Capture& capture) {
    for (uint64_t chunk : capture.chunks) {
        if (chunk == 0 || chunk > ReadChunkSize) return false;
    }
    return true;
}

TEST(RunProcess, ReturnsTheExitCodeOrTheFailureValue) {
    EXPECT_EQ(RunProcess(L"", ChildCommand(L"exit=7")), 7u);
    // With an application name, the first token of the command line is only the child's argv[0].
    EXPECT_EQ(RunProcess(SelfPath(), std::wstring(L"anything") + ChildMarker + L"exit=12"), 12u);
    // The command line ends at its first NUL, as the system's C strings do.
    EXPECT_EQ(RunProcess(L"", ChildCommand(L"exit=5") + std::wstring(L"\0 exit=6", 8)), 5u);

    ClearLastError();
    EXPECT_EQ(RunProcess(MissingProgram(), L"program"), ProcessNotStarted);
    EXPECT_NE(LastError(), 0u);
    EXPECT_EQ(RunProcess(L"", L""), ProcessNotStarted);
    EXPECT_EQ(RunProcess(L"", L"no-such-program-anywhere.exe"), ProcessNotStarted);
}

TEST(RunProcessCaptured, DeliversEverythingInOrderInChunksOfTheSystemsSize) {
    const CapturedRun small = RunCaptured(L"", ChildCommand(L"out=300 err=5 exit=4"));
    EXPECT_EQ(small.code, 4u);
    EXPECT_EQ(small.output.chunks, ChunksOf(300));
    EXPECT_EQ(small.output.bytes, Pattern(1, 0, 300));
    EXPECT_EQ(small.error.bytes, Pattern(2, 0, 5));

    const CapturedRun quiet = RunCaptured(SelfPath(), std::wstring(L"child") + ChildMarker + L"exit=201");
    EXPECT_EQ(quiet.code, 201u);
    EXPECT_TRUE(quiet.output.chunks.empty() && quiet.error.chunks.empty());

    // Empty writes deliver nothing and lose nothing written after them.
    const CapturedRun large =
        RunCaptured(L"", ChildCommand(L"out=0 err=0 out=1048576 err=0 err=1000 exit=9"));
    EXPECT_EQ(large.code, 9u);
    EXPECT_TRUE(large.output.bytes == Pattern(1, 0, MiB));
    EXPECT_TRUE(large.error.bytes == Pattern(2, 0, 1000));
    EXPECT_TRUE(AllChunksFit(large.output) && AllChunksFit(large.error));

    // Alternating writes larger than a pipe: the child blocks on one stream until that stream is
    // read, so a run that read the two streams one after the other would never end.
    const CapturedRun both = RunCaptured(L"", ChildCommand(L"both=1048576/4096"));
    EXPECT_EQ(both.code, 0u);
    EXPECT_TRUE(both.output.bytes == Pattern(1, 0, MiB));
    EXPECT_TRUE(both.error.bytes == Pattern(2, 0, MiB));
    EXPECT_TRUE(AllChunksFit(both.output) && AllChunksFit(both.error));
}

TEST(RunProcessCaptured, HandsTheChildItsArgumentsWhole) {
    // Quoting by the rules of Windows programs, and text outside the BMP, on both systems.
    const CapturedRun run =
        RunCaptured(L"", ChildCommand(L"argv \"a b\" c\\\"d \U0001F600\u00E9 \"\" x\\\\\"y \U0001F600\"\t"));
    EXPECT_EQ(run.code, 0u);
    std::vector<std::string> arguments;
    for (size_t at = 0; at < run.output.bytes.size();) {
        const size_t end = run.output.bytes.find('\0', at);
        ASSERT_NE(end, std::string::npos);
        arguments.push_back(run.output.bytes.substr(at, end - at));
        at = end + 1;
    }
    EXPECT_EQ(arguments, (std::vector<std::string>{"--quorvin-process-child", "argv", "a b", "c\"d",
                                                   "\xF0\x9F\x98\x80\xC3\xA9", "", "x\\y \xF0\x9F\x98\x80"}));
}

TEST(RunProcessWithPipes, CancelEndsTheChildUnlessItEndedFirst) {
    // Already signalled: the child is started, then ended.
    Event cancel;
    cancel.Set();
    EXPECT_EQ(RunProcessWithPipes(cancel.NativeHandle(), L"", L"", ChildCommand(L"stdin"), {}, {}),
              ProcessCancelled);

    // Signalled while the child waits for input that never comes.
    auto cancelNow = [&](const char*, uint64_t) { cancel.Set(); };
    EXPECT_EQ(RunProcessWithPipes(cancel.NativeHandle(), L"", L"", ChildCommand(L"out=1 stdin exit=5"),
                                  cancelNow, {}),
              ProcessCancelled);

    // Signalled only once the child has ended: the child's own exit code comes back, and the
    // signal is still there.
    auto cancelOnceEnded = [&](const char* pid, uint64_t size) {
        WaitForChildEnd(std::stoull(std::string(pid, size)));
        cancel.Set();
    };
    EXPECT_EQ(RunProcessWithPipes(cancel.NativeHandle(), L"", L"", ChildCommand(L"pid exit=6"),
                                  cancelOnceEnded, {}),
              6u);
    EXPECT_TRUE(cancel.TryWait());
}

TEST(RunProcessWithPipes, RunsInTheGivenDirectoryAndCopesWithEmptyOrThrowingCallbacks) {
    {
        const ChildDirectory directory;
        Capture reported;
        EXPECT_EQ(
            RunProcessWithPipes(nullptr, directory.path, L"", ChildCommand(L"cwd"), reported.Callback(), {}),
            0u);
        EXPECT_STRCASEEQ(reported.bytes.c_str(), directory.reported.c_str());
    }

    // Empty callbacks discard their streams, which are still drained.
    EXPECT_EQ(RunProcessCaptured(L"", ChildCommand(L"out=100000 err=100000 exit=2"), {}, {}), 2u);

    // A throwing callback is not called again; its exception reaches the caller once the run is
    // over, standard output's before standard error's.
    int calls = 0;
    Capture error;
    auto throwing = [&](const char*, uint64_t) {
        ++calls;
        throw std::runtime_error("no more");
    };
    EXPECT_THROW(RunProcessCaptured(L"", ChildCommand(L"out=1000 err=300"), throwing, error.Callback()),
                 std::runtime_error);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(error.bytes == Pattern(2, 0, 300));
    auto throwingLogic = [](const char*, uint64_t) { throw std::logic_error("first"); };
    EXPECT_THROW(RunProcessCaptured(L"", ChildCommand(L"err=10 out=10"), throwingLogic, throwing),
                 std::logic_error);

    // A program that cannot be started calls no callback.
    ClearLastError();
    const CapturedRun missing = RunCaptured(MissingProgram(), L"program");
    EXPECT_EQ(missing.code, ProcessNotStarted);
    EXPECT_NE(LastError(), 0u);
    EXPECT_TRUE(missing.output.chunks.empty() && missing.error.chunks.empty());
}

}  // namespace
}  // namespace Quorvin::ProcessTest
