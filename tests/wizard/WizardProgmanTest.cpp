// The wizard on a shell older than version 4 (this program runs as NT 3.51):
// no Browse button, the Program Manager finish text, the group made through
// Program Manager's DDE interface, and message 12 when nobody serves it.
#include "WizardHarness.h"

#include <string.h>

using namespace wizardtest;

namespace {

const char kProgmanFinishText[] = "ﾌﾟﾛｸﾞﾗﾑ･ｸﾞﾙｰﾌﾟの[くおりん]から起動してください。";
const char kGroupFailedText[] =
    "プログラムグループを作成できませんでした。\n他に動作していたソフトが原因と考えられます。\n"
    "Windowsを再起動した後でやり直してください。";

class WizardProgman : public WizardTest {
  protected:
    void SetUp() override {
        WizardTest::SetUp();
        ASSERT_EQ(GetVersion(), kNt351);
        ASSERT_EQ(NewShell, 0);
        bench::WriteStandInFiles(source_.path());
        strcpy(SetupDir, source_.path().c_str());
        installDir_ = target_ / "Quorin32";
        strcpy(InstallDir, installDir_.c_str());
        groupFolder_ = bench::ShellFolderPath(CSIDL_PROGRAMS) + "\\" + kProduct;
        bench::RemoveTree(groupFolder_);
    }
    void TearDown() override {
        bench::RemoveTree(groupFolder_);
        WizardTest::TearDown();
    }
    // Folder page, Next, group page, Next; the script ends on the finish page.
    INT_PTR Walk(const std::function<void(HWND)>& onFinishPage) {
        return bench::RunDialog(AppInstance, "DLG_MASTER", WizardDialogProc, [&](HWND dialog) {
            ASSERT_TRUE(WaitPage(0));
            EXPECT_FALSE(bench::Control(dialog, 1010).visible) << "no Browse on the old shell";
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(1));
            EXPECT_TRUE(bench::Control(dialog, 1011).visible) << "NT family: the all-users box";
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(2));
            EXPECT_EQ(bench::Control(dialog, 1006).text, kProgmanFinishText);
            EXPECT_TRUE(bench::Control(dialog, 1011).visible);
            onFinishPage(dialog);
        });
    }
    InstallTraces traces_;
    bench::TempFolder source_{"src"};
    bench::TempFolder target_{"dst"};
    std::string installDir_;
    std::string groupFolder_;
};

TEST_F(WizardProgman, GroupIsMadeByProgramManager) {
    bench::ProgmanServer server;
    ASSERT_TRUE(server.ready());
    bench::MessageBoxHook hook;
    INT_PTR result = Walk([](HWND dialog) { bench::Click(dialog, 1); });
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(hook.boxes().empty());
    EXPECT_EQ(bench::ListFolder(groupFolder_),
              (std::vector<std::string>{"くおりん.lnk", "ヘルプ.lnk", "案内.lnk"}));
    struct Item {
        const char* name;
        const char* file;
    };
    for (const Item& item : {Item{"くおりん", "QUORIN32.EXE"}, Item{"ヘルプ", "QUORIN32.HLP"},
                             Item{"案内", "QUORIN32.TXT"}}) {
        bench::LinkInfo link = bench::ReadShellLink(groupFolder_ + "\\" + item.name + ".lnk");
        EXPECT_TRUE(link.loaded) << item.name;
        EXPECT_EQ(link.target, installDir_ + "\\" + item.file) << item.name;
        EXPECT_EQ(link.workingDir, installDir_) << item.name;
    }
    EXPECT_FALSE(bench::RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallEntry))
        << "no entry on this shell";
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, kUninstallEntry));
    EXPECT_FALSE(bench::FileExists(bench::ShellFoldersValue(false, "Desktop") + "\\くおりん.lnk"));
    EXPECT_TRUE(bench::RegKeyExists(HKEY_CLASSES_ROOT, ".QRB")) << "the association is written";
}

// "[CreateGroup(%s,1)]" takes the name unquoted: "," and ")" would end it.
TEST_F(WizardProgman, GroupNameWithACommaOrAClosingParenthesisIsRefused) {
    bench::MessageBoxHook hook;
    INT_PTR result =
        bench::RunDialog(AppInstance, "DLG_MASTER", WizardDialogProc, [&](HWND dialog) {
            ASSERT_TRUE(WaitPage(0));
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(1));
            for (const char* name : {"a,b", "(x)"}) {
                const size_t before = hook.boxes().size();
                bench::SetControlText(dialog, 1000, name);
                bench::Click(dialog, 1);
                ASSERT_TRUE(bench::WaitUntil([&] {
                    return hook.boxes().size() == before + 1 && Busy() == 0;
                })) << name;
                EXPECT_EQ(Page(), 1) << name;
            }
            bench::Command(dialog, IDCANCEL);
        });
    EXPECT_EQ(result, 2);
    ASSERT_EQ(hook.boxes().size(), 2u);
    EXPECT_EQ(hook.boxes()[0].text,
              "このグループ名は使えません。\n次の文字を含まない名前を指定してください。\n"
              "\\ / : * ? \" < > | , )");
    EXPECT_EQ(hook.boxes()[0].caption, kCaption);
    EXPECT_FALSE(bench::FolderExists(bench::ShellFolderPath(CSIDL_PROGRAMS) + "\\a")) << "no group";
}

TEST_F(WizardProgman, WithoutProgramManagerMessage12AndStillTheFinishPage) {
    ASSERT_FALSE(bench::ProgmanAvailable());
    bench::MessageBoxHook hook({IDOK});
    HWND wizard = nullptr;
    int busyInBox = -1;
    hook.OnBox([&](const bench::BoxRecord&) {
        // Only in the first box: a broken busy check would nest steps without end.
        if (hook.boxes().size() > 1)
            return;
        busyInBox = WizardBusy;
        bench::Command(wizard, IDCANCEL); // arrives while the step works: ignored
        bench::Command(wizard, 1);
    });
    INT_PTR result =
        bench::RunDialog(AppInstance, "DLG_MASTER", WizardDialogProc, [&](HWND dialog) {
            wizard = dialog;
            ASSERT_TRUE(WaitPage(0));
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(1));
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(2));
            DWORD_PTR ignored = 0;
            SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
            EXPECT_TRUE(IsWindow(dialog));
            EXPECT_EQ(bench::Control(dialog, 1006).text, kProgmanFinishText);
            ToggleBox(dialog, 1011);
            bench::Click(dialog, 1);
        });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(LaunchNow, 0) << "the launch box was unticked, not the Next posted in the box";
    ASSERT_EQ(hook.boxes().size(), 1u);
    EXPECT_EQ(hook.boxes()[0].text, kGroupFailedText);
    EXPECT_EQ(hook.boxes()[0].caption, "Error");
    EXPECT_EQ(hook.boxes()[0].Style(), static_cast<UINT>(MB_OK));
    EXPECT_EQ(hook.boxes()[0].owner, wizard);
    EXPECT_EQ(busyInBox, 1);
    EXPECT_FALSE(bench::FolderExists(groupFolder_));
}

} // namespace
