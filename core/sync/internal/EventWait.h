// Waiting on an Event together with another condition, for components that must notice either
// (a child-process run that can be cancelled through an event). Linux builds only: on Windows an
// event's handle is waited on with the system's own multiple-object waits.
#pragma once

#if !defined(__linux__)
#error "core/sync/internal/EventWait.h is for the Linux backend; Windows waits on the event's handle"
#endif

#include <atomic>

namespace Quorvin::SyncPrivate {

/// Waits until the event whose NativeHandle() is `nativeHandle` is signalled and consumes the
/// signal (true), or until `stop` is true (false, nothing consumed). Whoever sets `stop` then
/// calls WakeEventWaiters(nativeHandle) so that the wait notices. A null handle waits for `stop`
/// alone.
bool WaitForEventOrStop(void* nativeHandle, const std::atomic<bool>& stop) noexcept;

/// Wakes every thread waiting on the event so that each looks at its condition again.
void WakeEventWaiters(void* nativeHandle) noexcept;

/// Signals the event whose NativeHandle() is `nativeHandle`, as Event::Set does: for a waiter that
/// consumed a signal it turned out not to need and gives it back. A null handle: nothing.
void SignalEvent(void* nativeHandle) noexcept;

}  // namespace Quorvin::SyncPrivate
