// The wizard as the user meets it: every page's texts, visibility and enabled
// states after each transition, Back and Next again, Escape and the launch box,
// the folder chooser, and commands that arrive while a step's box is open.
#include "WizardHarness.h"

#include "integration/Registry.h"

#include <string.h>
#include <commctrl.h>

using namespace wizardtest;

namespace {

// The chooser window of this process that is neither the wizard nor a message box.
HWND FindChooser(HWND wizard) {
    for (HWND window : bench::TopLevelWindows(GetCurrentProcessId())) {
        if (window != wizard && IsWindowVisible(window) && bench::ClassName(window) == "#32770" &&
            GetWindow(window, GW_OWNER) == wizard) {
            return window;
        }
    }
    return nullptr;
}

std::string SelectedItemText(HWND tree) {
    char text[MAX_PATH] = "";
    TVITEMA item = {};
    item.mask = TVIF_TEXT;
    item.hItem = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    item.pszText = text;
    item.cchTextMax = sizeof text;
    if (item.hItem == nullptr ||
        !SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
        return std::string();
    return text;
}

bool HasChildText(HWND window, const std::string& text) {
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (bench::WindowText(child) == text)
            return true;
    }
    return false;
}

// Shells before version 5.0 (95, 98, NT 4.0) do not know BIF_NEWDIALOGSTYLE and show
// the classic chooser. While this object lives, the program's own call of
// SHBrowseForFolderA reaches the shell as such a shell sees it: without that flag.
class ClassicChooser {
  public:
    ClassicChooser() {
        real_ = reinterpret_cast<Browse>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleA("shell32.dll"), "SHBrowseForFolderA")));
        slot_ = ImportSlot(reinterpret_cast<ULONG_PTR>(real_));
        Point(reinterpret_cast<ULONG_PTR>(&Classic));
    }
    ~ClassicChooser() { Point(reinterpret_cast<ULONG_PTR>(real_)); }
    bool active() const { return slot_ != nullptr; }

  private:
    typedef LPITEMIDLIST(WINAPI* Browse)(LPBROWSEINFOA);
    static LPITEMIDLIST WINAPI Classic(LPBROWSEINFOA info) {
        BROWSEINFOA classic = *info;
        classic.ulFlags &= ~BIF_NEWDIALOGSTYLE;
        return real_(&classic);
    }
    // The entry of this program's import table that holds the address.
    static ULONG_PTR* ImportSlot(ULONG_PTR address) {
        BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
            base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports =
            nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (auto* dll =
                 reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
             dll->Name != 0; ++dll) {
            for (auto* entry = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
                 entry->u1.Function != 0; ++entry) {
                if (entry->u1.Function == address)
                    return reinterpret_cast<ULONG_PTR*>(&entry->u1.Function);
            }
        }
        return nullptr;
    }
    void Point(ULONG_PTR address) {
        DWORD protection = 0;
        if (slot_ && VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &protection)) {
            *slot_ = address;
            VirtualProtect(slot_, sizeof *slot_, protection, &protection);
        }
    }
    static Browse real_;
    ULONG_PTR* slot_ = nullptr;
};
ClassicChooser::Browse ClassicChooser::real_;

