// What a backend tells the timer constants: the frequency of the counter that TickCount::Now reads.
#pragma once

#include <cstdint>

namespace Quorvin::TimePrivate {

/// Ticks per second of the counter behind TickCount::Now: the performance counter's frequency on
/// Windows, 10^9 on Linux (nanoseconds of the monotonic clock). Called once, during static
/// initialisation, before any other start-up state that reads the constants.
int64_t CounterFrequency() noexcept;

}  // namespace Quorvin::TimePrivate
