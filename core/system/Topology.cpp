// The portable part of processor topology: the core groups and the walk over the system's records.
#include "core/system/Topology.h"

#include <bit>
#include <cstring>

namespace Quorvin {

namespace {

// The system's record layout (SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX holding a
// PROCESSOR_RELATIONSHIP), by byte offset. The efficiency-class byte is missing from some SDK
// headers, which is one reason the walk reads offsets rather than structures.
constexpr uint32_t RelationProcessorCore = 0;
constexpr size_t RecordHeaderSize = 8;
constexpr size_t EfficiencyClassOffset = 9;
constexpr size_t GroupCountOffset = 30;
constexpr size_t GroupEntriesOffset = 32;
constexpr size_t GroupEntrySize = 16;  // 64-bit mask, 16-bit group, three reserved 16-bit words
constexpr size_t GroupNumberOffset = 8;

// The records come from the system or from a caller's buffer, so no alignment is assumed.
template <typename T>
T ReadAt(const unsigned char* bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof(value));
    return value;
}

}  // namespace

void CoreGroup::AddCore(uint64_t coreMask) {
    coreMasks.push_back(coreMask);
    affinityMask |= coreMask;
}

uint64_t CoreGroup::CountProcessors() const noexcept {
    return static_cast<uint64_t>(std::popcount(affinityMask));
}

uint64_t CoreGroup::LowestProcessors(uint16_t count) const noexcept {
    if (count == 0 || CountProcessors() < count) return affinityMask;
    uint64_t remaining = affinityMask;
    uint64_t lowest = 0;
    for (uint16_t i = 0; i < count; ++i) {
        const uint64_t bit = remaining & (~remaining + 1);
        lowest |= bit;
        remaining ^= bit;
    }
    return lowest;
}

void ProcessorTopology::AddCore(uint8_t efficiencyClass, uint16_t group, uint64_t mask) {
    CoreGroup& byGroup = groups[group];
    byGroup.group = group;
    byGroup.AddCore(mask);
    CoreGroup& byClass = groupsByClass[efficiencyClass][group];
    byClass.group = group;
    byClass.AddCore(mask);
}

bool ProcessorTopology::AddCoreRecords(const void* records, size_t length, bool useEfficiencyClass) {
    const auto* bytes = static_cast<const unsigned char*>(records);
    bool wellFormed = true;
    size_t offset = 0;
    while (offset < length) {
        const size_t available = length - offset;
        if (available < RecordHeaderSize) {
            wellFormed = false;
            break;
        }
        const unsigned char* record = bytes + offset;
        const uint32_t relationship = ReadAt<uint32_t>(record);
        const uint32_t size = ReadAt<uint32_t>(record + 4);
        if (size < RecordHeaderSize) {
            wellFormed = false;
            break;
        }
        const size_t extent = size < available ? size : available;
        if (size > available) wellFormed = false;
        if (relationship == RelationProcessorCore) {
            if (extent < GroupEntriesOffset) {
                wellFormed = false;
            } else {
                const uint8_t efficiencyClass = useEfficiencyClass ? record[EfficiencyClassOffset] : 0;
                const size_t announced = ReadAt<uint16_t>(record + GroupCountOffset);
                const size_t present = (extent - GroupEntriesOffset) / GroupEntrySize;
                if (announced == 0 || announced > present) wellFormed = false;
                const size_t entries = announced < present ? announced : present;
                for (size_t i = 0; i < entries; ++i) {
                    const unsigned char* entry = record + GroupEntriesOffset + i * GroupEntrySize;
                    AddCore(efficiencyClass, ReadAt<uint16_t>(entry + GroupNumberOffset),
                            ReadAt<uint64_t>(entry));
                }
            }
        }
        if (size > available) break;
        offset += size;
    }
    valid = true;
    return wellFormed;
}

std::vector<CoreGroup> ProcessorTopology::GetGroups() const {
    std::vector<CoreGroup> result;
    result.reserve(groups.size());
    for (const auto& [number, group] : groups) result.push_back(group);
    return result;
}

std::pair<uint64_t, uint64_t> ProcessorTopology::CountLogicalProcessors() const noexcept {
    std::pair<uint64_t, uint64_t> counts{0, 0};
    for (const auto& [efficiencyClass, byGroup] : groupsByClass) {
        for (const auto& [number, group] : byGroup) {
            (efficiencyClass != 0 ? counts.first : counts.second) += group.CountProcessors();
        }
    }
    return counts;
}

std::pair<std::vector<CoreGroup>, std::vector<CoreGroup>> ProcessorTopology::GetGroupsByClass() const {
    std::pair<std::vector<CoreGroup>, std::vector<CoreGroup>> result;
    for (const auto& [efficiencyClass, byGroup] : groupsByClass) {
        auto& list = efficiencyClass != 0 ? result.first : result.second;
        for (const auto& [number, group] : byGroup) list.push_back(group);
    }
    return result;
}

}  // namespace Quorvin