class WizardPages : public WizardTest {
  protected:
    void SetUp() override {
        WizardTest::SetUp();
        ASSERT_EQ(GetVersion(), kWin10) << "this program runs as Windows 10";
        source_ = std::make_unique<bench::TempFolder>("src");
        target_ = std::make_unique<bench::TempFolder>("dst");
        bench::WriteStandInFiles(source_->path());
        strcpy(SetupDir, source_->path().c_str());
        installDir_ = target_->path() + "\\くおりん";
        strcpy(InstallDir, installDir_.c_str());
    }
    std::vector<Expect> FolderPage() const {
        return {{1005, true, true, kFolderHeadline}, {1006, true, true, kFolderInstruction},
                {1001, true, true, kFolderLabel},    {1000, true, true, nullptr},
                {1010, true, true, "参照"},          {1009, true, true, kNoNeedToChange},
                {1008, false, false, nullptr},       {1007, false, true, nullptr},
                {1011, false, true, nullptr},        {1003, false, true, nullptr},
                {1004, false, true, nullptr},        {1, true, true, kNextText},
                {2, true, true, kCancelText}};
    }
    std::vector<Expect> GroupPage(bool boxEnabled) const {
        return {{1005, false, true, nullptr},
                {1006, true, true, kGroupInstruction},
                {1001, true, true, kGroupLabel},
                {1000, true, true, kProduct},
                {1010, false, true, nullptr},
                {1009, true, true, kNoNeedToChange},
                {1008, true, true, "< 戻る"},
                {1007, false, true, nullptr},
                {1011, true, boxEnabled, kAllUsersBox},
                {1, true, true, kNextText},
                {2, true, true, kCancelText}};
    }
    std::vector<Expect> FinishPage(const std::string& finishText) const {
        static std::string text;
        text = finishText;
        return {{1005, true, true, kSetupDone}, {1006, true, true, text.c_str()},
                {1001, false, true, nullptr},   {1000, false, true, nullptr},
                {1009, false, true, ""},        {1010, false, true, nullptr},
                {1008, false, true, nullptr},   {1011, true, true, kLaunchBox},
                {1, true, true, kFinishText},   {2, false, true, nullptr}};
    }
    static std::string StartMenuText(const std::string& group) {
        return "ﾀｽｸﾊﾞｰの[ｽﾀｰﾄ]→[ﾌﾟﾛｸﾞﾗﾑ]→[" + group +
               "]、またはﾃﾞｽｸﾄｯﾌﾟのくおりんｱｲｺﾝから起動できます。";
    }

    InstallTraces traces_;
    std::unique_ptr<bench::TempFolder> source_;
    std::unique_ptr<bench::TempFolder> target_;
    std::string installDir_;
};

TEST_F(WizardPages, FolderPageAtStartThenCancelEndsWithTwo) {
    INT_PTR result =
        bench::RunDialog(AppInstance, "DLG_MASTER", WizardDialogProc, [&](HWND dialog) {
            ASSERT_TRUE(WaitPage(0));
            EXPECT_EQ(bench::WindowText(dialog), kCaption);
            CheckControls(dialog, FolderPage(), "folder page");
            EXPECT_EQ(bench::Control(dialog, 1000).text, installDir_);
            EXPECT_EQ(bench::FocusOf(dialog), GetDlgItem(dialog, 1000));
            auto selection = Selection(dialog, 1000);
            EXPECT_EQ(selection.first, 0u);
            EXPECT_EQ(selection.second, Characters(installDir_));
            bench::Command(dialog, IDCANCEL);
        });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(LaunchNow, 0);
    EXPECT_FALSE(bench::FolderExists(installDir_)) << "nothing is installed before Next";
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, kProductKey));
}

TEST_F(WizardPages, WalkThroughBackAndNextAgainAndFinish) {
    const std::string exe = installDir_ + "\\QUORIN32.EXE";
    INT_PTR result =
        bench::RunDialog(AppInstance, "DLG_MASTER", WizardDialogProc, [&](HWND dialog) {
            ASSERT_TRUE(WaitPage(0));
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(1));
            CheckControls(dialog, GroupPage(true), "group page");
            EXPECT_EQ(bench::Control(dialog, 1011).check, BST_CHECKED)
                << "CommonMode 1 ticks the box";
            EXPECT_EQ(bench::FocusOf(dialog), GetDlgItem(dialog, 1000));
            EXPECT_TRUE(bench::FileExists(exe));

            // Back: the folder page again, with the resolved folder.
            bench::SetControlText(dialog, 1000, "別の名前");
            bench::Click(dialog, 1008);
            ASSERT_TRUE(WaitPage(0));
            CheckControls(dialog, FolderPage(), "folder page after Back");
            EXPECT_EQ(bench::Control(dialog, 1000).text, installDir_);

            // Next again runs the install step again.
            DeleteFileA(exe.c_str());
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(1));
            EXPECT_TRUE(bench::FileExists(exe)) << "files copied again";
            EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, kProductKey))
                << "InstallLocation waits for the finishing step";
            CheckControls(dialog, GroupPage(true), "group page again (typed name not kept)");

            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(2));
            CheckControls(dialog, FinishPage(StartMenuText(kProduct)), "finish page");
            EXPECT_EQ(bench::Control(dialog, 1011).check, BST_CHECKED);
            EXPECT_NE(GetWindowLongPtrA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST, 0)
                << "finish page is topmost";
            // Back does nothing here.
            bench::Command(dialog, 1008);
            bench::Click(dialog, 1);
        });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(LaunchNow, 1);
    EXPECT_STREQ(GroupName, kProduct);
    EXPECT_EQ(bench::ReadRegValue(HKEY_CURRENT_USER, kProductKey, "InstallLocation").data,
              Z(installDir_));
}

