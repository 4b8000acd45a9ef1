// The process-wide name registry: dense, stable 32-bit identifiers for names.
//
// The table is constructed empty during static initialisation, before WinMain, and keeps the
// callers' key records (not copies of the characters): a registered name's characters must stay
// valid and unchanged for the life of the process.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Quorvin {

/// A name as the registry sees it. `hash` is computed by the caller and trusted; every caller
/// must use the same hash function for the same name (any 32-bit hash works).
struct NameKey {
    /// `length` readable characters, not necessarily NUL-terminated; null only when `length` is 0.
    const char* data = nullptr;
    uint32_t length = 0;  ///< number of characters that make the name
    uint32_t hash = 0;    ///< the caller's hash of those characters
};

/// Hands out identifiers 0, 1, 2, ... to names in the order they are first seen. Names are never
/// removed, so an identifier never changes and is never reused. Two keys name the same thing when
/// their lengths are equal and strncmp over that length finds no difference: comparison stops at
/// a NUL present in both, so "ab\0x" and "ab\0y" (length 4) are one name.
///
/// Thread-safety: every operation may be called from any thread, from static initialisation on (the
/// table needs no dynamic initialiser) until the table is destroyed at exit. A known name costs a
/// shared hold of a reader-writer spin lock, so look-ups from many threads proceed together;
/// registering a new name takes the lock exclusively.
class NameRegistry {
public:
    /// The identifier of `key`'s name, registering the name if it is new. `key.data` must stay valid
    /// and unchanged for the life of the process once the name is registered. A null `key.data`
    /// with a non-zero length is a programming error (fatal ensure check). Throws std::bad_alloc
    /// when the table cannot grow; the registry is then unchanged and still usable.
    static uint32_t GetId(const NameKey& key);

    /// Number of registered names.
    static size_t Count();
};

}  // namespace Quorvin
