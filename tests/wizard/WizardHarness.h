// Shared by the wizard tests: the setup state of a test install, the wizard
// dialog held open modelessly for direct step calls, expected page layouts and
// the clean-up of everything an install writes.
#pragma once
#include <gtest/gtest.h>

#include "support/ShellBench.h"
#include "support/WineBench.h"
#include "shell/SetupState.h"
#include "wizard/Wizard.h"

#include <objbase.h>
#include <shlobj.h>

#include <memory>
#include <string.h>
#include <string>
#include <vector>

namespace wizardtest {

// Texts as the user sees them.
const char kCaption[] = "家計簿,出納簿くおりんの導入";
const char kFolderHeadline[] = "『家計簿,出納簿くおりん』をセットアップします。";
const char kFolderInstruction[] =
    "インストール先のフォルダ(ディレクトリ)を指定して\n<次へ>ボタンをクリックしてください。";
const char kGroupInstruction[] =
    "プログラムグループ名を指定して<次へ>ボタンをクリックしてください。";
const char kNoNeedToChange[] = "（特に変更する必要はありません）";
const char kSetupDone[] = "セットアップは完了しました。";
const char kFolderLabel[] = "ｲﾝｽﾄｰﾙ先";
const char kGroupLabel[] = "ｸﾞﾙｰﾌﾟ名";
const char kAllUsersBox[] = "全てのユーザーに共通とする";
const char kLaunchBox[] = "今すぐソフトを起動する";
const char kNextText[] = "次へ >";
const char kFinishText[] = "完了";
const char kCancelText[] = "中止";
const char kProduct[] = "くおりん";

const char kProductKey[] = "SOFTWARE\\Brastelo\\くおりん";
const char kUninstallParent[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kUninstallEntry[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\くおりん";
const char kOlderEntry[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\金銭簿くおりん";

// GetVersion values of the families (what Wine reports for each). Windows 10 says 10.0,
// not 6.2, to a program whose manifest names it as supported, as ours does.
const DWORD kWin10 = 0x47ba000a;
const DWORD kWinXp = 0x0a280105;
const DWORD kWin95 = 0xc0000004;
const DWORD kNt351 = 0x04213303;

inline int Page() {
    return *static_cast<volatile int*>(&WizardPage);
}
inline int Busy() {
    return *static_cast<volatile int*>(&WizardBusy);
}

// From the script thread: the wizard has reached the page and is idle.
inline bool WaitPage(int page) {
    return bench::WaitUntil([page] { return Page() == page && Busy() == 0; }, 30000);
}

// One expectation for a control: visible and enabled bits, optional exact text.
struct Expect {
    int id;
    bool visible;
    bool enabled;
    const char* text; // nullptr: not checked
};

inline void CheckControls(HWND dialog, const std::vector<Expect>& expects, const char* page) {
    for (const Expect& e : expects) {
        bench::ControlState state = bench::Control(dialog, e.id);
        EXPECT_TRUE(state.exists) << page << ": control " << e.id;
        EXPECT_EQ(state.visible, e.visible) << page << ": visibility of " << e.id;
        EXPECT_EQ(state.enabled, e.enabled) << page << ": enabled state of " << e.id;
        if (e.text) {
            EXPECT_EQ(state.text, e.text) << page << ": text of " << e.id;
        }
    }
}

// Clicks a check box as the mouse does, so that an automatic box toggles itself.
inline void ToggleBox(HWND dialog, int id) {
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// Characters (not bytes) of a code page 932 text, as edit controls count them.
inline DWORD Characters(const std::string& text) {
    return static_cast<DWORD>(MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0) - 1);
}

inline std::pair<DWORD, DWORD> Selection(HWND dialog, int id) {
    DWORD start = 0, end = 0;
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, id), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                        reinterpret_cast<LPARAM>(&end), SMTO_ABORTIFHUNG, 5000, &ignored);
    return {start, end};
}

// Everything a test install may leave behind, removed before and after.
class InstallTraces {
  public:
    explicit InstallTraces(std::vector<std::string> groups = {kProduct})
        : groups_(std::move(groups)) {
        Clean();
    }
    ~InstallTraces() { Clean(); }
    void Clean() {
        bench::DeleteRegTree(HKEY_CURRENT_USER, "SOFTWARE\\Brastelo");
        bench::DeleteRegTree(HKEY_CURRENT_USER, kUninstallEntry);
        bench::DeleteRegTree(HKEY_LOCAL_MACHINE, kUninstallEntry);
        bench::DeleteRegTree(HKEY_LOCAL_MACHINE, kOlderEntry);
        bench::DeleteRegTree(HKEY_CLASSES_ROOT, ".QRB");
        bench::DeleteRegTree(HKEY_CLASSES_ROOT, "QuorinPG.Document");
        for (bool common : {false, true}) {
            std::string programs =
                bench::ShellFoldersValue(common, common ? "Common Programs" : "Programs");
            std::string desktop =
                bench::ShellFoldersValue(common, common ? "Common Desktop" : "Desktop");
            for (const std::string& group : groups_) {
                if (programs.empty() || group.empty())
                    continue;
                const std::string folder = programs + "\\" + group;
                // Another process may still be reading a link: try again shortly.
                bench::WaitUntil(
                    [&] {
                        bench::RemoveTree(folder);
                        return !bench::FolderExists(folder);
                    },
                    5000);
            }
            if (!desktop.empty())
                DeleteFileA((desktop + "\\" + kProduct + ".lnk").c_str());
        }
    }

  private:
    std::vector<std::string> groups_;
};

// The setup state of a test run: a product key of our own prefix, COM, a DDE client.
class WizardTest : public testing::Test {
  protected:
    void SetUp() override {
        bench::DisableMenuBuilder();
        CoInitialize(nullptr);
        ResetSetupState();
        NewShell = (OsVersion & 0xFF) >= 4 ? 1 : 0;
        strcpy(ProductKey, kProductKey);
        DdeInstance = dde_.instance();
        WizardPage = 0;
        WizardBusy = 0;
        RestartNeeded = 0;
    }
    void TearDown() override {
        CommitFileStep(); // an install step the test left open stays out of the next test
        DdeInstance = 0;
        CoUninitialize();
    }
    bench::DdeClient dde_;
};

// The wizard dialog held open modelessly on the test thread, for direct calls of
// the steps. It is created on first use, that is inside the test, after the fixture
// has set up the setup state that its initialisation and folder page read; the posted
// Back command has then built the folder page.
class ModelessWizard {
  public:
    ModelessWizard() = default;
    ~ModelessWizard() {
        if (dialog_)
            DestroyWindow(dialog_);
    }
    ModelessWizard(const ModelessWizard&) = delete;
    ModelessWizard& operator=(const ModelessWizard&) = delete;
    HWND dialog() {
        if (!dialog_) {
            dialog_ = CreateDialogParamA(AppInstance, "DLG_MASTER", nullptr, WizardDialogProc, 0);
            bench::WaitUntil([] { return Page() == 0; }, 10000);
        }
        return dialog_;
    }
    std::string Text(int id) { return bench::Control(dialog(), id).text; }
    void SetText(int id, const std::string& text) { SetDlgItemTextA(dialog(), id, text.c_str()); }

  private:
    HWND dialog_ = nullptr;
};

inline std::string Str(const bench::RegValue& value) {
    return value.data;
}
inline std::string Z(const std::string& text) {
    return text + std::string(1, '\0');
}

} // namespace wizardtest
