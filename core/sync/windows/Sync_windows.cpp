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

Event::Event() : handle(CreateEventExW(nullptr, nullptr, 0, EVENT_ALL_ACCESS)) {}
Event::~Event() { Close(handle); }
void Event::Wait() { WaitForSingleObjectEx(handle, INFINITE, FALSE); }
bool Event::TryWait() { return WaitedForSignal(handle, 0); }
bool Event::WaitFor(uint32_t milliseconds) { return WaitedForSignal(handle, milliseconds); }
void Event::Set() { SetEvent(handle); }
void Event::Reset() { ResetEvent(handle); }

Semaphore::Semaphore(int32_t initialCount, int32_t maximumCount)
    : handle(CreateSemaphoreW(nullptr, initialCount, maximumCount, nullptr)) {}
Semaphore::~Semaphore() { Close(handle); }
void Semaphore::Wait() { WaitForSingleObjectEx(handle, INFINITE, FALSE); }
bool Semaphore::TryWait() { return WaitedForSignal(handle, 0); }
void Semaphore::Release(int32_t count) { ReleaseSemaphore(handle, count, nullptr); }

Mutex::Mutex() : storage(std::malloc(sizeof(CRITICAL_SECTION))) {
    if (storage == nullptr) throw std::bad_alloc();
    InitializeCriticalSection(Section(storage));
}
Mutex::~Mutex() {
    DeleteCriticalSection(Section(storage));
    std::free(storage);
    storage = nullptr;
}
void Mutex::Lock() { EnterCriticalSection(Section(storage)); }
void Mutex::Unlock() { LeaveCriticalSection(Section(storage)); }

}  // namespace Quorvin
