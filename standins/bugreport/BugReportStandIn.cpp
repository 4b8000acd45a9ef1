// Stand-in for "bugreport.exe": writes the command line it received, as UTF-8 and exactly, to
// "bugreport-commandline.txt" beside itself. A GUI program, so a new console changes nothing.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const wchar_t* commandLine = GetCommandLineW();
    const int length = WideCharToMultiByte(CP_UTF8, 0, commandLine, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(length > 0 ? length - 1 : 0, '\0');
    if (length > 1) WideCharToMultiByte(CP_UTF8, 0, commandLine, -1, utf8.data(), length, nullptr, nullptr);

    wchar_t path[MAX_PATH];
    const DWORD pathLength = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring output(path, pathLength);
    output.resize(output.find_last_of(L"\\/") + 1);
    output += L"bugreport-commandline.txt";

    // Written under a temporary name and renamed, so a reader never sees half a file.
    const std::wstring partial = output + L".partial";
    HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    CloseHandle(file);
    return MoveFileExW(partial.c_str(), output.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
