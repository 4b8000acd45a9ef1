// Crash reporter set-up from "dump.config", and the attachment wrappers.
#include "core/crash/CrashReporter.h"

#include <share.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include "core/crash/BugReport.h"
#include "core/crash/MyCrashHandler.h"
#include "core/crash/windows/LibraryText.h"
#include "core/system/ModulePath.h"
#include "core/system/PathRules.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {
namespace {

bool Enabled = false;
MyCrashHandler* HandlerInstance = nullptr;

constexpr size_t ConfigurationLines = 5;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Reads the first ConfigurationLines lines of `file` in blocks. A line ends at a line feed, which
// is not part of it; the last line needs none. A read error ends the reading: the lines not
// reached stay empty.
std::array<std::string, ConfigurationLines> ReadConfigurationLines(std::FILE* file) {
    std::array<std::string, ConfigurationLines> lines;
    std::array<char, 64 * 1024> block;
    size_t line = 0;
    while (line < lines.size()) {
        const size_t read = std::fread(block.data(), 1, block.size(), file);
        if (read == 0) break;
        size_t start = 0;
        while (start < read && line < lines.size()) {
            const void* found = std::memchr(block.data() + start, '\n', read - start);
            const size_t end =
                found ? static_cast<size_t>(static_cast<const char*>(found) - block.data()) : read;
            lines[line].append(block.data() + start, end - start);
            if (!found) break;  // the line goes on in the next block
            start = end + 1;
            ++line;
        }
    }
    return lines;
}

// The library takes NUL-terminated texts: a value holding a NUL is, to it, the text before it.
bool IsEmptyText(const std::string& value) { return value.c_str()[0] == '\0'; }

// An attachment the library can take whole: content its 32-bit signed length can describe, and a
// name that survives as a NUL-terminated text (a NUL inside would cut off the rest and the suffix).
bool IsAttachable(std::string_view name, std::string_view content) {
    return content.size() <= static_cast<size_t>(std::numeric_limits<int32_t>::max()) &&
           name.find('\0') == std::string_view::npos;
}

}  // namespace

void CrashReporter::Init() {
    // Without the whole module path there is no telling where the configuration lies; a cut path
    // would name an ancestor folder and its file.
    const std::wstring directory = GetModuleDirectory();
    if (directory.empty()) return;
    const std::wstring path = JoinPath(directory, L"dump.config");
    // Binary mode: no newline translation, so a carriage return stays part of its line.
    std::unique_ptr<std::FILE, FileCloser> file(_wfsopen(path.c_str(), L"rb", _SH_DENYNO));
    if (!file) return;

    HandlerInstance = MyCrashHandler::getInstance();
    HandlerInstance->setParam("os_type", "windesktop");
    HandlerInstance->setParam("HOOK_UNHANDLED_EXCEPTION_FILTER", "1");

    const std::array<std::string, ConfigurationLines> values = ReadConfigurationLines(file.get());

    HandlerInstance->setParam("project", values[0].c_str());
    HandlerInstance->setParam("appkey", values[1].c_str());
    HandlerInstance->setParam("engine_version", values[2].c_str());
    if (!IsEmptyText(values[4])) HandlerInstance->setLine5Value(values[4].c_str());
    if (!IsEmptyText(values[3])) HandlerInstance->setLine4Value(values[3].c_str());
    HandlerInstance->setCrashCallback(&LaunchBugReport);
    HandlerInstance->finishSetup();
    Enabled = true;
}

bool CrashReporter::IsEnabled() { return Enabled; }

MyCrashHandler* CrashReporter::Handler() { return HandlerInstance; }

void CrashReporter::AddScriptAttachment(std::string_view name, std::string_view content) {
    if (!Enabled || !IsAttachable(name, content)) return;
    const std::string fileName = std::string(name) + ".script";
    HandlerInstance->attachScriptData(content.data(), static_cast<int32_t>(content.size()), fileName.c_str());
}

void CrashReporter::AddOtherAttachment(std::string_view name, std::string_view content) {
    if (!Enabled || !IsAttachable(name, content)) return;
    const std::string fileName = std::string(name) + ".other";
    HandlerInstance->attachOtherData(content.data(), static_cast<int32_t>(content.size()), fileName.c_str());
}

std::string CrashReporter::GetEngineVersion() {
    if (!Enabled) return std::string();
    return CrashPrivate::CopyLibraryText(HandlerInstance->getParam("engine_version"));
}

std::string CrashReporter::GetNotAvailable() { return "N/A"; }

}  // namespace Quorvin
