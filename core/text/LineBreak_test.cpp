// Tests of the line-break rule, character classes, markers, colour-code skipping, the escape table
// and the style registry.
#include "core/text/LineBreak.h"
#include "core/text/InlineMarkup.h"
#include "core/text/StyleTable.h"

#include <gtest/gtest.h>

namespace Quorvin {
namespace {

class LineBreakTest : public testing::Test {
protected:
    void SetUp() override {
        InitLineBreaking();
        SetMarkers(7, 8, 0xA0);
    }
};

TEST_F(LineBreakTest, SetsHoldExactlyTheirMembersAfterRepeatedInitialisation) {
    NoLineStartSet.insert(0x1234);
    InitLineBreaking();
    EXPECT_EQ(NoLineStartSet.size(), 53u);
    EXPECT_EQ(NoLineEndSet.size(), 34u);
    EXPECT_EQ(NoLineStartSet.count(0x1234), 0u);
    for (uint32_t c : {0x21u, 0x3002u, 0x2026u, 0x2014u, 0x00B0u, 0x2103u, 0x003Eu, 0xFF3Du}) {
        EXPECT_EQ(GetPunctuationClass(c), 1) << std::hex << c;
    }
    for (uint32_t c : {0x28u, 0x24u, 0x20ACu, 0x3010u, 0xFFE0u, 0x002Du, 0x00ABu}) {
        EXPECT_EQ(GetPunctuationClass(c), 2) << std::hex << c;
    }
    for (uint32_t c : {0x41u, 0x20u, 0x4E2Du, 0u}) {
        EXPECT_EQ(GetPunctuationClass(c), 0) << std::hex << c;
    }
    // The two sets are disjoint, so the class order never matters for a member.
    for (uint32_t c : NoLineStartSet) {
        EXPECT_EQ(NoLineEndSet.count(c), 0u) << std::hex << c;
    }
}

TEST_F(LineBreakTest, KeepsEastAsianPunctuationAndBracketsWithTheirNeighbours) {
    EXPECT_FALSE(CanBreakBetween(0x4E2D, 0x3002, true));  // the full stop must not start a line
    EXPECT_TRUE(CanBreakBetween(0x3002, 0x4E2D, true));
    EXPECT_TRUE(CanBreakBetween(0x4E2D, 0x6587, true));  // between ideographs
    EXPECT_TRUE(CanBreakBetween('a', 0x4E2D, true));
    EXPECT_TRUE(CanBreakBetween(0xAC00, 'a', true));  // after a Hangul syllable
    EXPECT_FALSE(CanBreakBetween('(', 'a', true));
    EXPECT_TRUE(CanBreakBetween('a', '(', true));
    EXPECT_FALSE(CanBreakBetween('a', ')', true));
    EXPECT_TRUE(CanBreakBetween(')', 'a', true));
}

TEST_F(LineBreakTest, KeepsWordsNumbersAndDoubledPunctuationTogether) {
    EXPECT_FALSE(CanBreakBetween('a', 'b', true));
    EXPECT_TRUE(CanBreakBetween(' ', 'b', true));
    EXPECT_TRUE(CanBreakBetween(' ', '(', true));  // a space wins over the bracket rule
    EXPECT_FALSE(CanBreakBetween('.', '5', true));
    EXPECT_FALSE(CanBreakBetween(',', '0', true));
    EXPECT_FALSE(CanBreakBetween(':', '9', true));
    EXPECT_TRUE(CanBreakBetween('.', 'A', true));
    EXPECT_TRUE(CanBreakBetween('!', '5', true));
    EXPECT_FALSE(CanBreakBetween(0x2014, 0x2014, true));
    EXPECT_FALSE(CanBreakBetween(0x2026, 0x2026, true));
    EXPECT_FALSE(CanBreakBetween(0x2013, 0x2013, true));  // an en dash may not start a line
    EXPECT_TRUE(CanBreakBetween(0x2014, 'a', true));
}

TEST_F(LineBreakTest, HonoursTheEndOfTextTheNoBreakCharacterAndDisabledRules) {
    EXPECT_FALSE(CanBreakBetween(' ', 0, true));
    EXPECT_TRUE(CanBreakBetween(' ', 0, false));
    EXPECT_TRUE(CanBreakBetween('a', 'b', false));
    EXPECT_FALSE(CanBreakBetween(0xA0, 0x4E2D, true));
    EXPECT_FALSE(CanBreakBetween(' ', 0xA0, true));
    SetMarkers(7, 8, '~');
    EXPECT_FALSE(CanBreakBetween(' ', '~', true));
    EXPECT_TRUE(CanBreakBetween(0xA0, 0x4E2D, true));
}

TEST(TextClasses, IdeographicAndHangulRangesHaveExactEdges) {
    const std::pair<uint32_t, bool> ideographic[] = {
        {0x07FF, false}, {0x0800, true},  {0x9FEF, true},  {0x9FF0, false}, {0xF8FF, false}, {0xF900, true},
        {0xFAFF, true},  {0xFB00, false}, {0xABFF, false}, {0xAC00, true},  {0xD7AF, true},  {0xD7B0, false}};
    for (const auto& [c, expected] : ideographic) {
        EXPECT_EQ(IsIdeographic(c), expected) << std::hex << c;
    }
    const std::pair<uint32_t, bool> hangul[] = {
        {0x10FF, false}, {0x1100, true},  {0x11FF, true}, {0x1200, false}, {0x312F, false}, {0x3130, true},
        {0x318F, true},  {0x3190, false}, {0xAC00, true}, {0xD7AF, true},  {0xD7B0, false}, {0x4E2D, false}};
    for (const auto& [c, expected] : hangul) {
        EXPECT_EQ(IsHangul(c), expected) << std::hex << c;
    }
}

TEST_F(LineBreakTest, MarkersFollowSetMarkersAndKeepTheFixedOne) {
    EXPECT_EQ(GetMarkerKind(7), 1);
    EXPECT_EQ(GetMarkerKind(8), 2);
    EXPECT_EQ(GetMarkerKind(MarkerC), 2);
    EXPECT_EQ(GetMarkerKind(0xA0), 3);
    EXPECT_EQ(GetMarkerKind('a'), 0);
    EXPECT_TRUE(IsMarker(MarkerC));
    EXPECT_FALSE(IsMarker(0xA0));
    EXPECT_TRUE(ContainsMarker(U"ab\u263Bc"));
    EXPECT_FALSE(ContainsMarker(U"abc\u00A0"));

    SetMarkers(0x100, 0x100, 0x100);  // equal markers: the first kind in the order wins
    EXPECT_EQ(GetMarkerKind(0x100), 1);
    EXPECT_FALSE(IsMarker(7));
    EXPECT_TRUE(ContainsMarker(std::u32string(1, 0x100)));
    EXPECT_EQ(GetMarkerKind(0xA0), 0);
}

TEST(NextVisibleChar, SkipsColourCodesOnlyWhenAskedAndOnlyWellFormedOnes) {
    EXPECT_EQ(NextVisibleChar(U"a#ff0000b", 0, true), U'b');
    EXPECT_EQ(NextVisibleChar(U"a#ff0000b", 0, false), U'#');
    EXPECT_EQ(NextVisibleChar(U"a#E", 0, true), 0u);
    EXPECT_EQ(NextVisibleChar(U"a#FF0000b", 0, true), U'#');  // upper-case digits are no code
    EXPECT_EQ(NextVisibleChar(U"a#Ex", 0, true), U'x');
    EXPECT_EQ(NextVisibleChar(U"a#E#0a0b0cz", 0, true), U'z');  // codes in a row
    EXPECT_EQ(NextVisibleChar(U"a#ff0000", 0, true), 0u);       // a code at the very end
    EXPECT_EQ(NextVisibleChar(U"a#ff000", 0, true), U'#');      // one digit short
    EXPECT_EQ(NextVisibleChar(U"a#", 0, true), U'#');
}

TEST(NextVisibleChar, AnswersZeroOutsideTheText) {
    EXPECT_EQ(NextVisibleChar(U"ab", 1, true), 0u);
    EXPECT_EQ(NextVisibleChar(U"ab", 5, true), 0u);
    EXPECT_EQ(NextVisibleChar(U"", -1, true), 0u);
    EXPECT_EQ(NextVisibleChar(U"ab", -1, true), U'a');
    EXPECT_EQ(NextVisibleChar(U"ab", -2, true), 0u);
    EXPECT_EQ(NextVisibleChar(U"ab", INT32_MIN, false), 0u);
    EXPECT_EQ(NextVisibleChar(U"ab", INT32_MAX, false), 0u);
}

TEST_F(LineBreakTest, LoadsOnlyTwoByteHashKeysAndReplacesExistingOnes) {
    ASSERT_TRUE(HasEscapeTable());
    EscapeTable->clear();
    LoadEscapes("#1:x;#E:y;ab:z;#2:w");
    EXPECT_EQ(EscapeTable->size(), 2u);
    ASSERT_NE(FindEscape(U"#1"), nullptr);
    EXPECT_EQ(*FindEscape(U"#1"), U"x");
    ASSERT_NE(FindEscape(U"#2"), nullptr);
    EXPECT_EQ(*FindEscape(U"#2"), U"w");
    EXPECT_EQ(FindEscape(U"#E"), nullptr);
    EXPECT_EQ(FindEscape(U"ab"), nullptr);

    LoadEscapes("#1:\xE2\x82\xAC and more;#3:;#4:\xC0\xAF;#\xC3\xA9:bad key;#5:v");
    EXPECT_EQ(*FindEscape(U"#1"), U"\u20AC and more");
    ASSERT_NE(FindEscape(U"#3"), nullptr);
    EXPECT_EQ(*FindEscape(U"#3"), U"");
    EXPECT_EQ(FindEscape(U"#4"), nullptr);  // invalid UTF-8 value
    EXPECT_EQ(*FindEscape(U"#5"), U"v");

    // Reading stops at the first segment without a ':' before its ';'.
    LoadEscapes("#6:a;#7;#8:b");
    EXPECT_NE(FindEscape(U"#6"), nullptr);
    EXPECT_EQ(FindEscape(U"#8"), nullptr);
    LoadEscapes("");
    LoadEscapes(";");
    LoadEscapes("#9:a;;#0:b");
    EXPECT_NE(FindEscape(U"#9"), nullptr);
    EXPECT_EQ(FindEscape(U"#0"), nullptr);
    EscapeTable->clear();
}

TEST_F(LineBreakTest, StyleIdentifiersCountRecordsAndNeverDropARegistration) {
    StyleTable.clear();
    StyleRecord& first = GetStyle(0);
    EXPECT_EQ(first.name, "");
    EXPECT_EQ(first.a + first.g, 0u);
    EXPECT_EQ(RegisterStyle("one", 1, 2, 4, 5, 6, 3.5f, 7, 8.5f), 1);
    EXPECT_EQ(RegisterStyle("two", 0, 0, 0, 0, 0, 0, 0, 0), 2);
    const StyleRecord& one = GetStyle(1);
    EXPECT_EQ(one.name, "one");
    EXPECT_EQ(one.a, 1u);
    EXPECT_EQ(one.b, 2u);
    EXPECT_EQ(one.c, 3.5f);
    EXPECT_EQ(one.d, 4u);
    EXPECT_EQ(one.e, 5u);
    EXPECT_EQ(one.f, 6u);
    EXPECT_EQ(one.g, 7u);
    EXPECT_EQ(one.h, 8.5f);

    // A record created out of turn holds the next identifier: the registration takes the next
    // free one rather than vanishing.
    GetStyle(4);
    EXPECT_EQ(StyleTable.size(), 4u);
    EXPECT_EQ(RegisterStyle("five", 9, 0, 0, 0, 0, 0, 0, 0), 5);
    EXPECT_EQ(GetStyle(5).name, "five");
    EXPECT_EQ(GetStyle(4).name, "");
    StyleTable.clear();
}

}  // namespace
}  // namespace Quorvin
