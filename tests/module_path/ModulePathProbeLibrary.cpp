// The library of the module-path probe, imported at load time so that the loader finds it beside
// the probe at any path length; it tells the probe its own module handle.
#include "core/windows/WindowsApi.h"

extern "C" __declspec(dllexport) void* ModulePathProbeLibraryHandle() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ModulePathProbeLibraryHandle), &self);
    return self;
}
