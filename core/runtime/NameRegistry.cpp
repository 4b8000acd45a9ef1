// The name registry: its hash table, the process-wide table and its lock.
#include "core/runtime/NameRegistry.h"

#include <cstring>

#include "core/base/Compiler.h"
#include "core/base/StartupOrder.h"
#include "core/diagnostics/Ensure.h"
#include "core/runtime/internal/NameTable.h"
#include "core/sync/SpinLocks.h"

namespace Quorvin {
namespace {

constexpr size_t InitialSlots = 64;

RuntimePrivate::NameTable Table QUORVIN_INIT_PRIORITY(StartupOrder::NameTable);

// Constant-initialised, so it works before any dynamic initialiser has run.
constinit RWSpinLock Lock;

}  // namespace

uint32_t RuntimePrivate::NameTable::Add(const NameKey& key) {
    // At most half full, so probe runs stay short and a free slot always ends a search.
    if (!slots || (size + 1) * 2 > mask + 1) Grow();
    size_t i = key.hash & mask;
    while (slots[i].idPlusOne != 0) i = (i + 1) & mask;
    const uint32_t id = static_cast<uint32_t>(size);
    slots[i] = Slot{key.data, key.hash, id + 1};
    lengths[id] = key.length;
    ++size;
    return id;
}

void RuntimePrivate::NameTable::Grow() {
    const size_t count = slots ? (mask + 1) * 2 : InitialSlots;
    std::unique_ptr<Slot[]> grownSlots(new Slot[count]);
    std::unique_ptr<uint32_t[]> grownLengths(new uint32_t[count / 2]);
    const size_t grownMask = count - 1;
    for (size_t i = 0; slots && i <= mask; ++i) {
        if (slots[i].idPlusOne == 0) continue;
        size_t j = slots[i].hash & grownMask;
        while (grownSlots[j].idPlusOne != 0) j = (j + 1) & grownMask;
        grownSlots[j] = slots[i];
    }
    if (size != 0) std::memcpy(grownLengths.get(), lengths.get(), size * sizeof(uint32_t));
    slots = std::move(grownSlots);
    lengths = std::move(grownLengths);
    mask = grownMask;
}

uint32_t NameRegistry::GetId(const NameKey& key) {
    QUORVIN_ENSURE(key.data != nullptr || key.length == 0);
    uint32_t id = 0;
    Lock.LockShared();
    if (Table.Find(key, id)) {
        Lock.UnlockShared();
        return id;
    }
    // Whether or not the shared hold survives the upgrade, another thread may have registered the
    // name meanwhile, so look again under the exclusive hold.
    Lock.Upgrade();
    try {
        if (!Table.Find(key, id)) id = Table.Add(key);
    } catch (...) {
        Lock.UnlockExclusive();
        throw;
    }
    Lock.UnlockExclusive();
    return id;
}

size_t NameRegistry::Count() {
    Lock.LockShared();
    const size_t count = Table.Size();
    Lock.UnlockShared();
    return count;
}

}  // namespace Quorvin
