// Crash reporter set-up from "dump.config", and the attachment wrappers.
#include "core/crash/CrashReporter.h"

#include <share.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>

#include "core/crash/BugReport.h"
#include "core/crash/MyCrashHandler.h"
#include "core/crash/windows/LibraryText.h"
#include "core/platform/ModulePath.h"
#include "core/platform/PathRules.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {
namespace {

bool Enabled = false;
MyCrashHandler* HandlerInstance = nullptr;

constexpr size_t ConfigurationLines = 5;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Reads one line's bytes up to (not including) the next line feed; false at the end of the file.
bool ReadLine(std::FILE* file, std::string& line) {
    line.clear();
    int c = std::fgetc(file);
    if (c == EOF) return false;
    while (c != EOF && c != '\n') {
        line.push_back(static_cast<char>(c));
        c = std::fgetc(file);
    }
    return true;
}

// Content the library's 32-bit signed length can describe.
bool FitsLengthArgument(std::string_view content) {
    return content.size() <= static_cast<size_t>(std::numeric_limits<int32_t>::max());
}

}  // namespace

void CrashReporter::Init() {
    const std::wstring path = JoinPath(GetModuleDirectory(), L"dump.config");
    // Binary mode: no newline translation, so a carriage return stays part of its line.
    std::unique_ptr<std::FILE, FileCloser> file(_wfsopen(path.c_str(), L"rb", _SH_DENYNO));
    if (!file) return;

    HandlerInstance = MyCrashHandler::getInstance();
    HandlerInstance->setParam("os_type", "windesktop");
    HandlerInstance->setParam("HOOK_UNHANDLED_EXCEPTION_FILTER", "1");

    std::array<std::string, ConfigurationLines> values;
    std::string line;
    for (std::string& value : values) {
        if (!ReadLine(file.get(), line)) break;
        value = line;
    }

    HandlerInstance->setParam("project", values[0].c_str());
    HandlerInstance->setParam("appkey", values[1].c_str());
    HandlerInstance->setParam("engine_version", values[2].c_str());
    if (!values[4].empty()) HandlerInstance->setLine5Value(values[4].c_str());
    if (!values[3].empty()) HandlerInstance->setLine4Value(values[3].c_str());
    HandlerInstance->setCrashCallback(&LaunchBugReport);
    HandlerInstance->finishSetup();
    Enabled = true;
}

bool CrashReporter::IsEnabled() { return Enabled; }

MyCrashHandler* CrashReporter::Handler() { return HandlerInstance; }

void CrashReporter::AddScriptAttachment(std::string_view name, std::string_view content) {
    if (!Enabled || !FitsLengthArgument(content)) return;
    const std::string fileName = std::string(name) + ".script";
    HandlerInstance->attachScriptData(content.data(), static_cast<int32_t>(content.size()), fileName.c_str());
}

void CrashReporter::AddOtherAttachment(std::string_view name, std::string_view content) {
    if (!Enabled || !FitsLengthArgument(content)) return;
    const std::string fileName = std::string(name) + ".other";
    HandlerInstance->attachOtherData(content.data(), static_cast<int32_t>(content.size()), fileName.c_str());
}

std::string CrashReporter::GetEngineVersion() {
    if (!Enabled) return std::string();
    return CrashPrivate::CopyLibraryText(HandlerInstance->getParam("engine_version"));
}

std::string CrashReporter::GetNotAvailable() { return "N/A"; }

}  // namespace Quorvin
