// The install step with the payload: this test program carries resource 19 as
// SETUP.EXE does. The files come out of the archive; a folder in which no file
// can be created gets the "cannot be written" message with the folder named.
#include "WizardHarness.h"

#include <string.h>

using namespace wizardtest;

namespace {

// Z: is the Linux root in every prefix; sysfs refuses new files even to root.
const char kUnwritableFolder[] = "Z:\\sys\\kernel";

class InstallExtract : public WizardTest {
  protected:
    void SetUp() override {
        WizardTest::SetUp();
        ASSERT_NE(FindResourceA(AppInstance, MAKEINTRESOURCEA(19), RT_RCDATA), nullptr);
        strcpy(SetupDir, "C:\\nowhere");
    }
    int RunStep(const std::string& typed) {
        wizard_.SetText(1000, typed);
        return InstallStep(wizard_.dialog());
    }
    InstallTraces traces_;
    bench::TempFolder target_{"ext"};
    ModelessWizard wizard_;
};

TEST_F(InstallExtract, ExtractsTheNineFilesOfTheSampleApplication) {
    const std::string folder = target_ / "Quorin32";
    bench::MessageBoxHook hook;
    EXPECT_EQ(RunStep(folder), 1);
    EXPECT_TRUE(hook.boxes().empty());
    EXPECT_EQ(bench::ListFolder(folder),
              (std::vector<std::string>{"HISTORY.TXT", "QUORIN32.CNT", "QUORIN32.DLL",
                                        "QUORIN32.EXE", "QUORIN32.HLP", "QUORIN32.TXT", "SETUP.EXE",
                                        "TIPS.TXT", "quorin.url"}));
    for (const char* name : {"QUORIN32.EXE", "QUORIN32.DLL", "TIPS.TXT", "quorin.url"}) {
        const std::string original = bench::ReadFileBytes(bench::SampleAppDir() + "\\" + name);
        ASSERT_FALSE(original.empty()) << name;
        EXPECT_TRUE(bench::ReadFileBytes(folder + "\\" + name) == original) << name;
    }
    EXPECT_TRUE(bench::ReadFileBytes(folder + "\\SETUP.EXE") ==
                bench::ReadFileBytes(bench::StubSetupExe()));
    EXPECT_EQ(WizardPage, 1);
    EXPECT_EQ(
        bench::Hex(bench::ReadRegValue(HKEY_CURRENT_USER, kProductKey, "InstallLocation").data),
        bench::Hex(Z(folder)));
}

TEST_F(InstallExtract, UnwritableFolderIsNamedInTheMessageAndStillRecorded) {
    ASSERT_TRUE(bench::FolderExists(kUnwritableFolder));
    ASSERT_EQ(
        CreateFileA("Z:\\sys\\kernel\\probe", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
        INVALID_HANDLE_VALUE)
        << "the folder must refuse new files";
    bench::MessageBoxHook hook({IDOK});
    int busyInBox = -1;
    bool enabledInBox = true;
    hook.OnBox([&](const bench::BoxRecord&) {
        // Only in the first box: a broken busy check would nest steps without end.
        if (hook.boxes().size() > 1)
            return;
        busyInBox = WizardBusy;
        enabledInBox = IsWindowEnabled(wizard_.dialog()) != FALSE; // its box owns it
        bench::Command(wizard_.dialog(), 1);
        bench::Command(wizard_.dialog(), IDCANCEL);
    });
    EXPECT_EQ(RunStep(kUnwritableFolder), 0);
    ASSERT_EQ(hook.boxes().size(), 1u) << "the Next sent during the box ran no second step";
    EXPECT_EQ(hook.boxes()[0].text,
              std::string(kUnwritableFolder) +
                  "\nのフォルダに書き込みできません。\n別のフォルダを指定してください。");
    EXPECT_EQ(hook.boxes()[0].caption, kCaption);
    EXPECT_EQ(hook.boxes()[0].Style(), static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(hook.boxes()[0].owner, wizard_.dialog());
    EXPECT_EQ(busyInBox, 1);
    EXPECT_FALSE(enabledInBox);
    EXPECT_EQ(WizardPage, 0);
    EXPECT_EQ(WizardBusy, 0);
    EXPECT_TRUE(IsWindow(wizard_.dialog()));
    EXPECT_TRUE(bench::Control(wizard_.dialog(), 1).enabled);
    EXPECT_TRUE(bench::Control(wizard_.dialog(), 2).enabled);
    bench::RegValue location =
        bench::ReadRegValue(HKEY_CURRENT_USER, kProductKey, "InstallLocation");
    EXPECT_EQ(location.type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(bench::Hex(location.data), bench::Hex(Z(kUnwritableFolder)));
}

} // namespace
