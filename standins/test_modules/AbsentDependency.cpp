// A library that is never shipped beside the launcher: modules that import it cannot load.
extern "C" __declspec(dllexport) int KestruneAbsentFunction() { return 0; }
