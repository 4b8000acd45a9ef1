// Giving up the processor, on Linux.
#include "core/sync/internal/Yield.h"

#include <thread>

namespace Quorvin::SyncPrivate {

void YieldThread() { std::this_thread::yield(); }

}  // namespace Quorvin::SyncPrivate
