// A game module that imports from a library that is not there at run time.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

extern "C" __declspec(dllimport) int KestruneAbsentFunction();

extern "C" __declspec(dllexport) int KestruneMain(HINSTANCE) { return KestruneAbsentFunction(); }
