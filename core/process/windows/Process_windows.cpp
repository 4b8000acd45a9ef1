// Child processes, and the pipes and reader threads of captured runs.
#include <exception>
#include <utility>

#include "core/process/Process.h"
#include "core/process/internal/OutputPump.h"
#include "core/windows/ScopedHandle.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {
namespace {

// Stack commit sizes of the two reader threads; the reservation is the executable's default, so a
// callback may still use more.
constexpr SIZE_T OutputReaderStack = 16640;
constexpr SIZE_T ErrorReaderStack = 16512;
// The pipes' suggested buffer size: small, so that output reaches the callbacks soon after it is
// written.
constexpr DWORD PipeBufferSize = 128;
// Pauses of the captured run: one to let the readers start before the child does, and one after
// the child's end before its pipe ends are closed.
constexpr DWORD ReaderStartPause = 100;
constexpr DWORD DrainPause = 100;

// PROCESS_ALL_ACCESS as Windows Vista and later define it, whatever version the headers target.
constexpr DWORD ChildAccess = 0x1FFFFF;

static_assert(sizeof(STARTUPINFOW) == 104 && sizeof(SECURITY_ATTRIBUTES) == 24);

struct Pipe {
    ScopedHandle read;
    ScopedHandle write;
};

// One captured run, shared by the calling thread and its two readers.
struct CapturedRun {
    ScopedHandle readers[2];  // standard output's, then standard error's
    Pipe input;
    Pipe output;
    Pipe error;
    OutputCallback outputCallback;
    OutputCallback errorCallback;
    std::exception_ptr outputFailure;
    std::exception_ptr errorFailure;
};

void Pump(HANDLE pipe, const OutputCallback& callback, std::exception_ptr& failure) {
    auto read = [pipe](char* buffer, uint32_t capacity, uint32_t& count) {
        DWORD received = 0;
        const bool ok = ReadFile(pipe, buffer, capacity, &received, nullptr) != FALSE;
        count = received;
        return ok;
    };
    ProcessPrivate::PumpOutput(read, callback, failure);
}

DWORD WINAPI ReadStandardOutput(void* parameter) {
    auto* run = static_cast<CapturedRun*>(parameter);
    Pump(run->output.read.Get(), run->outputCallback, run->outputFailure);
    return 0;
}

DWORD WINAPI ReadStandardError(void* parameter) {
    auto* run = static_cast<CapturedRun*>(parameter);
    Pump(run->error.read.Get(), run->errorCallback, run->errorFailure);
    return 0;
}

const wchar_t* NullWhenEmpty(const std::wstring& text) { return text.empty() ? nullptr : text.c_str(); }

// Reads the exit code of an ended child, keeping the caller's last error.
uint32_t ExitCode(HANDLE process) {
    const DWORD lastError = GetLastError();
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    SetLastError(lastError);
    return code;
}

}  // namespace

uint32_t RunProcess(const std::wstring& applicationName, std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION information{};
    if (!CreateProcessW(NullWhenEmpty(applicationName), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &information)) {
        return ProcessNotStarted;
    }
    ScopedProcessInformation child;
    child.Adopt(information);
    WaitForSingleObject(child.process.Get(), INFINITE);
    const uint32_t code = ExitCode(child.process.Get());
    child.thread.Reset();
    child.process.Reset();
    return code;
}

