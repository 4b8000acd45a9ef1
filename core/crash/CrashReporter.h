// Crash reporting set-up and report attachments.
//
// CrashReporter::Init switches crash reporting on when "dump.config" lies beside the executable;
// without the file nothing at all happens and every other operation here is a silent no-op.
//
// "dump.config" holds five positional lines, read as raw bytes: a line ends at a line feed, which
// is not part of the value; a carriage return stays; nothing is trimmed; missing lines are empty
// and lines after the fifth are ignored.
//   1 project         -> setParam("project", ...), always
//   2 application key -> setParam("appkey", ...), always
//   3 engine version  -> setParam("engine_version", ...), always
//   4                 -> setLine4Value(...), only when not empty
//   5                 -> setLine5Value(...), only when not empty (applied before line 4)
//
// Thread-safety: Init runs once, early, on one thread, before any other operation here; the state
// is plain variables read without locks afterwards.
#pragma once

#if !defined(_WIN32)
#error "core/crash/CrashReporter.h is offered on Windows only: crash reporting goes through a Windows DLL (Skarnet_PC3.dll)"
#endif

#include <string>
#include <string_view>

class MyCrashHandler;

namespace Quorvin {

/// Crash-reporting set-up and attachments; all state is process-wide, the members are static.
class CrashReporter {
public:
    /// Reads "dump.config" from the executable's directory and configures the crash-report
    /// library; registers LaunchBugReport as the crash callback. Each call repeats the whole
    /// sequence. When the executable's path cannot be read whole (longer than the platform
    /// reports), nothing is read and reporting stays disabled. A line whose first byte is NUL is
    /// empty to the library, so it does not count as a line 4 or 5 value. Throws std::bad_alloc
    /// only.
    static void Init();
    /// True once Init has completed its whole sequence.
    static bool IsEnabled();

    /// Hands `content` to the library as the attachment "<name>.script" (the suffix is always
    /// appended). Refused, with nothing attached, are content of 2 GiB or more, which the
    /// library's 32-bit signed length cannot describe, and a name holding a NUL, which the
    /// library's NUL-terminated file name would cut short and strip of its suffix.
    static void AddScriptAttachment(std::string_view name, std::string_view content);
    /// As AddScriptAttachment, for "<name>.other".
    static void AddOtherAttachment(std::string_view name, std::string_view content);
    /// The library's "engine_version" while enabled (exactly as configured, a trailing carriage
    /// return included); empty while disabled.
    static std::string GetEngineVersion();
    /// Always "N/A".
    static std::string GetNotAvailable();

    /// The library's handler; null until Init found the configuration file.
    static MyCrashHandler* Handler();
};

}  // namespace Quorvin
