// Cross-check of strict UTF-8 decoding against the system's own strict converter.
#include "core/text/Utf.h"

#include <gtest/gtest.h>

#include "core/windows/WindowsApi.h"
#include "tests/support/TextTestSupport.h"

namespace Quorvin {
namespace {

// The system's verdict: the UTF-16 of `bytes`, or false when it refuses them as invalid.
bool SystemUtf8ToUtf16(const std::string& bytes, std::wstring& out) {
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (length <= 0) {
        return false;
    }
    out.assign(static_cast<size_t>(length), L'\0');
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), size, out.data(), length) ==
           length;
}

TEST(Utf8CrossCheck, StrictAcceptanceAndOutputMatchTheSystem) {
    static_assert(std::is_same_v<Utf16String, std::wstring>);
    TextTest::TextGenerator gen(7);
    int accepted = 0;
    int refused = 0;
    for (int i = 0; i < 6000; ++i) {
        std::string bytes;
        if (i % 3 == 0) {
            // Short strings of arbitrary bytes, weighted towards lead and continuation bytes.
            bytes.resize(1 + gen.Below(8));
            for (char& c : bytes) {
                c = static_cast<char>(gen.Chance(60) ? 0x80 + gen.Below(0x80) : gen.Below(0x100));
            }
        } else {
            bytes = gen.DamagedUtf8(60);
        }
        if (bytes.empty()) {
            continue;  // the system refuses an empty input as a parameter error, not as bad text
        }
        std::wstring ours;
        std::wstring theirs;
        const bool oursOk = Utf8ToUtf16(bytes, ours);
        const bool theirsOk = SystemUtf8ToUtf16(bytes, theirs);
        ASSERT_EQ(oursOk, theirsOk) << "case " << i << ": " << testing::PrintToString(bytes);
        if (oursOk) {
            ASSERT_EQ(ours, theirs) << "case " << i;
            ++accepted;
        } else {
            ++refused;
        }
    }
    // Both outcomes must be well represented for the comparison to mean something.
    EXPECT_GT(accepted, 1000);
    EXPECT_GT(refused, 1000);
}

}  // namespace
}  // namespace Quorvin
