// A game module whose KestruneMain returns KESTRUNE_MAIN_RESULT (compiled in).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

extern "C" __declspec(dllexport) int KestruneMain(HINSTANCE) { return KESTRUNE_MAIN_RESULT; }
