// Crash reporting under Windows: set-up from "dump.config", attachments, the bug-report launcher and
// the whole crash path, each run by the probe program in a directory of its own.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "core/crash/BugReport.h"
#include "core/crash/CrashReporter.h"
#include "core/system/ModulePath.h"
#include "core/windows/ScopedHandle.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {
namespace {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length, nullptr,
                        nullptr);
    return out;
}

struct ProbeRun {
    DWORD exitCode = 0;
    std::string output;
};

// A directory for one scenario, holding a copy of the probe and the stand-in library and, on
// request, "bugreport.exe" and a "dump.config". A fresh directory under the temporary folder is
// removed with everything in it afterwards; a given one (a drive root) only loses what was put in.
class ProbeDirectory {
public:
    explicit ProbeDirectory(const std::wstring& nameHint = L"kestrune-crash")
        : ProbeDirectory(NewScratchPath(nameHint), true) {}
    ProbeDirectory(std::wstring directory, bool owned) : path(std::move(directory)), owned_(owned) {
        std::filesystem::create_directories(std::filesystem::path(path));
        Copy(L"crash_probe.exe");
        Copy(L"Skarnet_PC3.dll");
    }
    ~ProbeDirectory() {
        std::error_code ignored;
        if (owned_) {
            std::filesystem::remove_all(std::filesystem::path(path), ignored);
            return;
        }
        for (const wchar_t* name : {L"crash_probe.exe", L"Skarnet_PC3.dll", L"bugreport.exe", L"dump.config",
                                    L"bugreport-commandline.txt"}) {
            std::filesystem::remove(std::filesystem::path(Join(name)), ignored);
        }
    }
    ProbeDirectory(const ProbeDirectory&) = delete;
    ProbeDirectory& operator=(const ProbeDirectory&) = delete;

    static std::wstring NewScratchPath(const std::wstring& nameHint) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        static int counter = 0;
        return std::wstring(temp) + nameHint + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(++counter);
    }

    std::wstring Join(const std::wstring& name) const {
        return path.back() == L'\\' ? path + name : path + L"\\" + name;
    }

    void Copy(const std::wstring& name) {
        ASSERT_TRUE(CopyFileW((GetModuleDirectory() + L"\\" + name).c_str(), Join(name).c_str(), FALSE))
            << "copying " << Utf8(name) << " to " << Utf8(path) << ": error " << GetLastError();
    }

    void WriteConfig(const std::string& bytes) {
        std::ofstream(std::filesystem::path(Join(L"dump.config")), std::ios::binary) << bytes;
    }

    // Runs the probe with `arguments` (already quoted for the command line) in `workingDirectory`
    // (by default this directory) and collects its standard output.
    ProbeRun Run(const std::wstring& arguments, const std::wstring& workingDirectory = {}) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        ScopedHandle readEnd;
        ScopedHandle writeEnd;
        EXPECT_TRUE(CreatePipe(readEnd.Receive(), writeEnd.Receive(), &inherit, 0));
        SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = writeEnd.Get();
        startup.hStdError = writeEnd.Get();
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        const std::wstring program = Join(L"crash_probe.exe");
        std::wstring commandLine = L"\"" + program + L"\" " + arguments;
        const std::wstring& directory = workingDirectory.empty() ? path : workingDirectory;
        PROCESS_INFORMATION information{};
        ProbeRun run;
        const BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                            nullptr, directory.c_str(), &startup, &information);
        EXPECT_TRUE(started) << "error " << GetLastError();
        ScopedProcessInformation process;
        process.Adopt(information);
        writeEnd.Reset();  // the probe holds the only write end now: its exit ends the reading
        if (started) {
            char buffer[4096];
            DWORD read = 0;
            while (ReadFile(readEnd.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
                run.output.append(buffer, read);
            }
            WaitForSingleObject(process.process.Get(), INFINITE);
            GetExitCodeProcess(process.process.Get(), &run.exitCode);
        }
        return run;
    }

    // The bug-report stand-in's record of its command line, once it appears.
    std::optional<std::string> WaitForBugReport(std::chrono::milliseconds limit) const {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        const std::filesystem::path file(Join(L"bugreport-commandline.txt"));
        do {
            std::ifstream in(file, std::ios::binary);
            if (in) return std::string(std::istreambuf_iterator<char>(in), {});
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        } while (std::chrono::steady_clock::now() < deadline);
        return std::nullopt;
    }

    std::wstring path;

private:
    bool owned_;
};

std::string Section(const std::string& output, const std::string& label) {
    const size_t start = output.find(label + "=");
    if (start == std::string::npos) return "<missing " + label + ">";
    const size_t end = output.find('\n', start);
    return output.substr(start + label.size() + 1, end - start - label.size() - 1);
}

