// The name registry's hash table: open addressing with linear probing over a power-of-two array of
// key records, so that a look-up of a known name usually touches one slot and the name's characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "core/platform/NameRegistry.h"

namespace Quorvin {

/// A table from NameKey to a dense identifier: the n-th key added gets n - 1. A key's home slot is
/// its hash masked with the table's slot mask. It stores the key records themselves, not copies of
/// the characters. Not thread-safe: the registry guards it with its lock.
class NameTable {
public:
    constexpr NameTable() = default;
    NameTable(const NameTable&) = delete;
    NameTable& operator=(const NameTable&) = delete;

    /// True, with the identifier in `id`, when `key` is in the table. Inline: it is the registry's
    /// hot path.
    bool Find(const NameKey& key, uint32_t& id) const noexcept {
        if (size_ == 0) return false;
        for (size_t i = key.hash & mask_;; i = (i + 1) & mask_) {
            const Slot& slot = slots_[i];
            if (!slot.used) return false;
            if (slot.key.hash == key.hash && SameName(slot.key, key)) {
                id = slot.id;
                return true;
            }
        }
    }
    /// Adds `key`, which must not be in the table yet, and returns its identifier (the number of keys
    /// added before it). Throws std::bad_alloc when the table cannot grow; it is then unchanged.
    uint32_t Add(const NameKey& key);
    /// The number of keys added.
    size_t Size() const noexcept { return size_; }

private:
    struct Slot {
        NameKey key;
        uint32_t id = 0;
        uint32_t used = 0;
    };

    // Equal lengths and equal characters up to that length or up to a NUL in both, whichever comes
    // first (strncmp). The same pointer (callers often pass the same characters each time) or equal
    // bytes (memcmp, cheaper than strncmp) settle the common cases.
    static bool SameName(const NameKey& a, const NameKey& b) noexcept {
        if (a.length != b.length) return false;
        if (a.data == b.data || a.length == 0 || std::memcmp(a.data, b.data, a.length) == 0) return true;
        return std::strncmp(a.data, b.data, a.length) == 0;
    }
    void Grow();

    std::unique_ptr<Slot[]> slots_;
    size_t mask_ = 0;  // slot count - 1, once there are slots
    size_t size_ = 0;
};

}  // namespace Quorvin
