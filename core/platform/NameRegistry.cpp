// The name registry's process-wide table.
#include "core/platform/NameRegistry.h"

namespace Quorvin {
namespace {

NameTable Table;

}  // namespace

size_t NameRegistry::Count() { return Table.size(); }

}  // namespace Quorvin