std::string Log(const std::string& output) {
    const size_t start = output.find("log:\n");
    if (start == std::string::npos) return "<no log>";
    const size_t end = output.find("enabled=", start);
    return output.substr(start + 5, end == std::string::npos ? std::string::npos : end - start - 5);
}

constexpr char FixedParameters[] =
    "setParam(os_type,windesktop)\n"
    "setParam(HOOK_UNHANDLED_EXCEPTION_FILTER,1)\n";
constexpr char Registration[] =
    "setCrashCallback(function)\n"
    "finishSetup()\n";

TEST(CrashReporter, WithoutConfigurationNothingIsCalled) {
    ProbeDirectory directory;
    const ProbeRun run = directory.Run(L"config");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(Log(run.output), "");
    EXPECT_EQ(Section(run.output, "enabled"), "0");
    EXPECT_EQ(Section(run.output, "engine_version"), "");
    EXPECT_EQ(Section(run.output, "not_available"), "N/A");
}

TEST(CrashReporter, ConfigurationLinesReachTheLibraryInOrder) {
    struct Case {
        const char* name;
        std::string file;
        std::string calls;
        std::string engineVersion;
    };
    const Case cases[] = {
        {"empty file", "", "setParam(project,)\nsetParam(appkey,)\nsetParam(engine_version,)\n", ""},
        {"CR LF line ends", "proj\r\nkey\r\n1.2.3\r\nfour\r\nfive\r\n",
         "setParam(project,proj\\x0D)\nsetParam(appkey,key\\x0D)\nsetParam(engine_version,1.2.3\\x0D)\n"
         "setLine5Value(five\\x0D)\nsetLine4Value(four\\x0D)\n",
         "1.2.3\\x0D"},
        {"line 2 empty", "game\n\n9.1",
         "setParam(project,game)\nsetParam(appkey,)\nsetParam(engine_version,9.1)\n", "9.1"},
        {"seven lines", "1\n2\n3\n4\n5\n6\n7\n",
         "setParam(project,1)\nsetParam(appkey,2)\nsetParam(engine_version,3)\nsetLine5Value(5)"
         "\nsetLine4Value(4)\n",
         "3"},
        {"only line 5", "\n\n\n\nfive",
         "setParam(project,)\nsetParam(appkey,)\nsetParam(engine_version,)\nsetLine5Value(five)\n", ""},
        {"only line 4", "\n\n\nfour\n",
         "setParam(project,)\nsetParam(appkey,)\nsetParam(engine_version,)\nsetLine4Value(four)\n", ""},
        {"bytes that are not UTF-8",
         std::string("\xff\xfe\x80"
                     "abc\n\xc3\x28\n\xed\xa0\x80\n",
                     14),
         "setParam(project,\\xFF\\xFE\\x80abc)\nsetParam(appkey,\\xC3\\x28)\nsetParam(engine_version,"
         "\\xED\\xA0\\x80)\n",
         "\\xED\\xA0\\x80"},
        {"a NUL byte ends the value the library sees", std::string("ab\0cd\nkey\n", 10),
         "setParam(project,ab)\nsetParam(appkey,key)\nsetParam(engine_version,)\n", ""},
        // To the library a value that starts with NUL is empty, so it is not passed on as line 4 or 5.
        {"NUL-led lines 4 and 5", std::string("\n\n\n\0four\n\0five\n", 14),
         "setParam(project,)\nsetParam(appkey,)\nsetParam(engine_version,)\n", ""},
        {"NUL-led line 5", std::string("\n\n\nfour\n\0five", 14),
         "setParam(project,)\nsetParam(appkey,)\nsetParam(engine_version,)\nsetLine4Value(four)\n", ""},
        // Far longer than a read block: the line arrives whole, and the lines after it too.
        {"a 16 MiB first line", std::string(16 << 20, 'p') + "\nkey\n1.0\nfour\nfive",
         "setParam(project,<16777216 bytes>)\nsetParam(appkey,key)\nsetParam(engine_version,1.0)\n"
         "setLine5Value(five)\nsetLine4Value(four)\n",
         "1.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProbeDirectory directory;
        directory.WriteConfig(c.file);
        const ProbeRun run = directory.Run(L"config");
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(Log(run.output), FixedParameters + c.calls + Registration);
        EXPECT_EQ(Section(run.output, "enabled"), "1");
        EXPECT_EQ(Section(run.output, "engine_version"), c.engineVersion);
        EXPECT_EQ(Section(run.output, "callback_is_launcher"), "1");
    }
}

TEST(CrashReporter, AttachmentsCarrySuffixesAndLengths) {
    ProbeDirectory disabled;
    EXPECT_EQ(Log(disabled.Run(L"attach").output), "");

    ProbeDirectory enabled;
    enabled.WriteConfig("p\nk\nv\n");
    const ProbeRun run = enabled.Run(L"attach");
    EXPECT_EQ(run.exitCode, 0u);
    const std::string log = Log(run.output);
    const std::string setup =
        FixedParameters +
        std::string("setParam(project,p)\nsetParam(appkey,k)\nsetParam(engine_version,v)\n") + Registration;
    // The probe also attaches content of 2 GiB and more, and under a name holding a NUL: refused.
    EXPECT_EQ(log, setup +
                       "attachScriptData(x\\x00y,3,crash.script)\n"
                       "attachOtherData(,0,.other)\n"
                       "attachScriptData(s,1,a.script.script)\n"
                       "attachOtherData(other data,10,log.other)\n"
                       "attachOtherData(<2147483647 bytes>,2147483647,edge.other)\n");
}

TEST(BugReport, StringToWstringKeepsTheTerminatorAndReportsErrors) {
    EXPECT_EQ(string_to_wstring("", CP_UTF8), L"");
    EXPECT_EQ(string_to_wstring("abc", CP_UTF8), std::wstring(L"abc\0", 4));
    EXPECT_EQ(string_to_wstring("\xc3\xa9\xe4\xb8\xad", CP_UTF8), std::wstring(L"\u00e9\u4e2d\0", 3));
    EXPECT_EQ(string_to_wstring("\xe9", 1252), std::wstring(L"\u00e9\0", 2));
    try {
        string_to_wstring("abc", 12345);  // no such code page
        FAIL() << "no error for an unknown code page";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "string_to_wstring Error87");  // ERROR_INVALID_PARAMETER
    }
}

