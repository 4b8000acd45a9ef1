// Tests of the MD5 digests: the RFC 1321 test suite, the one-call and incremental forms against each
// other over random buffers and random piece sizes, the finalisation paths, and a buffer past 4 GiB.
#include "core/data/Md5.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>

namespace Quorvin {
namespace {

TEST(Md5, DigestsTheRfc1321TestSuite) {
    const std::pair<std::string, const char*> suite[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [message, expected] : suite) {
        EXPECT_EQ(Md5HexString(message.data(), message.size()), expected) << message;
        char text[34];
        std::memset(text, 'x', sizeof text);
        Md5Hex(message.data(), static_cast<uint32_t>(message.size()), text);
        EXPECT_STREQ(text, expected);
        EXPECT_EQ(text[33], 'x');

        Md5Context context;
        Md5Init(context);
        Md5Update(context, message.data(), static_cast<uint32_t>(message.size()));
        unsigned char digest[16];
        Md5Final(digest, context);
        EXPECT_EQ(DigestToHexString(digest), expected);
        std::memset(text, 'x', sizeof text);
        DigestToHex(digest, text);
        EXPECT_STREQ(text, expected);
        // Nothing of the message or the state is left in the context.
        const Md5Context zero{};
        EXPECT_EQ(std::memcmp(&context, &zero, sizeof context), 0);
    }
    EXPECT_EQ(Md5HexString(nullptr, 0), "d41d8cd98f00b204e9800998ecf8427e");

    // One padded block through the bare compression function.
    Md5Context context;
    Md5Init(context);
    unsigned char block[64] = {'a', 'b', 'c', 0x80};
    block[56] = 24;
    Md5Transform(context.state, block);
    unsigned char digest[16];
    std::memcpy(digest, context.state, 16);  // the state words are the digest on this little-endian host
    EXPECT_EQ(DigestToHexString(digest), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5, GivesTheSameDigestForAnySplitOfTheInput) {
    std::mt19937_64 random(8);
    std::string data(5000, '\0');
    for (char& c : data) {
        c = static_cast<char>(random());
    }
    std::vector<size_t> lengths = {0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 127, 128, 129, 1000, 5000};
    for (int i = 0; i < 40; ++i) {
        lengths.push_back(random() % data.size());
    }
    std::string previous;
    for (const size_t length : lengths) {
        const std::string whole = Md5HexString(data.data(), length);
        EXPECT_NE(whole, previous);
        previous = whole;
        for (int split = 0; split < 8; ++split) {
            Md5Context context;
            Md5Init(context);
            size_t done = 0;
            const size_t pieces[] = {1, 63, 64, 65};
            while (done < length) {
                const size_t piece = std::min(length - done, split < 4 ? pieces[split] : random() % 200);
                Md5Update(context, data.data() + done, static_cast<uint32_t>(piece));
                done += piece;
            }
            unsigned char digest[16];
            Md5Final(digest, context);
            ASSERT_EQ(DigestToHexString(digest), whole) << length << " " << split;
        }
    }
}

// 2^32 + 3 zero bytes: a 32-bit length would see only 3 of them. The expected digest was computed
// independently, with the operating system's md5 tool.
TEST(Md5, DigestsBuffersOfFourGigabytesAndMoreWhole) {
    constexpr uint64_t length = (uint64_t{1} << 32) + 3;
    // Fresh zeroed pages from the system: reading them costs no memory.
    std::unique_ptr<void, decltype(&std::free)> buffer(std::calloc(length, 1), &std::free);
    if (buffer == nullptr) {
        GTEST_SKIP() << "no address space for 4 GiB";
    }
    EXPECT_EQ(Md5HexString(buffer.get(), length), "4ca27e0aa2e7592739ca3de160d1c3a6");
}

}  // namespace
}  // namespace Quorvin
