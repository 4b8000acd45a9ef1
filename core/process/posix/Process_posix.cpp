// Child processes on Linux: posix_spawn with close-on-exec pipes, the output read on the calling
// thread through poll, and a watcher thread for the cancel event.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "core/process/Process.h"
#include "core/process/internal/CommandLine.h"
#include "core/process/internal/OutputPump.h"
#include "core/sync/internal/EventWait.h"
#include "core/text/Utf.h"

extern char** environ;

namespace Quorvin {
namespace {

// Bytes read at a time: a whole pipe's default capacity, so that a full pipe is emptied in one call.
constexpr size_t ReadChunkSize = 64 * 1024;

// Owns one descriptor.
class Descriptor {
public:
    Descriptor() = default;
    ~Descriptor() { Reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int Get() const { return fd; }
    void Reset(int value = -1) {
        if (fd >= 0) close(fd);
        fd = value;
    }

private:
    int fd = -1;
};

struct Pipe {
    Descriptor read;
    Descriptor write;
};

// Moves a descriptor above the three standard ones (still close-on-exec), so that placing the
// child's standard descriptors never overwrites one another: the caller may have closed its own.
int AboveStandard(int fd) {
    if (fd > STDERR_FILENO) return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    const int error = errno;
    close(fd);
    errno = error;
    return moved;
}

// 0, or the errno value that tells why no pipe could be made.
int MakePipe(Pipe& pipe) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return errno;
    const int read = AboveStandard(ends[0]);
    if (read < 0) {
        const int error = errno;
        close(ends[1]);
        return error;
    }
    pipe.read.Reset(read);
    const int write = AboveStandard(ends[1]);
    if (write < 0) return errno;
    pipe.write.Reset(write);
    return 0;
}

// The system takes C strings: as on Windows, a text ends at its first NUL.
std::wstring_view UpToNul(const std::wstring& text) { return std::wstring_view(text.c_str()); }

// On Linux a wide string holds one code point per element; the system wants UTF-8. False for text
// that has none (a surrogate value, or one above U+10FFFF).
bool ToSystemText(std::wstring_view text, std::string& utf8) {
    const std::u32string codePoints(text.begin(), text.end());
    return Utf32ToUtf8(codePoints, utf8);
}

// What to start: the file, whether to look for it in PATH, and the arguments.
struct Program {
    std::string file;
    bool searchPath = false;
    std::vector<std::string> arguments;
};

// 0, or the errno value that tells why there is nothing to start. `changesDirectory`: the child
// will run elsewhere, so a relative file is made absolute here, naming what it names for the
// caller (as on Windows, where the program is found before the child's directory applies).
int PrepareProgram(const std::wstring& applicationName, const std::wstring& commandLine,
                   bool changesDirectory, Program& program) {
    const std::vector<std::wstring> arguments = ProcessPrivate::SplitCommandLine(UpToNul(commandLine));
    for (const std::wstring& argument : arguments) {
        if (!ToSystemText(argument, program.arguments.emplace_back())) return EILSEQ;
    }
    const std::wstring_view application = UpToNul(applicationName);
    if (!application.empty()) {
        if (!ToSystemText(application, program.file)) return EILSEQ;
        // An empty command line: the child's first argument names it, as CommandLineToArgvW answers.
        if (program.arguments.empty()) program.arguments.push_back(program.file);
    } else {
        if (program.arguments.empty() || program.arguments[0].empty()) return ENOENT;
        program.file = program.arguments[0];
        program.searchPath = program.file.find('/') == std::string::npos;
    }
    if (changesDirectory && program.searchPath) {
        // Searched here, before the child's directory applies: a relative PATH entry ("." or an
        // empty one) names a folder of the caller's, as the header promises. Not found: ENOENT,
        // as the child's own search would answer.
        const char* const variable = std::getenv("PATH");
        const std::string_view entries = variable != nullptr ? variable : "/bin:/usr/bin";
        size_t from = 0;
        for (;;) {
            const size_t colon = entries.find(':', from);
            const std::string_view entry =
                entries.substr(from, colon == std::string_view::npos ? colon : colon - from);
            std::string candidate = std::string(entry.empty() ? "." : entry) + "/" + program.file;
            if (access(candidate.c_str(), X_OK) == 0) {
                program.file = std::move(candidate);
                program.searchPath = false;
                break;
            }
            if (colon == std::string_view::npos) return ENOENT;
            from = colon + 1;
        }
    }
    if (changesDirectory && !program.searchPath && program.file[0] != '/') {
        char* directory = getcwd(nullptr, 0);
        if (directory == nullptr) return errno;
        program.file = std::string(directory) + "/" + program.file;
        free(directory);
    }
    return 0;
}

// Starts `program` with the caller's environment; `standard` (when not null) gives the child's
// descriptors 0, 1 and 2, `directory` (when not null) its working directory. The child keeps no
// other descriptor, blocks no signal and has every signal at its default action. 0 or an errno
// value.
int Spawn(const Program& program, const int* standard, const std::string* directory, pid_t& child) {
    std::vector<char*> argv;
    for (const std::string& argument : program.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    int error = posix_spawn_file_actions_init(&actions);
    if (error != 0) return error;
    posix_spawnattr_t attributes;
    error = posix_spawnattr_init(&attributes);
    if (error != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return error;
    }
    for (int fd = 0; standard != nullptr && fd < 3 && error == 0; ++fd)
        error = posix_spawn_file_actions_adddup2(&actions, standard[fd], fd);
    if (error == 0 && directory != nullptr)
        error = posix_spawn_file_actions_addchdir_np(&actions, directory->c_str());
    // Also descriptors that other code opened without close-on-exec.
    if (error == 0) error = posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    sigset_t none;
    sigset_t every;
    sigemptyset(&none);
    sigfillset(&every);
    sigdelset(&every, SIGKILL);
    sigdelset(&every, SIGSTOP);
    if (error == 0) error = posix_spawnattr_setsigmask(&attributes, &none);
    if (error == 0) error = posix_spawnattr_setsigdefault(&attributes, &every);
    if (error == 0)
        error = posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    if (error == 0) {
        error = program.searchPath
                    ? posix_spawnp(&child, program.file.c_str(), &actions, &attributes, argv.data(), environ)
                    : posix_spawn(&child, program.file.c_str(), &actions, &attributes, argv.data(), environ);
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

// Waits for the child's end and reaps it: its wait status, or -1 (errno set) when it is not ours
// to reap (another part of the program reaped it, or SIGCHLD is ignored).
int Reap(pid_t child) {
    int status = 0;
    for (;;) {
        if (waitpid(child, &status, 0) == child) return status;
        if (errno != EINTR) return -1;
    }
}

// Waits for the child's end without reaping it, so that its process id stays its own.
void WaitUntilEnded(pid_t child) {
    siginfo_t information{};
    while (waitid(P_PID, static_cast<id_t>(child), &information, WEXITED | WNOWAIT) != 0 && errno == EINTR) {}
}

uint32_t ExitCode(int status) {
    if (WIFSIGNALED(status)) return 128 + static_cast<uint32_t>(WTERMSIG(status));
    return static_cast<uint32_t>(WEXITSTATUS(status));
}

uint32_t NotStarted(int error) {
    errno = error;
    return ProcessNotStarted;
}

// Waits for the cancel event beside a run and kills the child when the event comes first. The
// thread exists before the child does, so that a run without its watcher never starts.
class CancelWatcher {
public:
    explicit CancelWatcher(void* event) : event(event) {}
    ~CancelWatcher() { Stop(); }
    CancelWatcher(const CancelWatcher&) = delete;
    CancelWatcher& operator=(const CancelWatcher&) = delete;

    // 0, or the errno value that tells why no thread could be had.
    int Start() {
        try {
            thread = std::thread([this] { Run(); });
        } catch (const std::system_error& failure) {
            return failure.code().value() != 0 ? failure.code().value() : EAGAIN;
        } catch (const std::bad_alloc&) {
            return ENOMEM;
        }
        return 0;
    }

    // Hands over the started child.
    void Watch(pid_t started) {
        child.store(started);
        child.notify_one();
    }

    // Ends the watcher, before the child is reaped: until then its process id cannot be reused, so
    // a late kill cannot reach another process. True when the watcher killed the child.
    bool Stop() {
        if (!thread.joinable()) return killed;
        stop.store(true);
        SyncPrivate::WakeEventWaiters(event);
        if (child.load() == 0) {
            child.store(NoChild);
            child.notify_one();
        }
        thread.join();
        return killed;
    }

private:
    static constexpr pid_t NoChild = -1;

    void Run() {
        child.wait(0);
        const pid_t watched = child.load();
        if (watched == NoChild || !SyncPrivate::WaitForEventOrStop(event, stop)) return;
        // A child that has already ended wins, as it does on Windows, and the signal goes back. So
        // does one that is no longer ours to wait for (reaped elsewhere): its id may name another
        // process by now.
        siginfo_t information{};
        if (waitid(P_PID, static_cast<id_t>(watched), &information, WEXITED | WNOHANG | WNOWAIT) != 0 ||
            information.si_pid == watched) {
            SyncPrivate::SignalEvent(event);
            return;
        }
        killed = true;
        kill(watched, SIGKILL);
    }

    void* event;
    std::thread thread;
    std::atomic<bool> stop{false};
    std::atomic<pid_t> child{0};
    bool killed = false;  // written by the watcher, read after it has been joined
};

// Reads both pipes until each is over, handing the chunks to their callbacks on this thread.
void ReadUntilClosed(int output, int error, char* buffer, const OutputCallback* callbacks,
                     std::exception_ptr* failures) {
    pollfd streams[2] = {{output, POLLIN, 0}, {error, POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        // Only EINTR and ENOMEM can end a poll of two valid descriptors; both pass.
        if (poll(streams, 2, -1) <= 0) continue;
        for (int s = 0; s < 2; ++s) {
            if (streams[s].fd < 0 || streams[s].revents == 0) continue;
            const ssize_t count = read(streams[s].fd, buffer, ReadChunkSize);
            if (count > 0) {
                ProcessPrivate::DeliverOutput(callbacks[s], buffer, static_cast<uint64_t>(count),
                                              failures[s]);
            } else if (count == 0 || (errno != EINTR && errno != EAGAIN)) {
                streams[s].fd = -1;  // ignored by poll from now on
                --open;
            }
        }
    }
}

}  // namespace

uint32_t RunProcess(const std::wstring& applicationName, std::wstring commandLine) {
    Program program;
    int error = PrepareProgram(applicationName, commandLine, false, program);
    pid_t child = 0;
    if (error == 0) error = Spawn(program, nullptr, nullptr, child);
    if (error != 0) return NotStarted(error);
    const int status = Reap(child);
    return status < 0 ? NotStarted(errno) : ExitCode(status);
}

uint32_t RunProcessWithPipes(void* cancelHandle, const std::wstring& workingDirectory,
                             const std::wstring& applicationName, std::wstring commandLine,
                             OutputCallback standardOutput, OutputCallback standardError) {
    OutputCallback callbacks[2] = {std::move(standardOutput), std::move(standardError)};
    std::exception_ptr failures[2];

    // Nothing is started unless every piece is there.
    const std::wstring_view directoryText = UpToNul(workingDirectory);
    std::string directory;
    Program program;
    int error = ToSystemText(directoryText, directory) ? 0 : EILSEQ;
    if (error == 0) error = PrepareProgram(applicationName, commandLine, !directory.empty(), program);
    Pipe input;
    Pipe output;
    Pipe errors;
    for (Pipe* pipe : {&input, &output, &errors}) {
        if (error == 0) error = MakePipe(*pipe);
    }
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[ReadChunkSize]);
    if (error == 0 && buffer == nullptr) error = ENOMEM;
    CancelWatcher watcher(cancelHandle);
    if (error == 0 && cancelHandle != nullptr) error = watcher.Start();

    pid_t child = 0;
    if (error == 0) {
        const int standard[3] = {input.read.Get(), output.write.Get(), errors.write.Get()};
        error = Spawn(program, standard, directory.empty() ? nullptr : &directory, child);
    }
    int status = -1;
    bool cancelled = false;
    if (error == 0) {
        // Only the child holds these now, so its end (and its own children's) ends the streams.
        input.read.Reset();
        output.write.Reset();
        errors.write.Reset();
        watcher.Watch(child);
        ReadUntilClosed(output.read.Get(), errors.read.Get(), buffer.get(), callbacks, failures);
        if (cancelHandle != nullptr) WaitUntilEnded(child);
        cancelled = watcher.Stop();
        status = Reap(child);
        if (status < 0) error = errno;
    }
    watcher.Stop();
    // The child's input stays open until it has ended, so that a child reading it waits.
    input.write.Reset();
    callbacks[0] = nullptr;
    callbacks[1] = nullptr;

    if (failures[0]) std::rethrow_exception(failures[0]);
    if (failures[1]) std::rethrow_exception(failures[1]);
    if (error != 0) return NotStarted(error);
    if (cancelled && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) return ProcessCancelled;
    // The child ended on its own between the watcher's look and its kill: the child won, and the
    // signal the watcher took goes back.
    if (cancelled) SyncPrivate::SignalEvent(cancelHandle);
    return ExitCode(status);
}

}  // namespace Quorvin