// 中止, Escape or the close box on the group page: the run leaves nothing. The earlier
// installation of other content in the folder is back byte for byte, with no temporary
// file beside it, and the product key is as it was.
TEST_F(WizardPages, CancelOnTheGroupPageLeavesTheEarlierInstallationAsItWas) {
    const std::pair<const char*, void (*)(HWND)> ways[] = {
        {"中止", [](HWND dialog) { bench::Click(dialog, 2); }},
        {"Escape", [](HWND dialog) { bench::Command(dialog, IDCANCEL); }},
        {"the close box", [](HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }}};
    ASSERT_TRUE(CreateDirectoryA(installDir_.c_str(), nullptr));
    for (const char* name : bench::kInstallFileNames)
        bench::WriteFileBytes(installDir_ + "\\" + name, std::string("earlier ") + name);
    bench::SetRegString(HKEY_CURRENT_USER, kProductKey, "InstallLocation", "C:\\earlier",
                        REG_EXPAND_SZ);
    for (const auto& way : ways) {
        SCOPED_TRACE(way.first);
        INT_PTR result =
            bench::RunDialog(AppInstance, "DLG_MASTER", WizardDialogProc, [&](HWND dialog) {
                ASSERT_TRUE(WaitPage(0));
                bench::Click(dialog, 1);
                ASSERT_TRUE(WaitPage(1));
                EXPECT_EQ(bench::ReadFileBytes(installDir_ + "\\TIPS.TXT"),
                          bench::StandInContent("TIPS.TXT"));
                way.second(dialog);
            });
        EXPECT_EQ(result, 2);
        EXPECT_EQ(bench::ListFolder(installDir_).size(), 9u) << "a temporary file is left";
        for (const char* name : bench::kInstallFileNames)
            EXPECT_EQ(bench::ReadFileBytes(installDir_ + "\\" + name),
                      std::string("earlier ") + name);
        EXPECT_EQ(bench::ReadRegValue(HKEY_CURRENT_USER, kProductKey, "InstallLocation").data,
                  Z("C:\\earlier"));
    }
}

// Back and another folder: the first folder, which this run created, is gone before the
// second is written; a cancel then leaves neither.
TEST_F(WizardPages, BackAndAnotherFolderUndoTheFirstFolder) {
    const std::string other = target_->path() + "\\別のフォルダ";
    INT_PTR result =
        bench::RunDialog(AppInstance, "DLG_MASTER", WizardDialogProc, [&](HWND dialog) {
            ASSERT_TRUE(WaitPage(0));
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(1));
            EXPECT_TRUE(bench::FileExists(installDir_ + "\\QUORIN32.EXE"));
            bench::Click(dialog, 1008);
            ASSERT_TRUE(WaitPage(0));
            bench::SetControlText(dialog, 1000, other);
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(1));
            EXPECT_FALSE(bench::FolderExists(installDir_));
            EXPECT_TRUE(bench::FileExists(other + "\\QUORIN32.EXE"));
            bench::Click(dialog, 2);
        });
    EXPECT_EQ(result, 2);
    EXPECT_TRUE(bench::ListFolder(target_->path()).empty());
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, kProductKey));
}

