// The name registry: its hash table, the process-wide table and its lock.
#include "core/platform/NameRegistry.h"

#include "core/diagnostics/Ensure.h"
#include "core/platform/SpinLocks.h"
#include "core/platform/internal/NameTable.h"

namespace Quorvin {
namespace {

constexpr size_t InitialSlots = 64;

NameTable Table;

// Constant-initialised, so it works before any dynamic initialiser has run.
constinit RWSpinLock Lock;

}  // namespace

uint32_t NameTable::Add(const NameKey& key) {
    // At most half full, so probe runs stay short and a free slot always ends a search.
    if (!slots_ || (size_ + 1) * 2 > mask_ + 1) Grow();
    size_t i = key.hash & mask_;
    while (slots_[i].used) i = (i + 1) & mask_;
    const uint32_t id = static_cast<uint32_t>(size_);
    slots_[i] = Slot{key, id, 1};
    ++size_;
    return id;
}

void NameTable::Grow() {
    const size_t count = slots_ ? (mask_ + 1) * 2 : InitialSlots;
    std::unique_ptr<Slot[]> grown(new Slot[count]);
    const size_t mask = count - 1;
    if (slots_) {
        for (size_t i = 0; i <= mask_; ++i) {
            if (!slots_[i].used) continue;
            size_t j = slots_[i].key.hash & mask;
            while (grown[j].used) j = (j + 1) & mask;
            grown[j] = slots_[i];
        }
    }
    slots_ = std::move(grown);
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
