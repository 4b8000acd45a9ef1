// Sample game module: says hello on the console it may have, then reports success.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>

extern "C" __declspec(dllexport) int KestruneMain(HINSTANCE instance) {
    std::printf("Kestrune sample module: hosted by instance %p\n", static_cast<void*>(instance));
    std::fflush(stdout);
    return 0;
}
