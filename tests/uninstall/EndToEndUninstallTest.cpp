// The installed SETUP.EXE started as its uninstall entry starts it ("<dir>\setup.exe /r"),
// driven as a separate process, until its batch has deleted the program, the folder
// and itself.
#include <gtest/gtest.h>

#include "support/HeldFile.h"
#include "support/WineBench.h"
#include "shell/SetupState.h"

#include <functional>
#include <memory>
#include <string.h>
#include <string>
#include <vector>

namespace {

const char* const ProductPath = "SOFTWARE\\Brastelo\\くおりん";
const char* const EntryPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\くおりん";
const char* const BatchPath = "C:\\DelMV.bat"; // the root of the drive the program runs on
const DWORD Patience = 30000;

std::string LoadText(UINT id) {
    char text[1024] = "";
    LoadStringA(AppInstance, id, text, sizeof text);
    return text;
}

std::string Upper(std::string text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (IsDBCSLeadByte(c) && i + 1 < text.size()) {
            ++i;
        } else if (c >= 'a' && c <= 'z') {
            text[i] = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

std::string TempFolderPath() {
    char path[MAX_PATH] = "";
    GetTempPathA(sizeof path, path);
    return path;
}

class EndToEndUninstallTest : public testing::Test {
protected:
    void SetUp() override {
        DeleteFileA(BatchPath);
        before = BatchFolders();
    }

    // The installed application: the sample files, the copy-mode SETUP.EXE under
    // `programName`, the product key and both uninstall entries.
    void Install(const std::string& name, const std::string& programName = "SETUP.EXE") {
        folder = root / name;
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
        const std::string samples = bench::SampleAppDir();
        int copied = 0;
        for (const char* file : InstallFiles) {
            if (strcmp(file, "SETUP.EXE") == 0)
                continue;
            const std::string from = samples + "\\" + file;
            if (CopyFileA(from.c_str(), (folder + "\\" + file).c_str(), FALSE))
                ++copied;
        }
        ASSERT_EQ(8, copied) << "sample application files in " << samples;
        program = folder + "\\" + programName;
        ASSERT_TRUE(CopyFileA(bench::StubSetupExe().c_str(), program.c_str(), FALSE));
        bench::SetRegString(HKEY_CURRENT_USER, ProductPath, "InstallLocation", folder,
                            REG_EXPAND_SZ);
        bench::SetRegString(HKEY_CURRENT_USER, ProductPath, "CommonMode", "1", REG_EXPAND_SZ);
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            bench::SetRegString(root, EntryPath, "DisplayName", "くおりん");
            bench::SetRegString(root, EntryPath, "ProgGroup", "くおりん");
        }
    }

    // Starts the program as the entry's command line does, presses "実行", confirms,
    // waits for the outcome and ends the dialog: a click on "終了", or Escape.
    // atTheEnd runs while the dialog shows its outcome, before it is ended.
    void RunUninstall(const std::string& commandLine, bool escapeAtTheEnd = false,
                      const std::string& currentDir = "",
                      const std::function<void()>& atTheEnd = nullptr) {
        bench::Process setup(commandLine, currentDir.empty() ? folder : currentDir);
        ASSERT_TRUE(setup.started()) << commandLine;
        HWND dialog = bench::WaitForWindow(
            setup.id(), [](HWND w) { return bench::WindowText(w) == RemoveCaption; }, Patience,
            setup.handle());
        ASSERT_NE(nullptr, dialog) << "no uninstall dialog";
        bench::Click(dialog, 1);
        HWND box = bench::WaitForMessageBox(setup.id(), Patience, setup.handle());
        ASSERT_NE(nullptr, box);
        EXPECT_EQ(LoadText(16), bench::ReadMessageBox(box).text);
        bench::AnswerMessageBox(box, IDYES);
        // Either the finish page or another box (a retry prompt would be a fault here).
        HWND other = nullptr;
        const bool finished = bench::WaitUntil(
            [&] {
                if (bench::Control(dialog, 1).text == "終了")
                    return true;
                for (HWND w : bench::TopLevelWindows(setup.id())) {
                    if (w != box && IsWindowVisible(w) && bench::IsMessageBox(w))
                        other = w;
                }
                return other != nullptr;
            },
            Patience, setup.handle());
        ASSERT_TRUE(finished);
        ASSERT_EQ(nullptr, other) << bench::ReadMessageBox(other).text;
        outcome = bench::Control(dialog, 1005).text;
        if (atTheEnd)
            atTheEnd();
        if (escapeAtTheEnd) {
            bench::Command(dialog, 2);
        } else {
            bench::Click(dialog, 1);
        }
        ASSERT_EQ(0u, setup.Wait(Patience));
    }

    // The batch folders under the temporary folder (a run that failed may have left some).
    static std::vector<std::string> BatchFolders() {
        std::vector<std::string> names;
        for (const std::string& name : bench::ListFolder(TempFolderPath()))
            if (name.compare(0, 5, "DelMV") == 0)
                names.push_back(name);
        return names;
    }
    // Neither the root's batch nor a batch folder of this test is left.
    bool NoBatchLeft() {
        return Gone(BatchPath) && bench::WaitUntil([&] { return BatchFolders() == before; }, Patience);
    }

    bool Gone(const std::string& path) {
        return bench::WaitUntil(
            [&] { return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES; }, Patience);
    }

    bench::TempFolder root{"e2e"};
    bench::RegistryKeyGuard product{HKEY_CURRENT_USER, ProductPath};
    bench::RegistryKeyGuard machineEntry{HKEY_LOCAL_MACHINE, EntryPath};
    bench::RegistryKeyGuard userEntry{HKEY_CURRENT_USER, EntryPath};
    std::string folder, program, outcome;
    std::vector<std::string> before;
};

TEST_F(EndToEndUninstallTest, AllUsersUninstallLeavesNothingOfAnOddlyNamedFolder) {
    ASSERT_NO_FATAL_FAILURE(Install("くおりん%PATH%&ソ表"));
    ASSERT_NO_FATAL_FAILURE(RunUninstall(folder + "\\setup.exe /r"));
    EXPECT_EQ(LoadText(7), outcome);
    EXPECT_TRUE(Gone(program));
    EXPECT_TRUE(Gone(folder)) << "left: " << bench::ListFolder(folder).size() << " entries";
    EXPECT_TRUE(NoBatchLeft());
    EXPECT_FALSE(bench::RegKeyExists(HKEY_LOCAL_MACHINE, EntryPath));
    EXPECT_TRUE(bench::RegKeyExists(HKEY_CURRENT_USER, EntryPath));
    EXPECT_TRUE(bench::ReadRegValue(HKEY_CURRENT_USER, ProductPath, "InstallLocation").exists);
}

TEST_F(EndToEndUninstallTest, CurrentUserUninstallKeepsAFolderWithDocuments) {
    ASSERT_NO_FATAL_FAILURE(Install("Quorin32"));
    bench::WriteFileBytes(folder + "\\MYDATA.QRB", "家計");
    bench::WriteFileBytes(folder + "\\QUORIN.QRB", "家計簿"); // the base name of our files
    ASSERT_NO_FATAL_FAILURE(RunUninstall(folder + "\\setup.exe /R"));
    EXPECT_EQ(LoadText(7), outcome);
    EXPECT_TRUE(Gone(program));
    EXPECT_TRUE(NoBatchLeft());
    EXPECT_EQ((std::vector<std::string>{"MYDATA.QRB", "QUORIN.QRB"}), bench::ListFolder(folder));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, EntryPath));
    EXPECT_TRUE(bench::RegKeyExists(HKEY_LOCAL_MACHINE, EntryPath));
}

