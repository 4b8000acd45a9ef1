// A probe for the module-path tests: copied with its library into a folder of the test's making,
// it prints the UTF-8 paths of itself and of the library as hex bytes, one per line:
//   exe=<hex>
//   dll=<hex>
#include <cstdio>
#include <string>

#include "core/system/ModulePath.h"

extern "C" void* ModulePathProbeLibraryHandle();

namespace {

void PrintHex(const char* label, const std::string& text) {
    std::printf("%s=", label);
    for (unsigned char c : text) std::printf("%02X", c);
    std::printf("\n");
}

}  // namespace

int main() {
    PrintHex("exe", Quorvin::GetModulePath(nullptr));
    PrintHex("dll", Quorvin::GetModulePath(ModulePathProbeLibraryHandle()));
    return 0;
}
