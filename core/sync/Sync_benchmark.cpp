// Speed of the spin locks beside std::mutex and std::shared_mutex as comparators.
#include <benchmark/benchmark.h>

#include <mutex>
#include <shared_mutex>

#include "core/sync/SpinLocks.h"

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

}  // namespace
}  // namespace Quorvin
