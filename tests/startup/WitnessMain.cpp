// The witness program: static objects print their names as they are constructed, main prints last.
#include "tests/startup/Witness.h"

StartupWitness WitnessPlainSecond{"WitnessPlainSecond"};

int main() {
    std::printf("main\n");
    return 0;
}
