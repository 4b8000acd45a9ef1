// A witness with a later start-up priority.
#include "core/base/Compiler.h"
#include "tests/startup/Witness.h"

StartupWitness WitnessLate QUORVIN_INIT_PRIORITY(60040){"WitnessLate"};
