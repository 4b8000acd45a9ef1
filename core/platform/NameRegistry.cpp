// The name registry's process-wide table.
#include "core/platform/NameRegistry.h"

#include "core/Compiler.h"
#include "core/StartupOrder.h"

namespace Quorvin {
namespace {

NameTable Table QUORVIN_INIT_PRIORITY(StartupOrder::NameTable);

}  // namespace

size_t NameRegistry::Count() { return Table.size(); }

}  // namespace Quorvin
