// The whole life of an installation, as a user lives it: install with the wizard,
// start the application from the finish page, run setup again while it runs,
// uninstall through the command of the uninstall entry, and check what is left.
#include <gtest/gtest.h>

#include "ShellBench.h"
#include "WineBench.h"

#include <memory>
#include <string.h>
#include <string>

namespace {

const char* const kProductKey = "SOFTWARE\\Brastelo\\くおりん";
const char* const kEntryKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\くおりん";
const char* const kShellFolders = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

struct LifeCase {
    const char* family;
    bool allUsers; // the wizard's box on the NT family
    bool programManager;
    HKEY entryRoot; // where the uninstall entry must be (null: none is written)
    const char* uninstallSwitch;
    bool unattended = false;     // /S with the options instead of the dialogs
    bool keyboard = false;       // every press by Tab and Enter (the texts are typed)
    const char* group = nullptr; // else "くおりん <family>"
    bool closeBox = false;       // the uninstall ended with the title bar's close box
};

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// The batch folders under the temporary folder, and the root's batch of 95/98/Me.
bool NoBatchLeft() {
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    return bench::WaitUntil([&] {
        for (const std::string& name : bench::ListFolder(temp))
            if (name.compare(0, 5, "DelMV") == 0)
                return false;
        return !bench::FileExists("C:\\DelMV.bat");
    }, 30000);
}

// The longest group name the group page takes for all users: 182 bytes, with "ソ" (5C as
// its second byte); no more than 255 bytes as UTF-8, which Wine's Linux file names hold.
const std::string kLongestGroup = "くおりん " + [] {
    std::string kana;
    for (int i = 0; i < 60; ++i)
        kana += "ソ";
    return kana + std::string(53, 'x');
}();
// Stands for the longest group name whose shortcuts fit a path below the row's Programs
// folder: "<Programs>\<group>\ホームページ.lnk" of 259 bytes.
const char kLongestForPrograms[] = "longest for the Programs folder";

std::string ShellFolder(bool common, const char* perUser, const char* allUsers, REGSAM view = 0) {
    bench::RegValue value = bench::ReadRegValue(common ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                                                kShellFolders, common ? allUsers : perUser, view);
    return value.exists ? std::string(value.data.c_str()) : std::string();
}

HWND WaitForDialog(const bench::Process& process, const char* caption) {
    return bench::WaitForWindow(
        process.id(),
        [&](HWND window) {
            return bench::ClassName(window) == "#32770" && !bench::IsMessageBox(window) &&
                   bench::WindowText(window) == caption;
        },
        30000, process.handle());
}

bool WaitForText(HWND dialog, int id, const std::string& text, const bench::Process& process) {
    return bench::WaitUntil([&] { return bench::Control(dialog, id).text == text; }, 30000,
                            process.handle());
}

// Presses a button with a click or, as a keyboard does, each key once its control has
// the focus.
bool Press(bool keyboard, HWND window, int button, std::initializer_list<std::pair<int, WORD>> keys,
           const bench::Process& process) {
    if (!keyboard) {
        bench::Click(window, button);
        return true;
    }
    for (const auto& [focused, key] : keys) {
        HWND control = GetDlgItem(window, focused);
        if (!bench::WaitUntil([&] { return bench::FocusOf(window) == control; }, 30000,
                              process.handle()))
            return false;
        bench::PressKey(key);
    }
    return true;
}

class LifeCycle : public testing::TestWithParam<LifeCase> {
protected:
    void SetUp() override {
        bench::CloseWindowsOfClass("QuorinMainFrame");
        bench::DeleteRegTree(HKEY_CURRENT_USER, kProductKey);
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) { // both are checked at the end
            bench::DeleteRegTree(HKEY_LOCAL_MACHINE, kEntryKey, view);
            bench::DeleteRegTree(HKEY_CURRENT_USER, kEntryKey, view);
        }
        bench::DeleteRegTree(HKEY_CLASSES_ROOT, ".QRB");
        bench::DeleteRegTree(HKEY_CLASSES_ROOT, "QuorinPG.Document");
        DeleteFileA((bench::WindowsDirectory() + "\\QUORIN.INI").c_str());
        bench::SetWindowsFamily("SETUP.EXE", GetParam().family);
        bench::SetWindowsFamily("setup.exe", GetParam().family);
    }
    void TearDown() override {
        bench::CloseWindowsOfClass("QuorinMainFrame");
        bench::SetWindowsFamily("SETUP.EXE", "");
        bench::SetWindowsFamily("setup.exe", "");
    }
};

