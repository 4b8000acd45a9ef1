// The system calls of the child-process tests on Windows.
#include <string>
#include <vector>

#include "core/text/Utf.h"
#include "core/windows/WindowsApi.h"
#include "tests/support/ProcessTesting.h"

namespace Quorvin::ProcessTest {

const uint64_t ReadChunkSize = 128;

std::wstring SelfPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::wstring OwnCommandLine() { return GetCommandLineW(); }

std::vector<std::string> OwnArguments() {
    // shell32 is loaded here rather than linked, so that the test program imports no more DLLs.
    using SplitFunction = wchar_t**(WINAPI*)(const wchar_t*, int*);
    const auto split = reinterpret_cast<SplitFunction>(
        reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"shell32.dll"), "CommandLineToArgvW")));
    int count = 0;
    wchar_t** arguments = split(GetCommandLineW(), &count);
    std::vector<std::string> result;
    for (int i = 1; i < count; ++i) Utf16ToUtf8(arguments[i], result.emplace_back());
    LocalFree(arguments);
    return result;
}

void WriteToStream(int stream, const std::string& bytes) {
    DWORD written = 0;
    WriteFile(GetStdHandle(stream == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE), bytes.data(),
              static_cast<DWORD>(bytes.size()), &written, nullptr);
}

uint64_t OwnProcessId() { return GetCurrentProcessId(); }

std::string OwnCurrentDirectory() {
    char directory[MAX_PATH] = {};
    return std::string(directory, GetCurrentDirectoryA(MAX_PATH, directory));
}

void DrainStandardInput() {
    char buffer[64];
    DWORD count = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof(buffer), &count, nullptr)) {}
}

void ExitWith(uint32_t code) { ExitProcess(code); }

bool RunSystemStep(const std::wstring&, uint64_t) { return false; }

void WaitForChildEnd(uint64_t processId) {
    const HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(processId));
    WaitForSingleObject(child, INFINITE);
    CloseHandle(child);
}

void ClearLastError() { SetLastError(0); }

uint64_t LastError() { return GetLastError(); }

std::wstring MissingProgram() { return L"C:\\no\\such\\program.exe"; }

ChildDirectory::ChildDirectory() : path(L"C:\\windows"), reported("C:\\windows") {}
ChildDirectory::~ChildDirectory() = default;

}  // namespace Quorvin::ProcessTest
