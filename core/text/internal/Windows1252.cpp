// Code page 1252 one character at a time, over the tables generated from the system's conversions.
#include "core/text/internal/Windows1252.h"

#include <algorithm>
#include <iterator>
#include <string_view>

namespace Quorvin::TextPrivate {
namespace {

// Best fits of consecutive units from `first`, a byte each.
struct BestFitRun {
    uint16_t first;
    std::string_view bytes;
};

#include "core/text/internal/Windows1252Tables.inc"

// The look-up below needs the runs in order and apart.
constexpr bool RunsAreOrdered() {
    for (size_t i = 1; i < std::size(BestFitRuns); ++i) {
        if (BestFitRuns[i - 1].first + BestFitRuns[i - 1].bytes.size() > BestFitRuns[i].first) return false;
    }
    return true;
}
static_assert(RunsAreOrdered());

}  // namespace

uint16_t Windows1252ToUnit(uint8_t byte) noexcept {
    return byte >= 0x80 && byte < 0xA0 ? HighControlUnits[byte - 0x80] : byte;
}

uint8_t UnitToWindows1252(uint16_t unit) noexcept {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
        return static_cast<uint8_t>(unit);
    }
    for (uint8_t i = 0; i < std::size(HighControlUnits); ++i) {
        if (HighControlUnits[i] == unit) return static_cast<uint8_t>(0x80 + i);
    }
    const auto* run = std::upper_bound(std::begin(BestFitRuns), std::end(BestFitRuns), unit,
                                       [](uint16_t u, const BestFitRun& r) { return u < r.first; });
    if (run != std::begin(BestFitRuns)) {
        --run;
        if (size_t{unit} - run->first < run->bytes.size()) {
            return static_cast<uint8_t>(run->bytes[unit - run->first]);
        }
    }
    return '?';
}

}  // namespace Quorvin::TextPrivate
