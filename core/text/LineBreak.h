// Line breaking and inline text markup: the process-wide line-break sets and the style table.
//
// The containers are constructed empty during static initialisation, before WinMain.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

namespace Quorvin {

/// A numbered style record; the library stores and returns its fields without interpreting them.
struct StyleRecord {
    std::string name;
    uint32_t a = 0;
    uint32_t b = 0;
    float c = 0;
    uint32_t d = 0;
    uint32_t e = 0;
    uint32_t f = 0;
    uint32_t g = 0;
    float h = 0;
};

/// Code points that must not begin a line.
extern std::set<uint32_t> NoLineStartSet;
/// Code points that must not end a line.
extern std::set<uint32_t> NoLineEndSet;
/// Style records by identifier.
extern std::map<int32_t, StyleRecord> StyleTable;

}  // namespace Quorvin
