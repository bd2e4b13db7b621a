// The finishing step on the Windows NT family (this program runs as Windows XP):
// the shortcuts read back through the shell-link component, the association and
// the uninstall entry byte for byte, CommonMode, and a second install.
#include "WizardHarness.h"
#include "shell/Log.h"
#include "shell/Options.h"

#include <string.h>

#include <algorithm>

using namespace wizardtest;

namespace {

std::vector<std::string> SortedNoCase(std::vector<std::string> names) {
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return lstrcmpiA(a.c_str(), b.c_str()) < 0;
    });
    return names;
}

struct LinkExpect {
    const char* name;
    const char* file;
    bool icon;
};
const LinkExpect kGroupLinks[] = {{"くおりん", "QUORIN32.EXE", false},
                                  {"ヘルプ", "QUORIN32.HLP", false},
                                  {"案内", "QUORIN32.TXT", false},
                                  {"ホームページ", "quorin.url", false}};

void ExpectLink(const std::string& link, const std::string& installDir, const char* file,
                bool icon) {
    bench::LinkInfo info = bench::ReadShellLink(link);
    ASSERT_TRUE(info.loaded) << link;
    const std::string target = installDir + "\\" + file;
    EXPECT_EQ(info.target, target) << link;
    EXPECT_EQ(info.description, target) << link;
    EXPECT_EQ(info.workingDir, installDir) << link;
    EXPECT_EQ(info.arguments, "") << link;
    if (icon) {
        EXPECT_EQ(info.iconPath, target) << link;
        EXPECT_EQ(info.iconIndex, 0) << link;
    } else {
        EXPECT_EQ(info.iconPath, "") << link << " has no icon location";
    }
}

void ExpectGroup(bool common, const std::string& group, const std::string& installDir) {
    const std::string programs =
        bench::ShellFoldersValue(common, common ? "Common Programs" : "Programs");
    const std::string folder = programs + "\\" + group;
    EXPECT_EQ(bench::ListFolder(folder), (std::vector<std::string>{"くおりん.lnk", "ヘルプ.lnk",
                                                                   "ホームページ.lnk", "案内.lnk"}))
        << folder;
    for (const LinkExpect& e : kGroupLinks) {
        ExpectLink(folder + "\\" + e.name + ".lnk", installDir, e.file, e.icon);
    }
    const std::string desktop =
        bench::ShellFoldersValue(common, common ? "Common Desktop" : "Desktop");
    ExpectLink(desktop + "\\くおりん.lnk", installDir, "QUORIN32.EXE", true);
}

class FinishStepNt : public WizardTest {
  protected:
    void SetUp() override {
        WizardTest::SetUp();
        ASSERT_EQ(GetVersion(), kWinXp);
        installDir_ = root_ / "Program Files\\Quorin32";
        bench::RemoveTree(root_ / "Program Files");
        CreateDirectoryA((root_ / "Program Files").c_str(), nullptr);
        CreateDirectoryA(installDir_.c_str(), nullptr);
        bench::WriteStandInFiles(installDir_);
        strcpy(InstallDir, installDir_.c_str());
    }
    // The group page as the install step leaves it, then Next.
    void Finish(const std::string& group, bool ticked) {
        ShowGroupPage(wizard_.dialog());
        ASSERT_EQ(WizardPage, 1);
        wizard_.SetText(1000, group);
        CheckDlgButton(wizard_.dialog(), 1011, ticked ? BST_CHECKED : BST_UNCHECKED);
        FinishStep(wizard_.dialog());
    }
    std::string ShortExe() const {
        char shortPath[MAX_PATH] = "";
        GetShortPathNameA((installDir_ + "\\QUORIN32.EXE").c_str(), shortPath, sizeof shortPath);
        return shortPath;
    }

    InstallTraces traces_{{kProduct, "家計簿", "別グループ"}};
    bench::TempFolder root_{"fin"};
    std::string installDir_;
    ModelessWizard wizard_;
};

struct FamilyCase {
    bool ticked;
    int commonMode;
    const char* storedMode;
    HKEY entryRoot;
    HKEY otherRoot;
    const char* command;
    bool commonFolders;
};
const FamilyCase kNtCases[] = {
    {true, 1, "1", HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, "setup.exe /r", true},
    {false, 0, "0", HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, "setup.exe /R", false},
};

