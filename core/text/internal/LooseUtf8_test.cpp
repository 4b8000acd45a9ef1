// Tests of the unvalidating UTF-8 reader behind the code-page conversions.
#include "core/text/internal/LooseUtf8.h"

#include <gtest/gtest.h>

#include "tests/support/TextTestSupport.h"

namespace Quorvin::TextPrivate {
namespace {

using TextTest::Bytes;
using TextTest::Units16;

TEST(LooseUtf8, ReadsEachLengthWithoutValidating) {
    Utf16String out;
    EXPECT_TRUE(ReadLooseUtf8(Bytes({0x41, 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80}), out));
    EXPECT_EQ(out, Units16({0x41, 0xE9, 0x20AC, 0xD83D, 0xDE00}));
    out.clear();
    EXPECT_TRUE(ReadLooseUtf8(Bytes({0xC0, 0xAF}), out));  // overlong '/'
    EXPECT_EQ(out, Units16({0x002F}));
    out.clear();
    EXPECT_TRUE(ReadLooseUtf8(Bytes({0xC3, 0x41}), out));  // trailing byte pattern is not checked
    EXPECT_EQ(out, Units16({0xC1}));
    out.clear();
    EXPECT_TRUE(ReadLooseUtf8(Bytes({0xED, 0xA0, 0x80}), out));  // an encoded surrogate passes through
    EXPECT_EQ(out, Units16({0xD800}));
}

TEST(LooseUtf8, StopsBeforeStrayBytesAndSequencesCutByTheEnd) {
    Utf16String out;
    EXPECT_FALSE(ReadLooseUtf8(Bytes({0x41, 0x80, 0x42}), out));
    EXPECT_EQ(out, Units16({0x41}));
    for (const std::string& cut :
         {Bytes({0xC3}), Bytes({0xE2, 0x82}), Bytes({0xF0, 0x9F, 0x98}), Bytes({0xFF})}) {
        out.clear();
        EXPECT_FALSE(ReadLooseUtf8("ab" + cut, out));
        EXPECT_EQ(out, Units16({0x61, 0x62}));
    }
    out.clear();
    EXPECT_TRUE(ReadLooseUtf8(std::string_view(), out));
    EXPECT_TRUE(out.empty());
}

TEST(LooseUtf8, KeepsOutOfRangeFourByteValuesInsideSixteenBits) {
    Utf16String out;
    // F7 BF BF BF is 0x1FFFFF; F0 80 80 80 is an overlong zero. Neither is range-tested.
    EXPECT_TRUE(ReadLooseUtf8(Bytes({0xF7, 0xBF, 0xBF, 0xBF, 0xF0, 0x80, 0x80, 0x80}), out));
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(static_cast<uint16_t>(out[0]), 0xD800 + ((0x1FFFFF - 0x10000) >> 10));
    EXPECT_EQ(static_cast<uint16_t>(out[1]), 0xDC00 + ((0x1FFFFF - 0x10000) & 0x3FF));
    EXPECT_EQ(static_cast<uint16_t>(out[2]), static_cast<uint16_t>(0xD800 + ((0u - 0x10000u) >> 10)));
}

}  // namespace
}  // namespace Quorvin::TextPrivate
