// Owners for Windows handles, so a handle is closed exactly once on every path out of a scope.
//
// A ScopedHandle owns a kernel handle (a process, thread, pipe end, file, event, ...) and closes it
// with CloseHandle. Both conventions for "no handle" are honoured: null (CreateProcess, CreateEvent,
// CreateThread) and INVALID_HANDLE_VALUE (CreateFile, CreateNamedPipe); neither is ever closed.
// Move-only; not thread-safe (one owner, one thread at a time).
#pragma once

#if !defined(_WIN32)
#error "core/windows/ScopedHandle.h is offered on Windows only: Windows handles exist only on Windows"
#endif

#include <utility>

#include "core/windows/WindowsApi.h"

namespace Quorvin {

/// Owns one kernel handle and closes it with CloseHandle; move-only.
class ScopedHandle {
public:
    ScopedHandle() = default;
    /// Takes ownership of `handle` (null or INVALID_HANDLE_VALUE mean none).
    explicit ScopedHandle(HANDLE handle) noexcept : handle(handle) {}
    /// Takes over the other owner's handle.
    ScopedHandle(ScopedHandle&& other) noexcept : handle(other.Release()) {}
    /// Closes the owned handle, then takes over the other owner's.
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ~ScopedHandle() { Reset(); }

    /// The owned handle, still owned; null or INVALID_HANDLE_VALUE when there is none.
    HANDLE Get() const noexcept { return handle; }
    /// True when a handle is owned.
    bool IsValid() const noexcept { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    /// IsValid().
    explicit operator bool() const noexcept { return IsValid(); }

    /// Closes the owned handle, if any, and takes ownership of `replacement`.
    void Reset(HANDLE replacement = nullptr) noexcept {
        if (IsValid()) CloseHandle(handle);
        handle = replacement;
    }
    /// Gives up ownership without closing; returns the handle.
    HANDLE Release() noexcept { return std::exchange(handle, nullptr); }
    /// For out-parameters of creation calls: closes what is owned and returns the slot to fill.
    HANDLE* Receive() noexcept {
        Reset();
        return &handle;
    }

private:
    HANDLE handle = nullptr;
};

/// Owners of the two handles that CreateProcess returns.
struct ScopedProcessInformation {
    ScopedHandle process;  ///< the new process
    ScopedHandle thread;   ///< its first thread
    DWORD processId = 0;   ///< the process's identifier
    DWORD threadId = 0;    ///< the thread's identifier

    /// Takes both handles of `information`.
    void Adopt(const PROCESS_INFORMATION& information) noexcept {
        process.Reset(information.hProcess);
        thread.Reset(information.hThread);
        processId = information.dwProcessId;
        threadId = information.dwThreadId;
    }
};

}  // namespace Quorvin
