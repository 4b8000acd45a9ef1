// Starting "bugreport.exe" from the crash callback.
#include "core/crash/BugReport.h"

#include <sys/stat.h>

#include <stdexcept>

#include "core/crash/CrashReporter.h"
#include "core/crash/MyCrashHandler.h"
#include "core/crash/windows/LibraryText.h"
#include "core/platform/ModulePath.h"
#include "core/platform/PathRules.h"
#include "core/windows/ScopedHandle.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {
namespace {

// string_to_wstring keeps the terminator the platform counts; building a command line wants the
// characters only.
std::wstring WithoutTerminator(std::wstring text) {
    if (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

}  // namespace

std::wstring string_to_wstring(const std::string& text, unsigned int codePage) {
    if (text.empty()) return std::wstring();
    const int length = MultiByteToWideChar(codePage, 0, text.c_str(), -1, nullptr, 0);
    if (length == 0) {
        throw std::runtime_error("string_to_wstring Error" + std::to_string(GetLastError()));
    }
    std::wstring converted(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.c_str(), -1, converted.data(), length);
    return converted;
}

void LaunchBugReport() {
    MyCrashHandler* handler = CrashReporter::Handler();
    if (handler == nullptr) return;  // called without a configured library: there is no report
    const std::string reportText = CrashPrivate::CopyLibraryText(handler->getBugReportText());
    (void)reportText;  // asked for, as the library expects, and not used further
    const std::string identifier = CrashPrivate::CopyLibraryText(handler->getParam("transid"));

    // The directory is never narrowed: going through the ANSI code page and back through UTF-8
    // would lose or garble every non-ASCII character of the install path.
    const std::wstring programPath = JoinPath(GetModuleDirectory(), L"bugreport.exe");
    struct _stat64 status {};
    if (_wstat64(programPath.c_str(), &status) != 0) return;

    std::wstring commandLine =
        L" \"" + programPath + L"\" --error-id=" + WithoutTerminator(string_to_wstring(identifier, CP_UTF8));

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION information{};
    CreateProcessW(programPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                   nullptr, nullptr, &startup, &information);
    // The program runs on its own; only our handles to it are closed (both null after a failure).
    ScopedProcessInformation started;
    started.Adopt(information);
}

}  // namespace Quorvin
