// The install step with the payload: this test program carries resource 19 as
// SETUP.EXE does. The files come out of the archive; a folder in which no file
// can be created gets the "cannot be written" message with the folder named, a drive
// with too little room the message that says so.
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
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, kProductKey)) << "the finishing step's";
}

// Too little room on the drive: the message names the room the nine files need (each
// rounded up to whole clusters, and a cluster for the folder) and the room that is free;
// nothing is written, no folder made.
TEST_F(InstallExtract, TooLittleRoomIsSaidBeforeAnythingIsWritten) {
    bench::SmallDrive drive;
    ASSERT_TRUE(drive.ready()) << "S: must be a small drive (tools/wine-prefix mounts it as root)";
    ASSERT_TRUE(drive.FillUpTo(64 * 1024));
    DWORD sectors = 0, bytes = 0, free = 0, total = 0;
    ASSERT_TRUE(GetDiskFreeSpaceA("S:\\", &sectors, &bytes, &free, &total));
    const DWORD cluster = sectors * bytes;
    DWORD needed = cluster;
    for (const char* name : bench::kInstallFileNames) {
        const std::string source = std::string(name) == "SETUP.EXE"
                                       ? bench::StubSetupExe()
                                       : bench::SampleAppDir() + "\\" + name;
        needed += (static_cast<DWORD>(bench::ReadFileBytes(source).size()) + cluster - 1) /
                  cluster * cluster;
    }
    bench::MessageBoxHook hook({IDOK});
    EXPECT_EQ(RunStep("S:\\new\\くおりん"), 0);
    ASSERT_EQ(hook.boxes().size(), 1u);
    EXPECT_EQ(hook.boxes()[0].text,
              "S:\\new\\くおりん\nのドライブに空き容量が足りません。\n必要な容量: " +
                  std::to_string((needed + 1023) / 1024) +
                  " KB\n空き容量: 64 KB\n別のフォルダを指定してください。");
    EXPECT_EQ(hook.boxes()[0].caption, kCaption);
    EXPECT_EQ(hook.boxes()[0].Style(), static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(hook.boxes()[0].owner, wizard_.dialog());
    EXPECT_EQ(bench::ListFolder("S:\\"), std::vector<std::string>{"filler"});
    EXPECT_EQ(WizardPage, 0);
}

TEST_F(InstallExtract, UnwritableFolderIsNamedInTheMessageAndNotRecorded) {
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
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, kProductKey));
}

} // namespace
