// MD5 as RFC 1321 defines it, with the block loop kept in registers across consecutive blocks.
#include "core/data/Md5.h"

#include <cstring>

#include "core/base/Compiler.h"

namespace Quorvin {
namespace {

// Little-endian load and store spelled byte by byte, so the code is right on any host; compilers
// turn them into single moves on little-endian machines.
QUORVIN_FORCEINLINE uint32_t Load32(const unsigned char* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

QUORVIN_FORCEINLINE void Store32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

QUORVIN_FORCEINLINE uint32_t Rotate(uint32_t x, int r) { return (x << r) | (x >> (32 - r)); }

// The four round functions in forms that need the fewest dependent operations. G is written as a
// sum of two disjoint terms (the bits taken from x and from y never overlap), which lets the term
// that does not involve the previous step's result start early.
#define QUORVIN_MD5_STEP_F(a, b, c, d, x, s, t) a = b + Rotate(a + (d ^ (b & (c ^ d))) + (x) + (t), s)
#define QUORVIN_MD5_STEP_G(a, b, c, d, x, s, t) a = b + Rotate(a + (c & ~d) + (b & d) + (x) + (t), s)
#define QUORVIN_MD5_STEP_H(a, b, c, d, x, s, t) a = b + Rotate(a + (b ^ c ^ d) + (x) + (t), s)
#define QUORVIN_MD5_STEP_I(a, b, c, d, x, s, t) a = b + Rotate(a + (c ^ (b | ~d)) + (x) + (t), s)

// Compresses `blocks` consecutive 64-byte blocks into `state`.
void TransformBlocks(uint32_t state[4], const unsigned char* data, size_t blocks) {
    uint32_t a = state[0];
    uint32_t b = state[1];
    uint32_t c = state[2];
    uint32_t d = state[3];
    for (; blocks != 0; --blocks, data += 64) {
        uint32_t x[16];
        for (int i = 0; i < 16; ++i) {
            x[i] = Load32(data + 4 * i);
        }
        const uint32_t a0 = a;
        const uint32_t b0 = b;
        const uint32_t c0 = c;
        const uint32_t d0 = d;

        QUORVIN_MD5_STEP_F(a, b, c, d, x[0], 7, 0xd76aa478);
        QUORVIN_MD5_STEP_F(d, a, b, c, x[1], 12, 0xe8c7b756);
        QUORVIN_MD5_STEP_F(c, d, a, b, x[2], 17, 0x242070db);
        QUORVIN_MD5_STEP_F(b, c, d, a, x[3], 22, 0xc1bdceee);
        QUORVIN_MD5_STEP_F(a, b, c, d, x[4], 7, 0xf57c0faf);
        QUORVIN_MD5_STEP_F(d, a, b, c, x[5], 12, 0x4787c62a);
        QUORVIN_MD5_STEP_F(c, d, a, b, x[6], 17, 0xa8304613);
        QUORVIN_MD5_STEP_F(b, c, d, a, x[7], 22, 0xfd469501);
        QUORVIN_MD5_STEP_F(a, b, c, d, x[8], 7, 0x698098d8);
        QUORVIN_MD5_STEP_F(d, a, b, c, x[9], 12, 0x8b44f7af);
        QUORVIN_MD5_STEP_F(c, d, a, b, x[10], 17, 0xffff5bb1);
        QUORVIN_MD5_STEP_F(b, c, d, a, x[11], 22, 0x895cd7be);
        QUORVIN_MD5_STEP_F(a, b, c, d, x[12], 7, 0x6b901122);
        QUORVIN_MD5_STEP_F(d, a, b, c, x[13], 12, 0xfd987193);
        QUORVIN_MD5_STEP_F(c, d, a, b, x[14], 17, 0xa679438e);
        QUORVIN_MD5_STEP_F(b, c, d, a, x[15], 22, 0x49b40821);

        QUORVIN_MD5_STEP_G(a, b, c, d, x[1], 5, 0xf61e2562);
        QUORVIN_MD5_STEP_G(d, a, b, c, x[6], 9, 0xc040b340);
        QUORVIN_MD5_STEP_G(c, d, a, b, x[11], 14, 0x265e5a51);
        QUORVIN_MD5_STEP_G(b, c, d, a, x[0], 20, 0xe9b6c7aa);
        QUORVIN_MD5_STEP_G(a, b, c, d, x[5], 5, 0xd62f105d);
        QUORVIN_MD5_STEP_G(d, a, b, c, x[10], 9, 0x02441453);
        QUORVIN_MD5_STEP_G(c, d, a, b, x[15], 14, 0xd8a1e681);
        QUORVIN_MD5_STEP_G(b, c, d, a, x[4], 20, 0xe7d3fbc8);
        QUORVIN_MD5_STEP_G(a, b, c, d, x[9], 5, 0x21e1cde6);
        QUORVIN_MD5_STEP_G(d, a, b, c, x[14], 9, 0xc33707d6);
        QUORVIN_MD5_STEP_G(c, d, a, b, x[3], 14, 0xf4d50d87);
        QUORVIN_MD5_STEP_G(b, c, d, a, x[8], 20, 0x455a14ed);
        QUORVIN_MD5_STEP_G(a, b, c, d, x[13], 5, 0xa9e3e905);
        QUORVIN_MD5_STEP_G(d, a, b, c, x[2], 9, 0xfcefa3f8);
        QUORVIN_MD5_STEP_G(c, d, a, b, x[7], 14, 0x676f02d9);
        QUORVIN_MD5_STEP_G(b, c, d, a, x[12], 20, 0x8d2a4c8a);

        QUORVIN_MD5_STEP_H(a, b, c, d, x[5], 4, 0xfffa3942);
        QUORVIN_MD5_STEP_H(d, a, b, c, x[8], 11, 0x8771f681);
        QUORVIN_MD5_STEP_H(c, d, a, b, x[11], 16, 0x6d9d6122);
        QUORVIN_MD5_STEP_H(b, c, d, a, x[14], 23, 0xfde5380c);
        QUORVIN_MD5_STEP_H(a, b, c, d, x[1], 4, 0xa4beea44);
        QUORVIN_MD5_STEP_H(d, a, b, c, x[4], 11, 0x4bdecfa9);
        QUORVIN_MD5_STEP_H(c, d, a, b, x[7], 16, 0xf6bb4b60);
        QUORVIN_MD5_STEP_H(b, c, d, a, x[10], 23, 0xbebfbc70);
        QUORVIN_MD5_STEP_H(a, b, c, d, x[13], 4, 0x289b7ec6);
        QUORVIN_MD5_STEP_H(d, a, b, c, x[0], 11, 0xeaa127fa);
        QUORVIN_MD5_STEP_H(c, d, a, b, x[3], 16, 0xd4ef3085);
        QUORVIN_MD5_STEP_H(b, c, d, a, x[6], 23, 0x04881d05);
        QUORVIN_MD5_STEP_H(a, b, c, d, x[9], 4, 0xd9d4d039);
        QUORVIN_MD5_STEP_H(d, a, b, c, x[12], 11, 0xe6db99e5);
        QUORVIN_MD5_STEP_H(c, d, a, b, x[15], 16, 0x1fa27cf8);
        QUORVIN_MD5_STEP_H(b, c, d, a, x[2], 23, 0xc4ac5665);

        QUORVIN_MD5_STEP_I(a, b, c, d, x[0], 6, 0xf4292244);
        QUORVIN_MD5_STEP_I(d, a, b, c, x[7], 10, 0x432aff97);
        QUORVIN_MD5_STEP_I(c, d, a, b, x[14], 15, 0xab9423a7);
        QUORVIN_MD5_STEP_I(b, c, d, a, x[5], 21, 0xfc93a039);
        QUORVIN_MD5_STEP_I(a, b, c, d, x[12], 6, 0x655b59c3);
        QUORVIN_MD5_STEP_I(d, a, b, c, x[3], 10, 0x8f0ccc92);
        QUORVIN_MD5_STEP_I(c, d, a, b, x[10], 15, 0xffeff47d);
        QUORVIN_MD5_STEP_I(b, c, d, a, x[1], 21, 0x85845dd1);
        QUORVIN_MD5_STEP_I(a, b, c, d, x[8], 6, 0x6fa87e4f);
        QUORVIN_MD5_STEP_I(d, a, b, c, x[15], 10, 0xfe2ce6e0);
        QUORVIN_MD5_STEP_I(c, d, a, b, x[6], 15, 0xa3014314);
        QUORVIN_MD5_STEP_I(b, c, d, a, x[13], 21, 0x4e0811a1);
        QUORVIN_MD5_STEP_I(a, b, c, d, x[4], 6, 0xf7537e82);
        QUORVIN_MD5_STEP_I(d, a, b, c, x[11], 10, 0xbd3af235);
        QUORVIN_MD5_STEP_I(c, d, a, b, x[2], 15, 0x2ad7d2bb);
        QUORVIN_MD5_STEP_I(b, c, d, a, x[9], 21, 0xeb86d391);

        a += a0;
        b += b0;
        c += c0;
        d += d0;
    }
    state[0] = a;
    state[1] = b;
    state[2] = c;
    state[3] = d;
}

#undef QUORVIN_MD5_STEP_F
#undef QUORVIN_MD5_STEP_G
#undef QUORVIN_MD5_STEP_H
#undef QUORVIN_MD5_STEP_I

constexpr char HexDigits[] = "0123456789abcdef";

void WriteHex(const unsigned char digest[16], char* text) {
    for (int i = 0; i < 16; ++i) {
        text[2 * i] = HexDigits[digest[i] >> 4];
        text[2 * i + 1] = HexDigits[digest[i] & 15];
    }
}

}  // namespace

void Md5Init(Md5Context& context) {
    context.state[0] = 0x67452301;
    context.state[1] = 0xefcdab89;
    context.state[2] = 0x98badcfe;
    context.state[3] = 0x10325476;
    context.count[0] = 0;
    context.count[1] = 0;
}

void Md5Update(Md5Context& context, const void* data, uint32_t length) {
    if (length == 0) {
        return;
    }
    const auto* input = static_cast<const unsigned char*>(data);
    uint32_t pending = (context.count[0] >> 3) & 63;
    const uint32_t lowBits = length << 3;
    context.count[0] += lowBits;
    if (context.count[0] < lowBits) {
        ++context.count[1];
    }
    context.count[1] += length >> 29;

    if (pending != 0) {
        const uint32_t room = 64 - pending;
        if (length < room) {
            std::memcpy(context.buffer + pending, input, length);
            return;
        }
        std::memcpy(context.buffer + pending, input, room);
        TransformBlocks(context.state, context.buffer, 1);
        input += room;
        length -= room;
        pending = 0;
    }
    // Whole blocks go straight from the caller's buffer.
    TransformBlocks(context.state, input, length / 64);
    input += length & ~uint32_t{63};
    if ((length & 63) != 0) {
        std::memcpy(context.buffer, input, length & 63);
    }
}

void Md5Final(unsigned char digest[16], Md5Context& context) {
    uint32_t pending = (context.count[0] >> 3) & 63;
    context.buffer[pending++] = 0x80;
    if (pending > 56) {
        std::memset(context.buffer + pending, 0, 64 - pending);
        TransformBlocks(context.state, context.buffer, 1);
        pending = 0;
    }
    std::memset(context.buffer + pending, 0, 56 - pending);
    Store32(context.buffer + 56, context.count[0]);
    Store32(context.buffer + 60, context.count[1]);
    TransformBlocks(context.state, context.buffer, 1);
    for (int i = 0; i < 4; ++i) {
        Store32(digest + 4 * i, context.state[i]);
    }
    // Leaves no trace of the message behind.
    std::memset(&context, 0, sizeof context);
}

void Md5Transform(uint32_t state[4], const unsigned char block[64]) { TransformBlocks(state, block, 1); }

std::string Md5HexString(const void* data, uint64_t length) {
    Md5Context context;
    Md5Init(context);
    const auto* input = static_cast<const unsigned char*>(data);
    // Md5Update takes 32-bit lengths; pieces that are whole blocks keep the buffer out of the way.
    constexpr uint64_t piece = 0xFFFFFFC0;
    while (length > piece) {
        Md5Update(context, input, static_cast<uint32_t>(piece));
        input += piece;
        length -= piece;
    }
    Md5Update(context, input, static_cast<uint32_t>(length));
    unsigned char digest[16];
    Md5Final(digest, context);
    std::string text(32, '\0');
    WriteHex(digest, text.data());
    return text;
}

void Md5Hex(const void* data, uint32_t length, char* text) {
    Md5Context context;
    Md5Init(context);
    Md5Update(context, data, length);
    unsigned char digest[16];
    Md5Final(digest, context);
    DigestToHex(digest, text);
}

void DigestToHex(const unsigned char digest[16], char* text) {
    WriteHex(digest, text);
    text[32] = '\0';
}

std::string DigestToHexString(const unsigned char digest[16]) {
    std::string text(32, '\0');
    WriteHex(digest, text.data());
    return text;
}

}  // namespace Quorvin
