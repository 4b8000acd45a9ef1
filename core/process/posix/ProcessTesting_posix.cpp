// The system calls of the child-process tests on Linux.
#include <dirent.h>
#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/text/Utf.h"
#include "tests/support/ProcessTesting.h"

namespace Quorvin::ProcessTest {
namespace {

std::wstring ToWide(const std::string& utf8) {
    std::u32string codePoints;
    Utf8ToUtf32(utf8, codePoints);
    return std::wstring(codePoints.begin(), codePoints.end());
}

// Every argument this process was started with, the program name first, as the system keeps them.
std::vector<std::string> AllArguments() {
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::string> arguments;
    for (size_t at = 0; at < bytes.size();) {
        const size_t end = bytes.find('\0', at);
        arguments.push_back(bytes.substr(at, end - at));
        at = end == std::string::npos ? bytes.size() : end + 1;
    }
    return arguments;
}

// The descriptors this process has open above 2, not counting the one that lists them.
int ExtraDescriptors() {
    DIR* directory = opendir("/proc/self/fd");
    int count = 0;
    for (dirent* entry; (entry = readdir(directory)) != nullptr;) {
        const int fd = atoi(entry->d_name);
        if (entry->d_name[0] != '.' && fd > 2 && fd != dirfd(directory)) ++count;
    }
    closedir(directory);
    return count;
}

}  // namespace

const uint64_t ReadChunkSize = 64 * 1024;

std::wstring SelfPath() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    return ToWide(std::string(path, length > 0 ? static_cast<size_t>(length) : 0));
}

std::wstring OwnCommandLine() {
    std::wstring commandLine;
    for (const std::string& argument : AllArguments())
        commandLine += (commandLine.empty() ? L"" : L" ") + ToWide(argument);
    return commandLine;
}

std::vector<std::string> OwnArguments() {
    std::vector<std::string> arguments = AllArguments();
    arguments.erase(arguments.begin());
    return arguments;
}

void WriteToStream(int stream, const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t written = write(stream, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        done += static_cast<size_t>(written);
    }
}

uint64_t OwnProcessId() { return static_cast<uint64_t>(getpid()); }

std::string OwnCurrentDirectory() {
    char directory[4096];
    return getcwd(directory, sizeof directory) != nullptr ? directory : "";
}

void DrainStandardInput() {
    char buffer[64];
    while (read(STDIN_FILENO, buffer, sizeof buffer) > 0 || errno == EINTR) {}
}

void ExitWith(uint32_t code) { _exit(static_cast<int>(code)); }

// fds: exits with the number of descriptors open above 2. signal=N: ends by signal N.
bool RunSystemStep(const std::wstring& name, uint64_t value) {
    if (name == L"fds") _exit(ExtraDescriptors());
    if (name == L"signal") {
        signal(static_cast<int>(value), SIG_DFL);
        raise(static_cast<int>(value));
    }
    return false;
}

void WaitForChildEnd(uint64_t processId) {
    siginfo_t information{};
    while (waitid(P_PID, static_cast<id_t>(processId), &information, WEXITED | WNOWAIT) != 0 &&
           errno == EINTR) {}
}

void ClearLastError() { errno = 0; }

uint64_t LastError() { return static_cast<uint64_t>(errno); }

std::wstring MissingProgram() { return L"/no/such/program"; }

// A fresh directory whose name holds text outside the BMP.
ChildDirectory::ChildDirectory() {
    const char* temporary = getenv("TMPDIR");
    std::string pattern = std::string(temporary != nullptr && *temporary ? temporary : "/tmp") +
                          "/quorvin-process-\xF0\x9F\x98\x80\xC3\xA9-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return;
    char* resolved = realpath(pattern.c_str(), nullptr);
    reported = resolved != nullptr ? resolved : pattern;
    free(resolved);
    path = ToWide(reported);
}

ChildDirectory::~ChildDirectory() {
    if (!reported.empty()) rmdir(reported.c_str());
}

}  // namespace Quorvin::ProcessTest