TEST_F(EndToEndUninstallTest, TheRunningProgramIsSkippedAndEscapeEndsAsFinishDoes) {
    // "$ETUP.EXE" is a name of the rule; the recorded folder differs from the started
    // path in the case of its letters only.
    ASSERT_NO_FATAL_FAILURE(Install("skip", "$ETUP.EXE"));
    bench::SetRegString(HKEY_CURRENT_USER, ProductPath, "InstallLocation", Upper(folder),
                        REG_EXPAND_SZ);
    std::vector<std::string> left;
    ASSERT_NO_FATAL_FAILURE(RunUninstall(folder + "\\$etup.exe /r", true, "",
                                         [&] { left = bench::ListFolder(folder); }));
    EXPECT_EQ(LoadText(7), outcome); // nothing was given up
    EXPECT_EQ(std::vector<std::string>{"$ETUP.EXE"}, left);
    // Escape after the removal: the clean-up and the batch, as after "終了". The batch deletes
    // the folder's SETUP.EXE, never another program: the running $ETUP.EXE stays.
    EXPECT_FALSE(bench::RegKeyExists(HKEY_LOCAL_MACHINE, EntryPath));
    EXPECT_TRUE(NoBatchLeft());
    EXPECT_EQ(std::vector<std::string>{"$ETUP.EXE"}, bench::ListFolder(folder));
}

