// The command-line splitter against the system's own, CommandLineToArgvW, over generated command
// lines.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/process/internal/CommandLine.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin::ProcessPrivate {
namespace {

using SplitFunction = wchar_t**(WINAPI*)(const wchar_t*, int*);

// shell32 is loaded here rather than linked, so that no test program imports it for one test.
std::vector<std::wstring> SystemSplit(const std::wstring& commandLine) {
    static const auto split = reinterpret_cast<SplitFunction>(
        reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"shell32.dll"), "CommandLineToArgvW")));
    int count = 0;
    wchar_t** arguments = split(commandLine.c_str(), &count);
    std::vector<std::wstring> result;
    if (arguments == nullptr) return result;
    for (int i = 0; i < count; ++i) result.emplace_back(arguments[i]);
    LocalFree(arguments);
    return result;
}

// Characters of a command line for the splitter: the ones it treats specially, weighted so that
// runs of backslashes before quotes are common, and letters, one outside the BMP (a surrogate pair).
std::wstring RandomCommandLine(std::mt19937& random) {
    static const std::wstring pieces[] = {L" ",    L"\t",   L"\"", L"\"", L"\\", L"\\",
                                          L"\\\\", L"\\\"", L"a",  L"b",  L"é",  L"\U0001F600"};
    std::uniform_int_distribution<size_t> length(1, 24);
    std::uniform_int_distribution<size_t> piece(0, std::size(pieces) - 1);
    std::wstring commandLine;
    for (size_t n = length(random); n > 0; --n) commandLine += pieces[piece(random)];
    return commandLine;
}

std::string Describe(const std::wstring& commandLine, const std::vector<std::wstring>& arguments) {
    auto show = [](const std::wstring& text) {
        std::string shown;
        for (wchar_t c : text) {
            if (c == L'\t')
                shown += "<tab>";
            else if (c < 0x80)
                shown += static_cast<char>(c);
            else
                shown += "<" + std::to_string(static_cast<unsigned>(c)) + ">";
        }
        return shown;
    };
    std::string description = "[" + show(commandLine) + "] ->";
    for (const std::wstring& argument : arguments) description += " [" + show(argument) + "]";
    return description;
}

TEST(SplitCommandLine, AgreesWithTheSystemOnGeneratedCommandLines) {
    std::mt19937 random(20240611);
    int disagreements = 0;
    for (int i = 0; i < 20000 && disagreements < 10; ++i) {
        const std::wstring commandLine = RandomCommandLine(random);
        const std::vector<std::wstring> ours = SplitCommandLine(commandLine);
        const std::vector<std::wstring> system = SystemSplit(commandLine);
        if (ours != system) {
            ++disagreements;
            ADD_FAILURE() << "ours " << Describe(commandLine, ours) << "\nsystem "
                          << Describe(commandLine, system);
        }
    }
    // The one case where the system answers something else: its own path for an empty line.
    EXPECT_TRUE(SplitCommandLine(L"").empty());
    EXPECT_EQ(SystemSplit(L"").size(), 1u);
}

}  // namespace
}  // namespace Quorvin::ProcessPrivate
