// Tests of the code-page conversions against the system's own converters.
#include "core/text/CodePage.h"

#include <gtest/gtest.h>

#include <climits>

#include "core/windows/WindowsApi.h"
#include "tests/support/TextTestSupport.h"

namespace Quorvin {
namespace {

using TextTest::Bytes;

constexpr uint32_t UnknownCodePage = 12345;

struct Known {
    uint32_t codePage;
    std::wstring wide;
    std::string bytes;
};

TEST(CodePage, RoundTripsKnownTextIn1252And932And65001) {
    const Known cases[] = {
        {1252, L"caf\u00E9 \u20AC5 \u00FC\u00DF",
         Bytes({'c', 'a', 'f', 0xE9, ' ', 0x80, '5', ' ', 0xFC, 0xDF})},
        {932, L"\u65E5\u672C \u30AB\uFF71", Bytes({0x93, 0xFA, 0x96, 0x7B, ' ', 0x83, 0x4A, 0xB1})},
        {65001, L"\u00E9\u20AC\U0001F600", Bytes({0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80})},
    };
    for (const Known& k : cases) {
        SCOPED_TRACE(k.codePage);
        EXPECT_EQ(WideToCodePage(k.wide, k.codePage), k.bytes);
        EXPECT_EQ(WideViewToCodePage(k.wide, k.codePage), k.bytes);
        EXPECT_EQ(CodePageToWide(k.bytes, k.codePage), k.wide);
        EXPECT_EQ(CodePageViewToWide(k.bytes, k.codePage), k.wide);
        const std::string utf8 = WideToCodePage(k.wide, 65001);
        EXPECT_EQ(Utf8ToCodePage(utf8, k.codePage), k.bytes);
        EXPECT_EQ(Utf8ViewToCodePage(utf8, k.codePage), k.bytes);
    }
}

TEST(CodePage, EmptyInputGivesEmptyOutputWithoutCallingWindows) {
    // An unknown code page makes any real call fail and set the error state; the sentinel shows
    // that no call was made.
    SetLastError(0xBEEF);
    EXPECT_TRUE(CodePageToWide("", UnknownCodePage).empty());
    EXPECT_TRUE(CodePageViewToWide({}, UnknownCodePage).empty());
    EXPECT_TRUE(WideToCodePage(L"", UnknownCodePage).empty());
    EXPECT_TRUE(WideViewToCodePage({}, UnknownCodePage).empty());
    EXPECT_EQ(GetLastError(), 0xBEEFu);
    EXPECT_TRUE(CodePageToWide("a", UnknownCodePage).empty());
    EXPECT_NE(GetLastError(), 0xBEEFu);
}

TEST(CodePage, FallsBackToTheInputOrEmptyAsEachFunctionSays) {
    EXPECT_EQ(WideToCodePage(L"abc", UnknownCodePage), "");
    EXPECT_EQ(Utf8ToCodePage("abc", UnknownCodePage), "abc");
    EXPECT_EQ(Utf8ViewToCodePage("abc", UnknownCodePage), "");  // read, but Windows refused
    EXPECT_EQ(Utf8ToCodePage("", 1252), "");
    EXPECT_EQ(Utf8ViewToCodePage("", 1252), "");

    const std::string stray = Bytes({0x41, 0x80, 0x42});
    EXPECT_EQ(Utf8ToCodePage(stray, 1252), stray);
    EXPECT_EQ(Utf8ViewToCodePage(stray, 1252), "A");
    const std::string leadingStray = Bytes({0x80, 0x41});
    EXPECT_EQ(Utf8ViewToCodePage(leadingStray, 1252), leadingStray);
    EXPECT_EQ(Utf8ToCodePage(leadingStray, 1252), leadingStray);
}

TEST(CodePage, ReadsUtf8LooselyAndNeverPastItsEnd) {
    EXPECT_EQ(Utf8ToCodePage(Bytes({0xC0, 0xAF}), 1252), "/");  // overlong, read without complaint
    EXPECT_EQ(Utf8ToCodePage(Bytes({0xF0, 0x9F, 0x98, 0x80}), 65001), Bytes({0xF0, 0x9F, 0x98, 0x80}));
    // A sequence cut by the end is handled like a stray byte. The view ends right before bytes that
    // would complete it, which must stay unread.
    const std::string text = "ab" + Bytes({0xE2, 0x82, 0xAC});
    const std::string_view cut(text.data(), 4);
    EXPECT_EQ(Utf8ViewToCodePage(cut, 1252), "ab");
    EXPECT_EQ(Utf8ToCodePage(std::string(cut), 1252), std::string(cut));
    EXPECT_EQ(Utf8ViewToCodePage(text, 1252), Bytes({'a', 'b', 0x80}));
}

TEST(CodePage, AnsiLengthCountsConvertedBytesOrTheInput) {
    EXPECT_EQ(AnsiLengthOfUtf8("plain ascii"), 11u);
    EXPECT_EQ(AnsiLengthOfUtf8(""), 0u);
    EXPECT_EQ(AnsiLengthOfUtf8(Bytes({0x41, 0x80, 0x42})), 3u);
    if (GetACP() != 1252) {
        GTEST_SKIP() << "the ANSI code page here is " << GetACP() << ", the rest expects 1252";
    }
    EXPECT_EQ(AnsiLengthOfUtf8(Bytes({'c', 'a', 'f', 0xC3, 0xA9})), 4u);
}

TEST(CodePage, TreatsInputsTooLongForWindowsAsFailures) {
    // Reserved, never committed address space: any read of it would fault, so the call proves that
    // the length is refused before Windows or the reader sees the bytes.
    const size_t units = size_t{INT_MAX} + 1;
    void* reserved = VirtualAlloc(nullptr, units * sizeof(wchar_t), MEM_RESERVE, PAGE_NOACCESS);
    if (reserved == nullptr) {
        GTEST_SKIP() << "cannot reserve 4 GiB of address space";
    }
    EXPECT_TRUE(
        CodePageViewToWide(std::string_view(static_cast<const char*>(reserved), units), 1252).empty());
    EXPECT_TRUE(
        WideViewToCodePage(std::wstring_view(static_cast<const wchar_t*>(reserved), units), 1252).empty());
    VirtualFree(reserved, 0, MEM_RELEASE);
}

}  // namespace
}  // namespace Quorvin