// Enter alone: on each page the control to act on has the focus (the field on the folder
// and group pages, "完了" on the finish page) and Enter presses Next.
TEST_F(WizardPages, EnterAloneWalksThroughEveryPage) {
    INT_PTR result =
        bench::RunDialog(AppInstance, "DLG_MASTER", WizardDialogProc, [&](HWND dialog) {
            for (int page = 0; page < 3; ++page) {
                ASSERT_TRUE(WaitPage(page));
                HWND focus = GetDlgItem(dialog, page < 2 ? 1000 : 1);
                ASSERT_TRUE(bench::WaitUntil([&] { return bench::FocusOf(dialog) == focus; }))
                    << "page " << page << ": focus " << bench::FocusOf(dialog);
                bench::PressKey(VK_RETURN);
            }
        });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(LaunchNow, 1);
    EXPECT_TRUE(bench::RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallEntry));
}

// A click gives Next the focus, and the install step disables Next while it works: when
// the step fails without a message (a folder too long to be made absolute: a relative name
// of 258 bytes), Next has the focus again.
TEST_F(WizardPages, NextHasTheFocusAgainAfterAQuietFailure) {
    HWND focus = nullptr, next = nullptr;
    bench::RunDialog(AppInstance, "DLG_MASTER", WizardDialogProc, [&](HWND dialog) {
        ASSERT_TRUE(WaitPage(0));
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next = GetDlgItem(dialog, 1)),
                     TRUE);
        bench::SetControlText(dialog, 1000, std::string(258, 'a'));
        SendMessageA(dialog, WM_COMMAND, 1, reinterpret_cast<LPARAM>(next)); // the click
        focus = Page() == 0 ? bench::FocusOf(dialog) : nullptr;
        bench::Command(dialog, IDCANCEL);
    });
    EXPECT_EQ(focus, next);
}

TEST_F(WizardPages, EscapeOnFinishPageEndsWithTwoAndLaunchesNothing) {
    INT_PTR result =
        bench::RunDialog(AppInstance, "DLG_MASTER", WizardDialogProc, [&](HWND dialog) {
            ASSERT_TRUE(WaitPage(0));
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(1));
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(2));
            EXPECT_EQ(bench::Control(dialog, 1011).check, BST_CHECKED);
            bench::Command(dialog, IDCANCEL); // what Escape sends
        });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(LaunchNow, 0);
}

TEST_F(WizardPages, UntickedLaunchBoxEndsWithOneAndNoLaunch) {
    INT_PTR result =
        bench::RunDialog(AppInstance, "DLG_MASTER", WizardDialogProc, [&](HWND dialog) {
            ASSERT_TRUE(WaitPage(0));
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(1));
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(2));
            ToggleBox(dialog, 1011); // the automatic box toggles itself
            ASSERT_TRUE(bench::WaitUntil(
                [&] { return bench::Control(dialog, 1011).check == BST_UNCHECKED; }));
            bench::Command(dialog, 1); // Enter
        });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(LaunchNow, 0);
}

TEST_F(WizardPages, CommandsForOtherPagesDoNothing) {
    INT_PTR result =
        bench::RunDialog(AppInstance, "DLG_MASTER", WizardDialogProc, [&](HWND dialog) {
            ASSERT_TRUE(WaitPage(0));
            bench::SetControlText(dialog, 1000, "typed");
            DWORD_PTR ignored = 0;
            // Sent, so each has been handled when the call returns.
            SendMessageTimeoutA(dialog, WM_COMMAND, 1008, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
            EXPECT_EQ(Page(), 0);
            EXPECT_EQ(bench::Control(dialog, 1000).text, "typed") << "Back on the folder page";
            bench::SetControlText(dialog, 1000, installDir_);
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(1));
            // Browse on the group page opens nothing: the send returns at once.
            EXPECT_NE(
                SendMessageTimeoutA(dialog, WM_COMMAND, 1010, 0, SMTO_ABORTIFHUNG, 3000, &ignored),
                0);
            EXPECT_EQ(FindChooser(dialog), nullptr);
            EXPECT_EQ(Page(), 1);
            bench::Command(dialog, IDCANCEL);
        });
    EXPECT_EQ(result, 2);
}

