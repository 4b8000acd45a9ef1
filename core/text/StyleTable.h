// The registry of numbered style records used when laying out text.
//
// StyleTable is process-wide, constructed empty during static initialisation (before WinMain).
// Records are never removed, so references to them stay valid for the life of the process.
//
// Thread-safety: no locking. Register styles (and look up new identifiers) from one thread, before
// other readers use the table.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace Quorvin {

/// A numbered style record; the library stores and returns its fields without interpreting them.
struct StyleRecord {
    std::string name;  ///< the style's name, narrow text
    ///@{
    /// Numbers kept for the text layout, which gives them their meaning.
    uint32_t a = 0;
    uint32_t b = 0;
    float c = 0;
    uint32_t d = 0;
    uint32_t e = 0;
    uint32_t f = 0;
    uint32_t g = 0;
    float h = 0;
    ///@}
};

/// Style records by identifier; records are never removed.
extern std::map<int32_t, StyleRecord> StyleTable;

/// Adds a style record and returns its identifier: the current number of records, or, when a
/// record already holds that identifier (GetStyle can create records out of turn), the next free
/// identifier above it. Note the argument order: a, b, d, e, f, c, g, h.
int32_t RegisterStyle(const std::string& name, uint32_t a, uint32_t b, uint32_t d, uint32_t e, uint32_t f,
                      float c, uint32_t g, float h);
/// The record with `id`, inserting an empty one (empty name, all numbers 0) when there is none.
/// The reference stays valid for the life of the process.
StyleRecord& GetStyle(int32_t id);

}  // namespace Quorvin
