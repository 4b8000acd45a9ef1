// Starting "bugreport.exe" from the crash callback.
#include "core/crash/BugReport.h"

#include <sys/stat.h>

#include <cstring>
#include <stdexcept>
#include <string_view>

#include "core/crash/CrashReporter.h"
#include "core/crash/MyCrashHandler.h"
#include "core/system/ModulePath.h"
#include "core/system/PathRules.h"
#include "core/windows/ScopedHandle.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {
namespace {

constexpr std::wstring_view ProgramName = L"bugreport.exe";
constexpr std::wstring_view IdentifierOption = L" --error-id=";
// The longest command line CreateProcessW takes, in units with the terminator.
constexpr size_t CommandLineCapacity = 32768;
constexpr size_t ProgramPathCapacity = MaxModulePathLength + 1 + 1 + ProgramName.size();

// The launcher's working memory, taken from the system's pages rather than the heap: a crash may
// have left the heap corrupt or exhausted.
struct LaunchBuffers {
    wchar_t programPath[ProgramPathCapacity];
    wchar_t commandLine[CommandLineCapacity];
};

class PageBlock {
public:
    explicit PageBlock(size_t size) noexcept
        : address(VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE)) {}
    ~PageBlock() {
        if (address != nullptr) VirtualFree(address, 0, MEM_RELEASE);
    }
    PageBlock(const PageBlock&) = delete;
    PageBlock& operator=(const PageBlock&) = delete;
    void* Get() const noexcept { return address; }

private:
    void* address;
};

// Appends `text` at `cursor` if it fits before `end`; false (nothing written) otherwise.
bool Append(wchar_t*& cursor, const wchar_t* end, std::wstring_view text) noexcept {
    if (static_cast<size_t>(end - cursor) < text.size()) return false;
    std::memcpy(cursor, text.data(), text.size() * sizeof(wchar_t));
    cursor += text.size();
    return true;
}

void Launch() {
    MyCrashHandler* handler = CrashReporter::Handler();
    if (handler == nullptr) return;  // called without a configured library: there is no report
    handler->getBugReportText();     // asked for, as the library expects; nothing uses the text
    const char* identifier = handler->getParam("transid");
    if (identifier == nullptr) identifier = "";  // the library promises never to do this

    PageBlock pages(sizeof(LaunchBuffers));
    if (pages.Get() == nullptr) return;
    auto& buffers = *static_cast<LaunchBuffers*>(pages.Get());

    // The directory is never narrowed: going through the ANSI code page and back through UTF-8
    // would lose or garble every non-ASCII character of the install path.
    const size_t fileNameLength = ReadModuleFileName(nullptr, buffers.programPath, MaxModulePathLength + 1);
    if (fileNameLength == 0) return;  // no whole path: a cut one would name another folder
    wchar_t* path = buffers.programPath;
    wchar_t* cursor = path + ParentPathLength(std::wstring_view(path, fileNameLength));
    const wchar_t* const pathEnd = path + ProgramPathCapacity - 1;
    if (!Append(cursor, pathEnd, L"\\") || !Append(cursor, pathEnd, ProgramName)) return;
    *cursor = L'\0';
    const std::wstring_view programPath(path, static_cast<size_t>(cursor - path));

    struct _stat64 status {};
    if (_wstat64(path, &status) != 0) return;

    wchar_t* command = buffers.commandLine;
    wchar_t* const commandEnd = command + CommandLineCapacity - 1;
    cursor = command;
    if (!Append(cursor, commandEnd, L" \"") || !Append(cursor, commandEnd, programPath) ||
        !Append(cursor, commandEnd, L"\"") || !Append(cursor, commandEnd, IdentifierOption)) {
        return;
    }
    // The identifier is UTF-8 and goes in unchanged, without quoting or escaping.
    const size_t identifierLength = std::strlen(identifier);
    if (identifierLength != 0) {
        if (identifierLength > CommandLineCapacity) return;
        const int converted = MultiByteToWideChar(CP_UTF8, 0, identifier, static_cast<int>(identifierLength),
                                                  cursor, static_cast<int>(commandEnd - cursor));
        if (converted <= 0) return;  // not convertible, or too long for a command line
        cursor += converted;
    }
    *cursor = L'\0';

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION information{};
    CreateProcessW(path, command, nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, nullptr, &startup,
                   &information);
    // The program runs on its own; only our handles to it are closed (both null after a failure).
    ScopedProcessInformation started;
    started.Adopt(information);
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

void LaunchBugReport() noexcept {
    // The caller is the crash-report library, inside a crashed process: nothing may escape into it.
    try {
        Launch();
    } catch (...) {}
}

}  // namespace Quorvin
