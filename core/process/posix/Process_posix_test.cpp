// Linux-only tests of child processes: exit statuses and signals, text the system cannot take,
// finding the program, and what a run leaves behind (descriptors, zombies). The children are this
// test program, following the steps of Process_test.cpp and ProcessTesting_posix.cpp.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/process/Process.h"
#include "tests/support/ProcessTesting.h"

namespace Quorvin::ProcessTest {
namespace {

TEST(RunProcessOnLinux, GivesTheExitStatusOr128PlusTheSignal) {
    EXPECT_EQ(RunProcess(L"", ChildCommand(L"exit=300")), 300u % 256);
    EXPECT_EQ(RunProcess(L"", ChildCommand(L"signal=15")), 128u + 15);
    EXPECT_EQ(RunCaptured(L"", ChildCommand(L"out=10 signal=6")).code, 128u + 6);
    EXPECT_EQ(RunCaptured(L"", ChildCommand(L"signal=9")).code, 128u + 9);
}

TEST(RunProcessOnLinux, RefusesTextWithoutUtf8) {
    const std::wstring surrogate(1, static_cast<wchar_t>(0xD800));
    const std::wstring beyond(1, static_cast<wchar_t>(0x110000));
    auto refused = [](uint32_t code) {
        const int error = errno;
        return code == ProcessNotStarted && error == EILSEQ;
    };
    errno = 0;
    EXPECT_TRUE(refused(RunProcess(L"", ChildCommand(L"exit=1 ") + surrogate)));
    errno = 0;
    EXPECT_TRUE(refused(RunProcess(SelfPath() + beyond, ChildCommand(L"exit=1"))));
    errno = 0;
    int calls = 0;
    auto count = [&](const char*, uint64_t) { ++calls; };
    EXPECT_TRUE(
        refused(RunProcessWithPipes(nullptr, L"/tmp" + beyond, L"", ChildCommand(L"out=1"), count, count)));
    errno = 0;
    EXPECT_TRUE(
        refused(RunProcessCaptured(L"", ChildCommand(L"out=1 \U0001F600") + surrogate, count, count)));
    EXPECT_EQ(calls, 0);
    // The same text outside the BMP, well formed, goes through.
    EXPECT_EQ(RunProcessCaptured(L"", ChildCommand(L"out=1 \U0001F600 \U0010FFFF"), count, count), 0u);
    EXPECT_EQ(calls, 1);
}

TEST(RunProcessOnLinux, FindsProgramsInPathOrRelativeToTheCallersDirectory) {
    // Without '/', the first token is looked up in PATH.
    EXPECT_EQ(RunProcess(L"", L"sh -c \"exit 3\""), 3u);
    // A relative path names the program in the caller's directory, also when the child runs
    // elsewhere.
    const std::filesystem::path relative =
        std::filesystem::relative(std::filesystem::path(SelfPath()), std::filesystem::current_path());
    ASSERT_FALSE(relative.empty());
    const std::wstring name = (relative.has_parent_path() ? L"" : L"./") + relative.wstring();
    Capture directory;
    EXPECT_EQ(RunProcessWithPipes(nullptr, L"/", L"", L"\"" + name + L"\"" + ChildMarker + L"cwd exit=4",
                                  directory.Callback(), {}),
              4u);
    EXPECT_EQ(directory.bytes, "/");
    EXPECT_EQ(RunProcessWithPipes(nullptr, L"/", name, std::wstring(L"x") + ChildMarker + L"exit=5", {}, {}),
              5u);
    // A relative PATH entry names a folder of the caller's, not of the child's directory: with PATH
    // "." and the caller in this program's folder, its bare name is found there.
    {
        const std::filesystem::path self(SelfPath());
        const std::filesystem::path caller = std::filesystem::current_path();
        const char* const path = std::getenv("PATH");
        const std::string savedPath = path != nullptr ? path : "";
        std::filesystem::current_path(self.parent_path());
        setenv("PATH", ".", 1);
        EXPECT_EQ(RunProcessWithPipes(nullptr, L"/", L"", self.filename().wstring() + ChildMarker + L"exit=6",
                                      {}, {}),
                  6u);
        setenv("PATH", savedPath.c_str(), 1);
        std::filesystem::current_path(caller);
    }
    // A missing program is ENOENT; an empty first token too.
    errno = 0;
    EXPECT_EQ(RunProcess(L"", L"/no/such/program"), ProcessNotStarted);
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_EQ(RunProcess(L"", L"\"\" a"), ProcessNotStarted);
    EXPECT_EQ(errno, ENOENT);
}

size_t OpenDescriptors() {
    size_t count = 0;
    DIR* directory = opendir("/proc/self/fd");
    while (readdir(directory) != nullptr) ++count;
    closedir(directory);
    return count;
}

TEST(RunProcessOnLinux, LeavesNoDescriptorOrChildAndChildrenHoldOnlyTheirOwn) {
    // The count must notice a single descriptor; one that other code opened without close-on-exec
    // stays open throughout, and no child may hold it.
    const size_t before = OpenDescriptors();
    const int leaked = open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 0);
    EXPECT_EQ(OpenDescriptors(), before + 1);

    // `fds` exits with the number of descriptors the child has above 2.
    EXPECT_EQ(RunProcess(L"", ChildCommand(L"fds")), 0u);

    // 200 captured runs, eight at a time: each child must hold its own three descriptors and none of
    // the pipes of the runs beside it.
    constexpr int Threads = 8;
    std::mutex lock;
    std::vector<std::string> wrong;
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 25; ++i) {
                uint64_t received = 0;
                const uint32_t code =
                    RunProcessCaptured(L"", ChildCommand(L"out=300 err=10 fds"),
                                       [&](const char*, uint64_t size) { received += size; }, {});
                if (code == 0 && received == 300) continue;
                const int error = errno;
                std::lock_guard<std::mutex> hold(lock);
                wrong.push_back("code " + std::to_string(code) + ", " + std::to_string(received) +
                                " bytes, errno " + std::to_string(error));
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong, std::vector<std::string>{});

    close(leaked);
    EXPECT_EQ(OpenDescriptors(), before);
    // Every child has been reaped: there is none left to wait for.
    int status = 0;
    errno = 0;
    EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

}  // namespace
}  // namespace Quorvin::ProcessTest
