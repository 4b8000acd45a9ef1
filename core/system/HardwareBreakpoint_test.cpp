// Tests of hardware breakpoints: the debug-register editing against an independent bit model
// (real watches in live threads: windows/HardwareBreakpoint_windows_test.cpp).
#include "core/system/HardwareBreakpoint.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/support/DebugRegisterModel.h"

namespace Quorvin {
namespace {

using Testing::Dr7::Enabled;
using Testing::Dr7::Field;

TEST(HardwareBreakpoint, CodesFollowTheProcessorEncoding) {
    EXPECT_EQ(BreakpointAccessCode(BreakpointKind::Execution), 0b00u);
    EXPECT_EQ(BreakpointAccessCode(BreakpointKind::ReadWrite), 0b11u);
    EXPECT_EQ(BreakpointAccessCode(BreakpointKind::Write), 0b01u);
    EXPECT_EQ(BreakpointAccessCode(static_cast<BreakpointKind>(3)), 0b00u);
    EXPECT_EQ(BreakpointAccessCode(static_cast<BreakpointKind>(0xFFFFFFFF)), 0b00u);
    EXPECT_EQ(BreakpointLengthCode(BreakpointSize::Byte1), 0b00u);
    EXPECT_EQ(BreakpointLengthCode(BreakpointSize::Byte2), 0b01u);
    EXPECT_EQ(BreakpointLengthCode(BreakpointSize::Byte4), 0b11u);
    EXPECT_EQ(BreakpointLengthCode(BreakpointSize::Byte8), 0b10u);
    EXPECT_EQ(BreakpointLengthCode(static_cast<BreakpointSize>(4)), 0b00u);

    // Slot 1 when L0 is taken: Dr1, RW1 (bits 20-21), LEN1 (bits 22-23) and L1 (bit 2).
    DebugRegisters registers;
    registers.control = 0x1;
    registers.status = 0x4001;
    EXPECT_EQ(PlaceBreakpoint(registers, 0x1234, BreakpointKind::ReadWrite, BreakpointSize::Byte4), 1u);
    EXPECT_EQ(registers.address[1], 0x1234u);
    EXPECT_EQ(registers.address[0], 0u);
    EXPECT_EQ(registers.status, 0u);
    EXPECT_EQ(registers.control, 0x1u | 0x4u | (0xFu << 20));

    // Removal clears only L1 and Dr1; RW1 and LEN1 stay.
    ClearBreakpoint(registers, 1);
    EXPECT_EQ(registers.address[1], 0u);
    EXPECT_EQ(registers.control, 0x1u | (0xFu << 20));
    ClearBreakpoint(registers, 4);
    ClearBreakpoint(registers, NoBreakpointSlot);
    EXPECT_EQ(registers.control, 0x1u | (0xFu << 20));

    // Global-enable bits are neither tested nor touched: G0 set, L0 clear still gives slot 0.
    DebugRegisters global;
    global.control = 0x2 | (uint64_t{0xFFFFFFFF} << 32) | 0x700;
    EXPECT_EQ(PlaceBreakpoint(global, 8, BreakpointKind::Write, BreakpointSize::Byte8), 0u);
    EXPECT_EQ(global.control, 0x3 | (uint64_t{0xFFFFFFFF} << 32) | 0x700 | (0b1001u << 16));
}

TEST(HardwareBreakpoint, PlacingMatchesABitModel) {
    std::mt19937_64 random(17);
    for (int i = 0; i < 20000; ++i) {
        DebugRegisters registers;
        registers.control = random();
        for (uint64_t& address : registers.address) address = random();
        registers.status = random();
        const DebugRegisters before = registers;
        const auto kind = static_cast<BreakpointKind>(random() % 5);
        const auto size = static_cast<BreakpointSize>(random() % 6);
        const uint64_t address = random();

        uint32_t expected = NoBreakpointSlot;
        for (uint32_t slot = 3; slot < 4; --slot)
            if (!Enabled(before.control, slot)) expected = slot;
        const uint32_t slot = PlaceBreakpoint(registers, address, kind, size);
        ASSERT_EQ(slot, expected);
        if (slot == NoBreakpointSlot) {
            ASSERT_EQ(registers.control, before.control);
            ASSERT_EQ(registers.status, before.status);
            continue;
        }
        const uint64_t rw = kind == BreakpointKind::ReadWrite ? 3 : kind == BreakpointKind::Write ? 1 : 0;
        const uint64_t len = size == BreakpointSize::Byte2   ? 1
                             : size == BreakpointSize::Byte4 ? 3
                             : size == BreakpointSize::Byte8 ? 2
                                                             : 0;
        for (uint32_t other = 0; other < 4; ++other) {
            ASSERT_EQ(registers.address[other], other == slot ? address : before.address[other]);
            if (other == slot) continue;
            ASSERT_EQ(Enabled(registers.control, other), Enabled(before.control, other));
            ASSERT_EQ(Field(registers.control, 16 + 4 * other), Field(before.control, 16 + 4 * other));
            ASSERT_EQ(Field(registers.control, 18 + 4 * other), Field(before.control, 18 + 4 * other));
        }
        ASSERT_TRUE(Enabled(registers.control, slot));
        ASSERT_EQ(Field(registers.control, 16 + 4 * slot), rw);
        ASSERT_EQ(Field(registers.control, 18 + 4 * slot), len);
        const uint64_t slotBits = (uint64_t{1} << (2 * slot)) | (uint64_t{0xF} << (16 + 4 * slot));
        ASSERT_EQ(registers.control & ~slotBits, before.control & ~slotBits);
        ASSERT_EQ(registers.status, 0u);

        ClearBreakpoint(registers, slot);
        ASSERT_FALSE(Enabled(registers.control, slot));
        ASSERT_EQ(registers.address[slot], 0u);
        ASSERT_EQ(registers.control & ~(uint64_t{1} << (2 * slot)),
                  (before.control & ~slotBits) | (rw | len << 2) << (16 + 4 * slot));
    }
}

}  // namespace
}  // namespace Quorvin
