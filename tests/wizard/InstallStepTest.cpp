// The install step in copy mode (this test program carries no resource 19):
// the typed folder is trimmed, resolved and created, and the nine files are copied
// from the program's folder, all or nothing.
#include "WizardHarness.h"
#include "support/HeldFile.h"

#include <string.h>

using namespace wizardtest;

namespace {

struct TrimCase {
    const char* text;
    const char* trimmed;
};
const TrimCase kTrimCases[] = {
    {"", ""},
    {"   ", ""},
    {"　", ""}, // ideographic space 81 40
    {"　 　 ", ""},
    {"　C:\\Quorin32 ", "C:\\Quorin32"},
    {" a b ", "a b"},
    {"\tC:\\x\t", "\tC:\\x\t"},       // tabs are not blanks here
    {"ソ ", "ソ"},                    // 83 5C: the trail byte is not a separator or blank
    {"\x82\x81\x40", "\x82\x81\x40"}, // ａ@: 81 40 across a character boundary is no blank
    {"\x82\x81\x40\x81\x40", "\x82\x81\x40"},
    {"\x81\x40\x82\x81", "\x82\x81"},
    {"x　y", "x　y"},
};

TEST(TrimBlanks, RemovesAsciiAndIdeographicSpacesAtBothEnds) {
    for (const TrimCase& c : kTrimCases) {
        char buffer[64];
        strcpy(buffer, c.text);
        EXPECT_EQ(TrimBlanks(buffer), buffer);
        EXPECT_EQ(bench::Hex(buffer), bench::Hex(c.trimmed)) << "text " << bench::Hex(c.text);
    }
}

class InstallStepCopy : public WizardTest {
  protected:
    void SetUp() override {
        WizardTest::SetUp();
        bench::WriteStandInFiles(source_.path());
        strcpy(SetupDir, source_.path().c_str());
        strcpy(InstallDir, "C:\\not-used");
    }
    int RunStep(const std::string& typed) {
        wizard_.SetText(1000, typed);
        return InstallStep(wizard_.dialog());
    }
    bench::RegValue Location() const {
        return bench::ReadRegValue(HKEY_CURRENT_USER, kProductKey, "InstallLocation");
    }
    void ExpectIdleOnFolderPage() {
        EXPECT_EQ(WizardPage, 0);
        EXPECT_EQ(WizardBusy, 0);
        EXPECT_TRUE(bench::Control(wizard_.dialog(), 1).enabled);
        EXPECT_TRUE(bench::Control(wizard_.dialog(), 2).enabled);
    }
    void ExpectNineFiles(const std::string& folder) {
        for (const char* name : bench::kInstallFileNames) {
            EXPECT_EQ(bench::ReadFileBytes(folder + "\\" + name), bench::StandInContent(name))
                << name;
        }
    }

