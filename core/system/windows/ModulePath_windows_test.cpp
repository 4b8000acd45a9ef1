// Tests of module paths on Windows: the paths of this test program and of kernel32 as UTF-8.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "core/system/ModulePath.h"
#include "core/text/Utf.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {
namespace {

TEST(ModulePath, ThisProgramAndKernel32) {
    const std::wstring wide = ReadModuleFileName(nullptr);
    ASSERT_FALSE(wide.empty());
    std::string expected;
    ASSERT_TRUE(Utf16ToUtf8(wide, expected));
    EXPECT_EQ(GetModulePath(nullptr), expected);
    EXPECT_EQ(GetModulePath(GetModuleHandleW(nullptr)), expected);

    std::string kernel = GetModulePath(GetModuleHandleW(L"kernel32.dll"));
    for (char& c : kernel) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ASSERT_GT(kernel.size(), 13u);
    EXPECT_EQ(kernel.substr(kernel.size() - 13), "\\kernel32.dll");
    // Not a module: empty.
    static int notAModule;
    EXPECT_EQ(GetModulePath(&notAModule), "");
}

}  // namespace
}  // namespace Quorvin
