// Timing our code and its comparator in turn, inside one benchmark, for rows whose ratio matters
// more than either time. Other guests of this machine change the memory's speed from one second to
// the next, by half and more for data past the caches: two benchmarks timed one after the other
// then differ by that much for the same code, while two jobs that take turns within each second
// meet the same memory, and their ratio holds still though their times do not. Fit only where both
// jobs work on the same data, or on data of one size, so that neither gains from the caches the
// other leaves: two structures of different sizes would instead measure which one the caches keep.
//
// A benchmark registered with UseManualTime() makes one InTurn, sets each iteration's time from
// Run, and calls Report at the end: the row's time is ours, the comparator's time is the counter
// "comparator_s" (seconds per iteration, which the benchmark report reads as "NAME#comparator"),
// and "comparator_ratio" is the comparator's time over ours, whose spread over the repetitions is
// the ratio's own. Header-only, for the native benchmark programs.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstddef>

namespace Quorvin::Testing {

/// Two jobs timed in turn, with their totals; see the top of this file.
class InTurn {
public:
    /// Runs ours(from, to) and theirs(from, to) over [0, count), `slice` at a time, each slice
    /// first for the side that went second the time before, and adds each side's seconds to its
    /// total. Returns our seconds of this call.
    template <class Ours, class Theirs>
    double Run(size_t count, size_t slice, Ours&& ours, Theirs&& theirs) {
        double oursSeconds = 0;
        for (size_t from = 0; from < count; from += slice) {
            const size_t to = std::min(count, from + slice);
            if (turn++ % 2 == 0) {
                oursSeconds += Timed(ours, from, to);
                theirsTotal += Timed(theirs, from, to);
            } else {
                theirsTotal += Timed(theirs, from, to);
                oursSeconds += Timed(ours, from, to);
            }
        }
        oursTotal += oursSeconds;
        return oursSeconds;
    }

    /// Sets the counters; `callsPerIteration` divides both times when an iteration's time is that
    /// of one call among several.
    void Report(benchmark::State& state, double callsPerIteration = 1) const {
        state.counters["comparator_s"] =
            benchmark::Counter(theirsTotal / callsPerIteration, benchmark::Counter::kAvgIterations);
        state.counters["comparator_ratio"] = oursTotal > 0 ? theirsTotal / oursTotal : 0.0;
    }

private:
    template <class Job>
    static double Timed(Job& job, size_t from, size_t to) {
        const auto start = std::chrono::steady_clock::now();
        job(from, to);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    size_t turn = 0;
    double oursTotal = 0;
    double theirsTotal = 0;
};

}  // namespace Quorvin::Testing
