// The consumer on Linux, where every installed header is portable.
#include "SystemCalls.h"

namespace QuorvinConsumer {

std::wstring SucceedingCommand() { return L"true"; }

int CheckSystemOnly() { return 0; }

}  // namespace QuorvinConsumer