TEST_P(LifeCycle, InstallLaunchGuardUninstallLeavesOnlyDocumentsAndTheProductKey) {
    const LifeCase& c = GetParam();
    if (sizeof(void*) == 4) {
        // The 32-bit product meets Windows 95 to NT 4.0 on a 32-bit Windows, XP and 10 on a 64-bit one.
        const bool modern = std::string(c.family) == "winxp" || std::string(c.family) == "win10";
        ASSERT_EQ(bench::IsWow64(), modern) << "not on the Windows of its family";
    }
    bench::TempFolder work("life");
    const std::string installDir = work / "家計簿くおりん";
    const bool common = c.allUsers && std::string(c.family) != "win95";
    const std::string programs = ShellFolder(common, "Programs", "Common Programs");
    std::string group = c.group ? c.group : std::string("くおりん ") + c.family;
    if (c.group == kLongestForPrograms) {
        group = "くおりん ソ";
        group += std::string(259 - programs.size() - 2 - strlen("ホームページ.lnk") - group.size(), 'x');
    }

    // Program Manager serves its DDE conversation while the group is made.
    std::unique_ptr<bench::ProgmanServer> progman;
    if (c.programManager) {
        progman.reset(new bench::ProgmanServer());
        ASSERT_TRUE(progman->ready());
    }

    std::string options = Quoted("/D=" + installDir) + " " + Quoted("/GROUP=" + group);
    if (!c.programManager && std::string(c.family) != "win95")
        options += c.allUsers ? " /ALLUSERS" : " /CURRENTUSER";
    if (c.unattended) {
        // ---- Install with nobody at the screen; the application started at the end.
        bench::ExpectUnattendedRun(Quoted(bench::SetupExe()) + " /S " + options + " /LAUNCH", work.path(), 0);
    } else {
        // ---- Install with the wizard.
        bench::Process setup("\"" + bench::SetupExe() + "\"", work.path());
        ASSERT_TRUE(setup.started());
        HWND wizard = WaitForDialog(setup, "家計簿,出納簿くおりんの導入");
        ASSERT_NE(wizard, nullptr) << "the wizard did not open";
        // The template already holds the label; the status line is written only once the
        // posted Back has built the folder page (and put the default folder into the field).
        ASSERT_TRUE(WaitForText(wizard, 1009, "（特に変更する必要はありません）", setup));
        bench::SetControlText(wizard, 1000, installDir);
        ASSERT_TRUE(Press(c.keyboard, wizard, 1, {{1000, VK_RETURN}}, setup));
        ASSERT_TRUE(WaitForText(wizard, 1001, "ｸﾞﾙｰﾌﾟ名", setup)) << "no group page";
        bench::SetControlText(wizard, 1000, group);
        if (!c.programManager && std::string(c.family) != "win95" && !c.keyboard) {
            SendMessageA(GetDlgItem(wizard, 1011), BM_SETCHECK, c.allUsers ? BST_CHECKED : BST_UNCHECKED, 0);
        }
        ASSERT_TRUE(Press(c.keyboard, wizard, 1, {{1000, VK_RETURN}}, setup));
        ASSERT_TRUE(WaitForText(wizard, 1, "完了", setup)) << "no finish page";
        EXPECT_EQ(bench::Control(wizard, 1011).check, BST_CHECKED);
        ASSERT_TRUE(Press(c.keyboard, wizard, 1, {{1, VK_RETURN}}, setup));
        EXPECT_EQ(setup.Wait(30000), 0u);
    }
    for (const char* name : {"QUORIN32.EXE", "QUORIN32.HLP", "QUORIN32.TXT", "QUORIN32.DLL",
                             "QUORIN32.CNT", "TIPS.TXT", "SETUP.EXE", "HISTORY.TXT", "quorin.url"}) {
        EXPECT_TRUE(bench::FileExists(installDir + "\\" + name)) << name;
    }
    if (bench::IsWow64()) {
        // A 32-bit program on 64-bit Windows: its HKEY_LOCAL_MACHINE\SOFTWARE is the 32-bit
        // view, where the list of installed programs also looks; the classes, the user's keys
        // and the shell folders are the same in both views.
        if (c.entryRoot == HKEY_LOCAL_MACHINE) {
            EXPECT_TRUE(bench::RegKeyExists(HKEY_LOCAL_MACHINE, kEntryKey, KEY_WOW64_32KEY));
            EXPECT_FALSE(bench::RegKeyExists(HKEY_LOCAL_MACHINE, kEntryKey, KEY_WOW64_64KEY));
        }
        EXPECT_TRUE(bench::RegKeyExists(HKEY_CLASSES_ROOT, ".QRB", KEY_WOW64_64KEY));
        EXPECT_TRUE(bench::RegKeyExists(HKEY_CLASSES_ROOT, "QuorinPG.Document", KEY_WOW64_64KEY));
        EXPECT_TRUE(bench::RegKeyExists(HKEY_CURRENT_USER, kProductKey, KEY_WOW64_64KEY));
        EXPECT_EQ(ShellFolder(common, "Programs", "Common Programs", KEY_WOW64_64KEY), programs);
    }
    if (!c.programManager) {
        for (const char* link : {"くおりん", "ヘルプ", "案内", "ホームページ"})
            EXPECT_TRUE(bench::FileExists(programs + "\\" + group + "\\" + link + ".lnk")) << link;
    }

    // ---- The finish page started the application from the install folder.
    HWND app = nullptr;
    ASSERT_TRUE(bench::WaitUntil([&] { return (app = FindWindowA("QuorinMainFrame", nullptr)) != nullptr; }, 30000));
    EXPECT_EQ(bench::WindowText(app), "くおりん");

    if (c.unattended) {
        // ---- Again while it runs: without /CLOSEAPP nothing changes (3); with it, the
        // application is closed as OK to the guard's question would and setup goes on.
        bench::ExpectUnattendedRun(Quoted(bench::SetupExe()) + " /S " + options, work.path(), 3);
        EXPECT_NE(FindWindowA("QuorinMainFrame", nullptr), nullptr) << "the application was closed";
        bench::ExpectUnattendedRun(Quoted(bench::SetupExe()) + " /S /CLOSEAPP " + options, work.path(), 0);
        EXPECT_EQ(FindWindowA("QuorinMainFrame", nullptr), nullptr);
    } else {
        // ---- Setup again while it runs: the guard asks; OK closes it and setup goes on.
        bench::Process again("\"" + bench::SetupExe() + "\"", work.path());
        HWND box = bench::WaitForMessageBox(again.id(), 30000, again.handle());
        ASSERT_NE(box, nullptr) << "the guard did not ask";
        bench::BoxRecord record = bench::ReadMessageBox(box);
        EXPECT_EQ(record.caption, "くおりん");
        EXPECT_EQ(record.text.substr(0, 12), "動作している");
        bench::AnswerMessageBox(box, IDOK);
        HWND wizard = WaitForDialog(again, "家計簿,出納簿くおりんの導入");
        ASSERT_NE(wizard, nullptr) << "setup did not go on after the application closed";
        EXPECT_EQ(FindWindowA("QuorinMainFrame", nullptr), nullptr);
        bench::Click(wizard, 2);
        EXPECT_EQ(again.Wait(30000), 0u);
    }

    // A document of the user's, which the uninstall must keep.
    bench::WriteFileBytes(installDir + "\\MYDATA.QRB", "user data");

    // ---- Uninstall as the list of installed programs would.
    std::string command;
    if (c.entryRoot) {
        bench::RegValue entry = bench::ReadRegValue(c.entryRoot, kEntryKey,
                                                    c.unattended ? "QuietUninstallString" : "UninstallString");
        ASSERT_TRUE(entry.exists) << "no uninstall entry";
        command = entry.data.c_str();
        EXPECT_EQ(command, c.unattended ? Quoted(installDir + "\\setup.exe") + " " + c.uninstallSwitch + " /S"
                                        : installDir + "\\setup.exe " + c.uninstallSwitch);
        HKEY other = c.entryRoot == HKEY_LOCAL_MACHINE ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        EXPECT_FALSE(bench::RegKeyExists(other, kEntryKey));
    } else {
        EXPECT_FALSE(bench::RegKeyExists(HKEY_LOCAL_MACHINE, kEntryKey));
        EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, kEntryKey));
        command = installDir + "\\setup.exe " + c.uninstallSwitch; // the Program Manager shell has no list
        if (c.unattended)
            command += " /S";
    }
    // Removed by another account (a deployment tool's, or another user's): it has no product
    // key of its own, and the uninstall entry alone names the folder.
    const bool anotherAccount = c.unattended && c.entryRoot != nullptr;
    if (anotherAccount)
        bench::DeleteRegTree(HKEY_CURRENT_USER, kProductKey);
    if (c.unattended) {
        bench::ExpectUnattendedRun(command, work.path(), 0);
    } else {
        bench::Process uninstall(command, work.path());
        ASSERT_TRUE(uninstall.started()) << command;
        HWND dialog = WaitForDialog(uninstall, "家計簿,出納簿くおりんの削除");
        ASSERT_NE(dialog, nullptr) << "the uninstall dialog did not open";
        EXPECT_EQ(bench::Control(dialog, 1).text, "実行");
        // From 中止, where the dialog starts, to 実行; in the question from No to Yes.
        ASSERT_TRUE(Press(c.keyboard, dialog, 1, {{2, VK_TAB}, {1, VK_RETURN}}, uninstall));
        HWND box = bench::WaitForMessageBox(uninstall.id(), 30000, uninstall.handle());
        ASSERT_NE(box, nullptr) << "no confirmation";
        EXPECT_EQ(bench::ReadMessageBox(box).caption, "アプリケーションの削除確認");
        EXPECT_EQ(bench::ReadMessageBox(box).owner, dialog);
        ASSERT_TRUE(Press(c.keyboard, box, IDYES, {{IDNO, VK_TAB}, {IDYES, VK_RETURN}}, uninstall));
        ASSERT_TRUE(WaitForText(dialog, 1, "終了", uninstall));
        EXPECT_EQ(bench::Control(dialog, 1005).text, "ソフトの削除は完了しました。");
        if (c.closeBox) // as × does: the removal is done, and the dialog ends as 終了 ends it
            PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        else
            ASSERT_TRUE(Press(c.keyboard, dialog, 1, {{1, VK_RETURN}}, uninstall))
                << "終了 has no focus";
        EXPECT_EQ(uninstall.Wait(30000), 0u);
    }
    // The batch deletes the program once the process has ended.
    EXPECT_TRUE(bench::WaitUntil([&] { return !bench::FileExists(installDir + "\\setup.exe"); }, 60000))
        << "setup.exe is still there";
    EXPECT_TRUE(NoBatchLeft()) << "the batch did not delete itself";
    EXPECT_EQ(bench::ListFolder(installDir), std::vector<std::string>{"MYDATA.QRB"});

    // Nothing else of the installation is left.
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        EXPECT_FALSE(bench::RegKeyExists(HKEY_LOCAL_MACHINE, kEntryKey, view)) << view;
        EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, kEntryKey, view)) << view;
    }
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CLASSES_ROOT, ".QRB"));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CLASSES_ROOT, "QuorinPG.Document"));
    if (!c.programManager) {
        std::string desktop = ShellFolder(common, "Desktop", "Common Desktop");
        ASSERT_FALSE(programs.empty());
        EXPECT_FALSE(bench::FolderExists(programs + "\\" + group));
        EXPECT_FALSE(bench::FileExists(desktop + "\\くおりん.lnk"));
    }
    // The product key and its two values stay (the other account has none).
    EXPECT_EQ(bench::ReadRegValue(HKEY_CURRENT_USER, kProductKey, "InstallLocation").data,
              anotherAccount ? std::string() : installDir + std::string(1, '\0'));
    EXPECT_EQ(bench::ReadRegValue(HKEY_CURRENT_USER, kProductKey, "CommonMode").exists, !anotherAccount);
}

