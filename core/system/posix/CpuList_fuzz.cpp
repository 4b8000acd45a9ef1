// Fuzz target: the reading of the kernel's CPU lists over arbitrary text. Beyond the sanitizers'
// checks on every read, an accepted list must hold ranges within bounds that read back the same
// when written in the kernel's form, and a refused one must leave nothing behind.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/system/internal/LinuxCpus.h"
#include "tests/support/FuzzSupport.h"

using Quorvin::Testing::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::pair<uint32_t, uint32_t>> ranges{{1, 1}};
    if (!Quorvin::SystemPrivate::ParseCpuList(text, ranges)) {
        Require(ranges.empty());
        return 0;
    }
    Require(ranges.size() <= (size + 1) / 2);  // each item takes a digit and a comma after it
    std::string written;
    for (const auto& [low, high] : ranges) {
        Require(low <= high && high <= Quorvin::SystemPrivate::MaxLinuxCpu);
        written += (written.empty() ? "" : ",") + std::to_string(low);
        if (high != low) written += "-" + std::to_string(high);
    }
    written += '\n';
    std::vector<std::pair<uint32_t, uint32_t>> again;
    Require(Quorvin::SystemPrivate::ParseCpuList(written, again) && again == ranges);
    return 0;
}
