// Line-break sets and style table.
#include "core/text/LineBreak.h"

namespace Quorvin {

std::set<uint32_t> NoLineStartSet;
std::set<uint32_t> NoLineEndSet;
std::map<int32_t, StyleRecord> StyleTable;

}  // namespace Quorvin
