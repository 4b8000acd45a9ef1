// Derivation of the timer conversion constants; the process's values are set by the platform file.
#include "core/time/TimerConstants.h"

namespace Quorvin {

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

}  // namespace Quorvin
