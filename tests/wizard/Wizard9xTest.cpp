// The wizard on the Windows 95 family (this program runs as Windows 95): no
// all-users box, the launch box on the finish page, CommonMode stored as "1",
// the user's folders and a machine-wide uninstall entry with "/r".
#include "WizardHarness.h"

#include <string.h>

using namespace wizardtest;

namespace {

class Wizard9x : public WizardTest {
  protected:
    void SetUp() override {
        WizardTest::SetUp();
        ASSERT_EQ(GetVersion(), kWin95);
        ASSERT_EQ(NewShell, 1);
        bench::WriteStandInFiles(source_.path());
        strcpy(SetupDir, source_.path().c_str());
        installDir_ = target_ / "Quorin32";
        strcpy(InstallDir, installDir_.c_str());
        CommonAllowed = 0; // as start-up leaves them on this family
        CommonMode = 0;
    }
    InstallTraces traces_;
    bench::TempFolder source_{"src"};
    bench::TempFolder target_{"dst"};
    std::string installDir_;
};

TEST_F(Wizard9x, GroupPageHasNoBoxFinishPageHasTheLaunchBox) {
    INT_PTR result =
        bench::RunDialog(AppInstance, "DLG_MASTER", WizardDialogProc, [&](HWND dialog) {
            ASSERT_TRUE(WaitPage(0));
            EXPECT_TRUE(bench::Control(dialog, 1010).visible) << "Browse on the new shell";
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(1));
            CheckControls(dialog,
                          {{1011, false, true, "全てのユーザーに共通とする"},
                           {1008, true, true, nullptr},
                           {1000, true, true, kProduct},
                           {1006, true, true, kGroupInstruction}},
                          "group page on 9x");
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(2));
            CheckControls(dialog, {{1011, true, true, kLaunchBox}, {1, true, true, kFinishText}},
                          "finish page on 9x");
            EXPECT_EQ(bench::Control(dialog, 1011).check, BST_CHECKED);
            bench::Click(dialog, 1);
        });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(LaunchNow, 1);
}

TEST_F(Wizard9x, StoresCommonModeOneWithUserFoldersAndMachineWideEntry) {
    INT_PTR result =
        bench::RunDialog(AppInstance, "DLG_MASTER", WizardDialogProc, [&](HWND dialog) {
            ASSERT_TRUE(WaitPage(0));
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(1));
            bench::Click(dialog, 1);
            ASSERT_TRUE(WaitPage(2));
            bench::Click(dialog, 1);
        });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(CommonMode, 1);
    bench::RegValue mode = bench::ReadRegValue(HKEY_CURRENT_USER, kProductKey, "CommonMode");
    EXPECT_EQ(mode.type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(bench::Hex(mode.data), bench::Hex(Z("1")));

    const std::string userGroup = bench::ShellFoldersValue(false, "Programs") + "\\" + kProduct;
    const std::string commonGroup =
        bench::ShellFoldersValue(true, "Common Programs") + "\\" + kProduct;
    EXPECT_EQ(bench::ListFolder(userGroup).size(), 4u);
    EXPECT_FALSE(bench::FolderExists(commonGroup));
    EXPECT_TRUE(bench::FileExists(bench::ShellFoldersValue(false, "Desktop") + "\\くおりん.lnk"));

    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, kUninstallEntry));
    bench::RegValue command =
        bench::ReadRegValue(HKEY_LOCAL_MACHINE, kUninstallEntry, "UninstallString");
    EXPECT_EQ(bench::Hex(command.data), bench::Hex(Z(installDir_ + "\\setup.exe /r")));
    bench::ExpectUninstallEntryDetails(HKEY_LOCAL_MACHINE, kUninstallEntry, installDir_, "");
}

} // namespace
