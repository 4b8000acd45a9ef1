// Tests of the code-page conversions on Windows (code page 932, the ANSI code page, the system's
// error state and length limit), and of the portable conversions that Linux uses against the system's
// own: every byte and unit of 1252, every short UTF-8 sequence and generated text.
#include "core/text/CodePage.h"

#include <gtest/gtest.h>

#include <climits>

#include "core/text/internal/PortableCodePages.h"
#include "core/text/internal/Windows1252.h"
#include "core/windows/WindowsApi.h"
#include "tests/support/CodePageTesting.h"
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
    for (const Known& k : cases) TextTest::ExpectKnownConversion(k.codePage, k.wide, k.bytes);
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

// The system's conversions with flags 0, called directly.
std::wstring SystemDecode(uint32_t codePage, std::string_view bytes) {
    const int size = static_cast<int>(bytes.size());
    std::wstring out(static_cast<size_t>(MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0)),
                     L' ');
    out.resize(static_cast<size_t>(
        MultiByteToWideChar(codePage, 0, bytes.data(), size, out.data(), static_cast<int>(out.size()))));
    return out;
}

std::string SystemEncode(uint32_t codePage, std::wstring_view units) {
    const int size = static_cast<int>(units.size());
    std::string out(static_cast<size_t>(
                        WideCharToMultiByte(codePage, 0, units.data(), size, nullptr, 0, nullptr, nullptr)),
                    ' ');
    out.resize(static_cast<size_t>(WideCharToMultiByte(codePage, 0, units.data(), size, out.data(),
                                                       static_cast<int>(out.size()), nullptr, nullptr)));
    return out;
}

std::wstring PortableDecode(uint32_t codePage, std::string_view bytes) {
    std::wstring out;
    EXPECT_TRUE(TextPrivate::DecodeCodePage(bytes, codePage, out));
    return out;
}

std::string PortableEncode(uint32_t codePage, std::wstring_view units) {
    std::string out;
    EXPECT_TRUE(TextPrivate::EncodeCodePage(units, codePage, out));
    return out;
}

// Units as numbers, for failure messages.
std::string Numbers(std::wstring_view units) {
    return testing::PrintToString(std::vector<int>(units.begin(), units.end()));
}

TEST(CodePageAgainstSystem, Windows1252MatchesForEveryByteAndEveryUnit) {
    std::string bytes;
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        ASSERT_EQ(SystemDecode(1252, one),
                  std::wstring(1, TextPrivate::Windows1252ToUnit(static_cast<uint8_t>(b))))
            << b;
        bytes += one;
    }
    EXPECT_EQ(SystemDecode(1252, bytes), PortableDecode(1252, bytes));

    // Every unit alone, then all of them in one text, where each high surrogate before DC00 is half
    // of a pair: the system converts unit by unit all the same.
    std::wstring units;
    for (uint32_t u = 0; u < 0x10000; ++u) {
        const std::wstring one(1, static_cast<wchar_t>(u));
        ASSERT_EQ(SystemEncode(1252, one),
                  std::string(1, static_cast<char>(TextPrivate::UnitToWindows1252(u))))
            << std::hex << u;
        units += one;
    }
    EXPECT_EQ(SystemEncode(1252, units), PortableEncode(1252, units));
    EXPECT_EQ(SystemEncode(1252, L"\U0001F600\U0010FFFF"), "????");
}

TEST(CodePageAgainstSystem, Utf8MatchesForEveryShortSequenceAndEveryUnit) {
    // A byte of each kind the rules tell apart: ASCII, the continuation ranges that the first bytes
    // E0, ED, F0 and F4 allow or refuse, each kind of first byte, and bytes that start nothing.
    static constexpr uint8_t kinds[] = {0x00, 0x41, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF,
                                        0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xED, 0xEF,
                                        0xF0, 0xF1, 0xF4, 0xF5, 0xF8, 0xFC, 0xFE, 0xFF};
    constexpr size_t n = std::size(kinds);
    size_t compared = 0;
    for (size_t length = 1; length <= 4; ++length) {
        size_t count = 1;
        for (size_t k = 0; k < length; ++k) count *= n;
        for (size_t index = 0; index < count; ++index) {
            std::string bytes;
            for (size_t k = 0, rest = index; k < length; ++k, rest /= n) {
                bytes += static_cast<char>(kinds[rest % n]);
            }
            // Bare, where the end cuts sequences short, and followed by more text.
            for (const std::string& text : {bytes, bytes + "A"}) {
                ASSERT_EQ(SystemDecode(65001, text), PortableDecode(65001, text))
                    << testing::PrintToString(text);
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 600000u);

    std::wstring units;
    for (uint32_t u = 0; u < 0x10000; ++u) {
        const std::wstring one(1, static_cast<wchar_t>(u));
        ASSERT_EQ(SystemEncode(65001, one), PortableEncode(65001, one)) << std::hex << u;
        units += one;
    }
    EXPECT_EQ(SystemEncode(65001, units), PortableEncode(65001, units));
}

TEST(CodePageAgainstSystem, BothCodePagesMatchOnGeneratedText) {
    TextTest::TextGenerator gen(437);
    for (int i = 0; i < 5000; ++i) {
        // Text of every length and script, outside the BMP too, damaged or not; now and then bytes
        // of any value, cut sequences most of all.
        std::string bytes = gen.DamagedUtf8(60);
        if (i % 5 == 0) {
            for (char& c : bytes) {
                c = static_cast<char>(gen.Chance(70) ? 0x80 + gen.Below(0x80) : gen.Below(0x100));
            }
        }
        const std::wstring units = gen.DamagedUtf16(60);
        for (const uint32_t codePage : {1252u, 65001u}) {
            ASSERT_EQ(SystemDecode(codePage, bytes), PortableDecode(codePage, bytes))
                << codePage << " " << testing::PrintToString(bytes);
            ASSERT_EQ(SystemEncode(codePage, units), PortableEncode(codePage, units))
                << codePage << " " << Numbers(units);
        }
    }
}

}  // namespace
}  // namespace Quorvin
