// Pages on Linux: anonymous private mappings, with a record of the ones made here, so that a
// release never unmaps memory that this component did not map.
#include <errno.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

#include "core/diagnostics/Ensure.h"
#include "core/system/Pages.h"

namespace Quorvin {
namespace {

constexpr int AllocationAttempts = 10;
constexpr std::chrono::milliseconds ShortageDelay(50);

// Every mapping AllocatePages made and has not released: start address to length in bytes (whole
// pages). Windows keeps this record itself (VirtualQuery); munmap would unmap anything.
std::mutex RecordLock;
std::map<uintptr_t, uint64_t>& Record() {
    static std::map<uintptr_t, uint64_t> record;
    return record;
}

uint64_t WholePages(uint64_t size) {
    const auto page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    return (size + page - 1) / page * page;
}

}  // namespace

void* AllocatePages(uint64_t size) {
    for (int attempt = 0; attempt < AllocationAttempts; ++attempt) {
        void* addr = mmap(nullptr, static_cast<size_t>(size), PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (addr != MAP_FAILED) {
            try {
                const std::lock_guard<std::mutex> hold(RecordLock);
                Record().emplace(reinterpret_cast<uintptr_t>(addr), WholePages(size));
            } catch (...) {
                munmap(addr, static_cast<size_t>(size));
                throw;
            }
            return addr;
        }
        const int error = errno;  // EINVAL for a size of 0
        if (error != ENOMEM) {
            addr = nullptr;
            errno = error;  // for the crash report
            QUORVIN_ENSURE(addr);
        }
        std::this_thread::sleep_for(ShortageDelay);
    }
    return nullptr;
}

int32_t ReleasePages(void* address, uint64_t size) {
    const std::lock_guard<std::mutex> hold(RecordLock);
    std::map<uintptr_t, uint64_t>& record = Record();
    // Measure every mapping the range covers before releasing any, so that a range running into
    // memory that is not one of ours releases nothing at all.
    const auto start = reinterpret_cast<uintptr_t>(address);
    uint64_t covered = 0;
    do {
        const auto found = record.find(start + covered);
        if (found == record.end()) return -1;
        covered += found->second;
    } while (covered < size);

    int32_t result = 0;
    for (uint64_t offset = 0; offset < covered;) {
        const auto found = record.find(start + offset);
        const uint64_t length = found->second;
        if (munmap(reinterpret_cast<void*>(found->first), static_cast<size_t>(length)) != 0) result = -1;
        record.erase(found);
        offset += length;
    }
    return result;
}

}  // namespace Quorvin
