// The process's timer constants, read from the performance counter during static initialisation.
#include "core/platform/TimerConstants.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {
namespace {

int64_t QueryFrequency() {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);  // cannot fail on any supported Windows version
    return frequency.QuadPart;
}

const TimerConstants StartupConstants = ComputeTimerConstants(QueryFrequency());

}  // namespace

int64_t PerformanceFrequency = StartupConstants.performanceFrequency;
int64_t TicksPerMillisecond = StartupConstants.ticksPerMillisecond;
int64_t TicksPerMicrosecond = StartupConstants.ticksPerMicrosecond;
double MillisecondsPerTick = StartupConstants.millisecondsPerTick;
double MicrosecondsPerTick = StartupConstants.microsecondsPerTick;
double NanosecondsPerTick = StartupConstants.nanosecondsPerTick;
double SecondsPerTick = StartupConstants.secondsPerTick;

}  // namespace Quorvin
