// Loading and entering the hosted game module.
#include "launcher/KestruneLoader.h"

namespace {

using KestruneMainFunction = int32_t(__cdecl*)(HINSTANCE instance);

const char* FailureText(int32_t code) {
    switch (code) {
    case ModuleNotLoaded: return "Could not load  Kestrune_x64r.dll!";
    case EntryPointMissing: return "Could not find 'KestruneMain' entry point!";
    default: return "Init KestruneMain Failed!";
    }
}

}  // namespace

KestruneLoader::~KestruneLoader() = default;

LoadResult KestruneLoader::Load(HINSTANCE instance) {
    LoadResult result;
    HMODULE module = LoadLibraryExA("Kestrune_x64r.dll", nullptr, 0);
    if (module == nullptr) {
        result.code = ModuleNotLoaded;
        return result;
    }
    const auto entryPoint = reinterpret_cast<KestruneMainFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "KestruneMain")));
    if (entryPoint == nullptr) {
        FreeLibrary(module);
        result.code = EntryPointMissing;
        return result;
    }
    if (entryPoint(instance) != 0) {
        FreeLibrary(module);
        result.code = EntryPointFailed;
        return result;
    }
    result.code = Success;  // the module stays loaded until the process ends
    return result;
}

int32_t KestruneLoader::Run(HINSTANCE instance) {
    const LoadResult result = Load(instance);
    if (result.code == Success) return 0;
    MessageBoxA(nullptr, FailureText(result.code), "Error", MB_OK | MB_ICONERROR);
    return 2;
}
