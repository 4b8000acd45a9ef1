// A process-wide instance slot with set-once semantics, and a built-in default instance.
//
// Installing twice is a programming error: the second installer fails the fatal ensure check
// "ptr == nullptr". The installers use sequentially consistent exchanges, so of two concurrent
// installers exactly one succeeds.
#pragma once

#include <cstdint>

namespace Quorvin {

/// The built-in default instance: zero-initialised, on a cache line of its own.
struct alignas(64) DefaultGlobalInstance {
    uint8_t reserved = 0;   ///< unused; keeps the installed flag the second byte
    uint8_t installed = 0;  ///< 1 once InstallDefaultGlobalInstance has run
};

/// Installs `instance`; the slot must still be empty. Returns `instance`.
void* SetGlobalInstance(void* instance);
/// The installed instance, or null before any installation.
void* GetGlobalInstance();
/// Installs the built-in default instance (the slot must still be empty) and marks it installed.
void InstallDefaultGlobalInstance();

}  // namespace Quorvin
