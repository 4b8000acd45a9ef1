// A small program for the crash-reporting tests: copied into a directory of the test's making (with
// or without "dump.config", the stand-in library and "bugreport.exe"), it exercises one operation
// and prints what it observed on standard output.
//
//   crash_probe config        Init, then the call log, enabled flag, engine version, callback
//   crash_probe attach        Init, then attachments (also huge ones) and the call log
//   crash_probe launch ID     Init, set "transid" to ID, LaunchBugReport, then the call log
//   crash_probe launch-no-heap ID     the same with every allocation of the probe failing
//   crash_probe launch-unconfigured   LaunchBugReport without Init
//   crash_probe crash         Init, then a failed ensure check
//   crash_probe directory     the module directory, as UTF-8
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "core/crash/BugReport.h"
#include "core/crash/CrashReporter.h"
#include "core/crash/MyCrashHandler.h"
#include "core/diagnostics/Ensure.h"
#include "core/system/ModulePath.h"
#include "core/text/Utf.h"
#include "standins/crash_library/StandInControl.h"
#include "tests/support/AllocationFailure.h"

namespace {

using Quorvin::CrashReporter;

void PrintLog() {
    std::printf("log:\n%s", SkarnetStandInCallLog());
    SkarnetStandInClearLog();
}

void PrintEscaped(const char* label, const std::string& text) {
    std::printf("%s=", label);
    for (unsigned char c : text) {
        if (c < 0x20 || c >= 0x7F || c == '\\')
            std::printf("\\x%02X", c);
        else
            std::putchar(c);
    }
    std::putchar('\n');
}

}  // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);  // the tests compare bytes: no CR before each LF
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "attach") {
        // Before Init, or without "dump.config", attachments must not reach the library.
        CrashReporter::AddScriptAttachment("early", "data");
        CrashReporter::Init();
        CrashReporter::AddScriptAttachment("crash", std::string_view("x\0y", 3));
        CrashReporter::AddOtherAttachment("", "");
        CrashReporter::AddScriptAttachment("a.script", "s");
        CrashReporter::AddOtherAttachment("log", "other data");
        // A name with a NUL would reach the library cut short and without its suffix: refused.
        CrashReporter::AddScriptAttachment(std::string_view("cut\0name", 8), "never attached");
        // Lengths the library's 32-bit signed argument cannot or can just hold; the content is
        // never read for these, so a small buffer stands behind them.
        static const char small[16] = {};
        CrashReporter::AddScriptAttachment("huge", std::string_view(small, size_t{1} << 31));
        CrashReporter::AddOtherAttachment("huger", std::string_view(small, (size_t{1} << 32) + 5));
        CrashReporter::AddOtherAttachment("edge", std::string_view(small, (size_t{1} << 31) - 1));
        PrintLog();
    } else if (mode == "config") {
        CrashReporter::Init();
        PrintLog();
        std::printf("enabled=%d\n", CrashReporter::IsEnabled() ? 1 : 0);
        PrintEscaped("engine_version", CrashReporter::GetEngineVersion());
        std::printf("not_available=%s\n", CrashReporter::GetNotAvailable().c_str());
        std::printf("callback_is_launcher=%d\n",
                    SkarnetStandInCrashCallback() == &Quorvin::LaunchBugReport ? 1 : 0);
    } else if (mode == "launch-unconfigured") {
        Quorvin::LaunchBugReport();  // no Init: nothing to ask, nothing started
        std::printf("launched\n");
    } else if ((mode == "launch" || mode == "launch-no-heap") && argc > 2) {
        CrashReporter::Init();
        if (!CrashReporter::IsEnabled()) return 3;
        MyCrashHandler::getInstance()->setParam("transid", argv[2]);
        SkarnetStandInClearLog();
        unsigned long refused = 0;
        if (mode == "launch-no-heap") {
            Quorvin::Testing::ScopedAllocationFailure noHeap;
            const unsigned long before = Quorvin::Testing::RefusedAllocations();
            Quorvin::LaunchBugReport();
            refused = Quorvin::Testing::RefusedAllocations() - before;
        } else {
            Quorvin::LaunchBugReport();
        }
        std::printf("launched\nrefused_allocations=%lu\n", refused);
        PrintLog();
    } else if (mode == "directory") {
        const std::wstring directory = Quorvin::GetModuleDirectory();
        std::string utf8;
        Quorvin::Utf16ToUtf8(directory, utf8);
        std::printf("directory=%s\nlength=%zu\n", utf8.c_str(), directory.size());
    } else if (mode == "crash") {
        CrashReporter::Init();
        std::fflush(stdout);
        Quorvin::EnsurePrivate::FailFatal(0, "probe crash");
    } else {
        std::fprintf(stderr, "unknown mode\n");
        return 2;
    }
    return 0;
}
