// Sample game module: says hello on the console it may have, then reports success.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>

// Prints the instance handle it received beside the executable's own module handle, so a test can
// tell that the launcher passed its instance on.
extern "C" __declspec(dllexport) int KestruneMain(HINSTANCE instance) {
    std::printf("Kestrune sample module: hosted by instance %p (executable module %p)\n",
                static_cast<void*>(instance), static_cast<void*>(GetModuleHandleW(nullptr)));
    std::fflush(stdout);
    return 0;
}
