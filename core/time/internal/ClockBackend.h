// What each system's backend gives the clock: the counter's frequency and the C run time's two
// local-time conversions. The portable code builds the public operations on these.
#pragma once

#include <cstdint>
#include <ctime>

namespace Quorvin::TimePrivate {

/// Ticks per second of the counter behind TickCount::Now: the performance counter's frequency on
/// Windows, 10^9 on Linux (nanoseconds of the monotonic clock). Called once, during static
/// initialisation, before any other start-up state that reads the constants.
int64_t CounterFrequency() noexcept;

/// Breaks `time` (seconds since 1970 UTC) down as local time into `local`; false when the run time
/// cannot, or the time lies outside 1970-01-01 00:00:00 to 3000-12-31 23:59:59 UTC.
bool BreakDownLocalTime(int64_t time, std::tm& local) noexcept;

/// The seconds since 1970 UTC of the local time in `local` (normalised as mktime does); -1 when the
/// run time cannot represent it or it lies outside the range of BreakDownLocalTime.
int64_t MakeLocalTime(std::tm& local) noexcept;

}  // namespace Quorvin::TimePrivate