TEST_F(WizardPages, DisallowedAllUsersBoxIsShownDisabledWithItsStartState) {
    CommonAllowed = 0;
    CommonMode = 1;
    INT_PTR result =
        bench::RunDialog(AppInstance, "DLG_MASTER", WizardDialogProc, [&](HWND dialog) {
            ASSERT_TRUE(WaitPage(0));
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(1));
            CheckControls(dialog, GroupPage(false), "group page, all-users not allowed");
            EXPECT_EQ(bench::Control(dialog, 1011).check, BST_CHECKED);
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(2));
            bench::Command(dialog, IDCANCEL);
        });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(CommonMode, 1);
    EXPECT_TRUE(bench::RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallEntry));
}

TEST_F(WizardPages, UntickedStartStateGivesPerUserInstall) {
    CommonMode = 0;
    INT_PTR result =
        bench::RunDialog(AppInstance, "DLG_MASTER", WizardDialogProc, [&](HWND dialog) {
            ASSERT_TRUE(WaitPage(0));
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(1));
            EXPECT_EQ(bench::Control(dialog, 1011).check, BST_UNCHECKED);
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(2));
            bench::Click(dialog, 1);
        });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(CommonMode, 0);
    EXPECT_TRUE(bench::RegKeyExists(HKEY_CURRENT_USER, kUninstallEntry));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallEntry));
}

TEST_F(WizardPages, NextAndCancelWhileTheCopyMessageIsOpenDoNothing) {
    DeleteFileA((source_->path() + "\\TIPS.TXT").c_str());
    bench::MessageBoxHook hook({IDCANCEL});
    HWND wizard = nullptr;
    LRESULT cursorWhileBusy = -1;
    HCURSOR cursorShown = nullptr;
    int busyInBox = -1;
    hook.OnBox([&](const bench::BoxRecord&) {
        // Only in the first box: a broken busy check would nest steps without end.
        if (hook.boxes().size() > 1)
            return;
        // Still inside the step: these arrive through the box's message loop.
        busyInBox = WizardBusy;
        bench::Command(wizard, 1);
        bench::Command(wizard, IDCANCEL);
        cursorWhileBusy = SendMessageA(wizard, WM_SETCURSOR, reinterpret_cast<WPARAM>(wizard),
                                       MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        cursorShown = GetCursor();
    });
    INT_PTR result =
        bench::RunDialog(AppInstance, "DLG_MASTER", WizardDialogProc, [&](HWND dialog) {
            wizard = dialog;
            ASSERT_TRUE(WaitPage(0));
            bench::Click(dialog, 1);
            ASSERT_TRUE(bench::WaitUntil([&] { return !hook.boxes().empty() && Busy() == 0; }));
            // Give the posted commands every chance to act, then look.
            DWORD_PTR ignored = 0;
            SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
            EXPECT_EQ(Page(), 0);
            EXPECT_TRUE(IsWindow(dialog)) << "Cancel while busy must not end the dialog";
            EXPECT_TRUE(bench::Control(dialog, 1).enabled);
            EXPECT_TRUE(bench::Control(dialog, 2).enabled);
            EXPECT_EQ(SendMessageA(dialog, WM_SETCURSOR, reinterpret_cast<WPARAM>(dialog),
                                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
                      0)
                << "no wait cursor when idle";
            bench::Command(dialog, IDCANCEL);
        });
    EXPECT_EQ(result, 2);
    ASSERT_EQ(hook.boxes().size(), 1u) << "the Next posted while busy started no second step";
    EXPECT_EQ(hook.boxes()[0].text, "ファイル: TIPS.TXT をコピーできません！");
    EXPECT_EQ(hook.boxes()[0].caption, kCaption);
    EXPECT_EQ(hook.boxes()[0].Style(), static_cast<UINT>(MB_RETRYCANCEL));
    EXPECT_EQ(busyInBox, 1);
    EXPECT_EQ(cursorWhileBusy, TRUE);
    EXPECT_EQ(cursorShown, LoadCursorA(nullptr, IDC_WAIT));
}

TEST_F(WizardPages, GroupNameOfBlanksGivesTheProductName) {
    INT_PTR result =
        bench::RunDialog(AppInstance, "DLG_MASTER", WizardDialogProc, [&](HWND dialog) {
            ASSERT_TRUE(WaitPage(0));
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(1));
            bench::SetControlText(dialog, 1000, "　 　 ");
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(2));
            EXPECT_EQ(bench::Control(dialog, 1006).text, StartMenuText(kProduct));
            bench::Click(dialog, 1);
        });
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(GroupName, kProduct);
}

