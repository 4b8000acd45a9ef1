// Speed of the spin locks beside std::mutex and std::shared_mutex, and of the event and mutex
// beside std::binary_semaphore and std::recursive_mutex, as comparators.
#include <benchmark/benchmark.h>

#include <atomic>
#include <mutex>
#include <semaphore>
#include <shared_mutex>
#include <thread>

#include "core/sync/SpinLocks.h"
#include "core/sync/Sync.h"

namespace Quorvin {
namespace {

// ---- Uncontended lock and unlock pairs ----

void SpinLockPair(benchmark::State& state) {
    static SpinLock lock;
    for (auto _ : state) {
        lock.Lock();
        lock.Unlock();
    }
}
BENCHMARK(SpinLockPair);

void QueueLockPair(benchmark::State& state) {
    static QueueLock lock;
    QueueLockNode node;
    for (auto _ : state) {
        lock.Lock(node);
        lock.Unlock(node);
    }
}
BENCHMARK(QueueLockPair);

void StdMutexPair(benchmark::State& state) {
    static std::mutex mutex;
    for (auto _ : state) {
        mutex.lock();
        mutex.unlock();
    }
}
BENCHMARK(StdMutexPair);

void RWSpinLockSharedPair(benchmark::State& state) {
    static RWSpinLock lock;
    for (auto _ : state) {
        lock.LockShared();
        lock.UnlockShared();
    }
}
BENCHMARK(RWSpinLockSharedPair);

void SharedMutexSharedPair(benchmark::State& state) {
    static std::shared_mutex mutex;
    for (auto _ : state) {
        mutex.lock_shared();
        mutex.unlock_shared();
    }
}
BENCHMARK(SharedMutexSharedPair);

void RWSpinLockExclusivePair(benchmark::State& state) {
    static RWSpinLock lock;
    for (auto _ : state) {
        lock.LockExclusive();
        lock.UnlockExclusive();
    }
}
BENCHMARK(RWSpinLockExclusivePair);

void SharedMutexExclusivePair(benchmark::State& state) {
    static std::shared_mutex mutex;
    for (auto _ : state) {
        mutex.lock();
        mutex.unlock();
    }
}
BENCHMARK(SharedMutexExclusivePair);

// ---- The kernel-waiting objects ----

void MutexPair(benchmark::State& state) {
    static Mutex mutex;
    for (auto _ : state) {
        mutex.Lock();
        mutex.Unlock();
    }
}
BENCHMARK(MutexPair);

void RecursiveMutexPair(benchmark::State& state) {
    static std::recursive_mutex mutex;
    for (auto _ : state) {
        mutex.lock();
        mutex.unlock();
    }
}
BENCHMARK(RecursiveMutexPair);

// Two threads hand a turn back and forth: the measuring thread signals `ping` and waits for
// `pong`, a partner thread does the opposite. One iteration is one round trip.
template <class Signal>
void PingPong(benchmark::State& state, Signal& ping, Signal& pong, void (*give)(Signal&),
              void (*take)(Signal&)) {
    std::atomic<bool> stop{false};
    std::thread partner([&] {
        for (;;) {
            take(ping);
            if (stop.load(std::memory_order_relaxed)) return;
            give(pong);
        }
    });
    for (auto _ : state) {
        give(ping);
        take(pong);
    }
    stop = true;
    give(ping);
    partner.join();
    state.SetItemsProcessed(state.iterations());
}

void EventPingPong(benchmark::State& state) {
    Event ping, pong;
    PingPong<Event>(
        state, ping, pong, [](Event& event) { event.Set(); }, [](Event& event) { event.Wait(); });
}
BENCHMARK(EventPingPong)->UseRealTime();

void BinarySemaphorePingPong(benchmark::State& state) {
    std::binary_semaphore ping(0), pong(0);
    PingPong<std::binary_semaphore>(
        state, ping, pong, [](std::binary_semaphore& semaphore) { semaphore.release(); },
        [](std::binary_semaphore& semaphore) { semaphore.acquire(); });
}
BENCHMARK(BinarySemaphorePingPong)->UseRealTime();

}  // namespace
}  // namespace Quorvin
