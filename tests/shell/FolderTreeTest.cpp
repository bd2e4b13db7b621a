// CreateFolderTree: only the missing part of the tree is made, failures leave the
// last error of the system, and Japanese names with 5C trail bytes are whole characters.
#include <gtest/gtest.h>

#include "shell/Helpers.h"
#include "support/WineBench.h"

#include <string>

namespace {

TEST(FolderTree, CreatesTwoMissingLevels) {
    bench::TempFolder root("tree");
    const std::string target = root / "one\\two";
    EXPECT_TRUE(CreateFolderTree(target.c_str(), TRUE));
    EXPECT_TRUE(bench::FolderExists(root / "one"));
    EXPECT_TRUE(bench::FolderExists(target));
}

TEST(FolderTree, JapaneseNamesWithBackslashTrailBytes) {
    bench::TempFolder root("tree");
    // Each of 表, 能 and ソ ends in the byte 5C; a byte-wise scan would cut inside them.
    const std::string target = root / "表\\能\\ソ";
    EXPECT_TRUE(CreateFolderTree(target.c_str(), TRUE));
    EXPECT_TRUE(bench::FolderExists(root / "表"));
    EXPECT_TRUE(bench::FolderExists(root / "表\\能"));
    EXPECT_TRUE(bench::FolderExists(target));
    EXPECT_EQ(std::vector<std::string>{"表"}, bench::ListFolder(root.path()));
}

TEST(FolderTree, OneTrailingSeparatorIsIgnored) {
    bench::TempFolder root("tree");
    const std::string target = root / "ソ\\";
    EXPECT_TRUE(CreateFolderTree(target.c_str(), FALSE));
    EXPECT_EQ(std::vector<std::string>{"ソ"}, bench::ListFolder(root.path()));
}

TEST(FolderTree, AnExistingFolderFailsWithAlreadyExists) {
    bench::TempFolder root("tree");
    for (BOOL withParents : {FALSE, TRUE}) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(CreateFolderTree(root.path().c_str(), withParents));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError())
            << "withParents " << withParents;
    }
}

TEST(FolderTree, WithoutParentsAMissingParentFailsWithPathNotFound) {
    bench::TempFolder root("tree");
    const std::string target = root / "missing\\child";
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CreateFolderTree(target.c_str(), FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_FALSE(bench::FolderExists(root / "missing"));
}

TEST(FolderTree, StopsWhenNoSeparatorIsLeft) {
    bench::TempFolder root("tree");
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(root.path().c_str()));
    // A relative path without any "\" whose parent is missing: nothing to climb to,
    // so the call must end, failing, instead of calling itself on the same text.
    SetLastError(0xdeadbeef);
    const BOOL made = CreateFolderTree("missing/child", TRUE);
    const DWORD error = GetLastError();
    SetCurrentDirectoryA(previous);
    EXPECT_FALSE(made);
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), error);
    EXPECT_TRUE(bench::ListFolder(root.path()).empty());
}

TEST(FolderTree, ATooLongPathIsRefused) {
    bench::TempFolder root("tree");
    std::string target = root.path() + "\\" + std::string(300, 'a');
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CreateFolderTree(target.c_str(), TRUE));
    EXPECT_NE(0xdeadbeefu, GetLastError());
    EXPECT_TRUE(bench::ListFolder(root.path()).empty());
}

TEST(FolderTree, ParentsMadeBeforeAFailureStay) {
    bench::TempFolder root("tree");
    // The last level is a device name: that it cannot be a folder shows only once its
    // parents exist. They are made, the call fails, and they stay.
    const std::string target = root / "a\\b\\CON";
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CreateFolderTree(target.c_str(), TRUE));
    EXPECT_NE(0xdeadbeefu, GetLastError());
    EXPECT_TRUE(bench::FolderExists(root / "a\\b"));
    EXPECT_TRUE(bench::ListFolder(root / "a\\b").empty());
}

} // namespace