std::string Repeat(const std::string& unit, int times) {
    std::string text;
    for (int i = 0; i < times; ++i)
        text += unit;
    return text;
}

enum Refusal { NotAFolderName, TooLong, FileSystemRefuses };
struct BadName {
    std::string name;
    Refusal why;
};
const BadName kUnusableNames[] = {{"a/b", NotAFolderName},
                                  {"a\\b", NotAFolderName},
                                  {"c:x", NotAFolderName},
                                  {"what?", NotAFolderName},
                                  {"*", NotAFolderName},
                                  {"\"q\"", NotAFolderName},
                                  {"<x>", NotAFolderName},
                                  {"a|b", NotAFolderName},
                                  {".", NotAFolderName},
                                  {"..", NotAFolderName},
                                  {"con", NotAFolderName},
                                  {"LPT1.txt", NotAFolderName},
                                  {std::string(183, 'a'), TooLong},
                                  {"x" + Repeat("あ", 91), TooLong},
                                  // 182 bytes, but 272 in the UTF-8 of a Linux file name (255 at most)
                                  {"くおりん " + Repeat("ソ", 86) + "x", FileSystemRefuses}};

TEST_F(WizardPages, GroupNameThatCannotBeAFolderIsRefusedOnTheGroupPage) {
    bench::MessageBoxHook hook;
    INT_PTR result =
        bench::RunDialog(AppInstance, "DLG_MASTER", WizardDialogProc, [&](HWND dialog) {
            ASSERT_TRUE(WaitPage(0));
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(1));
            for (const BadName& bad : kUnusableNames) {
                size_t before = hook.boxes().size();
                bench::SetControlText(dialog, 1000, bad.name);
                bench::Click(dialog, 1);
                ASSERT_TRUE(bench::WaitUntil([&] {
                    return hook.boxes().size() == before + 1 && Busy() == 0;
                })) << bad.name;
                EXPECT_EQ(Page(), 1) << bad.name;
                EXPECT_EQ(bench::Control(dialog, 1000).text, bad.name);
            }
            bench::Command(dialog, IDCANCEL);
        });
    EXPECT_EQ(result, 2);
    ASSERT_EQ(hook.boxes().size(), std::size(kUnusableNames));
    for (size_t i = 0; i < hook.boxes().size(); ++i) {
        const BadName& bad = kUnusableNames[i];
        EXPECT_EQ(hook.boxes()[i].text,
                  bad.why == TooLong ? "このグループ名は長すぎます。\n"
                                       "半角182文字(全角91文字)以内の名前を指定してください。"
                  : bad.why == FileSystemRefuses
                      ? bad.name + "\nのプログラムグループを作成できません。\n"
                                   "別のグループ名を指定してください。"
                      : "このグループ名は使えません。\n次の文字を含まない名前を指定してください。\n"
                        "\\ / : * ? \" < > |")
            << bad.name;
    }
    EXPECT_EQ(hook.boxes()[0].caption, kCaption);
    EXPECT_EQ(hook.boxes()[0].owner != nullptr, true);
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, kUninstallEntry)) << "nothing finished";
    EXPECT_FALSE(bench::RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallEntry));
    std::string programs = bench::ShellFoldersValue(true, "Common Programs");
    EXPECT_FALSE(bench::FolderExists(programs + "\\a"));
}