    InstallTraces traces_;
    bench::TempFolder source_{"src"};
    bench::TempFolder target_{"dst"};
    ModelessWizard wizard_;
};

TEST_F(InstallStepCopy, TheWizardOpensOnThisTestsSetupState) {
    EXPECT_EQ(wizard_.Text(1000), "C:\\not-used");
    EXPECT_EQ(MainWindow, wizard_.dialog());
    EXPECT_EQ(WizardPage, 0);
}

TEST_F(InstallStepCopy, BlanksOnlyPutsTheSetupFolderIntoTheField) {
    EXPECT_EQ(RunStep(" 　 "), 0);
    EXPECT_EQ(wizard_.Text(1000), source_.path());
    EXPECT_STREQ(InstallDir, "C:\\not-used");
    EXPECT_FALSE(Location().exists) << "nothing written";
    ExpectIdleOnFolderPage();
}

TEST_F(InstallStepCopy, TrimmedFolderIsCreatedAndFilled) {
    const std::string folder = target_ / "くおりん";
    EXPECT_EQ(RunStep("　" + folder + " "), 1);
    EXPECT_EQ(std::string(InstallDir), folder);
    ExpectNineFiles(folder);
    EXPECT_EQ(WizardPage, 1);
    EXPECT_EQ(WizardBusy, 0);
    EXPECT_EQ(wizard_.Text(1000), kProduct) << "the group page is shown";
    EXPECT_EQ(wizard_.Text(1009), kNoNeedToChange);
}

// InstallLocation waits for the finishing step: until then the step can still be undone.
TEST_F(InstallStepCopy, InstallLocationIsExpandStringWithItsZero) {
    const std::string folder = target_ / "Apps";
    ASSERT_EQ(RunStep(folder), 1);
    EXPECT_FALSE(Location().exists);
    FinishStep(wizard_.dialog());
    bench::RegValue value = Location();
    ASSERT_TRUE(value.exists);
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(bench::Hex(value.data), bench::Hex(Z(folder)));
}

TEST_F(InstallStepCopy, RelativeFolderIsResolvedAgainstTheCurrentDirectory) {
    char saved[MAX_PATH];
    GetCurrentDirectoryA(sizeof saved, saved);
    SetCurrentDirectoryA(target_.path().c_str());
    const int placed = RunStep("sub\\inst");
    SetCurrentDirectoryA(saved);
    EXPECT_EQ(placed, 1);
    EXPECT_EQ(std::string(InstallDir), target_ / "sub\\inst");
    ExpectNineFiles(target_ / "sub\\inst");
}

TEST_F(InstallStepCopy, MissingParentsAreCreatedLevelByLevel) {
    const std::string folder = target_ / "a\\b\\c";
    EXPECT_EQ(RunStep(folder), 1);
    EXPECT_TRUE(bench::FolderExists(target_ / "a"));
    EXPECT_TRUE(bench::FolderExists(target_ / "a\\b"));
    ExpectNineFiles(folder);
}

TEST_F(InstallStepCopy, ExistingFolderWithTrailingSeparatorIsUsed) {
    const std::string folder = target_ / "ready";
    CreateDirectoryA(folder.c_str(), nullptr);
    bench::WriteFileBytes(folder + "\\QUORIN32.EXE", "older file");
    SetFileAttributesA((folder + "\\QUORIN32.EXE").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(RunStep(folder + "\\"), 1);
    ExpectNineFiles(folder);
    EXPECT_EQ(GetFileAttributesA((folder + "\\QUORIN32.EXE").c_str()) & FILE_ATTRIBUTE_READONLY, 0u)
        << "a read-only file is replaced and left with normal attributes";
}

// A folder that cannot be made (a file in the way, a drive that does not exist, a drive
// that cannot be written): its write message, owned by the wizard; the status line empty;
// the typed folder selected in the focused field.
TEST_F(InstallStepCopy, AFolderThatCannotBeMadeIsSaidAndTheFieldIsReadyForAnother) {
    const std::string file = target_ / "occupied";
    bench::WriteFileBytes(file, "x");
    ASSERT_FALSE(bench::FolderExists("K:\\"));
    for (const std::string& folder :
         {file, std::string("K:\\Kakeibo"), bench::ReadOnlyDrive() + "\\new"}) {
        bench::MessageBoxHook hook({IDOK});
        EXPECT_EQ(RunStep(folder), 0);
        ASSERT_EQ(hook.boxes().size(), 1u) << folder;
        EXPECT_EQ(hook.boxes()[0].text,
                  folder + "\nのフォルダに書き込みできません。\n別のフォルダを指定してください。");
        EXPECT_EQ(hook.boxes()[0].caption, kCaption);
        EXPECT_EQ(hook.boxes()[0].Style(), static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
        EXPECT_EQ(hook.boxes()[0].owner, wizard_.dialog());
        EXPECT_EQ(wizard_.Text(1009), "");
        EXPECT_EQ(wizard_.Text(1000), folder);
        EXPECT_EQ(GetFocus(), GetDlgItem(wizard_.dialog(), 1000)) << folder;
        EXPECT_EQ(Selection(wizard_.dialog(), 1000), std::make_pair(DWORD{0}, Characters(folder)));
        EXPECT_FALSE(Location().exists);
        ExpectIdleOnFolderPage();
    }
}

TEST_F(InstallStepCopy, PathThatCannotBeMadeAbsoluteBeeps) {
    char saved[MAX_PATH];
    GetCurrentDirectoryA(sizeof saved, saved);
    SetCurrentDirectoryA(target_.path().c_str());
    std::string longName(250, 'n'); // with the current folder in front: beyond 259
    wizard_.SetText(1009, "old status");
    const int placed = RunStep(longName);
    SetCurrentDirectoryA(saved);
    EXPECT_EQ(placed, 0);
    EXPECT_EQ(wizard_.Text(1009), "");
    EXPECT_STREQ(InstallDir, "C:\\not-used");
    EXPECT_FALSE(Location().exists);
    ExpectIdleOnFolderPage();
}

TEST_F(InstallStepCopy, RunningFromTheInstallFolderInAnyCaseCopiesNothing) {
    // Only two of the nine files beside the program: any copy attempt would fail.
    bench::TempFolder lonely("Lonely");
    bench::WriteFileBytes(lonely / "QUORIN32.EXE", "in place");
    strcpy(SetupDir, lonely.path().c_str());
    std::string typed = lonely.path();
    CharLowerBuffA(&typed[0], static_cast<DWORD>(typed.size()));
    bench::MessageBoxHook hook;
    EXPECT_EQ(RunStep(typed), 1);
    EXPECT_TRUE(hook.boxes().empty());
    EXPECT_EQ(bench::ListFolder(lonely.path()), std::vector<std::string>{"QUORIN32.EXE"});
    EXPECT_EQ(WizardPage, 1);
}

// A reinstall over an earlier installation of other content, one of whose files another
// program holds open: no check can foresee it, and the file cannot be replaced. Cancel on
// the message leaves the earlier nine files byte for byte, no temporary file beside them
// and the product key as it was; Retry, once the file is free, puts the new files in place.
TEST_F(InstallStepCopy, AFileThatCannotBeReplacedLeavesTheEarlierInstallationOrIsTriedAgain) {
    for (int answer : {IDCANCEL, IDRETRY}) {
        SCOPED_TRACE(answer);
        const std::string folder = target_ / "earlier";
        CreateDirectoryA(folder.c_str(), nullptr);
        for (const char* name : bench::kInstallFileNames)
            bench::WriteFileBytes(folder + "\\" + name, std::string("earlier ") + name);
        bench::SetRegString(HKEY_CURRENT_USER, kProductKey, "InstallLocation", folder,
                            REG_EXPAND_SZ);
        bench::HeldFile held(folder + "\\TIPS.TXT");
        ASSERT_TRUE(held.held());
        bench::MessageBoxHook hook({answer});
        hook.OnBox([&](const bench::BoxRecord&) { held.Release(); });
        EXPECT_EQ(RunStep(folder), answer == IDRETRY ? 1 : 0);
        ASSERT_EQ(hook.boxes().size(), 1u);
        EXPECT_EQ(hook.boxes()[0].text, "ファイル: TIPS.TXT をコピーできません！");
        EXPECT_EQ(hook.boxes()[0].caption, kCaption);
        EXPECT_EQ(hook.boxes()[0].Style(), static_cast<UINT>(MB_RETRYCANCEL));
        EXPECT_EQ(hook.boxes()[0].owner, wizard_.dialog());
        CommitFileStep(); // as the finishing step does: the earlier files can go
        EXPECT_EQ(bench::ListFolder(folder).size(), 9u) << "a temporary file is left";
        for (const char* name : bench::kInstallFileNames) {
            EXPECT_EQ(bench::ReadFileBytes(folder + "\\" + name),
                      answer == IDRETRY ? bench::StandInContent(name)
                                        : std::string("earlier ") + name)
                << name;
        }
        EXPECT_EQ(bench::Hex(Location().data), bench::Hex(Z(folder)));
        EXPECT_EQ(wizard_.Text(1009), answer == IDRETRY ? kNoNeedToChange : "");
        if (answer == IDCANCEL)
            ExpectIdleOnFolderPage();
    }
}

TEST_F(InstallStepCopy, AMissingFileIsFoundBeforeAnythingIsWritten) {
    DeleteFileA((source_ / "TIPS.TXT").c_str());
    const std::string folder = target_ / "new\\partial";
    bench::MessageBoxHook hook({IDCANCEL});
    EXPECT_EQ(RunStep(folder), 0);
    ASSERT_EQ(hook.boxes().size(), 1u);
    EXPECT_EQ(hook.boxes()[0].text, "ファイル: TIPS.TXT をコピーできません！");
    EXPECT_EQ(hook.boxes()[0].owner, wizard_.dialog());
    EXPECT_FALSE(bench::FolderExists(target_ / "new")) << "a folder was created";
    EXPECT_FALSE(Location().exists);
    EXPECT_EQ(wizard_.Text(1009), "");
    ExpectIdleOnFolderPage();
}

TEST_F(InstallStepCopy, RetryLooksForTheMissingFileAgain) {
    DeleteFileA((source_ / "HISTORY.TXT").c_str());
    const std::string folder = target_ / "retry";
    bench::MessageBoxHook hook({IDRETRY});
    hook.OnBox([&](const bench::BoxRecord&) {
        bench::WriteFileBytes(source_ / "HISTORY.TXT", bench::StandInContent("HISTORY.TXT"));
    });
    EXPECT_EQ(RunStep(folder), 1);
    ASSERT_EQ(hook.boxes().size(), 1u);
    EXPECT_EQ(hook.boxes()[0].text, "ファイル: HISTORY.TXT をコピーできません！");
    ExpectNineFiles(folder);
    EXPECT_EQ(WizardPage, 1);
}

} // namespace
