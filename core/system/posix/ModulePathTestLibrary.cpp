// A tiny shared library for the module-path tests: loaded from unusual folders, it gives addresses
// inside itself.
extern "C" {
__attribute__((visibility("default"))) int QuorvinModulePathTestFunction() { return 42; }
__attribute__((visibility("default"))) int quorvinModulePathTestVariable = 7;
}
