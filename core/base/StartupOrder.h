// The order in which the process-wide start-up state is constructed, before WinMain: the name
// registry's table, the timer constants, then the text containers. No initialiser depends on
// another; the order is fixed so that every build constructs them the same way, whatever order
// the linker lays the components out in (mingw runs unprioritised initialisers in reverse link
// order). Each definition carries QUORVIN_INIT_PRIORITY(StartupOrder::...).
#pragma once

namespace Quorvin::StartupOrder {

inline constexpr int NameTable = 60010;
inline constexpr int TimerConstants = 60020;
inline constexpr int NoLineStartSet = 60030;
inline constexpr int NoLineEndSet = 60040;
inline constexpr int StyleTable = 60050;

}  // namespace Quorvin::StartupOrder
