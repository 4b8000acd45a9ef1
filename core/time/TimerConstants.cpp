// The process's timer constants, set during static initialisation from the backend's counter
// frequency, and their derivation from a frequency.
#include "core/time/TimerConstants.h"

#include "core/base/Compiler.h"
#include "core/base/StartupOrder.h"
#include "core/time/internal/ClockBackend.h"

namespace Quorvin {

// Defined first in this file: the start-up order test finds this unit's initialiser by this name.
int64_t PerformanceFrequency = 0;
int64_t TicksPerMillisecond = 0;
int64_t TicksPerMicrosecond = 0;
double MillisecondsPerTick = 0;
double MicrosecondsPerTick = 0;
double NanosecondsPerTick = 0;
double SecondsPerTick = 0;

TimerConstants ComputeTimerConstants(int64_t frequency) {
    TimerConstants constants;
    constants.performanceFrequency = frequency;
    const double ticksPerSecond = static_cast<double>(frequency);
    constants.ticksPerMillisecond = frequency / 1000;
    constants.millisecondsPerTick = 1000.0 / ticksPerSecond;
    constants.microsecondsPerTick = 1000000.0 / ticksPerSecond;
    constants.ticksPerMicrosecond = frequency / 1000000;
    constants.nanosecondsPerTick = 1000000000.0 / ticksPerSecond;
    constants.secondsPerTick = 1.0 / ticksPerSecond;
    return constants;
}

namespace {

// Writes the constants once, at its place in the start-up order.
struct TimerConstantsSetUp {
    TimerConstantsSetUp() {
        const TimerConstants constants = ComputeTimerConstants(TimePrivate::CounterFrequency());
        PerformanceFrequency = constants.performanceFrequency;
        TicksPerMillisecond = constants.ticksPerMillisecond;
        TicksPerMicrosecond = constants.ticksPerMicrosecond;
        MillisecondsPerTick = constants.millisecondsPerTick;
        MicrosecondsPerTick = constants.microsecondsPerTick;
        NanosecondsPerTick = constants.nanosecondsPerTick;
        SecondsPerTick = constants.secondsPerTick;
    }
};

const TimerConstantsSetUp SetUp QUORVIN_INIT_PRIORITY(StartupOrder::TimerConstants);

}  // namespace
}  // namespace Quorvin
