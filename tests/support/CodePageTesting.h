// The check of one known text in one code page through every conversion that takes it, shared by
// the portable code-page tests and the Windows ones (which add the system's own code pages).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/text/CodePage.h"

namespace Quorvin::TextTest {

/// Expects `wide` and `bytes` to convert into each other in `codePage` by every function of
/// core/text/CodePage.h, the UTF-8 readers included.
inline void ExpectKnownConversion(uint32_t codePage, const std::wstring& wide, const std::string& bytes) {
    SCOPED_TRACE(codePage);
    EXPECT_EQ(WideToCodePage(wide, codePage), bytes);
    EXPECT_EQ(WideViewToCodePage(wide, codePage), bytes);
    EXPECT_EQ(CodePageToWide(bytes, codePage), wide);
    EXPECT_EQ(CodePageViewToWide(bytes, codePage), wide);
    const std::string utf8 = WideToCodePage(wide, 65001);
    EXPECT_EQ(Utf8ToCodePage(utf8, codePage), bytes);
    EXPECT_EQ(Utf8ViewToCodePage(utf8, codePage), bytes);
}

}  // namespace Quorvin::TextTest
