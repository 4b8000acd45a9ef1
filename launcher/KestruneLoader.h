// Loads the game's main module "Kestrune_x64r.dll" and runs it through its export KestruneMain.
//
// The hosted-module contract: the file name is given without a directory (the platform's library
// search order applies, the executable's own directory first); the export is looked up by name;
// it takes the executable's instance handle and returns a 32-bit integer, 0 for success. The call
// is made on the main thread and normally lasts for the whole game.
#pragma once

#include <cstdint>
#include <string>

#include "core/windows/WindowsApi.h"

enum LoadCode : int32_t {
    Success = 0,            ///< KestruneMain returned 0; the module stays loaded
    ModuleNotLoaded = 1,    ///< the module (or one of its dependencies) could not be loaded
    EntryPointMissing = 2,  ///< no export named KestruneMain; the module was unloaded again
    EntryPointFailed = 3,   ///< KestruneMain returned non-zero; the module was unloaded again
};

struct LoadResult {
    int32_t code = Success;  ///< a LoadCode
    std::string message;     ///< left empty by Load; Run shows its own fixed texts
};

class KestruneLoader {
public:
    virtual ~KestruneLoader();

    /// Loads the module and calls KestruneMain(instance).
    LoadResult Load(HINSTANCE instance);

    /// Load, then on failure shows the matching modal error box and waits for the user.
    /// Returns the process exit code: 0 on success, 2 on any failure.
    int32_t Run(HINSTANCE instance);
};
