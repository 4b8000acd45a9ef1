// Tests of the Windows parent-path and join rules and of the POSIX parent rule.
#include "core/system/PathRules.h"

#include <gtest/gtest.h>

namespace Quorvin {
namespace {

TEST(PathRules, ParentPathDropsTheLastComponentAndItsSeparators) {
    EXPECT_EQ(ParentPath(L"C:\\Games\\Kestrune\\Kestrune.exe"), L"C:\\Games\\Kestrune");
    EXPECT_EQ(ParentPath(L"C:/Games//Kestrune.exe"), L"C:/Games");
    EXPECT_EQ(ParentPath(L"C:\\Games\\/\\Kestrune.exe"), L"C:\\Games");
    EXPECT_EQ(ParentPath(L"relative\\dir\\x.exe"), L"relative\\dir");
    EXPECT_EQ(ParentPath(L"x.exe"), L"");
    EXPECT_EQ(ParentPath(L""), L"");
}

TEST(PathRules, ParentPathNeverShortensARoot) {
    EXPECT_EQ(ParentPath(L"C:\\Kestrune.exe"), L"C:\\");
    EXPECT_EQ(ParentPath(L"C:\\\\Kestrune.exe"), L"C:\\\\");
    EXPECT_EQ(ParentPath(L"C:Kestrune.exe"), L"C:");
    EXPECT_EQ(ParentPath(L"C:\\"), L"C:\\");
    EXPECT_EQ(ParentPath(L"\\Kestrune.exe"), L"\\");
    EXPECT_EQ(ParentPath(L"/"), L"/");
    EXPECT_EQ(ParentPath(L"\\\\server\\share\\Kestrune.exe"), L"\\\\server\\share");
    EXPECT_EQ(ParentPath(L"\\\\server\\share"), L"\\\\server\\");
    EXPECT_EQ(ParentPath(L"\\\\?\\C:\\Games\\Kestrune.exe"), L"\\\\?\\C:\\Games");
}

TEST(PathRules, JoinInsertsABackslashOnlyWhereNeeded) {
    EXPECT_EQ(JoinPath(L"C:\\Games", L"dump.config"), L"C:\\Games\\dump.config");
    EXPECT_EQ(JoinPath(L"C:\\", L"dump.config"), L"C:\\dump.config");
    EXPECT_EQ(JoinPath(L"C:/Games/", L"dump.config"), L"C:/Games/dump.config");
    EXPECT_EQ(JoinPath(L"C:", L"dump.config"), L"C:dump.config");
    EXPECT_EQ(JoinPath(L"", L"dump.config"), L"dump.config");
    EXPECT_EQ(JoinPath(L"\\\\server\\share", L"dump.config"), L"\\\\server\\share\\dump.config");
}

TEST(PathRules, PosixParentPathSeparatesOnlyAtSlashes) {
    EXPECT_EQ(PosixParentPath(L"/opt/kestrune/bin/kestrune"), L"/opt/kestrune/bin");
    EXPECT_EQ(PosixParentPath(L"/opt//kestrune"), L"/opt");
    EXPECT_EQ(PosixParentPath(L"/kestrune"), L"/");
    EXPECT_EQ(PosixParentPath(L"//kestrune"), L"//");
    EXPECT_EQ(PosixParentPath(L"/"), L"/");
    EXPECT_EQ(PosixParentPath(L"C:\\games\\kestrune"), L"");
    EXPECT_EQ(PosixParentPath(L"/games\\x/a\\b"), L"/games\\x");
    EXPECT_EQ(PosixParentPath(L"relative/kestrune"), L"relative");
    EXPECT_EQ(PosixParentPath(L"kestrune"), L"");
    EXPECT_EQ(PosixParentPath(L""), L"");
    EXPECT_EQ(PosixParentPath(L"/\U0001F600/\U0001F600"), L"/\U0001F600");
}

}  // namespace
}  // namespace Quorvin
