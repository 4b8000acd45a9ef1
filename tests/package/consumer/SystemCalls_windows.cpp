// The consumer on Windows, which is also offered the Windows seam and crash reporting.
#include <core/crash/BugReport.h>
#include <core/crash/CrashReporter.h>
#include <core/crash/MyCrashHandler.h>
#include <core/windows/ScopedHandle.h>
#include <core/windows/WindowsApi.h>

#include "SystemCalls.h"

namespace QuorvinConsumer {

std::wstring SucceedingCommand() { return L"cmd.exe /c exit 0"; }

int CheckSystemOnly() {
    int wrong = 0;
    Quorvin::CrashReporter::Init();  // no dump.config beside the consumer: stays off
    wrong += Quorvin::CrashReporter::IsEnabled() ? 1 : 0;
    wrong += Quorvin::string_to_wstring("abc", CP_UTF8) == std::wstring(L"abc", 4) ? 0 : 1;  // with its NUL
    wrong += MyCrashHandler::getInstance() != nullptr ? 0 : 1;
    Quorvin::ScopedHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    wrong += event ? 0 : 1;
    return wrong;
}

}  // namespace QuorvinConsumer
