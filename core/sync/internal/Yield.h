// The spin locks' one tie to the operating system (giving up the processor), and the back-off rule
// that they share.
#pragma once

#include <cstdint>

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#include <emmintrin.h>
#define QUORVIN_SYNC_HAS_PAUSE 1
#endif

namespace Quorvin::SyncPrivate {

/// Offers the rest of the calling thread's time slice to another thread that is ready to run;
/// returns at once when there is none. SwitchToThread on Windows, the standard library's yield
/// elsewhere: the build picks the source.
void YieldThread();

/// The processor's spin-wait hint (x86 `pause`): tells the core that this is a busy-wait loop, which
/// saves power and lets a sibling hyper-thread run.
inline void SpinWaitHint() {
#if defined(QUORVIN_SYNC_HAS_PAUSE)
    _mm_pause();
#endif
}

/// The back-off between failed attempts to take a spin lock: rounds of 1, 2, 4, 8 and 16 spin-wait
/// hints (31 in all), then a yield of the processor on every further round. One per waiting call.
class Backoff {
public:
    /// Waits one round and moves on to the next.
    void Pause() {
        if (hints_ <= MaxHints) {
            for (uint32_t i = 0; i < hints_; ++i) SpinWaitHint();
            hints_ *= 2;
        } else {
            YieldThread();
        }
    }
    /// Starts again from a round of one hint.
    void Restart() { hints_ = 1; }

private:
    static constexpr uint32_t MaxHints = 16;
    uint32_t hints_ = 1;
};

}  // namespace Quorvin::SyncPrivate
