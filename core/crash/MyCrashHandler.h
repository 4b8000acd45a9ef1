// The interface of the closed crash-report library "Skarnet_PC3.dll", as this program uses it.
//
// The program imports one function, MyCrashHandler::getInstance, bound at load time: without the
// library beside the executable the process does not start. Everything else goes through the
// virtual table of the object it returns. The declaration order of the virtual operations is the
// library's slot order and must not change; the library has further operations after these that
// this program never calls.
#pragma once

#if !defined(_WIN32)
#error "core/crash/MyCrashHandler.h is offered on Windows only: this is the interface of a Windows DLL (Skarnet_PC3.dll)"
#endif

#include <cstdint>

#if defined(SKARNET_PC3_BUILDING_LIBRARY)
#define SKARNET_PC3_API __declspec(dllexport)
#else
#define SKARNET_PC3_API __declspec(dllimport)
#endif

/// The crash-report library's handler, as the library exports it. Reached only through getInstance.
class SKARNET_PC3_API MyCrashHandler {
public:
    /// A crash callback: no parameters, no result. The library calls it for each crash report.
    using CrashCallback = void (*)();

    /// The library's single handler object; never released.
    static MyCrashHandler* getInstance();

    /// Registers the function the library calls when it has made a crash report.
    virtual void setCrashCallback(CrashCallback callback) = 0;
    /// Stores `value` under `key` (both NUL-terminated).
    virtual void setParam(const char* key, const char* value) = 0;
    /// The text stored under `key`; never null. For "transid", the identifier of the most recent
    /// crash report by the time the crash callback runs. Copy it at once.
    virtual const char* getParam(const char* key) = 0;
    /// Hands the library the fifth configuration value (NUL-terminated).
    virtual void setLine5Value(const char* value) = 0;
    /// The last call of the set-up.
    virtual void finishSetup() = 0;
    /// Attaches `length` bytes at `data` under `fileName` to future reports; the library copies what
    /// it keeps before returning.
    virtual void attachOtherData(const void* data, int32_t length, const char* fileName) = 0;
    /// As attachOtherData, for script data.
    virtual void attachScriptData(const void* data, int32_t length, const char* fileName) = 0;
    /// Never null; copy it at once.
    virtual const char* getBugReportText() = 0;
    /// Hands the library the fourth configuration value (NUL-terminated).
    virtual void setLine4Value(const char* value) = 0;

protected:
    MyCrashHandler() = default;
    MyCrashHandler(const MyCrashHandler&) = delete;
    MyCrashHandler& operator=(const MyCrashHandler&) = delete;
};
