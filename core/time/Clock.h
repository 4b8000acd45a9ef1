// Time helpers: high-resolution tick counts and their conversions, a splitter of millisecond
// durations for display, and local-calendar conversions.
//
// The counter is the performance counter on Windows and the monotonic clock on Linux (ticks of one
// nanosecond). Conversions use the process's timer constants (core/time/TimerConstants.h), written
// during static initialisation from that counter's frequency; the integer conversions also have
// forms that take the constants explicitly.
// A counter slower than a unit (fewer than 1,000 ticks per second for milliseconds, fewer than
// 1,000,000 for microseconds) has an integer factor of 0: the integer conversions then compute from
// the frequency instead, so they stay exact (truncating toward zero) and never divide by zero. With
// no counter at all (a frequency of 0 or less) every integer conversion gives 0.
//
// Thread-safety: no shared state but the read-only constants and the C run time's time-zone data;
// safe from any thread.
#pragma once

#include <compare>
#include <cstdint>

#include "core/time/TimerConstants.h"

namespace Quorvin {

/// A count of performance-counter ticks: a counter reading or the difference of two.
class TickCount {
public:
    int64_t ticks = 0;  ///< the count; negative for a backward difference

    /// Zero ticks.
    constexpr TickCount() = default;
    /// `count` ticks.
    constexpr explicit TickCount(int64_t count) : ticks(count) {}

    /// The current counter reading (the performance counter on Windows, the monotonic clock in
    /// nanoseconds on Linux); 0 when the counter cannot be read.
    static TickCount Now() noexcept;

    ///@{
    /// count × ticks per millisecond (or microsecond), wrapping on overflow.
    static TickCount FromMilliseconds(uint64_t count) noexcept;
    static TickCount FromMicroseconds(uint64_t count) noexcept;
    static TickCount FromMilliseconds(uint64_t count, const TimerConstants& constants) noexcept;
    static TickCount FromMicroseconds(uint64_t count, const TimerConstants& constants) noexcept;
    ///@}

    ///@{
    /// ticks ÷ ticks per millisecond (or microsecond), truncated toward zero.
    int64_t ToMilliseconds() const noexcept;
    int64_t ToMicroseconds() const noexcept;
    int64_t ToMilliseconds(const TimerConstants& constants) const noexcept;
    int64_t ToMicroseconds(const TimerConstants& constants) const noexcept;
    ///@}
    /// Stores the low 32 bits of ToMilliseconds() into `milliseconds` and returns it.
    uint32_t& ToMilliseconds32(uint32_t& milliseconds) const noexcept;

    ///@{
    /// ticks × the floating-point factor of each unit (never a division).
    double ToSeconds() const noexcept;
    double ToMillisecondsF() const noexcept;
    double ToMicrosecondsF() const noexcept;
    double ToNanosecondsF() const noexcept;
    ///@}

    ///@{
    /// The process's factors.
    static double SecondsPerTick() noexcept;
    static double MillisecondsPerTick() noexcept;
    static double MicrosecondsPerTick() noexcept;
    static double NanosecondsPerTick() noexcept;
    static int64_t TicksPerMillisecond() noexcept;
    static int64_t TicksPerMicrosecond() noexcept;
    ///@}

    ///@{
    /// Durations between readings and readings moved by durations; wrap on overflow.
    friend constexpr TickCount operator-(TickCount a, TickCount b) noexcept {
        return TickCount(
            static_cast<int64_t>(static_cast<uint64_t>(a.ticks) - static_cast<uint64_t>(b.ticks)));
    }
    friend constexpr TickCount operator+(TickCount a, TickCount b) noexcept {
        return TickCount(
            static_cast<int64_t>(static_cast<uint64_t>(a.ticks) + static_cast<uint64_t>(b.ticks)));
    }
    ///@}
    /// Readings and durations order by their tick counts.
    friend constexpr auto operator<=>(TickCount, TickCount) noexcept = default;
};

/// A millisecond duration split for display.
struct DurationParts {
    uint32_t days = 0;          ///< whole days
    uint32_t hours = 0;         ///< 0-23
    uint32_t minutes = 0;       ///< 0-59
    uint32_t seconds = 0;       ///< 0-59
    uint32_t milliseconds = 0;  ///< 0-999

    /// Field by field.
    friend bool operator==(const DurationParts&, const DurationParts&) = default;
};

/// Splits `milliseconds` into days, hours (0-23), minutes (0-59), seconds (0-59) and milliseconds
/// (0-999).
void SplitDuration(uint32_t milliseconds, DurationParts& parts) noexcept;

/// A broken-down local date and time.
struct CalendarTime {
    int32_t year = 0;     ///< full year, e.g. 2024
    int32_t month = 0;    ///< 1-12
    int32_t day = 0;      ///< 1-31
    int32_t hour = 0;     ///< 0-23
    int32_t minute = 0;   ///< 0-59
    int32_t second = 0;   ///< 0-60
    int32_t weekday = 0;  ///< 0 = Sunday ... 6 = Saturday

    /// Field by field.
    friend bool operator==(const CalendarTime&, const CalendarTime&) = default;
};

/// Breaks `time` (seconds since 1970-01-01 00:00:00 UTC) down as local time in the C run time's
/// time zone. Returns false, with every field of `calendar` set to 0, when the run time cannot
/// break it down: a negative time or one after 3000-12-31 23:59:59 UTC (the Windows run time's
/// range, which Linux keeps too, so that a time converts alike on both).
bool ToLocalCalendar(int64_t time, CalendarTime& calendar) noexcept;

/// Converts a local date and time to seconds since 1970-01-01 00:00:00 UTC. Out-of-range fields
/// are normalised (month 13 is January of the next year); the weekday is ignored, and whether
/// daylight-saving time applies is left to the run time's rules. Returns false and stores -1 when
/// the run time cannot represent the time, or it lies outside the range of ToLocalCalendar.
bool FromLocalCalendar(int64_t& time, const CalendarTime& calendar) noexcept;

}  // namespace Quorvin