TEST(BugReport, ModuleDirectoryIsTheExecutablesFolder) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring full(path, length);
    EXPECT_EQ(GetModuleDirectory(), full.substr(0, full.find_last_of(L"\\/")));
}

TEST(BugReport, CommandLineCarriesTheIdentifierUnchanged) {
    const std::pair<std::wstring, std::string> identifiers[] = {
        {L"\"tx-42\"", "tx-42"},
        {L"\"a b \\\"quoted\\\" c\"", "a b \"quoted\" c"},
        {L"\"\"", ""},
    };
    for (const auto& [argument, identifier] : identifiers) {
        // Also with every allocation of the process failing: the launcher takes nothing from the heap.
        for (const wchar_t* mode : {L"launch ", L"launch-no-heap "}) {
            SCOPED_TRACE(identifier + " " + Utf8(mode));
            ProbeDirectory directory;
            directory.WriteConfig("p\nk\nv\n");
            directory.Copy(L"bugreport.exe");
            const ProbeRun run = directory.Run(mode + argument);
            EXPECT_EQ(run.exitCode, 0u);
            EXPECT_EQ(Section(run.output, "refused_allocations"), "0");
            EXPECT_NE(run.output.find("log:\ngetBugReportText()\ngetParam(transid)\n"), std::string::npos)
                << run.output;
            const std::optional<std::string> recorded = directory.WaitForBugReport(std::chrono::seconds(30));
            ASSERT_TRUE(recorded.has_value());
            EXPECT_EQ(*recorded, " \"" + Utf8(directory.path) + "\\bugreport.exe\" --error-id=" + identifier);
        }
    }
}

// A folder holding its own "dump.config" and "bugreport.exe", which must never be used.
ProbeDirectory& Decoy(ProbeDirectory& decoy) {
    decoy.WriteConfig("decoy project\ndecoy key\n9.9.9\n");
    decoy.Copy(L"bugreport.exe");
    return decoy;
}

TEST(BugReport, MissingOrUnstartableProgramIsSilentlyIgnored) {
    // Nothing of that name beside the executable: nothing starts, not even the program of the
    // current directory.
    ProbeDirectory elsewhere(L"kestrune-elsewhere");
    Decoy(elsewhere);
    ProbeDirectory missing;
    missing.WriteConfig("p\nk\nv\n");
    ProbeRun run = missing.Run(L"launch id", elsewhere.path);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_NE(run.output.find("launched"), std::string::npos);

    // A directory of that name passes the existence check; its start fails silently.
    ProbeDirectory folder;
    folder.WriteConfig("p\nk\nv\n");
    ASSERT_TRUE(CreateDirectoryW(folder.Join(L"bugreport.exe").c_str(), nullptr));
    run = folder.Run(L"launch id", elsewhere.path);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_NE(run.output.find("launched"), std::string::npos);

    // Without Init there is no library to ask: nothing happens, even with the program there.
    ProbeDirectory unconfigured;
    unconfigured.Copy(L"bugreport.exe");
    run = unconfigured.Run(L"launch-unconfigured");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, "launched\n");

    EXPECT_FALSE(elsewhere.WaitForBugReport(std::chrono::milliseconds(500)).has_value());
    EXPECT_FALSE(unconfigured.WaitForBugReport(std::chrono::milliseconds(100)).has_value());
}

