// A witness with an early start-up priority, linked before the later one: reverse link order alone
// would construct it last.
#include "core/base/Compiler.h"
#include "tests/startup/Witness.h"

StartupWitness WitnessEarly QUORVIN_INIT_PRIORITY(60020){"WitnessEarly"};
