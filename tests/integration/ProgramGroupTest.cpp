// Shortcuts and the program group: shell links read back independently, the
// Program Manager conversation with the shell's own DDE server, the removal of
// an earlier group, and group names that cannot be a folder.
#include <gtest/gtest.h>

#include "support/ShellBench.h"
#include "support/WineBench.h"
#include "integration/ProgramGroup.h"
#include "shell/SetupState.h"

#include <objbase.h>
#include <shlobj.h>

#include <string>

namespace {

const char kEntry[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\くおりん";
const char kParent[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kGroupFailedText[] =
    "プログラムグループを作成できませんでした。\n他に動作していたソフトが原因と考えられます。\n"
    "Windowsを再起動した後でやり直してください。";

class ProgramGroup : public testing::Test {
  protected:
    void SetUp() override {
        bench::DisableMenuBuilder();
        CoInitialize(nullptr);
        bench::WriteStandInFiles(install_.path());
        Clean();
    }
    void TearDown() override {
        Clean();
        CoUninitialize();
    }
    void Clean() {
        bench::DeleteRegTree(HKEY_CURRENT_USER, kEntry);
        bench::DeleteRegTree(HKEY_LOCAL_MACHINE, kEntry);
        for (bool common : {false, true}) {
            for (const char* group : {"試験グループ", "記録グループ", "進行中"}) {
                bench::RemoveTree(Programs(common) + "\\" + group);
            }
            DeleteFileA((Desktop(common) + "\\くおりん.lnk").c_str());
        }
    }
    static std::string Programs(bool common) {
        return bench::ShellFoldersValue(common, common ? "Common Programs" : "Programs");
    }
    static std::string Desktop(bool common) {
        return bench::ShellFoldersValue(common, common ? "Common Desktop" : "Desktop");
    }
    int Create(const char* group, int newShell, int allUsers, DWORD dde = 0) {
        return CreateProgramGroup(dde, "くおりん", install_.path().c_str(), group, "ホームページ",
                                  "案内", "ヘルプ", InstallFiles, newShell, allUsers);
    }
    int Remove(int allUsers) {
        return RemoveProgramGroup("くおりん", "ProgGroup", kParent, "ヘルプ", "案内",
                                  "ホームページ", 1, allUsers);
    }
    bench::TempFolder install_{"pg"};
};

struct LinkCase {
    const char* workingDir;
    const char* arguments;
    int iconIndex;
};
const LinkCase kLinkCases[] = {
    {nullptr, nullptr, -1},
    {"C:\\bench", nullptr, -1},
    {"C:\\bench", "/n 1", 0},
    {nullptr, "x", 2},
};

TEST_F(ProgramGroup, CreateShellLinkWritesWhatWasAskedFor) {
    const std::string target = install_ / "QUORIN32.EXE";
    for (const LinkCase& c : kLinkCases) {
        const std::string link = install_ / "試験.lnk";
        DeleteFileA(link.c_str());
        HRESULT status = CreateShellLink(target.c_str(), link.c_str(), "説明ソ", c.workingDir,
                                         c.arguments, c.iconIndex);
        EXPECT_EQ(status, S_OK);
        bench::LinkInfo info = bench::ReadShellLink(link);
        ASSERT_TRUE(info.loaded);
        EXPECT_EQ(info.target, target);
        EXPECT_EQ(info.description, "説明ソ");
        EXPECT_EQ(info.workingDir, c.workingDir ? c.workingDir : "");
        EXPECT_EQ(info.arguments, c.arguments ? c.arguments : "");
        if (c.iconIndex >= 0) {
            EXPECT_EQ(info.iconPath, target);
            EXPECT_EQ(info.iconIndex, c.iconIndex);
        } else {
            EXPECT_EQ(info.iconPath, "");
        }
    }
}

TEST_F(ProgramGroup, CreateShellLinkIntoAMissingFolderFails) {
    HRESULT status =
        CreateShellLink((install_ / "QUORIN32.EXE").c_str(), (install_ / "missing\\x.lnk").c_str(),
                        "d", nullptr, nullptr, -1);
    EXPECT_LT(status, 0);
}

TEST_F(ProgramGroup, PerUserAndAllUsersGroupsGoToTheirFolders) {
    for (int allUsers : {0, 1}) {
        SCOPED_TRACE(allUsers);
        EXPECT_EQ(Create("試験グループ", 1, allUsers), 1);
        EXPECT_EQ(bench::ListFolder(Programs(allUsers) + "\\試験グループ").size(), 4u);
        EXPECT_TRUE(bench::FileExists(Desktop(allUsers) + "\\くおりん.lnk"));
        EXPECT_FALSE(bench::FolderExists(Programs(!allUsers) + "\\試験グループ"));
        Clean();
    }
}

struct NameCase {
    const char* name;
    bool usable;        // as a folder below Programs
    bool usableProgman; // as a Program Manager group
};
const NameCase kNames[] = {
    {"くおりん", true, true}, {"My Apps", true, true},    {"ソフト", true, true}, // ソ ends in 5C
    {"a.b", true, true},      {"...x", true, true},       {"", false, false},
    {".", false, false},      {"..", false, false},       {"...", false, false},
    {"a\\b", false, false},   {"a/b", false, false},      {"a:b", false, false},
    {"a*", false, false},     {"a?", false, false},       {"\"a\"", false, false},
    {"<a", false, false},     {"a>", false, false},       {"a|b", false, false},
    {"a\tb", false, false},   {"a,b", true, false},       {"(a)", true, false},
    {"a(b", true, true},      {"CON", false, false},      {"con.txt", false, false},
    {"Nul .x", false, false}, {"prn", false, false},      {"AUX.a.b", false, false},
    {"COM1", false, false},   {"lpt9.log", false, false}, {"COM0", true, true},
    {"LPT10", true, true},    {"CONS", true, true},       {"xCON", true, true},
    {"ＣＯＮ", true, true},
};

TEST(GroupName, UsableNamesAreSingleFolderNames) {
    for (const NameCase& c : kNames) {
        EXPECT_EQ(IsUsableGroupName(c.name), c.usable) << c.name;
        EXPECT_EQ(IsUsableProgmanGroupName(c.name), c.usableProgman) << c.name;
    }
}

struct LengthCase {
    std::string name;
    GroupNameVerdict verdict, progmanVerdict;
};

TEST(GroupName, NamesUpTo182BytesAreTaken) {
    std::string kana; // 90 characters, 180 bytes
    for (int i = 0; i < 90; ++i)
        kana += "ソ";
    const LengthCase cases[] = {{std::string(182, 'a'), GroupNameAccepted, GroupNameAccepted},
                                {std::string(183, 'a'), GroupNameTooLong, GroupNameTooLong},
                                {kana + "ソ", GroupNameAccepted, GroupNameAccepted},
                                {"a" + kana + "ソ", GroupNameTooLong, GroupNameTooLong},
                                {kana + "a,", GroupNameAccepted, GroupNameUnusable},
                                {"a" + kana + "/b", GroupNameUnusable, GroupNameUnusable}};
    for (const LengthCase& c : cases) {
        EXPECT_EQ(CheckGroupName(c.name.c_str(), 1, 1), c.verdict) << c.name.size() << " bytes";
        EXPECT_EQ(CheckGroupName(c.name.c_str(), 0, 1), c.progmanVerdict) << c.name.size();
    }
}

TEST_F(ProgramGroup, UnusableGroupNameCreatesNoFolderButTheDesktopLink) {
    const std::string programs = Programs(false);
    std::vector<std::string> before = bench::ListFolder(programs);
    EXPECT_EQ(Create("..", 1, 0), 0) << "no group: an unattended run ends with 6";
    EXPECT_EQ(bench::ListFolder(programs), before) << "nothing lands in the Programs folder";
    EXPECT_TRUE(bench::FileExists(Desktop(false) + "\\くおりん.lnk"));
}

TEST_F(ProgramGroup, RemovalUsesTheRecordedGroupAndKeepsFilesOfTheUser) {
    bench::SetRegString(HKEY_CURRENT_USER, kEntry, "ProgGroup", "記録グループ");
    ASSERT_EQ(Create("記録グループ", 1, 0), 1);
    const std::string folder = Programs(false) + "\\記録グループ";
    bench::WriteFileBytes(folder + "\\memo.txt", "mine");
    EXPECT_EQ(Remove(0), 1);
    EXPECT_EQ(bench::ListFolder(folder), std::vector<std::string>{"memo.txt"});
    EXPECT_FALSE(bench::FileExists(Desktop(false) + "\\くおりん.lnk"));
    DeleteFileA((folder + "\\memo.txt").c_str());
    ASSERT_EQ(Create("記録グループ", 1, 0), 1);
    EXPECT_EQ(Remove(0), 1);
    EXPECT_FALSE(bench::FolderExists(folder)) << "an emptied group folder is removed";
}

TEST_F(ProgramGroup, PerUserRemovalFallsBackToTheMachineWideRecord) {
    bench::SetRegString(HKEY_LOCAL_MACHINE, kEntry, "ProgGroup", "記録グループ");
    bench::SetRegString(HKEY_CURRENT_USER, kEntry, "DisplayName", "くおりん"); // no ProgGroup
    ASSERT_EQ(Create("記録グループ", 1, 0), 1);
    EXPECT_EQ(Remove(0), 1);
    EXPECT_FALSE(bench::FolderExists(Programs(false) + "\\記録グループ"));
}

TEST_F(ProgramGroup, AllUsersRemovalReadsOnlyTheMachineWideRecord) {
    bench::SetRegString(HKEY_CURRENT_USER, kEntry, "ProgGroup", "記録グループ");
    ASSERT_EQ(Create("記録グループ", 1, 1), 1);
    EXPECT_EQ(Remove(1), 1);
    EXPECT_EQ(bench::ListFolder(Programs(true) + "\\記録グループ").size(), 4u);
    EXPECT_FALSE(bench::FileExists(Desktop(true) + "\\くおりん.lnk")) << "the desktop link goes";
}

TEST_F(ProgramGroup, RemovalWithoutRecordLeavesTheProgramsFolderAlone) {
    const std::string programs = Programs(false);
    const std::string desktop = Desktop(false);
    std::vector<std::string> sentinels;
    for (const char* name : {"くおりん", "ヘルプ", "案内", "ホームページ"}) {
        sentinels.push_back(programs + "\\" + name + ".lnk");
        bench::WriteFileBytes(sentinels.back(), "user's own");
    }
    const DWORD programsAttributes = GetFileAttributesA(programs.c_str());
    SetFileAttributesA(desktop.c_str(), FILE_ATTRIBUTE_HIDDEN);
    const DWORD desktopAttributes = GetFileAttributesA(desktop.c_str());
    bench::WriteFileBytes(desktop + "\\くおりん.lnk", "old link");
    EXPECT_EQ(Remove(0), 1);
    for (const std::string& sentinel : sentinels) {
        EXPECT_TRUE(bench::FileExists(sentinel)) << sentinel;
        DeleteFileA(sentinel.c_str());
    }
    EXPECT_EQ(GetFileAttributesA(programs.c_str()), programsAttributes);
    EXPECT_EQ(GetFileAttributesA(desktop.c_str()), desktopAttributes);
    EXPECT_TRUE(bench::FolderExists(programs));
    EXPECT_FALSE(bench::FileExists(desktop + "\\くおりん.lnk"));
    SetFileAttributesA(desktop.c_str(), desktopAttributes & ~FILE_ATTRIBUTE_HIDDEN);
}

TEST_F(ProgramGroup, RemovalOnTheOldShellDoesNothing) {
    bench::SetRegString(HKEY_CURRENT_USER, kEntry, "ProgGroup", "記録グループ");
    ASSERT_EQ(Create("記録グループ", 1, 0), 1);
    EXPECT_EQ(RemoveProgramGroup("くおりん", "ProgGroup", kParent, "ヘルプ", "案内", "ホームページ",
                                 0, 0),
              1);
    EXPECT_EQ(bench::ListFolder(Programs(false) + "\\記録グループ").size(), 4u);
}

TEST_F(ProgramGroup, ProgramManagerGroupThroughTheShellsDdeServer) {
    bench::ProgmanServer server;
    ASSERT_TRUE(server.ready());
    bench::DdeClient client;
    bench::MessageBoxHook hook;
    EXPECT_EQ(Create("進行中", 0, 0, client.instance()), 1);
    EXPECT_TRUE(hook.boxes().empty());
    const std::string folder = bench::ShellFolderPath(CSIDL_PROGRAMS) + "\\進行中";
    EXPECT_EQ(bench::ListFolder(folder),
              (std::vector<std::string>{"くおりん.lnk", "ヘルプ.lnk", "案内.lnk"}));
    bench::LinkInfo main = bench::ReadShellLink(folder + "\\くおりん.lnk");
    EXPECT_EQ(main.target, install_ / "QUORIN32.EXE");
    EXPECT_EQ(main.workingDir, install_.path());
    EXPECT_FALSE(bench::FileExists(Desktop(false) + "\\くおりん.lnk"));
}

TEST_F(ProgramGroup, ProgramManagerCommandsLongerThan511AreNotSent) {
    bench::ProgmanServer server;
    ASSERT_TRUE(server.ready());
    bench::DdeClient client;
    const std::string folder = bench::ShellFolderPath(CSIDL_PROGRAMS) + "\\進行中";
    // The same accepted command, padded with blanks that Program Manager skips.
    auto padded = [](size_t length) {
        std::string head = "[CreateGroup(進行中,1)]";
        return head + std::string(length - head.size(), ' ');
    };
    EXPECT_EQ(ProgmanExecute(client.instance(), padded(512).c_str(), 0), 0);
    EXPECT_FALSE(bench::FolderExists(folder)) << "a refused command reaches nobody";
    EXPECT_EQ(ProgmanExecute(client.instance(), padded(511).c_str(), 0), 1);
    EXPECT_TRUE(bench::FolderExists(folder));
}

TEST_F(ProgramGroup, WithoutProgramManagerMessage12AndNoItems) {
    ASSERT_FALSE(bench::ProgmanAvailable());
    bench::DdeClient client;
    for (DWORD instance : {client.instance(), static_cast<DWORD>(0)}) {
        bench::MessageBoxHook hook({IDOK});
        EXPECT_EQ(Create("進行中", 0, 0, instance), 0);
        ASSERT_EQ(hook.boxes().size(), 1u);
        EXPECT_EQ(hook.boxes()[0].text, kGroupFailedText);
        EXPECT_EQ(hook.boxes()[0].caption, "Error");
        EXPECT_EQ(hook.boxes()[0].Style(), static_cast<UINT>(MB_OK));
        EXPECT_EQ(hook.boxes()[0].owner, nullptr);
    }
    EXPECT_FALSE(bench::FolderExists(bench::ShellFolderPath(CSIDL_PROGRAMS) + "\\進行中"));
}

TEST_F(ProgramGroup, ProgmanExecuteWithoutInstanceIsNotAccepted) {
    EXPECT_EQ(ProgmanExecute(0, "[CreateGroup(x,1)]", 0), 0);
}

} // namespace
