// The executable's entry point: host the game module, then end the process at once.
#include "launcher/KestruneLoader.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    KestruneLoader loader;
    const int32_t exitCode = loader.Run(instance);
    // Terminating instead of returning skips the run time's exit processing: no at-exit handlers,
    // no static destructors, and no detach-time clean-up in the hosted module, whose threads may
    // still be running.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCode));
    return exitCode;
}