TEST(BugReport, ALibraryThatThrowsIsContained) {
    // The library fails while the callback asks it for the report's identifier: the callback
    // returns quietly, nothing is started, and a crash still ends with its own exception code.
    ProbeDirectory directory;
    directory.WriteConfig("p\nk\nv\n");
    directory.Copy(L"bugreport.exe");
    SetEnvironmentVariableW(L"SKARNET_STANDIN_THROW_ON", L"transid");
    const ProbeRun launch = directory.Run(L"launch id");
    const ProbeRun crash = directory.Run(L"crash");
    SetEnvironmentVariableW(L"SKARNET_STANDIN_THROW_ON", nullptr);
    EXPECT_EQ(launch.exitCode, 0u);
    EXPECT_NE(launch.output.find("launched"), std::string::npos) << launch.output;
    EXPECT_EQ(crash.exitCode, 0xC0000005u);
    EXPECT_FALSE(directory.WaitForBugReport(std::chrono::milliseconds(500)).has_value());
}

TEST(CrashPath, FailedCheckReachesTheFilterWhichStartsTheBugReport) {
    for (const std::wstring& name :
         {std::wstring(L"kestrune-crash"), std::wstring(L"kestrune-\u00e9\u4e2d")}) {
        SCOPED_TRACE(Utf8(name));
        ProbeDirectory directory(name);
        directory.WriteConfig("Kestrune\nkey\n1.0.0\n");
        directory.Copy(L"bugreport.exe");
        SetEnvironmentVariableW(L"SKARNET_STANDIN_TRANSID", L"crash-7 \"x\"");
        const ProbeRun run = directory.Run(L"crash");
        SetEnvironmentVariableW(L"SKARNET_STANDIN_TRANSID", nullptr);
        EXPECT_EQ(run.exitCode, 0xC0000005u);
        const std::optional<std::string> recorded = directory.WaitForBugReport(std::chrono::seconds(30));
        ASSERT_TRUE(recorded.has_value()) << run.output;
        EXPECT_EQ(*recorded, " \"" + Utf8(directory.path) + "\\bugreport.exe\" --error-id=crash-7 \"x\"");
    }
}

// Runs the crash path in `directory` (which holds "bugreport.exe" and a configuration naming the
// project "own") and returns what the bug-report program recorded, or an empty text.
std::string CrashAndRecord(ProbeDirectory& directory, const std::wstring& workingDirectory = {}) {
    SetEnvironmentVariableW(L"SKARNET_STANDIN_TRANSID", L"crash-8");
    const ProbeRun run = directory.Run(L"crash", workingDirectory);
    SetEnvironmentVariableW(L"SKARNET_STANDIN_TRANSID", nullptr);
    EXPECT_EQ(run.exitCode, 0xC0000005u);
    return directory.WaitForBugReport(std::chrono::seconds(30)).value_or("");
}

TEST(CrashPath, EverythingComesFromTheExecutablesFolderNotTheCurrentOne) {
    ProbeDirectory elsewhere(L"kestrune-elsewhere");
    Decoy(elsewhere);
    ProbeDirectory directory;
    directory.WriteConfig("own\nkey\n1.0\n");
    directory.Copy(L"bugreport.exe");
    const ProbeRun run = directory.Run(L"config", elsewhere.path);
    EXPECT_EQ(Section(run.output, "enabled"), "1");
    EXPECT_NE(Log(run.output).find("setParam(project,own)"), std::string::npos) << run.output;
    EXPECT_EQ(CrashAndRecord(directory, elsewhere.path),
              " \"" + Utf8(directory.path) + "\\bugreport.exe\" --error-id=crash-8");
    EXPECT_FALSE(elsewhere.WaitForBugReport(std::chrono::milliseconds(200)).has_value());
}

// Install paths longer than 260 units are tested from the host by long_path_test.py: Wine's
// CreateProcessW cannot start a program at such a path, but Wine itself can.

TEST(CrashPath, AtADriveRootTheProgramPathKeepsBothSeparators) {
    // The test prefix maps K: to a folder of the build tree (see wine-run.sh).
    ASSERT_NE(GetDriveTypeW(L"K:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR)) << "drive K: is not mapped";
    ProbeDirectory directory(L"K:\\", false);
    directory.WriteConfig("own\nkey\n1.0\n");
    directory.Copy(L"bugreport.exe");
    const ProbeRun run = directory.Run(L"config");
    EXPECT_NE(Log(run.output).find("setParam(project,own)"), std::string::npos) << run.output;
    // The directory "K:\" joined with a backslash and the program's name, as the command line is
    // defined; Windows reads the doubled separator as one.
    EXPECT_EQ(CrashAndRecord(directory), " \"K:\\\\bugreport.exe\" --error-id=crash-8");
}

}  // namespace
}  // namespace Quorvin
