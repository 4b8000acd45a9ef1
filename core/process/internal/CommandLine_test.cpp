// Tests of the command-line splitter: the quoting rules on hand-written lines, and generated
// arguments that come back whole after quoting by a writer of this test's own.
#include "core/process/internal/CommandLine.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace Quorvin::ProcessPrivate {
namespace {

using Arguments = std::vector<std::wstring>;

TEST(SplitCommandLine, FollowsTheQuotingRules) {
    // The program name: quotes delimit it, and backslashes are plain characters there.
    EXPECT_EQ(SplitCommandLine(L"\"C:\\Program Files\\a\\\"b c"),
              (Arguments{L"C:\\Program Files\\a\\", L"b", L"c"}));
    EXPECT_EQ(SplitCommandLine(L"a\\\"b c"), (Arguments{L"a\\\"b", L"c"}));
    EXPECT_EQ(SplitCommandLine(L"\"unclosed name"), (Arguments{L"unclosed name"}));
    EXPECT_EQ(SplitCommandLine(L" a"), (Arguments{L"", L"a"}));
    EXPECT_EQ(SplitCommandLine(L""), Arguments{});
    EXPECT_EQ(SplitCommandLine(L"p \t "), Arguments{L"p"});

    // Later arguments: backslashes before a quote halve, an odd one escapes the quote.
    EXPECT_EQ(SplitCommandLine(L"p a\\\\\"b c\" d\\\\\\\"e f\\g\\\\ \"\" \"x\ty\""),
              (Arguments{L"p", L"a\\b c", L"d\\\"e", L"f\\g\\\\", L"", L"x\ty"}));
    // Inside quotes, a closing quote followed by a quote gives a literal quote and stays closed.
    EXPECT_EQ(SplitCommandLine(L"p \"a\"\"b c \"x\\\\\"\"y z"),
              (Arguments{L"p", L"a\"b", L"c", L"x\\\"y", L"z"}));
    // ... and a quote after that opens quoting again.
    EXPECT_EQ(SplitCommandLine(L"p \"a b\"\"\" c"), (Arguments{L"p", L"a b\" c"}));
    EXPECT_EQ(SplitCommandLine(L"p \"\"\"\""), (Arguments{L"p", L"\""}));
    // Code units beyond ASCII are ordinary characters, whatever their encoding.
    EXPECT_EQ(SplitCommandLine(L"\U0001F600 \"\U0001F600 \\\U0001F600\""),
              (Arguments{L"\U0001F600", L"\U0001F600 \\\U0001F600"}));
}

// Writes `argument` so that the splitter gives it back: quoted when it is empty or holds blanks or
// quotes, every backslash run before a quote (or before the closing quote) doubled, and quotes
// escaped.
std::wstring Quote(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

TEST(SplitCommandLine, GivesBackQuotedGeneratedArguments) {
    // Text outside the BMP is two code units on Windows, one on Linux.
    static const std::wstring alphabet[] = {L" ", L"\t", L"\"", L"\\", L"\\", L"a", L"\u00E9", L"\U0001F600"};
    std::mt19937 random(7);
    std::uniform_int_distribution<size_t> count(0, 5), length(0, 8), pick(0, std::size(alphabet) - 1);
    for (int i = 0; i < 5000; ++i) {
        Arguments arguments{L"program"};
        for (size_t n = count(random); n > 0; --n) {
            std::wstring argument;
            for (size_t k = length(random); k > 0; --k) argument += alphabet[pick(random)];
            arguments.push_back(argument);
        }
        std::wstring commandLine = arguments[0];
        for (size_t a = 1; a < arguments.size(); ++a)
            commandLine += (a % 2 ? L" " : L" \t ") + Quote(arguments[a]);
        ASSERT_EQ(SplitCommandLine(commandLine), arguments) << "case " << i;
    }
}

}  // namespace
}  // namespace Quorvin::ProcessPrivate
