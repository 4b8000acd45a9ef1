// The process's timer constants, read from the performance counter during static initialisation.
#include "core/base/Compiler.h"
#include "core/base/StartupOrder.h"
#include "core/time/TimerConstants.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {

int64_t PerformanceFrequency = 0;
int64_t TicksPerMillisecond = 0;
int64_t TicksPerMicrosecond = 0;
double MillisecondsPerTick = 0;
double MicrosecondsPerTick = 0;
double NanosecondsPerTick = 0;
double SecondsPerTick = 0;

namespace {

// Writes the constants once, at its place in the start-up order.
struct TimerConstantsSetUp {
    TimerConstantsSetUp() {
        LARGE_INTEGER frequency{};
        QueryPerformanceFrequency(&frequency);  // cannot fail on any supported Windows version
        const TimerConstants constants = ComputeTimerConstants(frequency.QuadPart);
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
