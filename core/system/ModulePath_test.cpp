// Tests of module paths as UTF-8: the conversion against the strict text codecs (the paths of this
// test program: windows/ModulePath_windows_test.cpp). Paths in folders named with accented, CJK
// and emoji characters, and paths longer than 260 units, are run from the host by
// tests/module_path.
#include "core/system/ModulePath.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/system/internal/PathText.h"
#include "core/text/Utf.h"

namespace Quorvin {
namespace {

using PathTextPrivate::Utf16PathToUtf8;

std::string Convert(const std::u16string& text) { return Utf16PathToUtf8(text.data(), text.size()); }

TEST(ModulePath, Utf16PathsBecomeUtf8) {
    EXPECT_EQ(Convert(u""), "");
    EXPECT_EQ(Convert(u"C:\\Games\\run.exe"), "C:\\Games\\run.exe");
    EXPECT_EQ(Convert(u"\u00E9"), "\xC3\xA9");
    EXPECT_EQ(Convert(u"\u4E2D"), "\xE4\xB8\xAD");
    EXPECT_EQ(Convert(std::u16string{0xD83D, 0xDE00}), "\xF0\x9F\x98\x80");
    EXPECT_EQ(Convert(std::u16string{0x7F, 0x80, 0x7FF, 0x800, 0xFFFF}),
              "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF");
    EXPECT_EQ(Convert(std::u16string{0xDBFF, 0xDFFF}), "\xF4\x8F\xBF\xBF");

    // Unpaired surrogates become U+FFFD, one per unit, and the next unit is read on its own.
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(Convert(std::u16string{0xD83D}), replacement);
    EXPECT_EQ(Convert(std::u16string{u'a', 0xDE00, u'b'}), "a" + replacement + "b");
    EXPECT_EQ(Convert(std::u16string{0xD83D, u'x'}), replacement + "x");
    EXPECT_EQ(Convert(std::u16string{0xD83D, 0xD83D, 0xDE00}), replacement + "\xF0\x9F\x98\x80");
    EXPECT_EQ(Convert(std::u16string{0xDE00, 0xD83D}), replacement + replacement);
    // A high surrogate at the end of the counted text is never paired with what lies beyond it.
    const std::u16string pair{0xD83D, 0xDE00};
    EXPECT_EQ(Utf16PathToUtf8(pair.data(), 1), replacement);

    // Property: equal to the strict codec after replacing every unpaired surrogate by U+FFFD.
    std::mt19937 random(23);
    const char16_t alphabet[] = {u'a', u'\\', 0xE9, 0x4E2D, 0xD83D, 0xDE00, 0xDBFF, 0xDC00, 0xFFFD, 0x7FF};
    for (int i = 0; i < 5000; ++i) {
        std::u16string text(random() % 12, u' ');
        for (char16_t& unit : text) unit = alphabet[random() % std::size(alphabet)];
        std::u16string repaired;
        for (size_t k = 0; k < text.size(); ++k) {
            const char16_t unit = text[k];
            if (unit >= 0xD800 && unit <= 0xDBFF && k + 1 < text.size() && text[k + 1] >= 0xDC00 &&
                text[k + 1] <= 0xDFFF) {
                repaired += unit;
                repaired += text[++k];
            } else {
                repaired += unit >= 0xD800 && unit <= 0xDFFF ? char16_t{0xFFFD} : unit;
            }
        }
        std::string expected;
        ASSERT_TRUE(Utf16ToUtf8(Utf16String(repaired.begin(), repaired.end()), expected));
        ASSERT_EQ(Convert(text), expected);
    }
}

}  // namespace
}  // namespace Quorvin
