// A loadable module that lacks the KestruneMain export.
extern "C" __declspec(dllexport) int KestruneMainTypo() { return 0; }
