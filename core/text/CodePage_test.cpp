// Tests of the code-page conversions that hold on every system, with the same expectations: Windows'
// results (under Windows these check the system itself; windows/CodePage_windows_test.cpp holds the
// portable conversions against it directly) and the rules of wide text on each system.
#include "core/text/CodePage.h"

#include <gtest/gtest.h>

#include "core/text/internal/PortableCodePages.h"
#include "tests/support/AllocationFailure.h"
#include "tests/support/CodePageTesting.h"
#include "tests/support/TextTestSupport.h"

namespace Quorvin {
namespace {

using TextTest::Bytes;

constexpr uint32_t UnknownCodePage = 12345;
constexpr bool WideIsUtf16 = sizeof(wchar_t) == 2;

// The wide form of UTF-16 units on this system: the units themselves where wide text is UTF-16,
// else one element per code point, with each unpaired surrogate an element of its own value.
std::wstring WideForm(const Utf16String& units) {
    std::wstring wide;
    for (size_t i = 0; i < units.size(); ++i) {
        const uint32_t unit = static_cast<uint16_t>(units[i]);
        const uint32_t next = i + 1 < units.size() ? static_cast<uint16_t>(units[i + 1]) : 0;
        if (!WideIsUtf16 && unit >= 0xD800 && unit <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
            wide.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00)));
            ++i;
        } else {
            wide.push_back(static_cast<wchar_t>(unit));
        }
    }
    return wide;
}

std::wstring Wide(std::initializer_list<uint32_t> codePoints) {
    return WideForm(TextTest::ReferenceUtf16(std::vector<uint32_t>(codePoints)));
}

TEST(CodePage, ConvertsKnownTextIn1252And65001BothWays) {
    struct Known {
        uint32_t codePage;
        std::wstring wide;
        std::string bytes;
    };
    const Known cases[] = {
        {1252, L"caf\u00E9 \u20AC5 \u00FC\u00DF \u0081\u008D\u008F\u0090\u009D",
         Bytes({'c', 'a', 'f', 0xE9, ' ', 0x80, '5', ' ', 0xFC, 0xDF, ' ', 0x81, 0x8D, 0x8F, 0x90, 0x9D})},
        {65001, L"\u00E9\u20AC\U0001F600\U0010FFFF\uFFFE",
         Bytes({0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80, 0xF4, 0x8F, 0xBF, 0xBF, 0xEF, 0xBF,
                0xBE})},
    };
    for (const Known& k : cases) TextTest::ExpectKnownConversion(k.codePage, k.wide, k.bytes);
    // A supplementary character is one wide character on Linux, a pair on Windows.
    EXPECT_EQ(CodePageToWide(Bytes({0xF0, 0x9F, 0x98, 0x80}), 65001).size(), WideIsUtf16 ? 2u : 1u);

    // Best fits and the default character; a character outside the BMP gives a '?' for each half
    // of its pair, from wide text and from UTF-8 alike.
    const std::wstring unmapped = L"\u0100\u2264\uFF21\u4E2D\U0001F600\u0080";
    EXPECT_EQ(WideToCodePage(unmapped, 1252), "A=A????");
    EXPECT_EQ(Utf8ToCodePage(WideToCodePage(unmapped, 65001), 1252), "A=A????");
}

