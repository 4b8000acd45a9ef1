// Pages from the Windows virtual-memory manager.
#include "core/diagnostics/Ensure.h"
#include "core/system/Pages.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {

namespace {

constexpr int AllocationAttempts = 10;
constexpr DWORD ShortageDelayMilliseconds = 50;

// The whole allocation that starts at `base`, measured over its regions (a region is a run of
// pages with the same state and protection, so one allocation can consist of several); 0 when
// `base` is not the start of a live allocation.
uint64_t AllocationExtent(HANDLE process, const char* base) {
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQueryEx(process, base, &region, sizeof(region)) == 0) return 0;
    if (region.State == MEM_FREE || region.AllocationBase != base) return 0;
    uint64_t extent = region.RegionSize;
    while (VirtualQueryEx(process, base + extent, &region, sizeof(region)) != 0 && region.State != MEM_FREE &&
           region.AllocationBase == base) {
        extent += region.RegionSize;
    }
    return extent;
}

}  // namespace

void* AllocatePages(uint64_t size) {
    const HANDLE process = GetCurrentProcess();
    for (int attempt = 0; attempt < AllocationAttempts; ++attempt) {
        void* addr = VirtualAllocEx(process, nullptr, static_cast<SIZE_T>(size), MEM_COMMIT, PAGE_READWRITE);
        if (addr != nullptr) return addr;
        const DWORD error = GetLastError();
        if (!IsOutOfMemoryError(error)) {
            SetLastError(error);  // for the crash report
            QUORVIN_ENSURE(addr);
        }
        Sleep(ShortageDelayMilliseconds);
    }
    return nullptr;
}

int32_t ReleasePages(void* address, uint64_t size) {
    const HANDLE process = GetCurrentProcess();
    // Measure every allocation the range covers before releasing any, so that a range running into
    // free memory or into the middle of something else releases nothing at all.
    const auto* start = static_cast<const char*>(address);
    uint64_t covered = 0;
    do {
        const uint64_t extent = AllocationExtent(process, start + covered);
        if (extent == 0) return -1;
        covered += extent;
    } while (covered < size);

    bool released = true;
    for (uint64_t offset = 0; offset < covered;) {
        const uint64_t extent = AllocationExtent(process, start + offset);
        if (extent == 0 || !VirtualFreeEx(process, const_cast<char*>(start + offset), 0, MEM_RELEASE)) {
            released = false;
            break;
        }
        offset += extent;
    }
    return released ? 0 : -1;
}

}  // namespace Quorvin