// Two installations of one account: for the current user in B1, then for all users in B2
// (the product key names B2). Removing the first from its own entry removes B1's files,
// not B2's; with nobody at the screen, a file that cannot be deleted ends the run with 8
// and the log names it.
TEST_F(EndToEndUninstallTest, TheEntryOfTheModeNamesTheFolderAndAFileInUseGives8) {
    ASSERT_NO_FATAL_FAILURE(Install("B2"));
    const std::string second = folder;
    bench::SetRegString(HKEY_LOCAL_MACHINE, EntryPath, "InstallLocation", second, REG_EXPAND_SZ);
    ASSERT_NO_FATAL_FAILURE(Install("B1"));
    bench::SetRegString(HKEY_CURRENT_USER, EntryPath, "InstallLocation", folder, REG_EXPAND_SZ);
    bench::SetRegString(HKEY_CURRENT_USER, ProductPath, "InstallLocation", second, REG_EXPAND_SZ);
    bench::HeldFile held(folder + "\\TIPS.TXT");
    ASSERT_TRUE(held.held());
    const std::string log =
        bench::ExpectUnattendedRun("\"" + folder + "\\setup.exe\" /R /S", root.path(), 8);
    EXPECT_NE(std::string::npos, log.find("file left: " + folder + "\\TIPS.TXT\r\n")) << log;
    held.Release();
    EXPECT_TRUE(Gone(program));
    EXPECT_EQ(std::vector<std::string>{"TIPS.TXT"}, bench::ListFolder(folder));
    EXPECT_EQ(9u, bench::ListFolder(second).size()) << "the other installation lost files";
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, EntryPath));
    EXPECT_TRUE(bench::RegKeyExists(HKEY_LOCAL_MACHINE, EntryPath));
}

// A deployment tool keeps its package and removes the installation with the package's own
// copy: the installed folder goes whole, the copy stays.
TEST_F(EndToEndUninstallTest, ACopyElsewhereRemovesTheInstallationItNamesAndStays) {
    ASSERT_NO_FATAL_FAILURE(Install("Q1"));
    bench::SetRegString(HKEY_CURRENT_USER, EntryPath, "InstallLocation", folder, REG_EXPAND_SZ);
    const std::string package = root / "pkg";
    ASSERT_TRUE(CreateDirectoryA(package.c_str(), nullptr));
    ASSERT_TRUE(CopyFileA(bench::StubSetupExe().c_str(), (package + "\\SETUP.EXE").c_str(), FALSE));
    bench::ExpectUnattendedRun("\"" + package + "\\SETUP.EXE\" /R /S", root.path(), 0);
    EXPECT_TRUE(Gone(folder)) << "left: " << bench::ListFolder(folder).size() << " entries";
    EXPECT_TRUE(NoBatchLeft());
    EXPECT_EQ(std::vector<std::string>{"SETUP.EXE"}, bench::ListFolder(package));
}

