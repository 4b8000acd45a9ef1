// Little-endian reads and appends for the stored forms of the data structures. Spelled byte by
// byte so they are right on any host and need no alignment; compilers turn them into plain moves.
#pragma once

#include <cstdint>
#include <string>

namespace Quorvin::DataPrivate {

inline uint32_t Load32(const unsigned char* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

inline uint64_t Load64(const unsigned char* p) { return uint64_t{Load32(p)} | uint64_t{Load32(p + 4)} << 32; }

inline void Append32(std::string& out, uint32_t v) {
    const char bytes[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 24)};
    out.append(bytes, 4);
}

inline void Append64(std::string& out, uint64_t v) {
    Append32(out, static_cast<uint32_t>(v));
    Append32(out, static_cast<uint32_t>(v >> 32));
}

}  // namespace Quorvin::DataPrivate
