// Command lines split by the rules of Windows programs.
#include "core/process/internal/CommandLine.h"

namespace Quorvin::ProcessPrivate {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::vector<std::wstring> SplitCommandLine(std::wstring_view commandLine) {
    std::vector<std::wstring> arguments;
    if (commandLine.empty()) return arguments;

    // The program name: quotes delimit it, backslashes are plain characters.
    size_t at = 0;
    std::wstring program;
    if (commandLine[0] == L'"') {
        const size_t close = commandLine.find(L'"', 1);
        program =
            commandLine.substr(1, close == std::wstring_view::npos ? std::wstring_view::npos : close - 1);
        at = close == std::wstring_view::npos ? commandLine.size() : close + 1;
    } else {
        while (at < commandLine.size() && !IsBlank(commandLine[at])) ++at;
        program = commandLine.substr(0, at);
    }
    arguments.push_back(std::move(program));

    for (;;) {
        while (at < commandLine.size() && IsBlank(commandLine[at])) ++at;
        if (at == commandLine.size()) break;
        std::wstring argument;
        bool quoted = false;
        while (at < commandLine.size() && (quoted || !IsBlank(commandLine[at]))) {
            size_t backslashes = 0;
            while (at < commandLine.size() && commandLine[at] == L'\\') ++backslashes, ++at;
            if (at < commandLine.size() && commandLine[at] == L'"') {
                argument.append(backslashes / 2, L'\\');
                if (backslashes % 2 == 1) {
                    argument += L'"';
                } else if (quoted && at + 1 < commandLine.size() && commandLine[at + 1] == L'"') {
                    // A quote that closes quoting followed by another: that one is literal.
                    argument += L'"';
                    quoted = false;
                    ++at;
                } else {
                    quoted = !quoted;
                }
                ++at;
            } else {
                argument.append(backslashes, L'\\');
                if (backslashes == 0) argument += commandLine[at++];
            }
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

}  // namespace Quorvin::ProcessPrivate