INSTANTIATE_TEST_SUITE_P(
    Families, LifeCycle,
    testing::Values(LifeCase{"win10", true, false, HKEY_LOCAL_MACHINE, "/r"},
                    LifeCase{"win10", false, false, HKEY_CURRENT_USER, "/R"},
                    LifeCase{"winxp", false, false, HKEY_CURRENT_USER, "/R"},
                    LifeCase{"win95", false, false, HKEY_LOCAL_MACHINE, "/r"},
                    LifeCase{"nt351", true, true, nullptr, "/r"},
                    LifeCase{"nt40", true, false, HKEY_LOCAL_MACHINE, "/r"},
                    LifeCase{"win10", true, false, HKEY_LOCAL_MACHINE, "/r", true},
                    LifeCase{"win10", false, false, HKEY_CURRENT_USER, "/R", true},
                    LifeCase{"winxp", false, false, HKEY_CURRENT_USER, "/R", true},
                    LifeCase{"win95", false, false, HKEY_LOCAL_MACHINE, "/r", true},
                    LifeCase{"nt351", true, true, nullptr, "/r", true},
                    LifeCase{"nt40", true, false, HKEY_LOCAL_MACHINE, "/r", true},
                    LifeCase{"win10", true, false, HKEY_LOCAL_MACHINE, "/r", false, true,
                             kLongestGroup.c_str()},
                    LifeCase{"win10", false, false, HKEY_CURRENT_USER, "/R", true, false,
                             kLongestForPrograms},
                    LifeCase{"winxp", true, false, HKEY_LOCAL_MACHINE, "/r", false, false,
                             nullptr, true}),
    [](const testing::TestParamInfo<LifeCase>& info) {
        return std::string(info.param.family) +
               (info.param.allUsers ? "_AllUsers" : "_CurrentUser") +
               (info.param.unattended ? "_Unattended" : "") +
               (info.param.keyboard ? "_KeyboardLongestGroup" : "") +
               (info.param.group == kLongestForPrograms ? "_LongestGroupForPrograms" : "") +
               (info.param.closeBox ? "_CloseBox" : "");
    });

} // namespace
