// The name registry's hash table: open addressing with linear probing over a power-of-two array of
// 16-byte slots, so that a look-up of a known name usually touches one cache line of slots, one
// length and the name's characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "core/runtime/NameRegistry.h"

namespace Quorvin::RuntimePrivate {

/// A table from NameKey to a dense identifier: the n-th key added gets n - 1. A key's home slot is
/// its hash masked with the table's slot mask. It keeps the key records (pointer, length, hash), not
/// copies of the characters. Not thread-safe: the registry guards it with its lock.
class NameTable {
public:
    constexpr NameTable() = default;
    NameTable(const NameTable&) = delete;
    NameTable& operator=(const NameTable&) = delete;

    /// True, with the identifier in `id`, when `key` is in the table. Inline: it is the registry's
    /// hot path.
    bool Find(const NameKey& key, uint32_t& id) const noexcept {
        if (size == 0) return false;
        for (size_t i = key.hash & mask;; i = (i + 1) & mask) {
            const Slot& slot = slots[i];
            if (slot.idPlusOne == 0) return false;
            if (slot.hash == key.hash && lengths[slot.idPlusOne - 1] == key.length &&
                SameCharacters(slot.data, key.data, key.length)) {
                id = slot.idPlusOne - 1;
                return true;
            }
        }
    }
    /// Adds `key`, which must not be in the table yet, and returns its identifier (the number of keys
    /// added before it). Throws std::bad_alloc when the table cannot grow; it is then unchanged.
    uint32_t Add(const NameKey& key);
    /// The number of keys added.
    size_t Size() const noexcept { return size; }

private:
    // The length lives apart, by identifier: it is needed only once the hash matches, and 16-byte
    // slots never straddle cache lines.
    struct Slot {
        const char* data = nullptr;
        uint32_t hash = 0;
        uint32_t idPlusOne = 0;  // 0: a free slot
    };

    // Equal characters up to `length` or up to a NUL in both, whichever comes first (strncmp). The
    // same pointer (callers often pass the same characters each time) or the same bytes settle the
    // common cases without a library call.
    static bool SameCharacters(const char* a, const char* b, uint32_t length) noexcept {
        if (a == b || SameBytes(a, b, length)) return true;
        return std::strncmp(a, b, length) == 0;
    }
    // memcmp(a, b, n) == 0, eight bytes at a time (the last eight overlapping the previous ones),
    // never reading outside [0, n).
    static bool SameBytes(const char* a, const char* b, uint32_t n) noexcept {
        if (n < 8) {
            for (uint32_t i = 0; i < n; ++i) {
                if (a[i] != b[i]) return false;
            }
            return true;
        }
        for (uint32_t i = 0; i + 8 < n; i += 8) {
            if (Load8(a + i) != Load8(b + i)) return false;
        }
        return Load8(a + n - 8) == Load8(b + n - 8);
    }
    static uint64_t Load8(const char* bytes) noexcept {
        uint64_t value;
        std::memcpy(&value, bytes, sizeof(value));
        return value;
    }
    void Grow();

    std::unique_ptr<Slot[]> slots;
    std::unique_ptr<uint32_t[]> lengths;  // by identifier; room for half as many as there are slots
    size_t mask = 0;                      // slot count - 1, once there are slots
    size_t size = 0;
};

}  // namespace Quorvin::RuntimePrivate
