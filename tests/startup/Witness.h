// A start-up witness: an object whose construction prints its name, so the order in which the
// run time constructs static objects can be seen from outside.
#pragma once

#include <cstdio>

struct StartupWitness {
    explicit StartupWitness(const char* name) {
        std::printf("%s\n", name);
        std::fflush(stdout);
    }
};
