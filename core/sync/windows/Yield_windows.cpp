// Giving up the processor on Windows.
#include "core/sync/internal/Yield.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin::SyncPrivate {

// SwitchToThread, unlike Sleep(0), also hands the processor to ready threads of lower priority, so
// a preempted lock holder of any priority gets to run and release the lock.
void YieldThread() { SwitchToThread(); }

}  // namespace Quorvin::SyncPrivate