TEST_F(FinishStepNt, TickedAndUntickedInstallsAsTheTableSays) {
    for (const FamilyCase& c : kNtCases) {
        SCOPED_TRACE(c.ticked ? "ticked" : "unticked");
        traces_.Clean();
        WizardPage = 0;
        Finish(kProduct, c.ticked);
        EXPECT_EQ(WizardPage, 2);
        EXPECT_EQ(WizardBusy, 0);
        EXPECT_EQ(CommonMode, c.commonMode);

        bench::RegValue mode = bench::ReadRegValue(HKEY_CURRENT_USER, kProductKey, "CommonMode");
        EXPECT_EQ(mode.type, static_cast<DWORD>(REG_EXPAND_SZ));
        EXPECT_EQ(bench::Hex(mode.data), bench::Hex(Z(c.storedMode)));

        ExpectGroup(c.commonFolders, kProduct, installDir_);
        const std::string otherPrograms = bench::ShellFoldersValue(
            !c.commonFolders, c.commonFolders ? "Programs" : "Common Programs");
        EXPECT_FALSE(bench::FolderExists(otherPrograms + "\\" + kProduct));

        EXPECT_FALSE(bench::RegKeyExists(c.otherRoot, kUninstallEntry));
        // Wine's registry hands values out sorted by name, not in the order written,
        // so the order shows only in the code; here: exactly these. The stand-in program
        // has no version record, so there is no DisplayVersion.
        EXPECT_EQ(SortedNoCase(bench::RegValueNames(c.entryRoot, kUninstallEntry)),
                  SortedNoCase({"DisplayName", "UninstallString", "InstallLocation", "HelpLink",
                                "URLUpdateInfo", "Publisher", "ProgGroup", "DisplayIcon",
                                "EstimatedSize", "InstallDate", "NoModify", "NoRepair",
                                "QuietUninstallString"}));
        bench::ExpectUninstallEntryDetails(c.entryRoot, kUninstallEntry, installDir_, "");
        struct ValueExpect {
            const char* name;
            DWORD type;
            std::string data;
        };
        const ValueExpect values[] = {
            {"DisplayName", REG_SZ, kProduct},
            {"UninstallString", REG_SZ, installDir_ + "\\" + c.command},
            {"InstallLocation", REG_EXPAND_SZ, installDir_},
            {"HelpLink", REG_SZ, "http://www.marveno.co.jp/"},
            {"URLUpdateInfo", REG_SZ, "http://www.marveno.co.jp/new.html"},
            {"Publisher", REG_SZ, "Marveno Corporation"},
            {"ProgGroup", REG_SZ, kProduct},
        };
        for (const ValueExpect& v : values) {
            bench::RegValue got = bench::ReadRegValue(c.entryRoot, kUninstallEntry, v.name);
            EXPECT_EQ(got.type, v.type) << v.name;
            EXPECT_EQ(bench::Hex(got.data), bench::Hex(Z(v.data))) << v.name;
        }
        EXPECT_EQ(wizard_.Text(1005), kSetupDone);
    }
}

TEST_F(FinishStepNt, AssociationIsWrittenByteForByteAndDdeexecRemoved) {
    bench::SetRegString(HKEY_CLASSES_ROOT, "QuorinPG.Document\\shell\\open\\ddeexec\\topic",
                        nullptr, "x");
    Finish(kProduct, true);
    const std::string shortExe = ShortExe();
    ASSERT_FALSE(shortExe.empty());
    ASSERT_EQ(shortExe.find(' '), std::string::npos) << "the 8.3 form has no blanks";
    struct KeyExpect {
        const char* key;
        std::string value;
    };
    const KeyExpect keys[] = {
        {"QuorinPG.Document", "家計簿,出納簿くおりん"},
        {"QuorinPG.Document\\DefaultIcon", shortExe + ",1"},
        {"QuorinPG.Document\\shell\\open\\command", shortExe + " /n %1"},
        {".QRB", "QuorinPG.Document"},
    };
    for (const KeyExpect& k : keys) {
        bench::RegValue got = bench::ReadRegValue(HKEY_CLASSES_ROOT, k.key, nullptr);
        EXPECT_EQ(got.type, static_cast<DWORD>(REG_SZ)) << k.key;
        EXPECT_EQ(bench::Hex(got.data), bench::Hex(Z(k.value))) << k.key;
    }
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CLASSES_ROOT, "QuorinPG.Document\\shell\\open\\ddeexec"));
}

// A document type or an uninstall entry that cannot be written (its key exists, and may not
// be changed, as the machine's keys to a standard user) is not success; the log names it.
TEST_F(FinishStepNt, ALockedDocumentTypeOrEntryIsNotSuccess) {
    const std::string log = root_ / "finish.log";
    const struct {
        HKEY root;
        const char* key;
        const char* line;
    } cases[] = {
        {HKEY_CLASSES_ROOT, "QuorinPG.Document",
         "error: the document type .QRB could not be registered"},
        {HKEY_CURRENT_USER, kUninstallEntry, "error: the uninstall entry could not be written"},
    };
    strcpy(GroupName, kProduct);
    CommonMode = 0;
    for (const auto& c : cases) {
        traces_.Clean();
        bench::LockedRegistryKey locked(c.root, c.key);
        ASSERT_TRUE(locked.locked()) << c.key;
        OpenRunLog(log.c_str());
        ForgetOutcome();
        EXPECT_FALSE(FinishInstall(nullptr)) << c.key;
        EXPECT_EQ(ReportedOutcome(), ExitInstalledIncompletely) << c.key;
        CloseRunLog();
        EXPECT_NE(bench::ReadFileBytes(log).find(c.line), std::string::npos)
            << bench::ReadFileBytes(log);
    }
    traces_.Clean();
    ForgetOutcome();
    EXPECT_TRUE(FinishInstall(nullptr)) << "nothing locked";
    EXPECT_EQ(ReportedOutcome(), ExitDone);
}