// An installation for the current user whose product key is gone (another account, a reset
// profile). "/r" from its own folder finds it through the program's folder and the user's
// entry, and removes it whole as an installation for the current user; "/r" from elsewhere
// finds nothing there, and changes nothing (9).
TEST_F(EndToEndUninstallTest, AnInstallationIsRemovedWholeOrNotAtAll) {
    ASSERT_NO_FATAL_FAILURE(Install("Q5"));
    bench::DeleteRegTree(HKEY_LOCAL_MACHINE, EntryPath);
    bench::DeleteRegTree(HKEY_CURRENT_USER, ProductPath);
    bench::SetRegString(HKEY_CURRENT_USER, EntryPath, "InstallLocation", folder, REG_EXPAND_SZ);
    bench::RegistryKeyGuard association{HKEY_CLASSES_ROOT, ".QRB"};
    bench::SetRegString(HKEY_CLASSES_ROOT, ".QRB", "", "QuorinPG.Document");
    const std::string package = root / "pkg";
    ASSERT_TRUE(CreateDirectoryA(package.c_str(), nullptr));
    ASSERT_TRUE(CopyFileA(bench::StubSetupExe().c_str(), (package + "\\SETUP.EXE").c_str(), FALSE));

    const std::string log =
        bench::ExpectUnattendedRun("\"" + package + "\\SETUP.EXE\" /r /S", root.path(), 9);
    EXPECT_NE(std::string::npos, log.find("warning: no uninstall entry under HKEY_LOCAL_MACHINE")) << log;
    EXPECT_EQ(9u, bench::ListFolder(folder).size());
    EXPECT_TRUE(bench::RegKeyExists(HKEY_CURRENT_USER, EntryPath));
    EXPECT_TRUE(bench::RegKeyExists(HKEY_CLASSES_ROOT, ".QRB"));
    EXPECT_TRUE(NoBatchLeft());

    bench::ExpectUnattendedRun("\"" + program + "\" /r /S", root.path(), 0);
    EXPECT_TRUE(Gone(folder)) << "left: " << bench::ListFolder(folder).size() << " entries";
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, EntryPath));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CLASSES_ROOT, ".QRB"));
    EXPECT_TRUE(NoBatchLeft());
}

// On the NT family the batch lives in a folder of this run under the user's temporary
// folder, never in the drive root; a ping.bat planted there does not run. Started with its
// current folder on a drive whose root cannot be written, the uninstall is the same.
TEST_F(EndToEndUninstallTest, TheBatchLivesInAFolderOfItsOwnAndRunsNothingPlanted) {
    ASSERT_NO_FATAL_FAILURE(Install("Quorin32"));
    const std::string planted = "C:\\ping.bat";
    const std::string marker = root / "planted-ran";
    bench::WriteFileBytes(planted, "echo ran>\"" + marker + "\"\r\n");
    std::unique_ptr<bench::HeldFile> held;
    ASSERT_NO_FATAL_FAILURE(RunUninstall(folder + "\\setup.exe /R", false,
                                         bench::ReadOnlyDrive() + "\\mm",
                                         [&] { held.reset(new bench::HeldFile(program)); }));
    ASSERT_TRUE(held && held->held()) << "the program file could not be held";
    std::vector<std::string> batchFolders;
    ASSERT_TRUE(bench::WaitUntil([&] {
        batchFolders.clear();
        for (const std::string& name : bench::ListFolder(TempFolderPath()))
            if (name.compare(0, 5, "DelMV") == 0 && bench::FileExists(TempFolderPath() + name + "\\DelMV.bat"))
                batchFolders.push_back(name);
        return !batchFolders.empty();
    }, Patience));
    ASSERT_EQ(1u, batchFolders.size());
    EXPECT_EQ(13u, batchFolders[0].size()) << batchFolders[0]; // DelMV and eight hex digits
    EXPECT_FALSE(bench::FileExists(BatchPath));
    EXPECT_FALSE(bench::FileExists(bench::ReadOnlyDrive() + "\\DelMV.bat"));
    held->Release(); // the program file can go now
    EXPECT_TRUE(Gone(program));
    EXPECT_TRUE(Gone(folder)) << "left: " << bench::ListFolder(folder).size() << " entries";
    EXPECT_TRUE(Gone(TempFolderPath() + batchFolders[0])) << "the batch's folder stays";
    EXPECT_TRUE(NoBatchLeft()) << "the batch stays beside its folder";
    DeleteFileA(planted.c_str());
    EXPECT_FALSE(bench::FileExists(marker)) << "the planted ping.bat ran";
}

} // namespace
