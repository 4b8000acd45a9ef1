// What the consumer does differently per system: a command that succeeds, and the headers offered
// on one system only.
#pragma once

#include <string>

namespace QuorvinConsumer {

/// A command line whose program exits with 0.
std::wstring SucceedingCommand();

/// Includes and calls the headers this system alone is offered; returns the number of wrong answers.
int CheckSystemOnly();

}  // namespace QuorvinConsumer
