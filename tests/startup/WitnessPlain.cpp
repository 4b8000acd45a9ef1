// A witness without a start-up priority, in a translation unit of its own.
#include "tests/startup/Witness.h"

StartupWitness WitnessPlainFirst{"WitnessPlainFirst"};
