// Tests of the random identifiers: the generator's definition (its first values on a new thread,
// and a time-seeded sequence recomputed here), buffer handling and the length range.
#include "core/data/RandomIdentifier.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>
#include <thread>

namespace Quorvin {
namespace {

constexpr char Alphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// The generator's definition, independently: state * 214013 + 2531011, bits 16 to 30.
struct ReferenceGenerator {
    uint32_t state;
    uint32_t Next() {
        state = state * 214013u + 2531011u;
        return (state >> 16) & 0x7FFF;
    }
};

TEST(RandomIdentifier, AThreadThatNeverSeededStartsFromOne) {
    std::string first;
    std::string second;
    // Fresh threads, so that no earlier test has advanced their generators.
    for (std::string* out : {&first, &second}) {
        std::thread([out] {
            char buffer[8];
            std::memset(buffer, '#', sizeof buffer);
            RandomAlphanumeric(buffer, 3);
            *out = std::string(buffer, sizeof buffer);
        }).join();
    }
    EXPECT_EQ(first, std::string("frA\0####", 8));
    EXPECT_EQ(second, first);
}

TEST(RandomIdentifier, FillsBuffersFromTheGeneratorSeededWithTheTime) {
    std::string identifier;
    uint32_t seed = 0;
    uint64_t length = 0;
    // Retries when the second changes during the call, so the seed is known.
    do {
        seed = static_cast<uint32_t>(std::time(nullptr));
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        RandomAlphanumericRange(buffer, 10, 50);
        length = std::strlen(buffer);
        ASSERT_LT(length + 1, sizeof buffer);
        EXPECT_EQ(buffer[length + 1], '#');
        identifier.assign(buffer, length);
    } while (seed != static_cast<uint32_t>(std::time(nullptr)));

    ReferenceGenerator reference{seed};
    EXPECT_EQ(length, 10 + reference.Next() % 50);
    std::string expected;
    for (uint64_t i = 0; i < length; ++i) {
        expected.push_back(Alphabet[reference.Next() % 62]);
    }
    EXPECT_EQ(identifier, expected);
    // RandomAlphanumeric continues the same sequence; length 0 writes only the NUL.
    char buffer[40];
    std::memset(buffer, '#', sizeof buffer);
    RandomAlphanumeric(buffer, 0);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], '#');
    RandomAlphanumeric(buffer, 30);
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(buffer[i], Alphabet[reference.Next() % 62]);
    }
    EXPECT_EQ(buffer[30], '\0');
    EXPECT_EQ(buffer[31], '#');

    // Range 1, and range 0 taken as 1, give exactly the minimum; within one second, the same text.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::time_t before = std::time(nullptr);
        char a[16];
        char b[16];
        char c[16];
        RandomAlphanumericRange(a, 12, 1);
        RandomAlphanumericRange(b, 12, 0);
        RandomAlphanumericRange(c, 12, 1);
        if (std::time(nullptr) != before) {
            continue;
        }
        EXPECT_EQ(std::strlen(a), 12u);
        EXPECT_STREQ(a, b);
        EXPECT_STREQ(a, c);
        break;
    }
}

}  // namespace
}  // namespace Quorvin
