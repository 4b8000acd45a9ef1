// The process-wide name registry: dense, stable 32-bit identifiers for names.
//
// The table is constructed empty during static initialisation, before WinMain, and keeps the
// callers' key records (not copies of the characters): a registered name's characters must stay
// valid and unchanged for the life of the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <unordered_map>

namespace Quorvin {

/// A name as the registry sees it. `hash` is computed by the caller and trusted; every caller
/// must use the same hash function for the same name.
struct NameKey {
    const char* data = nullptr;  ///< not necessarily NUL-terminated
    uint32_t length = 0;
    uint32_t hash = 0;
};

struct NameKeyHash {
    size_t operator()(const NameKey& key) const noexcept { return key.hash; }
};

/// Equal lengths and equal characters over that length (strncmp semantics).
struct NameKeyEqual {
    bool operator()(const NameKey& a, const NameKey& b) const noexcept {
        return a.length == b.length && std::strncmp(a.data, b.data, a.length) == 0;
    }
};

using NameTable = std::unordered_map<NameKey, uint32_t, NameKeyHash, NameKeyEqual>;

class NameRegistry {
public:
    /// Number of registered names.
    static size_t Count();
};

}  // namespace Quorvin
