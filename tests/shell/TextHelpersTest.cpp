// Code page 932 text helpers, path joining, argument splitting and the status line,
// with data that breaks byte-wise code: "ソ" is 83 5C, "表" 95 5C, "能" 94 5C.
#include <gtest/gtest.h>

#include "shell/Helpers.h"
#include "shell/Options.h"
#include "shell/SetupState.h"
#include "support/WineBench.h"

#include <string.h>

#include <string>

namespace {

// Test names by position: the values themselves hold backslashes and CP932 bytes.
const auto CaseName = [](const auto& info) { return "Case" + std::to_string(info.index); };

TEST(CodePage, TestsRunUnderCodePage932) {
    ASSERT_EQ(932u, GetACP());
    ASSERT_EQ(std::string("\x83\x5C"), std::string("ソ")) << "literals must be code page 932";
}

struct LastCase {
    const char* text;
    int offset; // -1: null
};

class LastCharacterCases : public ::testing::TestWithParam<LastCase> {};

TEST_P(LastCharacterCases, PointsAtTheStartOfTheLastWholeCharacter) {
    const LastCase& c = GetParam();
    const char* last = LastCharacter(c.text);
    if (c.offset < 0) {
        EXPECT_EQ(nullptr, last) << bench::Hex(c.text);
    } else {
        ASSERT_NE(nullptr, last) << bench::Hex(c.text);
        EXPECT_EQ(c.offset, last - c.text) << bench::Hex(c.text);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, LastCharacterCases,
                         ::testing::Values(LastCase{"", -1}, LastCase{"a", 0}, LastCase{"ab\\", 2},
                                           LastCase{"ソ", 0}, LastCase{"aソ", 1},
                                           LastCase{"ソソ", 2}, LastCase{"C:\\表", 3},
                                           LastCase{"ｱ", 0}, LastCase{"能ｱ", 2},
                                           // A lead byte cut from its trail byte counts alone.
                                           LastCase{"a\x83", 1}),
                         CaseName);

struct SeparatorCase {
    const char* text;
    bool expected;
};

class EndsWithSeparatorCases : public ::testing::TestWithParam<SeparatorCase> {};

TEST_P(EndsWithSeparatorCases, TestsTheLastWholeCharacter) {
    EXPECT_EQ(GetParam().expected, EndsWithSeparator(GetParam().text))
        << bench::Hex(GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Table, EndsWithSeparatorCases,
                         ::testing::Values(SeparatorCase{"", false}, SeparatorCase{"C:\\", true},
                                           SeparatorCase{"C:/", true}, SeparatorCase{"C:", false},
                                           SeparatorCase{"C:\\ソ", false},
                                           SeparatorCase{"C:\\表", false},
                                           SeparatorCase{"C:\\能\\", true},
                                           SeparatorCase{"ソ\\", true}),
                         CaseName);

struct CopyCase {
    const char* source;
    size_t capacity;
    const char* expected;
};

class CopyTextCases : public ::testing::TestWithParam<CopyCase> {};

TEST_P(CopyTextCases, CutsOnAWholeCharacterAndNeverOverruns) {
    const CopyCase& c = GetParam();
    char buffer[32];
    memset(buffer, 'Z', sizeof buffer);
    CopyText(buffer, c.capacity, c.source);
    EXPECT_EQ(std::string(c.expected), std::string(buffer)) << bench::Hex(buffer);
    for (size_t i = c.capacity; i < sizeof buffer; ++i) {
        ASSERT_EQ('Z', buffer[i]) << "written past capacity " << c.capacity;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, CopyTextCases,
                         ::testing::Values(CopyCase{"abc", 4, "abc"}, CopyCase{"abcd", 4, "abc"},
                                           CopyCase{"aソ", 4, "aソ"}, CopyCase{"aソ", 3, "a"},
                                           CopyCase{"ソ", 2, ""}, CopyCase{"", 1, ""},
                                           CopyCase{"表能", 4, "表"}, CopyCase{"表能", 5, "表能"}),
                         CaseName);

TEST(CopyTextTest, ZeroCapacityWritesNothing) {
    char buffer[2] = {'Z', 'Z'};
    CopyText(buffer, 0, "abc");
    EXPECT_EQ('Z', buffer[0]);
}

struct AppendCase {
    const char* path;
    const char* name;
    const char* expected;
};

class AppendPathCases : public ::testing::TestWithParam<AppendCase> {};

TEST_P(AppendPathCases, InsertsOneSeparatorUnlessThereIsOne) {
    const AppendCase& c = GetParam();
    char path[PathCapacity];
    strcpy(path, c.path);
    EXPECT_TRUE(AppendPath(path, c.name));
    EXPECT_EQ(std::string(c.expected), std::string(path)) << bench::Hex(path);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AppendPathCases,
    ::testing::Values(AppendCase{"C:\\", "Quorin32", "C:\\Quorin32"},
                      AppendCase{"C:", "Quorin32", "C:\\Quorin32"},
                      AppendCase{"C:/x/", "Quorin32", "C:/x/Quorin32"},
                      AppendCase{"", "Quorin32", "Quorin32"}, AppendCase{"C:\\a", "", "C:\\a\\"},
                      AppendCase{"C:\\ソ", "QUORIN32.INI", "C:\\ソ\\QUORIN32.INI"},
                      AppendCase{"C:\\表", "能", "C:\\表\\能"},
                      AppendCase{"SOFTWARE\\Brastelo", "くおりん", "SOFTWARE\\Brastelo\\くおりん"}),
    CaseName);

TEST(AppendPathTest, JoinsUpTo259Characters) {
    char path[PathCapacity];
    std::string left(250, 'a');
    strcpy(path, left.c_str());
    EXPECT_TRUE(AppendPath(path, "12345678")); // 250 + 1 + 8 = 259
    EXPECT_EQ(259u, strlen(path));
    EXPECT_EQ(left + "\\12345678", std::string(path));
}

TEST(AppendPathTest, RefusesAJoinThatDoesNotFitAndLeavesThePath) {
    char path[PathCapacity + 16];
    memset(path, 'Z', sizeof path);
    std::string left(250, 'a');
    strcpy(path, left.c_str());
    EXPECT_FALSE(AppendPath(path, "123456789")); // would be 260 characters
    EXPECT_EQ(left, std::string(path));
    for (size_t i = left.size() + 1; i < sizeof path; ++i) {
        ASSERT_EQ('Z', path[i]) << "byte " << i;
    }
    // The separator alone can be what does not fit.
    std::string full(259, 'b');
    strcpy(path, full.c_str());
    EXPECT_FALSE(AppendPath(path, ""));
    EXPECT_EQ(full, std::string(path));
    // A path that already ends in a separator needs none.
    std::string withSeparator = std::string(258, 'c') + "\\";
    strcpy(path, withSeparator.c_str());
    EXPECT_TRUE(AppendPath(path, ""));
    EXPECT_FALSE(AppendPath(path, "d"));
}

TEST(AppendPathTest, SmallerBuffersAreRespected) {
    char path[8] = "C:";
    EXPECT_TRUE(AppendPathN(path, sizeof path, "abcd")); // "C:\abcd" is 7 + 1
    EXPECT_STREQ("C:\\abcd", path);
    EXPECT_FALSE(AppendPathN(path, sizeof path, "e"));
    EXPECT_STREQ("C:\\abcd", path);
    char unterminated[4] = {'a', 'b', 'c', 'd'};
    EXPECT_FALSE(AppendPathN(unterminated, sizeof unterminated, "x"));
}

struct ArgumentCase {
    const char* commandLine;
    int index;
    const char* expected; // null: no such argument
};

class ArgumentCases : public ::testing::TestWithParam<ArgumentCase> {};

TEST_P(ArgumentCases, SplitsAtBlanksOutsideQuotes) {
    const ArgumentCase& c = GetParam();
    const char* argument = GetArgumentOf(c.commandLine, c.index);
    if (c.expected == nullptr) {
        EXPECT_EQ(nullptr, argument) << c.commandLine << " #" << c.index;
    } else {
        ASSERT_NE(nullptr, argument) << c.commandLine << " #" << c.index;
        EXPECT_EQ(std::string(c.expected), std::string(argument))
            << c.commandLine << " #" << c.index;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ArgumentCases,
    ::testing::Values(ArgumentCase{"\"C:\\Program Files\\Quorin32\\SETUP.EXE\"", 0,
                                   "C:\\Program Files\\Quorin32\\SETUP.EXE"},
                      ArgumentCase{"\"C:\\Program Files\\Quorin32\\SETUP.EXE\"", 1, nullptr},
                      ArgumentCase{"\"C:\\Program Files\\Quorin32\\SETUP.EXE\" /R", 1, "/R"},
                      ArgumentCase{"SETUP.EXE \"/r\"", 1, "/r"},
                      ArgumentCase{"SETUP.EXE", 0, "SETUP.EXE"},
                      ArgumentCase{"   \t SETUP.EXE  \t  /r   ", 1, "/r"},
                      ArgumentCase{"SETUP.EXE  \t  /r   ", 2, nullptr},
                      ArgumentCase{"SETUP.EXE\t/x\t-r", 2, "-r"},
                      ArgumentCase{"SETUP.EXE a\"b c\"d e", 1, "ab cd"},
                      ArgumentCase{"SETUP.EXE a\"b c\"d e", 2, "e"},
                      ArgumentCase{"SETUP.EXE \"\" x", 1, ""},
                      ArgumentCase{"SETUP.EXE \"\" x", 2, "x"},
                      ArgumentCase{"SETUP.EXE \"unclosed arg", 1, "unclosed arg"},
                      ArgumentCase{"\"C:\\ソ\\表\\SETUP.EXE\" /r", 0, "C:\\ソ\\表\\SETUP.EXE"},
                      ArgumentCase{"C:\\能 /R", 1, "/R"}, ArgumentCase{"", 0, nullptr},
                      ArgumentCase{"   ", 0, nullptr}, ArgumentCase{"SETUP.EXE", -1, nullptr}),
    CaseName);

TEST(GetArgumentTest, ALongArgumentIsCutOnAWholeCharacterWithoutOverrun) {
    // 258 ASCII characters and then "ソ": the double-byte character does not fit.
    std::string longArgument = std::string(258, 'a') + "ソ" + std::string(40, 'b');
    std::string line = "SETUP.EXE \"" + longArgument + "\" next";
    const char* argument = GetArgumentOf(line.c_str(), 1);
    ASSERT_NE(nullptr, argument);
    EXPECT_EQ(std::string(258, 'a'), std::string(argument));
    EXPECT_STREQ("next", GetArgumentOf(line.c_str(), 2)) << "the rest of the line still splits";

    std::string exact = std::string(257, 'a') + "ソ";
    line = "SETUP.EXE " + exact;
    EXPECT_EQ(exact, std::string(GetArgumentOf(line.c_str(), 1)));
}

TEST(GetArgumentTest, TheProcessCommandLineGivesTheProgramFirst) {
    const char* program = GetArgument(0);
    ASSERT_NE(nullptr, program);
    EXPECT_EQ(nullptr, strchr(program, '"'));
    char module[MAX_PATH];
    GetModuleFileNameA(nullptr, module, sizeof module);
    const char* moduleName = strrchr(module, '\\');
    ASSERT_NE(nullptr, moduleName);
    std::string programText(program);
    EXPECT_NE(std::string::npos, programText.find(moduleName + 1)) << program;
}

// ---- Options -----------------------------------------------------------------------------

struct OptionsCase {
    const char* commandLine;
    SetupMode mode;
    const char* understood; // the fields that are set, as OptionsText gives them
    const char* problem;    // empty: the options are good
};

std::string OptionsText(const SetupOptions& o) {
    std::string text;
    if (o.unattended) text += "S ";
    if (o.launch) text += "LAUNCH ";
    if (o.closeApplication) text += "CLOSEAPP ";
    if (o.users != UsersAsStartUpSets) text += o.users == UsersAll ? "ALL " : "CURRENT ";
    if (o.folder[0]) text += "D=[" + std::string(o.folder) + "] ";
    if (o.group[0]) text += "GROUP=[" + std::string(o.group) + "] ";
    if (o.logFile[0]) text += "LOG=[" + std::string(o.logFile) + "] ";
    return text;
}

// Every argument after the mode switch (the first, when it is not /r or /R) may be an
// option, in any letter case; /D= as the last option takes the rest of the line.
TEST(ReadOptionsTest, UnderstandsTheSwitchesAndRefusesWhatIsUnknownOrBad) {
    const OptionsCase cases[] = {
        {"SETUP.EXE", InstallMode, "", ""},
        {"SETUP.EXE /s /launch /CloseApp /log=C:\\l.txt", InstallMode,
         "S LAUNCH CLOSEAPP LOG=[C:\\l.txt] ", ""},
        {"SETUP.EXE /S /D=C:\\Program Files\\くおりん  家計", InstallMode,
         "S D=[C:\\Program Files\\くおりん  家計] ", ""},
        {"SETUP.EXE /D=C:\\a b /S", InstallMode, "S D=[C:\\a] ", "unknown option: b"},
        {"SETUP.EXE \"/D=C:\\a b\" /GROUP=\"家計 簿\" /ALLUSERS", InstallMode,
         "ALL D=[C:\\a b] GROUP=[家計 簿] ", ""},
        {"SETUP.EXE /D=\"C:\\x y\"", InstallMode, "D=[C:\\x y] ", ""},
        {"SETUP.EXE /currentuser /GROUP=", InstallMode, "CURRENT ", ""},
        {"SETUP.EXE /r /S /LOG=u.log", UninstallAllUsersMode, "S LOG=[u.log] ", ""},
        {"SETUP.EXE /R /s", UninstallCurrentUserMode, "S ", ""},
        {"SETUP.EXE /x", InstallMode, "", "unknown option: /x"},
        {"SETUP.EXE /SS /S", InstallMode, "S ", "unknown option: /SS"},
        {"SETUP.EXE /S /D=", InstallMode, "S ", "bad value: /D="},
        {"SETUP.EXE /S /D=  　", InstallMode, "S ", "bad value: /D="},
        {"SETUP.EXE /S /LOG=", InstallMode, "S ", "bad value: /LOG="},
        {"SETUP.EXE /ALLUSERS /CURRENTUSER", InstallMode, "",
         "bad value: /ALLUSERS and /CURRENTUSER together"},
    };
    for (const OptionsCase& c : cases) {
        SetupOptions options;
        const bool good = ReadOptions(c.commandLine, c.mode, options);
        EXPECT_EQ(c.problem[0] == '\0', good) << c.commandLine;
        EXPECT_EQ(c.understood, OptionsText(options)) << c.commandLine;
        EXPECT_STREQ(c.problem, options.problem) << c.commandLine;
    }
    // A folder longer than a path is refused, not cut to another folder.
    SetupOptions options;
    const std::string tooLong = "SETUP.EXE /S /D=C:\\" + std::string(300, 'a');
    EXPECT_FALSE(ReadOptions(tooLong.c_str(), InstallMode, options));
    EXPECT_EQ("S ", OptionsText(options));
}

// A window with a child of id 1009, the status line of DLG_MASTER.
class StatusLine : public ::testing::Test {
  protected:
    void SetUp() override {
        parent_ = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 300, 100, nullptr, nullptr,
                                  nullptr, nullptr);
        ASSERT_NE(nullptr, parent_);
        HWND line =
            CreateWindowExA(0, "STATIC", "old", WS_CHILD, 0, 0, 300, 20, parent_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(1009)), nullptr, nullptr);
        ASSERT_NE(nullptr, line);
    }
    void TearDown() override { DestroyWindow(parent_); }
    std::string Text() {
        char text[512] = "";
        GetDlgItemTextA(parent_, 1009, text, sizeof text);
        return text;
    }
    HWND parent_ = nullptr;
};

TEST_F(StatusLine, FormatsTheArguments) {
    SetStatusText(parent_, "削除ﾌｫﾙﾀﾞ %s", "C:\\ソ");
    EXPECT_EQ("削除ﾌｫﾙﾀﾞ C:\\ソ", Text());
    SetStatusText(parent_, "%d/%d", 3, 9);
    EXPECT_EQ("3/9", Text());
}

TEST_F(StatusLine, AnEmptyFormatClearsTheLine) {
    SetStatusText(parent_, "x");
    SetStatusText(parent_, "");
    EXPECT_EQ("", Text());
}

TEST_F(StatusLine, LongTextIsCutAt127BytesOnAWholeCharacter) {
    // "削除ﾌｫﾙﾀﾞ " is 10 bytes; then 116 ASCII bytes reach 126, and "ソ" would end at 128.
    std::string folder = std::string(116, 'x') + "ソ" + std::string(200, 'y');
    SetStatusText(parent_, "削除ﾌｫﾙﾀﾞ %s", folder.c_str());
    EXPECT_EQ("削除ﾌｫﾙﾀﾞ " + std::string(116, 'x'), Text());

    std::string exact = std::string(115, 'x') + "ソ" + "zzz";
    SetStatusText(parent_, "削除ﾌｫﾙﾀﾞ %s", exact.c_str());
    EXPECT_EQ("削除ﾌｫﾙﾀﾞ " + std::string(115, 'x') + "ソ", Text());
    EXPECT_EQ(127u, Text().size());
}

TEST_F(StatusLine, TextBeyondTheFormattingLimitStaysBounded) {
    std::string huge(5000, 'q');
    SetStatusText(parent_, "%s%s", huge.c_str(), huge.c_str());
    EXPECT_EQ(std::string(127, 'q'), Text());
}

} // namespace