// Which ill-formed bytes make one U+FFFD (the rules listed in internal/PortableCodePages.h).
TEST(CodePage, ReplacesIllFormedUtf8AsWindowsDoes) {
    constexpr uint32_t R = ReplacementCharacter;
    struct Case {
        std::string bytes;
        std::wstring wide;
    };
    const Case cases[] = {
        // Bytes that start no sequence, one each.
        {Bytes({0x80, 0xBF, 0xC0, 0xAF, 0xC1, 0xBF, 0x41}), Wide({R, R, R, R, R, R, 'A'})},
        {Bytes({0xF5, 0x80, 0xF8, 0x88, 0x80, 0x80, 0x80, 0xFF, 0x41}), Wide({R, R, R, R, R, R, R, R, 'A'})},
        // A lead and a continuation byte outside its range: one for both, then the stray bytes.
        {Bytes({0xE0, 0x80, 0x80, 0x41}), Wide({R, R, 'A'})},
        {Bytes({0xED, 0xA0, 0x80, 0x41}), Wide({R, R, 'A'})},
        {Bytes({0xF0, 0x8F, 0xBF, 0xBF, 0x41}), Wide({R, R, R, 'A'})},
        {Bytes({0xF4, 0x90, 0x80, 0x80}), Wide({R, R, R})},
        // A lead without any continuation: the lead alone.
        {Bytes({0xC2, 0x41, 0x42}), Wide({R, 'A', 'B'})},
        {Bytes({0xE2, 0xC2, 0xA9}), Wide({R, 0xA9})},
        // Continuation bytes that stop early: all read so far.
        {Bytes({0xF0, 0x9F, 0x98, 0x41}), Wide({R, 'A'})},
        {Bytes({0xF0, 0x9F, 0x41, 0x42}), Wide({R, 'A', 'B'})},
        {Bytes({0xE2, 0x82, 0xE2, 0x82, 0xAC}), Wide({R, 0x20AC})},
        // Cut short by the end: the whole rest, even well-formed text in it.
        {Bytes({0x41, 0xE2, 0x82}), Wide({'A', R})},
        {Bytes({0x41, 0xE2, 0x41}), Wide({'A', R})},
        {Bytes({0xF0, 0xC2, 0xA9}), Wide({R})},
        {Bytes({0xF4, 0x8F, 0xBF, 0xBF, 0xF0, 0x90, 0x80}), Wide({0x10FFFF, R})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(CodePageToWide(c.bytes, 65001), c.wide);
    }
    // Unpaired surrogates encode as U+FFFD; a pair split by another unit is two of them.
    const Utf16String lone = TextTest::Units16({0xDC00, 'a', 0xD83D, 'b', 0xD83D, 0xDE00, 0xD800});
    EXPECT_EQ(WideToCodePage(WideForm(lone), 65001), Bytes({0xEF, 0xBF, 0xBD, 'a', 0xEF, 0xBF, 0xBD, 'b',
                                                            0xF0, 0x9F, 0x98, 0x80, 0xEF, 0xBF, 0xBD}));
}

// The public conversions, through this system's wide text, agree with the portable ones on UTF-16:
// under Windows that holds the portable conversions against the system's; on Linux it holds the
// code-point form of wide text against the UTF-16 form.
TEST(CodePage, WideTextConvertsAsItsUtf16FormOverGeneratedText) {
    TextTest::TextGenerator gen(1252);
    for (int i = 0; i < 4000; ++i) {
        std::string bytes = gen.DamagedUtf8(40);
        if (i % 4 == 0) {
            for (char& c : bytes) c = static_cast<char>(gen.Below(256));
        }
        const Utf16String units = gen.DamagedUtf16(40);
        for (const uint32_t codePage : {1252u, 65001u}) {
            Utf16String decoded;
            ASSERT_TRUE(TextPrivate::DecodeCodePage(bytes, codePage, decoded));
            ASSERT_EQ(CodePageToWide(bytes, codePage), WideForm(decoded)) << codePage << " " << i;
            std::string encoded;
            ASSERT_TRUE(TextPrivate::EncodeCodePage(units, codePage, encoded));
            ASSERT_EQ(WideToCodePage(WideForm(units), codePage), encoded) << codePage << " " << i;
        }
    }
}

TEST(CodePage, ElementsThatAreNoCharacterConvertAsUnpairedSurrogates) {
    if (WideIsUtf16) {
        GTEST_SKIP() << "a 16-bit wide character cannot hold a value above U+FFFF";
    }
    // A high and a low surrogate as two elements are two unpaired surrogates, not a pair.
    const std::wstring wide = {L'a',
                               static_cast<wchar_t>(0x110000),
                               static_cast<wchar_t>(0xD83D),
                               static_cast<wchar_t>(0xDE00),
                               static_cast<wchar_t>(-1),
                               L'b'};
    EXPECT_EQ(WideToCodePage(wide, 1252), "a????b");
    EXPECT_EQ(WideToCodePage(wide, 65001),
              "a" + Bytes({0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD}) + "b");
    TextTest::TextGenerator gen(65001);
    for (int i = 0; i < 2000; ++i) {
        const Utf32String points = gen.DamagedUtf32(30);
        const std::wstring asIs(points.begin(), points.end());
        std::wstring asSurrogates;
        for (const char32_t c : points) {
            asSurrogates.push_back(static_cast<wchar_t>(c > 0x10FFFF ? 0xDABC : c));
        }
        for (const uint32_t codePage : {1252u, 65001u}) {
            ASSERT_EQ(WideToCodePage(asIs, codePage), WideToCodePage(asSurrogates, codePage)) << i;
        }
    }
}

TEST(CodePage, ActiveCodePageIsUtf8OnLinux) {
    if (WideIsUtf16) {
        GTEST_SKIP()
            << "on Windows code page 0 is the system's ANSI code page (windows/CodePage_windows_test.cpp)";
    }
    const std::string utf8 = Bytes({'c', 'a', 'f', 0xC3, 0xA9, 0xF0, 0x9F, 0x98, 0x80, 0xE2, 0x82});
    EXPECT_EQ(CodePageToWide(utf8, 0), CodePageToWide(utf8, 65001));
    EXPECT_EQ(WideToCodePage(L"caf\u00E9\U0001F600", 0), WideToCodePage(L"caf\u00E9\U0001F600", 65001));
    EXPECT_EQ(Utf8ToCodePage(Bytes({0xC0, 0xAF, 0xF0, 0x9F, 0x98, 0x80}), 0),
              Bytes({'/', 0xF0, 0x9F, 0x98, 0x80}));
    EXPECT_EQ(AnsiLengthOfUtf8(Bytes({'c', 'a', 'f', 0xC3, 0xA9})), 5u);
    EXPECT_EQ(AnsiLengthOfUtf8(Bytes({0x41, 0x80, 0x42})), 3u);
}

TEST(CodePage, FallsBackToTheInputOrEmptyAsEachFunctionSays) {
    EXPECT_EQ(WideToCodePage(L"abc", UnknownCodePage), "");
    EXPECT_EQ(CodePageToWide("abc", UnknownCodePage), L"");
    EXPECT_EQ(Utf8ToCodePage("abc", UnknownCodePage), "abc");
    EXPECT_EQ(Utf8ViewToCodePage("abc", UnknownCodePage), "");  // read, but the conversion failed
    EXPECT_EQ(Utf8ToCodePage("", 1252), "");
    EXPECT_EQ(Utf8ViewToCodePage("", 1252), "");
    EXPECT_TRUE(CodePageToWide("", 65001).empty());
    EXPECT_TRUE(WideViewToCodePage({}, 65001).empty());

    const std::string stray = Bytes({0x41, 0x80, 0x42});
    EXPECT_EQ(Utf8ToCodePage(stray, 1252), stray);
    EXPECT_EQ(Utf8ViewToCodePage(stray, 1252), "A");
    const std::string leadingStray = Bytes({0x80, 0x41});
    EXPECT_EQ(Utf8ViewToCodePage(leadingStray, 1252), leadingStray);
    EXPECT_EQ(Utf8ToCodePage(leadingStray, 1252), leadingStray);
}

TEST(CodePage, RunningOutOfMemoryForTheOutputGivesTheEmptyFallback) {
    // Long enough that every output needs the heap.
    const std::wstring wide(200, L'\u00E9');
    const std::string bytes(200, 'x');
    std::string narrow = "not converted";
    std::wstring widened = L"not converted";
    const unsigned long refusedBefore = Testing::RefusedAllocations();
    {
        Testing::ScopedAllocationFailure failing;
        narrow = WideToCodePage(wide, 65001);
        widened = CodePageViewToWide(bytes, 1252);
    }
    EXPECT_EQ(narrow, "");
    EXPECT_EQ(widened, L"");
    EXPECT_GT(Testing::RefusedAllocations(), refusedBefore);
    EXPECT_EQ(WideToCodePage(wide, 65001).size(), 400u);
    EXPECT_EQ(CodePageViewToWide(bytes, 1252).size(), 200u);
}

TEST(CodePage, ReadsUtf8LooselyAndNeverPastItsEnd) {
    EXPECT_EQ(Utf8ToCodePage(Bytes({0xC0, 0xAF}), 1252), "/");  // overlong, read without complaint
    EXPECT_EQ(Utf8ToCodePage(Bytes({0xF0, 0x9F, 0x98, 0x80}), 65001), Bytes({0xF0, 0x9F, 0x98, 0x80}));
    // An encoded surrogate is read as one, and converts as an unpaired surrogate.
    EXPECT_EQ(Utf8ToCodePage(Bytes({0xED, 0xA0, 0x80}), 65001), Bytes({0xEF, 0xBF, 0xBD}));
    // A sequence cut by the end is handled like a stray byte. The view ends right before bytes that
    // would complete it, which must stay unread.
    const std::string text = "ab" + Bytes({0xE2, 0x82, 0xAC});
    const std::string_view cut(text.data(), 4);
    EXPECT_EQ(Utf8ViewToCodePage(cut, 1252), "ab");
    EXPECT_EQ(Utf8ToCodePage(std::string(cut), 1252), std::string(cut));
    EXPECT_EQ(Utf8ViewToCodePage(text, 1252), Bytes({'a', 'b', 0x80}));
}

}  // namespace
}  // namespace Quorvin
