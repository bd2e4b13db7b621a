#include "MemberPath.h"
#include <gtest/gtest.h>
#include <string>

namespace {

struct PathCase {
    const char* directory;
    const char* fileName;
    bool safe;
};

class MemberPathSafety : public ::testing::TestWithParam<PathCase> {};

TEST_P(MemberPathSafety, KeepsMembersInsideTheDestination) {
    const PathCase& c = GetParam();
    EXPECT_EQ(c.safe, MemberPathIsSafe(c.directory, c.fileName))
        << "'" << c.directory << "' + '" << c.fileName << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Paths, MemberPathSafety,
    ::testing::Values(PathCase{"", "QUORIN32.EXE", true}, PathCase{"sub\\dir\\", "bsd.txt", true},
                      PathCase{"", "a..b", true}, PathCase{"", ".profile", true},
                      PathCase{".\\", "x", true}, PathCase{"", "CONSOLE.TXT", true},
                      PathCase{"", "COM0", true},
                      // A leading separator of the directory is dropped, not refused.
                      PathCase{"\\tmp\\", "x", true}, PathCase{"/\\tmp/", "x", true},
                      PathCase{"\\", "x", true}, PathCase{"\\..\\", "x", false},
                      PathCase{"\\c:\\", "x", false}, PathCase{"\\NUL\\", "x", false},
                      PathCase{"", "\\evil", false}, PathCase{"", "/etc/passwd", false},
                      PathCase{"", "C:evil", false}, PathCase{"c:\\", "evil", false},
                      PathCase{"", "..\\evil1.txt", false}, PathCase{"foo\\..\\..\\", "evil2.txt", false},
                      PathCase{"..\\", "x", false}, PathCase{"", "a/../../b", false},
                      PathCase{"a\\", "..", false}, PathCase{".", ".\\x", false}, // joins to "..\x"
                      PathCase{"", "...\\x", false}, PathCase{"", "file:stream", false},
                      PathCase{"", "CON", false}, PathCase{"", "nul.txt", false},
                      PathCase{"dir\\", "Com1", false}, PathCase{"", "LPT9.log", false},
                      PathCase{"", "CONOUT$", false},
                      // "表" is 0x95 0x5C: its second byte is not a separator.
                      PathCase{"", "..\x95\x5C", true}, PathCase{"", "\x95\x5C..", true},
                      PathCase{"\x95\x5C\\", "..", false}));

TEST(BuildDestination, AppendsOneSeparatorUnlessPresent) {
    char out[kArchivePathCapacity];
    ASSERT_TRUE(BuildDestination(out, sizeof out, "/tmp/dest"));
    EXPECT_STREQ("/tmp/dest/", out);
    ASSERT_TRUE(BuildDestination(out, sizeof out, "/tmp/dest/"));
    EXPECT_STREQ("/tmp/dest/", out);
    ASSERT_TRUE(BuildDestination(out, sizeof out, "C:\\Quorin32\\"));
    EXPECT_STREQ("C:\\Quorin32\\", out);
    ASSERT_TRUE(BuildDestination(out, sizeof out, ""));
    EXPECT_STREQ("", out);
    // A folder ending in "表" (0x95 0x5C) does not end in a backslash.
    ASSERT_TRUE(BuildDestination(out, sizeof out, "C:\\\x95\x5C"));
    EXPECT_STREQ("C:\\\x95\x5C/", out);
    EXPECT_FALSE(BuildDestination(out, sizeof out, std::string(259, 'd').c_str()));
    EXPECT_TRUE(BuildDestination(out, sizeof out, std::string(258, 'd').c_str()));
}

TEST(BuildTargetPath, JoinsAndConvertsOnlyTheMemberPart) {
    char out[kArchivePathCapacity];
    ASSERT_TRUE(BuildTargetPath(out, sizeof out, "/x\\y/", "sub\\dir\\", "f\x95\x5C.txt"));
    EXPECT_STREQ("/x\\y/sub/dir/f\x95\x5C.txt", out);
    ASSERT_TRUE(BuildTargetPath(out, sizeof out, "/d/", "\\\\sub\\", "f"));
    EXPECT_STREQ("/d/sub/f", out);
    EXPECT_FALSE(BuildTargetPath(out, sizeof out, "/d/", "", "a|b")); // not a Windows name
    std::string dest(250, 'd');
    EXPECT_TRUE(BuildTargetPath(out, sizeof out, dest.c_str(), "", "123456789"));
    EXPECT_FALSE(BuildTargetPath(out, sizeof out, dest.c_str(), "", "1234567890"));
}

} // namespace
