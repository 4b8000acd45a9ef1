// Speed of AllocatePages and ReleasePages beside the system calls they wrap on Linux: a 1 MiB
// region mapped, touched once per page and released, against mmap and munmap of the same.
#include <benchmark/benchmark.h>

#include <sys/mman.h>

#include <cstddef>

#include "core/system/Pages.h"

namespace Quorvin {
namespace {

constexpr size_t RegionSize = size_t{1} << 20;

// Writes one byte per 4 KiB, so that both sides pay for the same page faults.
void Touch(char* region) {
    for (size_t offset = 0; offset < RegionSize; offset += 4096) region[offset] = 1;
    benchmark::ClobberMemory();
}

void PagesOurs(benchmark::State& state) {
    for (auto _ : state) {
        auto* region = static_cast<char*>(AllocatePages(RegionSize));
        Touch(region);
        benchmark::DoNotOptimize(ReleasePages(region, RegionSize));
    }
}
BENCHMARK(PagesOurs);

void PagesMmap(benchmark::State& state) {
    for (auto _ : state) {
        auto* region = static_cast<char*>(
            mmap(nullptr, RegionSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        Touch(region);
        benchmark::DoNotOptimize(munmap(region, RegionSize));
    }
}
BENCHMARK(PagesMmap);

}  // namespace
}  // namespace Quorvin
