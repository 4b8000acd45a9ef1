// The high-resolution timer's conversion constants, written once during static initialisation
// (before WinMain) from the performance-counter frequency and read-only afterwards.
#pragma once

#include <cstdint>

namespace Quorvin {

/// Conversion constants derived from one timer frequency (ticks per second).
struct TimerConstants {
    int64_t performanceFrequency = 0;  ///< ticks per second
    int64_t ticksPerMillisecond = 0;   ///< frequency / 1000, truncated
    int64_t ticksPerMicrosecond = 0;   ///< frequency / 1000000, truncated
    double millisecondsPerTick = 0;    ///< 1000 / frequency
    double microsecondsPerTick = 0;    ///< 1000000 / frequency
    double nanosecondsPerTick = 0;     ///< 1000000000 / frequency
    double secondsPerTick = 0;         ///< 1 / frequency
};

/// Derives the constants from `frequency`. It is not validated: below 1000 ticks per second
/// ticksPerMillisecond is 0, below 1000000 ticksPerMicrosecond is 0, and 0 gives infinite doubles.
TimerConstants ComputeTimerConstants(int64_t frequency);

/// The process's constants, set during static initialisation (before WinMain) from the frequency
/// of the counter that TickCount::Now reads: QueryPerformanceFrequency on Windows, 10^9 on Linux.
extern int64_t PerformanceFrequency;
extern int64_t TicksPerMillisecond;
extern int64_t TicksPerMicrosecond;
extern double MillisecondsPerTick;
extern double MicrosecondsPerTick;
extern double NanosecondsPerTick;
extern double SecondsPerTick;

}  // namespace Quorvin
