// Speed of a captured run beside the plain system calls on Linux: this program started as its own
// child, writing 1 MiB to each of its output streams, read through RunProcessCaptured against
// posix_spawn and a poll loop of 64 KiB reads.
#include <benchmark/benchmark.h>

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/process/Process.h"

extern char** environ;

namespace Quorvin {
namespace {

constexpr char ChildMarker[] = "--quorvin-process-benchmark-child";
constexpr size_t StreamBytes = size_t{1} << 20;
constexpr size_t ChunkBytes = 64 * 1024;

// The child: 1 MiB on each stream, in alternating writes of 64 KiB.
[[noreturn]] void RunChild() {
    std::vector<char> chunk(ChunkBytes, 'x');
    for (size_t done = 0; done < StreamBytes; done += ChunkBytes) {
        for (int stream : {STDOUT_FILENO, STDERR_FILENO}) {
            for (size_t written = 0; written < ChunkBytes;) {
                const ssize_t count = write(stream, chunk.data() + written, ChunkBytes - written);
                if (count < 0 && errno == EINTR) continue;
                if (count <= 0) _exit(1);
                written += static_cast<size_t>(count);
            }
        }
    }
    _exit(0);
}

std::string SelfPath() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    return std::string(path, length > 0 ? static_cast<size_t>(length) : 0);
}

void CapturedRunOurs(benchmark::State& state) {
    const std::string self = SelfPath();
    const std::wstring commandLine = L"\"" + std::wstring(self.begin(), self.end()) + L"\" " +
                                     std::wstring(std::begin(ChildMarker), std::end(ChildMarker) - 1);
    for (auto _ : state) {
        uint64_t received = 0;
        auto count = [&](const char*, uint64_t size) { received += size; };
        const uint32_t code = RunProcessCaptured(L"", commandLine, count, count);
        if (code != 0 || received != 2 * StreamBytes)
            state.SkipWithError("the child's output did not all arrive");
        benchmark::DoNotOptimize(received);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 2 * StreamBytes));
}
BENCHMARK(CapturedRunOurs)->UseRealTime();

// The same run with nothing but the system calls: posix_spawn with the two pipes, poll, read,
// waitpid.
void CapturedRunPosixSpawnPoll(benchmark::State& state) {
    const std::string self = SelfPath();
    std::vector<char> buffer(ChunkBytes);
    for (auto _ : state) {
        int output[2];
        int error[2];
        if (pipe2(output, O_CLOEXEC) != 0 || pipe2(error, O_CLOEXEC) != 0) {
            state.SkipWithError("no pipes");
            break;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, error[1], STDERR_FILENO);
        char* argv[] = {const_cast<char*>(self.c_str()), const_cast<char*>(ChildMarker), nullptr};
        pid_t child = 0;
        const int spawned = posix_spawn(&child, self.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(output[1]);
        close(error[1]);
        uint64_t received = 0;
        pollfd streams[2] = {{output[0], POLLIN, 0}, {error[0], POLLIN, 0}};
        for (int open = spawned == 0 ? 2 : 0; open > 0;) {
            if (poll(streams, 2, -1) <= 0) continue;
            for (pollfd& stream : streams) {
                if (stream.fd < 0 || stream.revents == 0) continue;
                const ssize_t count = read(stream.fd, buffer.data(), buffer.size());
                if (count > 0) {
                    received += static_cast<uint64_t>(count);
                } else if (count == 0 || errno != EINTR) {
                    stream.fd = -1;
                    --open;
                }
            }
        }
        close(output[0]);
        close(error[0]);
        int status = 0;
        if (spawned == 0) waitpid(child, &status, 0);
        if (spawned != 0 || status != 0 || received != 2 * StreamBytes)
            state.SkipWithError("the child's output did not all arrive");
        benchmark::DoNotOptimize(received);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 2 * StreamBytes));
}
BENCHMARK(CapturedRunPosixSpawnPoll)->UseRealTime();

}  // namespace
}  // namespace Quorvin

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], Quorvin::ChildMarker) == 0) Quorvin::RunChild();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