// Names of the longest length the group page takes (182 bytes); the blanks of the last
// one fall where they cost the finish text the most lines.
const std::string kLongestNames[] = {
    Repeat("あ", 91), std::string(182, 'W'), "x" + Repeat("あ", 90) + "y",
    "a" + Repeat(" " + std::string(26, 'a'), 5) + " " + std::string(45, 'a')};

// At this program's DPI: 96, or 144 when the next test runs it again.
TEST_F(WizardPages, LongestGroupNamesShowWholeInTheFinishText) {
    EXPECT_EQ(bench::ScreenLogPixels(), bench::ExpectedLogPixels());
    for (const std::string& name : kLongestNames) {
        ModelessWizard wizard;
        strcpy(GroupName, name.c_str());
        ShowFinishPage(wizard.dialog());
        HWND text = GetDlgItem(wizard.dialog(), 1006), box = GetDlgItem(wizard.dialog(), 1011);
        RECT shown, boxShown, finish, separator, overlap; // in screen pixels
        GetWindowRect(text, &shown);
        GetWindowRect(box, &boxShown);
        GetWindowRect(GetDlgItem(wizard.dialog(), 1), &finish);
        GetWindowRect(GetDlgItem(wizard.dialog(), 0xFFFF), &separator);
        // As the static control draws it: words wider than a line broken with SS_EDITCONTROL.
        const bool edit = GetWindowLongPtrA(text, GWL_STYLE) & SS_EDITCONTROL;
        const RECT needed =
            bench::TextNeeds(text, DT_WORDBREAK | DT_EXPANDTABS | (edit ? DT_EDITCONTROL : 0));
        EXPECT_EQ(wizard.Text(1006), StartMenuText(name));
        EXPECT_LE(needed.bottom, shown.bottom - shown.top) << name;
        EXPECT_LE(needed.right, shown.right - shown.left) << name;
        EXPECT_LT(shown.bottom, separator.top);
        EXPECT_FALSE(IntersectRect(&overlap, &boxShown, &shown) ||
                     IntersectRect(&overlap, &boxShown, &finish));
        EXPECT_LE(bench::TextNeeds(box, DT_SINGLELINE).right + GetSystemMetrics(SM_CXMENUCHECK),
                  boxShown.right - boxShown.left);
    }
}

TEST(FinishTextAt144Dpi, LongestGroupNamesShowWhole) {
    EXPECT_EQ(bench::RunAtLogPixels("WizardPages.LongestGroupNamesShowWholeInTheFinishText", 144),
              0u)
        << "the test above failed at 144 DPI: run it with LogPixels 144";
}

TEST_F(WizardPages, RestartVariantOfTheFinishPage) {
    INT_PTR result =
        bench::RunDialog(AppInstance, "DLG_MASTER", WizardDialogProc, [&](HWND dialog) {
            ASSERT_TRUE(WaitPage(0));
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(1));
            RestartNeeded = 1;
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(2));
            CheckControls(dialog,
                          {{1003, true, true, nullptr},
                           {1004, true, true, nullptr},
                           {1011, false, true, nullptr},
                           {1, true, true, "再起動"},
                           {2, true, true, kCancelText},
                           {1008, false, true, nullptr},
                           {1000, false, true, nullptr}},
                          "restart page");
            EXPECT_EQ(bench::FocusOf(dialog), GetDlgItem(dialog, 1)) << "再起動 has the focus";
            bench::Click(dialog, 2);
        });
    EXPECT_EQ(result, 2);
    EXPECT_FALSE(bench::RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallEntry)) << "skipped on restart";
    EXPECT_TRUE(bench::ReadRegValue(HKEY_CURRENT_USER, kProductKey, "CommonMode").exists);
}