uint32_t RunProcessWithPipes(void* cancelHandle, const std::wstring& workingDirectory,
                             const std::wstring& applicationName, std::wstring commandLine,
                             OutputCallback standardOutput, OutputCallback standardError) {
    CapturedRun run;
    run.outputCallback = std::move(standardOutput);
    run.errorCallback = std::move(standardError);

    // All six ends start inheritable; the caller's three are then taken back, so that the child
    // inherits only its own.
    SECURITY_ATTRIBUTES inheritable{};
    inheritable.nLength = sizeof(inheritable);
    inheritable.bInheritHandle = TRUE;
    // Nothing is started unless every piece is there: without both readers, say, the child could
    // fill a pipe and block for ever.
    bool ready = true;
    DWORD startError = ERROR_SUCCESS;
    auto check = [&](bool ok) {
        if (ready && !ok) {
            ready = false;
            startError = GetLastError();
        }
    };
    for (Pipe* pipe : {&run.input, &run.output, &run.error}) {
        if (ready)
            check(CreatePipe(pipe->read.Receive(), pipe->write.Receive(), &inheritable, PipeBufferSize));
    }
    if (ready) {
        SetHandleInformation(run.input.write.Get(), HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(run.output.read.Get(), HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(run.error.read.Get(), HANDLE_FLAG_INHERIT, 0);
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = run.input.read.Get();
    startup.hStdOutput = run.output.write.Get();
    startup.hStdError = run.error.write.Get();

    if (ready) {
        run.readers[0].Reset(CreateThread(nullptr, OutputReaderStack, &ReadStandardOutput, &run, 0, nullptr));
        check(run.readers[0].IsValid());
    }
    if (ready) {
        run.readers[1].Reset(CreateThread(nullptr, ErrorReaderStack, &ReadStandardError, &run, 0, nullptr));
        check(run.readers[1].IsValid());
    }

    ScopedHandle child;
    if (ready) {
        Sleep(ReaderStartPause);
        PROCESS_INFORMATION information{};
        if (CreateProcessW(NullWhenEmpty(applicationName), commandLine.data(), &inheritable, &inheritable,
                           TRUE, CREATE_NO_WINDOW, nullptr, NullWhenEmpty(workingDirectory), &startup,
                           &information)) {
            ScopedProcessInformation created;
            created.Adopt(information);
            child.Reset(OpenProcess(ChildAccess, TRUE, created.processId));
            // Should the child not open again, the handle from its creation serves as well.
            if (!child) child = std::move(created.process);
            Sleep(1);
        } else {
            check(false);
        }
    }

    if (child) {
        DWORD waited = WAIT_FAILED;
        if (cancelHandle != nullptr) {
            const HANDLE pair[2] = {child.Get(), cancelHandle};
            waited = WaitForMultipleObjects(2, pair, FALSE, INFINITE);
            if (waited == WAIT_OBJECT_0 + 1) TerminateProcess(child.Get(), ProcessCancelled);
        }
        // Also after a termination, which is asynchronous: until the child is gone, its exit code
        // reads as "still active".
        if (waited != WAIT_OBJECT_0) WaitForSingleObject(child.Get(), INFINITE);
        // Each returns once the reader has taken everything still buffered in its pipe.
        FlushFileBuffers(run.output.write.Get());
        FlushFileBuffers(run.error.write.Get());
        Sleep(DrainPause);
    }

    // Closing the child's ends (its inherited copies are gone with it) breaks the pipes, which ends
    // the readers.
    run.input.read.Reset();
    run.output.write.Reset();
    run.error.write.Reset();
    if (run.readers[1]) {
        const HANDLE readers[2] = {run.readers[0].Get(), run.readers[1].Get()};
        WaitForMultipleObjects(2, readers, TRUE, INFINITE);
    } else if (run.readers[0]) {
        WaitForSingleObject(run.readers[0].Get(), INFINITE);
    }
    run.readers[0].Reset();
    run.readers[1].Reset();
    run.input.write.Reset();
    run.output.read.Reset();
    run.error.read.Reset();
    run.errorCallback = nullptr;
    run.outputCallback = nullptr;

    if (run.outputFailure) std::rethrow_exception(run.outputFailure);
    if (run.errorFailure) std::rethrow_exception(run.errorFailure);
    if (!child) {
        SetLastError(startError);
        return ProcessNotStarted;
    }
    const uint32_t code = ExitCode(child.Get());
    child.Reset();
    return code;
}

}  // namespace Quorvin
