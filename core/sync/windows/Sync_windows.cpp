// The Windows synchronisation objects.
#include <cstdlib>
#include <new>

#include "core/sync/Sync.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {
namespace {

bool WaitedForSignal(void* handle, DWORD milliseconds) {
    return WaitForSingleObjectEx(handle, milliseconds, FALSE) == WAIT_OBJECT_0;
}

void Close(void*& handle) {
    if (handle != nullptr) CloseHandle(handle);
    handle = nullptr;
}

CRITICAL_SECTION* Section(void* storage) { return static_cast<CRITICAL_SECTION*>(storage); }

}  // namespace

Event::Event() : handle_(CreateEventExW(nullptr, nullptr, 0, EVENT_ALL_ACCESS)) {}
Event::~Event() { Close(handle_); }
void Event::Wait() { WaitForSingleObjectEx(handle_, INFINITE, FALSE); }
bool Event::TryWait() { return WaitedForSignal(handle_, 0); }
bool Event::WaitFor(uint32_t milliseconds) { return WaitedForSignal(handle_, milliseconds); }
void Event::Set() { SetEvent(handle_); }
void Event::Reset() { ResetEvent(handle_); }

Semaphore::Semaphore(int32_t initialCount, int32_t maximumCount)
    : handle_(CreateSemaphoreW(nullptr, initialCount, maximumCount, nullptr)) {}
Semaphore::~Semaphore() { Close(handle_); }
void Semaphore::Wait() { WaitForSingleObjectEx(handle_, INFINITE, FALSE); }
void Semaphore::Release(int32_t count) { ReleaseSemaphore(handle_, count, nullptr); }

Mutex::Mutex() : storage_(std::malloc(sizeof(CRITICAL_SECTION))) {
    if (storage_ == nullptr) throw std::bad_alloc();
    InitializeCriticalSection(Section(storage_));
}
Mutex::~Mutex() {
    DeleteCriticalSection(Section(storage_));
    std::free(storage_);
    storage_ = nullptr;
}
void Mutex::Lock() { EnterCriticalSection(Section(storage_)); }
void Mutex::Unlock() { LeaveCriticalSection(Section(storage_)); }

}  // namespace Quorvin
