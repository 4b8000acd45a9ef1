// Tests of the string utilities: escaping and its inverse over random bytes, whitespace compaction
// by example and by its invariants, and MurmurHash32's reference values at every alignment.
#include "core/data/StringUtilities.h"

#include <gtest/gtest.h>

#include <random>

namespace Quorvin {
namespace {

using namespace std::string_literals;

std::string Escaped(std::string_view input) {
    std::string out;
    EscapeString(input, out);
    return out;
}

std::string Unescaped(std::string_view input) {
    std::string out;
    UnescapeString(input, out);
    return out;
}

TEST(StringUtilities, EscapesAndUnescapesEveryByteString) {
    EXPECT_EQ(Escaped(""), "");
    EXPECT_EQ(Escaped("a\tb"), "a\\tb");
    EXPECT_EQ(Escaped("\t\n\r\"'\\\x80\0z"s), "\\t\\n\\r\\\"\\'\\\\\x80\0z"s);
    EXPECT_EQ(Unescaped("\\q"), "");
    EXPECT_EQ(Unescaped("x\\"), "x\\");
    EXPECT_EQ(Unescaped("\\t\\n\\r\\\"\\'\\\\\\a\\\xFF"), "\t\n\r\"'\\");
    std::string appended = "keep";
    EscapeString("\n", appended);
    UnescapeString("\\t", appended);
    EXPECT_EQ(appended, "keep\\n\t");

    std::mt19937_64 random(4);
    const char special[] = {'\t', '\n', '\r', '"', '\'', '\\', 'n', 't', 'r', '\0'};
    for (int trial = 0; trial < 2000; ++trial) {
        std::string input(random() % 40, '\0');
        for (char& c : input) {
            c = random() % 2 != 0 ? special[random() % sizeof special] : static_cast<char>(random());
        }
        const std::string escaped = Escaped(input);
        ASSERT_EQ(Unescaped(escaped), input);
        // No line-control byte survives escaping.
        ASSERT_EQ(escaped.find_first_of("\t\n\r"), std::string::npos);
    }
}

TEST(StringUtilities, CompactsWhitespace) {
    const std::pair<std::string, std::string> examples[] = {
        {"a  b", "a b"},
        {"a,  b", "a,b"},
        {"a\t\nb", "a\nb"},
        {"a\n\nb", "a\nb"},
        {"a \nb", "a \nb"},
        {"a\r\nb", "a\n\nb"},
        {"\rb", "\nb"},
        {"   ", ""},
        {"  a\t", "a "},
        {"a\t\tb", "a b"},
        {"a, \t\nb\r\r", "a,b\n\n"},
        {"\xE4 \xE4", "\xE4 \xE4"},
        {"", ""},
        {"a\tb \n", "a b \n"},
    };
    for (const auto& [input, expected] : examples) {
        EXPECT_EQ(CompactWhitespace(input), expected) << input;
    }
    // Without carriage returns the result is its own compaction: no tab, no leading whitespace, none
    // after a comma, no two equal whitespace bytes in a row, and never longer than the input.
    std::mt19937_64 random(6);
    const char alphabet[] = {' ', ' ', '\t', '\n', ',', 'a', 'b'};
    for (int trial = 0; trial < 3000; ++trial) {
        std::string input(random() % 30, ' ');
        for (char& c : input) {
            c = alphabet[random() % sizeof alphabet];
        }
        const std::string result = CompactWhitespace(input);
        ASSERT_EQ(CompactWhitespace(result), result) << input;
        ASSERT_LE(result.size(), input.size());
        ASSERT_EQ(result.find('\t'), std::string::npos);
        ASSERT_TRUE(result.empty() || (result[0] != ' ' && result[0] != '\n')) << input;
        for (size_t i = 1; i < result.size(); ++i) {
            const bool space = result[i] == ' ' || result[i] == '\n';
            ASSERT_FALSE(space && (result[i - 1] == ',' || result[i - 1] == result[i])) << input;
        }
    }
}

TEST(StringUtilities, HashesLikeMurmurHash3x86At32Bits) {
    EXPECT_EQ(MurmurHash32(nullptr, 0), 0u);
    EXPECT_EQ(MurmurHash32("hello", 5), 0x248bfa47u);
    EXPECT_EQ(MurmurHash32("abc", 3), 0xb3dd93fau);
    EXPECT_EQ(MurmurHash32("abcd", 4), 0x43ed676au);
    EXPECT_EQ(MurmurHash32("The quick brown fox jumps over the lazy dog", 43), 0x2e4ff723u);
    // Any alignment of the same bytes gives the same hash, and every byte counts.
    std::mt19937_64 random(12);
    alignas(8) unsigned char storage[80];
    for (size_t length = 0; length <= 64; ++length) {
        unsigned char data[64];
        for (size_t i = 0; i < length; ++i) {
            data[i] = static_cast<unsigned char>(random());
        }
        const uint32_t expected = MurmurHash32(data, length);
        for (size_t shift = 1; shift < 8; ++shift) {
            std::copy(data, data + length, storage + shift);
            ASSERT_EQ(MurmurHash32(storage + shift, length), expected);
        }
        if (length > 0) {
            data[random() % length] ^= 1 << (random() % 8);
            EXPECT_NE(MurmurHash32(data, length), expected);
        }
    }
}

}  // namespace
}  // namespace Quorvin
