// What child processes share on every system: the captured run is a run with pipes in the current
// directory, without a cancel handle.
#include "core/process/Process.h"

#include <utility>

namespace Quorvin {

uint32_t RunProcessCaptured(const std::wstring& applicationName, std::wstring commandLine,
                            OutputCallback standardOutput, OutputCallback standardError) {
    return RunProcessWithPipes(nullptr, std::wstring(), applicationName, std::move(commandLine),
                               std::move(standardOutput), std::move(standardError));
}

}  // namespace Quorvin
