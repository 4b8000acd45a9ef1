// The name registry: its hash table, the process-wide table and its lock.
#include "core/runtime/NameRegistry.h"

#include <cstring>

#include "core/Compiler.h"
#include "core/StartupOrder.h"
#include "core/diagnostics/Ensure.h"
#include "core/runtime/internal/NameTable.h"
#include "core/sync/SpinLocks.h"

namespace Quorvin {
namespace {

constexpr size_t InitialSlots = 64;

NameTable Table QUORVIN_INIT_PRIORITY(StartupOrder::NameTable);

// Constant-initialised, so it works before any dynamic initialiser has run.
constinit RWSpinLock Lock;

}  // namespace

uint32_t NameTable::Add(const NameKey& key) {
    // At most half full, so probe runs stay short and a free slot always ends a search.
    if (!slots_ || (size_ + 1) * 2 > mask_ + 1) Grow();
    size_t i = key.hash & mask_;
    while (slots_[i].idPlusOne != 0) i = (i + 1) & mask_;
    const uint32_t id = static_cast<uint32_t>(size_);
    slots_[i] = Slot{key.data, key.hash, id + 1};
    lengths_[id] = key.length;
    ++size_;
    return id;
}

void NameTable::Grow() {
    const size_t count = slots_ ? (mask_ + 1) * 2 : InitialSlots;
    std::unique_ptr<Slot[]> slots(new Slot[count]);
    std::unique_ptr<uint32_t[]> lengths(new uint32_t[count / 2]);
    const size_t mask = count - 1;
    for (size_t i = 0; slots_ && i <= mask_; ++i) {
        if (slots_[i].idPlusOne == 0) continue;
        size_t j = slots_[i].hash & mask;
        while (slots[j].idPlusOne != 0) j = (j + 1) & mask;
        slots[j] = slots_[i];
    }
    if (size_ != 0) std::memcpy(lengths.get(), lengths_.get(), size_ * sizeof(uint32_t));
    slots_ = std::move(slots);
    lengths_ = std::move(lengths);
    mask_ = mask;
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