TEST_F(FinishStepNt, OlderEditionEntryIsRemoved) {
    bench::SetRegString(HKEY_LOCAL_MACHINE, kOlderEntry, "DisplayName", "金銭簿くおりん");
    Finish(kProduct, false);
    EXPECT_FALSE(bench::RegKeyExists(HKEY_LOCAL_MACHINE, kOlderEntry));
    EXPECT_TRUE(bench::RegKeyExists(HKEY_CURRENT_USER, kUninstallEntry));
}

TEST_F(FinishStepNt, SecondInstallWithAnotherGroupReplacesTheEarlierShortcuts) {
    Finish(kProduct, false);
    const std::string programs = bench::ShellFoldersValue(false, "Programs");
    const std::string desktop = bench::ShellFoldersValue(false, "Desktop");
    ASSERT_TRUE(bench::FolderExists(programs + "\\" + kProduct));

    // The new group's folder exists already, with a file of the user's and a stale link.
    const std::string newGroup = programs + "\\家計簿";
    CreateDirectoryA(newGroup.c_str(), nullptr);
    bench::WriteFileBytes(newGroup + "\\memo.txt", "mine");
    bench::WriteFileBytes(newGroup + "\\くおりん.lnk", "stale");
    bench::WriteFileBytes(desktop + "\\くおりん.lnk", "stale");

    // The second install goes into another folder.
    const std::string secondDir = root_ / "second";
    CreateDirectoryA(secondDir.c_str(), nullptr);
    bench::WriteStandInFiles(secondDir);
    strcpy(InstallDir, secondDir.c_str());
    WizardPage = 0;
    Finish("家計簿", false);

    EXPECT_FALSE(bench::FolderExists(programs + "\\" + kProduct))
        << "the group recorded by the first install is cleaned up";
    EXPECT_EQ(bench::ListFolder(newGroup),
              (std::vector<std::string>{"memo.txt", "くおりん.lnk", "ヘルプ.lnk",
                                        "ホームページ.lnk", "案内.lnk"}));
    for (const LinkExpect& e : kGroupLinks) {
        ExpectLink(newGroup + "\\" + e.name + ".lnk", secondDir, e.file, e.icon);
    }
    ExpectLink(desktop + "\\くおりん.lnk", secondDir, "QUORIN32.EXE", true);
    EXPECT_EQ(bench::Hex(bench::ReadRegValue(HKEY_CURRENT_USER, kUninstallEntry, "ProgGroup").data),
              bench::Hex(Z("家計簿")));
}

TEST_F(FinishStepNt, EarlierGroupWithFilesOfTheUserStays) {
    Finish(kProduct, false);
    const std::string programs = bench::ShellFoldersValue(false, "Programs");
    const std::string earlier = programs + "\\" + kProduct;
    bench::WriteFileBytes(earlier + "\\notes.txt", "mine");
    WizardPage = 0;
    Finish("別グループ", false);
    EXPECT_EQ(bench::ListFolder(earlier), std::vector<std::string>{"notes.txt"});
}

// Shortcuts of our names lying directly in a Programs folder, and the folders'
// attributes, survive an install that finds no recorded group.
TEST_F(FinishStepNt, ProgramsAndDesktopFoldersThemselvesAreLeftAlone) {
    std::vector<std::string> sentinels;
    std::vector<std::pair<std::string, DWORD>> folders;
    for (bool common : {false, true}) {
        const std::string programs =
            bench::ShellFoldersValue(common, common ? "Common Programs" : "Programs");
        const std::string desktop =
            bench::ShellFoldersValue(common, common ? "Common Desktop" : "Desktop");
        for (const char* name : {"くおりん", "ヘルプ", "案内", "ホームページ"}) {
            sentinels.push_back(programs + "\\" + name + ".lnk");
            bench::WriteFileBytes(sentinels.back(), "user's own");
        }
        for (const std::string& folder : {programs, desktop}) {
            SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_HIDDEN);
            folders.push_back({folder, GetFileAttributesA(folder.c_str())});
        }
    }
    ASSERT_NE(folders[0].second & FILE_ATTRIBUTE_HIDDEN, 0u) << "the attribute sticks here";
    Finish(kProduct, true);
    for (const std::string& sentinel : sentinels) {
        EXPECT_EQ(bench::ReadFileBytes(sentinel), "user's own") << sentinel;
        DeleteFileA(sentinel.c_str());
    }
    for (const auto& folder : folders) {
        EXPECT_EQ(GetFileAttributesA(folder.first.c_str()), folder.second) << folder.first;
        SetFileAttributesA(folder.first.c_str(), folder.second & ~FILE_ATTRIBUTE_HIDDEN);
    }
}

} // namespace
