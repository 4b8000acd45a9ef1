// Stand-in for the closed crash-report library: keeps parameters, records every call, and turns an
// unhandled exception into a "report" whose crash callback runs before the process ends.
#define SKARNET_PC3_BUILDING_LIBRARY
#include "core/crash/MyCrashHandler.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>

namespace {

std::string Escape(const char* text, size_t length) {
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c >= 0x7F || c == '\\' || c == ',' || c == '(' || c == ')') {
            char code[5];
            std::snprintf(code, sizeof code, "\\x%02X", c);
            out += code;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// Small content is recorded byte for byte; large content only by its length, so a test can pass a
// huge length over a small buffer without the stand-in reading past it.
std::string Content(const void* data, int32_t length) {
    if (length < 0) return "<negative length>";
    if (length > 4096) return "<" + std::to_string(length) + " bytes>";
    return Escape(static_cast<const char*>(data), static_cast<size_t>(length));
}

// Texts longer than 4096 bytes are recorded by their length only, so huge values keep the log small.
std::string Escape(const char* text) {
    if (text == nullptr) return "<null>";
    const size_t length = std::strlen(text);
    return length > 4096 ? "<" + std::to_string(length) + " bytes>" : Escape(text, length);
}

class StandInHandler final : public MyCrashHandler {
public:
    void setCrashCallback(CrashCallback callback) override {
        Record("setCrashCallback(" + std::string(callback ? "function" : "null") + ")");
        crashCallback = callback;
    }
    void setParam(const char* key, const char* value) override {
        Record("setParam(" + Escape(key) + "," + Escape(value) + ")");
        params[key] = value;
    }
    const char* getParam(const char* key) override {
        Record("getParam(" + Escape(key) + ")");
        // A library that fails while the crash callback asks it for something.
        const char* failing = std::getenv("SKARNET_STANDIN_THROW_ON");
        if (failing != nullptr && std::strcmp(failing, key) == 0)
            throw std::runtime_error("stand-in failure");
        return params[key].c_str();
    }
    void setLine5Value(const char* value) override { Record("setLine5Value(" + Escape(value) + ")"); }
    void finishSetup() override {
        Record("finishSetup()");
        if (params["HOOK_UNHANDLED_EXCEPTION_FILTER"] == "1") SetUnhandledExceptionFilter(&OnCrash);
    }
    void attachOtherData(const void* data, int32_t length, const char* fileName) override {
        Record("attachOtherData(" + Content(data, length) + "," + std::to_string(length) + "," +
               Escape(fileName) + ")");
    }
    void attachScriptData(const void* data, int32_t length, const char* fileName) override {
        Record("attachScriptData(" + Content(data, length) + "," + std::to_string(length) + "," +
               Escape(fileName) + ")");
    }
    const char* getBugReportText() override {
        Record("getBugReportText()");
        return "stand-in bug report";
    }
    void setLine4Value(const char* value) override { Record("setLine4Value(" + Escape(value) + ")"); }

    void Record(const std::string& call) { log += call + "\n"; }

    // A crash gets a fresh report identifier: SKARNET_STANDIN_TRANSID when set, else a counter.
    static LONG WINAPI OnCrash(EXCEPTION_POINTERS*);

    std::map<std::string, std::string> params;
    std::string log;
    CrashCallback crashCallback = nullptr;
    unsigned reports = 0;
};

StandInHandler Instance;

LONG WINAPI StandInHandler::OnCrash(EXCEPTION_POINTERS*) {
    const char* fixed = std::getenv("SKARNET_STANDIN_TRANSID");
    Instance.params["transid"] = fixed ? fixed : "report-" + std::to_string(++Instance.reports);
    if (Instance.crashCallback) Instance.crashCallback();
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

MyCrashHandler* MyCrashHandler::getInstance() { return &Instance; }

extern "C" __declspec(dllexport) const char* SkarnetStandInCallLog() { return Instance.log.c_str(); }
extern "C" __declspec(dllexport) void SkarnetStandInClearLog() { Instance.log.clear(); }
extern "C" __declspec(dllexport) MyCrashHandler::CrashCallback SkarnetStandInCrashCallback() {
    return Instance.crashCallback;
}
