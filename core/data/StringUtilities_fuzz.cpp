// Fuzz target for the byte-string helpers and MD5: escaping round trips, compaction invariants, and
// hashes and digests that do not depend on how the input is split or aligned. Besides the
// sanitizers' own checks it aborts when a result breaks the documented contract.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/data/Md5.h"
#include "core/data/StringUtilities.h"
#include "tests/support/FuzzSupport.h"

using namespace Quorvin;
using Quorvin::Testing::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    std::string escaped = "prefix";
    EscapeString(input, escaped);
    Require(escaped.compare(0, 6, "prefix") == 0 && escaped.find_first_of("\t\n\r", 6) == std::string::npos);
    std::string back;
    UnescapeString(std::string_view(escaped).substr(6), back);
    Require(back == input);
    std::string unescaped;
    UnescapeString(input, unescaped);
    Require(unescaped.size() <= size);

    const std::string compact = CompactWhitespace(input);
    Require(compact.size() <= size && compact.find('\t') == std::string::npos);
    if (input.find('\r') == std::string_view::npos) {
        Require(CompactWhitespace(compact) == compact);
    }

    // The same bytes at another alignment hash the same.
    const std::vector<uint8_t> shifted(data, data + size);
    Require(MurmurHash32(data, size) == MurmurHash32(shifted.data(), size));

    const std::string whole = Md5HexString(data, size);
    Md5Context context;
    Md5Init(context);
    size_t done = 0;
    for (size_t piece = 1; done < size; piece = piece * 3 % 97 + 1) {
        const size_t take = std::min(piece, size - done);
        Md5Update(context, data + done, static_cast<uint32_t>(take));
        done += take;
    }
    unsigned char digest[16];
    Md5Final(digest, context);
    Require(DigestToHexString(digest) == whole);
    return 0;
}
