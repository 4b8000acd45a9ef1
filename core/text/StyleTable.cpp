// The style-record registry.
#include "core/text/StyleTable.h"

#include "core/base/Compiler.h"
#include "core/base/StartupOrder.h"
#include "core/diagnostics/Ensure.h"

namespace Quorvin {

std::map<int32_t, StyleRecord> StyleTable QUORVIN_INIT_PRIORITY(StartupOrder::StyleTable);

int32_t RegisterStyle(const std::string& name, uint32_t a, uint32_t b, uint32_t d, uint32_t e, uint32_t f,
                      float c, uint32_t g, float h) {
    // Identifiers count up from the number of records. A record made out of turn by GetStyle may
    // already hold that number; the next free one is taken instead of dropping the new record.
    int64_t id = static_cast<int64_t>(StyleTable.size());
    while (StyleTable.count(static_cast<int32_t>(id)) != 0) {
        ++id;
    }
    QUORVIN_ENSURE(id <= INT32_MAX);
    StyleTable.emplace(static_cast<int32_t>(id), StyleRecord{name, a, b, c, d, e, f, g, h});
    return static_cast<int32_t>(id);
}

StyleRecord& GetStyle(int32_t id) { return StyleTable[id]; }

}  // namespace Quorvin
