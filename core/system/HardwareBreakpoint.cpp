// Portable editing of the x86-64 debug registers for hardware breakpoints.
#include "core/system/HardwareBreakpoint.h"

#include <cstdlib>
#include <new>

#include "core/system/internal/BreakpointRecord.h"

namespace Quorvin {

uint32_t BreakpointAccessCode(BreakpointKind kind) noexcept {
    switch (kind) {
    case BreakpointKind::ReadWrite: return 0b11;
    case BreakpointKind::Write: return 0b01;
    default: return 0b00;
    }
}

uint32_t BreakpointLengthCode(BreakpointSize size) noexcept {
    switch (size) {
    case BreakpointSize::Byte2: return 0b01;
    case BreakpointSize::Byte4: return 0b11;
    case BreakpointSize::Byte8: return 0b10;
    default: return 0b00;
    }
}

uint32_t PlaceBreakpoint(DebugRegisters& registers, uint64_t address, BreakpointKind kind,
                         BreakpointSize size) noexcept {
    for (uint32_t slot = 0; slot < 4; ++slot) {
        const uint64_t enable = uint64_t{1} << (2 * slot);
        if ((registers.control & enable) != 0) continue;
        const unsigned fieldShift = 16 + 4 * slot;
        const uint64_t fields = uint64_t{BreakpointAccessCode(kind)} | uint64_t{BreakpointLengthCode(size)}
                                                                           << 2;
        registers.address[slot] = address;
        registers.status = 0;
        registers.control =
            (registers.control & ~(uint64_t{0xF} << fieldShift)) | fields << fieldShift | enable;
        return slot;
    }
    return NoBreakpointSlot;
}

void ClearBreakpoint(DebugRegisters& registers, uint32_t slot) noexcept {
    if (slot >= 4) return;
    registers.address[slot] = 0;
    registers.control &= ~(uint64_t{1} << (2 * slot));
}

namespace SystemPrivate {

HardwareBreakpoint* NewBreakpointRecord(void* const* threads, int32_t count, BreakpointKind kind,
                                        BreakpointSize size, uint64_t address, size_t extraPerThread) {
    const auto listed = static_cast<size_t>(count);
    void* memory = std::malloc(sizeof(HardwareBreakpoint) +
                               listed * (sizeof(void*) + sizeof(uint32_t) + extraPerThread));
    if (memory == nullptr) return nullptr;
    auto* breakpoint = new (memory) HardwareBreakpoint;
    breakpoint->address = address;
    breakpoint->kind = kind;
    breakpoint->size = size;
    breakpoint->threadCount = count;
    breakpoint->threads = reinterpret_cast<void**>(static_cast<char*>(memory) + sizeof(HardwareBreakpoint));
    breakpoint->threadSlots = reinterpret_cast<uint32_t*>(breakpoint->threads + listed);
    for (size_t i = 0; i < listed; ++i) {
        breakpoint->threads[i] = threads[i];
        breakpoint->threadSlots[i] = NoBreakpointSlot;
    }
    return breakpoint;
}

}  // namespace SystemPrivate

}  // namespace Quorvin