TEST_F(WizardPages, FolderChooserOpensOnTheTypedFolderAndFillsTheField) {
    bench::TempFolder chosen("chosen");
    INT_PTR result =
        bench::RunDialog(AppInstance, "DLG_MASTER", WizardDialogProc, [&](HWND dialog) {
            ASSERT_TRUE(WaitPage(0));
            // Cancelled: the field keeps its text.
            bench::SetControlText(dialog, 1000, chosen.path());
            bench::Click(dialog, 1010);
            HWND chooser = nullptr;
            ASSERT_TRUE(
                bench::WaitUntil([&] { return (chooser = FindChooser(dialog)) != nullptr; }));
            EXPECT_TRUE(HasChildText(chooser, "セットアップ先を選択してください。"));
            bench::AnswerMessageBox(chooser, IDCANCEL);
            ASSERT_TRUE(bench::WaitUntil([&] { return FindChooser(dialog) == nullptr; }));
            EXPECT_EQ(bench::Control(dialog, 1000).text, chosen.path());

            // Confirmed at once: the preselected folder is the typed one.
            bench::SetControlText(dialog, 1000, chosen.path());
            bench::Click(dialog, 1010);
            ASSERT_TRUE(
                bench::WaitUntil([&] { return (chooser = FindChooser(dialog)) != nullptr; }));
            bench::SetControlText(dialog, 1000, "replaced by the choice");
            bench::AnswerMessageBox(chooser, IDOK);
            ASSERT_TRUE(bench::WaitUntil([&] { return FindChooser(dialog) == nullptr; }));
            EXPECT_EQ(bench::Control(dialog, 1000).text, chosen.path());
            bench::Command(dialog, IDCANCEL);
        });
    EXPECT_EQ(result, 2);
}

TEST_F(WizardPages, ClassicFolderChooserConfirmsThePreselectedFolder) {
    // Not below C:\bench: the chooser matches each folder of the path by its date as
    // well, and other folders come and go there.
    const std::string name = "chooser-" + std::to_string(GetCurrentProcessId());
    const std::string chosen = "C:\\" + name;
    ASSERT_TRUE(CreateDirectoryA(chosen.c_str(), nullptr)) << chosen;
    struct Remove {
        std::string path;
        ~Remove() { RemoveDirectoryA(path.c_str()); }
    } remove{chosen};
    ClassicChooser classic;
    ASSERT_TRUE(classic.active());
    INT_PTR result =
        bench::RunDialog(AppInstance, "DLG_MASTER", WizardDialogProc, [&](HWND dialog) {
            ASSERT_TRUE(WaitPage(0));
            bench::SetControlText(dialog, 1000, chosen);
            bench::Click(dialog, 1010);
            HWND chooser = nullptr;
            ASSERT_TRUE(
                bench::WaitUntil([&] { return (chooser = FindChooser(dialog)) != nullptr; }));
            EXPECT_FALSE(GetWindowLongA(chooser, GWL_STYLE) & WS_THICKFRAME)
                << "the classic chooser (the newer one can be resized)";
            HWND tree = FindWindowExA(chooser, nullptr, "SysTreeView32", nullptr);
            EXPECT_TRUE(bench::WaitUntil([&] { return SelectedItemText(tree) == name; }, 5000))
                << "selected: " << SelectedItemText(tree);
            HWND ok = GetDlgItem(chooser, IDOK);
            EXPECT_TRUE(IsWindowEnabled(ok));
            bench::SetControlText(dialog, 1000, "replaced by the choice");
            PostMessageA(ok, BM_CLICK, 0, 0);
            ASSERT_TRUE(bench::WaitUntil([&] { return FindChooser(dialog) == nullptr; }, 5000));
            EXPECT_EQ(bench::Control(dialog, 1000).text, chosen);
            bench::Command(dialog, IDCANCEL);
        });
    EXPECT_EQ(result, 2);
}

} // namespace
