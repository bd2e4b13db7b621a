// The self-deleting batch: its text byte for byte, which folders it may remove, and
// real runs under the command interpreter with real files.
#include <gtest/gtest.h>

#include "support/HeldFile.h"
#include "support/WineBench.h"
#include "shell/SetupState.h"
#include "uninstall/Uninstall.h"

#include <string.h>
#include <string>

namespace {

const DWORD NtVersion = 0x0a280105;    // XP
const DWORD NineXVersion = 0xc0000004; // 95
const DWORD Nt351Version = 0x04213303;

std::string Format(const char* program, const char* folder, const char* batch, int tries,
                   bool removeFolder) {
    char buffer[SelfDeleteBatchCapacity];
    const int length = FormatSelfDeleteBatchText(buffer, sizeof buffer, program, folder, batch,
                                                 tries, removeFolder);
    return std::string(buffer, length);
}

std::string NtText(const std::string& program, const std::string& folder, const std::string& batch,
                   bool removeFolder = true) {
    return "set DelMVTries=0\r\n"
           ":Repeat\r\n"
           "del \"" +
           program +
           "\"\r\n"
           "if not exist \"" +
           program +
           "\" goto Removed\r\n"
           "ping -n 2 127.0.0.1 >nul\r\n"
           "if errorlevel 1 goto Unpaused\r\n"
           "set /a DelMVTries+=999\r\n"
           ":Unpaused\r\n"
           "set /a DelMVTries+=1\r\n"
           "if %DelMVTries% LSS 60000 goto Repeat\r\n"
           ":Removed\r\n" +
           (removeFolder ? "rmdir \"" + folder + "\"\r\n" : std::string()) + "del \"" + batch +
           "\"\r\n";
}

class SelfDeleteBatchTest : public testing::Test {
protected:
    void SetUp() override {
        savedVersion = OsVersion;
        ResetSetupState();
        OsVersion = NtVersion;
    }
    void TearDown() override { OsVersion = savedVersion; }
    DWORD savedVersion = 0;
};

// ---- The text ------------------------------------------------------------------------------

TEST_F(SelfDeleteBatchTest, NineXTextIsTheFivePlainLines) {
    EXPECT_EQ(":Repeat\r\n"
              "del \"C:\\Quorin32\\SETUP.EXE\"\r\n"
              "if exist \"C:\\Quorin32\\SETUP.EXE\" goto Repeat\r\n"
              "rmdir \"C:\\Quorin32\"\r\n"
              "del \"\\DelMV.bat\"\r\n",
              Format("C:\\Quorin32\\SETUP.EXE", "C:\\Quorin32", "\\DelMV.bat", 0, true));
}

TEST_F(SelfDeleteBatchTest, NtTextBoundsTheLoop) {
    EXPECT_EQ(NtText("C:\\Quorin32\\SETUP.EXE", "C:\\Quorin32", "\\DelMV.bat"),
              Format("C:\\Quorin32\\SETUP.EXE", "C:\\Quorin32", "\\DelMV.bat", 60, true));
}

TEST_F(SelfDeleteBatchTest, WithoutAFolderToRemoveThereIsNoRmdirLine) {
    EXPECT_EQ(":Repeat\r\n"
              "del \"C:\\SETUP.EXE\"\r\n"
              "if exist \"C:\\SETUP.EXE\" goto Repeat\r\n"
              "del \"\\DelMV.bat\"\r\n",
              Format("C:\\SETUP.EXE", "C:\\", "\\DelMV.bat", 0, false));
    EXPECT_EQ(NtText("C:\\SETUP.EXE", "", "\\DelMV.bat", false),
              Format("C:\\SETUP.EXE", "C:\\", "\\DelMV.bat", 60, false));
}

TEST_F(SelfDeleteBatchTest, PercentSignsAreDoubledAndDoubleByteCharactersKept) {
    // "ソ" and "表" end in 0x5C; "&" needs nothing inside quotes.
    const std::string folder = "D:\\a%PATH%b&cソ表";
    const std::string escaped = "D:\\a%%PATH%%b&cソ表";
    EXPECT_EQ(":Repeat\r\n"
              "del \"" +
                  escaped +
                  "\\SETUP.EXE\"\r\n"
                  "if exist \"" +
                  escaped +
                  "\\SETUP.EXE\" goto Repeat\r\n"
                  "rmdir \"" +
                  escaped +
                  "\"\r\n"
                  "del \"\\DelMV.bat\"\r\n",
              Format((folder + "\\SETUP.EXE").c_str(), folder.c_str(), "\\DelMV.bat", 0, true));
}

TEST_F(SelfDeleteBatchTest, LongestTextFitsAndATextThatDoesNotFitIsRefused) {
    const std::string path(259, 'p');
    char buffer[SelfDeleteBatchCapacity];
    // Three paths of 259 characters (the program twice, the folder) in the plain form:
    // 847 characters.
    EXPECT_EQ(847, FormatSelfDeleteBatchText(buffer, 1000, path.c_str(), path.c_str(),
                                             "\\DelMV.bat", 0, true));
    EXPECT_EQ(847, FormatSelfDeleteBatchText(buffer, 848, path.c_str(), path.c_str(), "\\DelMV.bat",
                                             0, true));
    EXPECT_EQ(0, FormatSelfDeleteBatchText(buffer, 847, path.c_str(), path.c_str(), "\\DelMV.bat",
                                           0, true));
    EXPECT_EQ('\0', buffer[0]);
    // The worst the program can meet: program and folder all "%", the fixed batch name.
    const std::string percents = "C:\\" + std::string(256, '%');
    EXPECT_GT(FormatSelfDeleteBatch(buffer, sizeof buffer, percents.c_str(), percents.c_str(),
                                    "\\DelMV.bat"),
              0);
}

TEST_F(SelfDeleteBatchTest, FamilyChoosesTheLoopAndTheFolderChoosesRmdir) {
    char buffer[SelfDeleteBatchCapacity];
    int length =
        FormatSelfDeleteBatch(buffer, sizeof buffer, "C:\\Q\\SETUP.EXE", "C:\\Q", "\\DelMV.bat");
    EXPECT_EQ(NtText("C:\\Q\\SETUP.EXE", "C:\\Q", "\\DelMV.bat"), std::string(buffer, length));
    // NT 3.51's interpreter has no command extensions: the plain loop, as on 95/98/Me.
    for (DWORD version : {Nt351Version, NineXVersion}) {
        OsVersion = version;
        length = FormatSelfDeleteBatch(buffer, sizeof buffer, "C:\\Q\\SETUP.EXE", "C:\\Q",
                                       "\\DelMV.bat");
        EXPECT_EQ(Format("C:\\Q\\SETUP.EXE", "C:\\Q", "\\DelMV.bat", 0, true),
                  std::string(buffer, length))
            << std::hex << version;
    }
    length = FormatSelfDeleteBatch(buffer, sizeof buffer, "C:\\SETUP.EXE", "C:\\", "\\DelMV.bat");
    EXPECT_EQ(Format("C:\\SETUP.EXE", "", "\\DelMV.bat", 0, false), std::string(buffer, length));
}

struct FolderCase {
    const char* folder;
    bool removable;
};

TEST_F(SelfDeleteBatchTest, RmdirNeverGetsARootOrTheWindowsFolderOrAParentOfIt) {
    strcpy(WindowsDir, "C:\\bench\\表\\Windows");
    const FolderCase cases[] = {
        {"", false},
        {"C:\\", false},
        {"C:", false},
        {"c:/", false},
        {"C:\\\\", false},
        {"D:\\.", false},
        {"\\\\server\\share", false},
        {"\\\\server\\share\\", false},
        {"\\\\server\\share\\Quorin32", true},
        {"Quorin32", false},   // relative: the batch's current folder is another one
        {"\\Quorin32", false}, // on whichever drive is current
        {"C:\\bench\\表\\Windows", false},
        {"c:\\BENCH\\表\\WINDOWS\\", false},
        {"C:\\bench\\表", false},
        {"C:\\bench", false},
        {"C:\\bench\\表\\Windows\\..", false},
        {"C:\\bench\\表\\Windows\\System", true},
        {"C:\\bench\\表\\Win", true},
        {"C:\\bench\\表\\WindowsX", true},
        {"C:\\bench\\ソ", true}, // 83 5C must not look like "表" (95 5C) + "\"
        {"C:\\Program Files\\Quorin32", true},
        {"C:\\Quorin32\\", true},
    };
    for (const FolderCase& c : cases) {
        EXPECT_EQ(c.removable, IsRemovableFolder(c.folder)) << c.folder;
    }
}

TEST_F(SelfDeleteBatchTest, WithoutWindowsDirTheSystemsWindowsFolderIsKept) {
    WindowsDir[0] = '\0';
    const std::string windows = bench::WindowsDirectory();
    EXPECT_FALSE(IsRemovableFolder(windows.c_str()));
    EXPECT_TRUE(IsRemovableFolder((windows + "\\Quorin32").c_str()));
}

// ---- Real runs ----------------------------------------------------------------------------

class BatchRunTest : public SelfDeleteBatchTest {
protected:
    // An install folder with the program file (and more files), and a batch path
    // outside it.
    void Install(const std::string& name, const std::vector<std::string>& documents = {}) {
        folder = root / name;
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
        program = folder + "\\SETUP.EXE";
        bench::WriteFileBytes(program, "MZ");
        for (const std::string& document : documents)
            bench::WriteFileBytes(folder + "\\" + document, "d");
        batch = root / "DelMV.bat";
    }
    bool WaitForBatchToEnd(DWORD timeoutMs = 30000) {
        return bench::WaitUntil([&] { return !bench::FileExists(batch); }, timeoutMs);
    }

    bench::TempFolder root{"batch"};
    std::string folder, program, batch;
};

TEST_F(BatchRunTest, DeletesTheProgramRemovesTheEmptyFolderAndItself) {
    Install("Quorin32");
    ASSERT_TRUE(StartSelfDeleteBatch(batch.c_str(), program.c_str(), folder.c_str()));
    ASSERT_TRUE(WaitForBatchToEnd());
    EXPECT_FALSE(bench::FileExists(program));
    EXPECT_TRUE(bench::WaitUntil([&] { return !bench::FolderExists(folder); }, 5000));
}

TEST_F(BatchRunTest, AFolderWithDocumentsStays) {
    Install("Quorin32", {"MYDATA.QRB"});
    ASSERT_TRUE(StartSelfDeleteBatch(batch.c_str(), program.c_str(), folder.c_str()));
    ASSERT_TRUE(WaitForBatchToEnd());
    EXPECT_FALSE(bench::FileExists(program));
    EXPECT_EQ(std::vector<std::string>{"MYDATA.QRB"}, bench::ListFolder(folder));
}

TEST_F(BatchRunTest, PercentAmpersandAndTrailBackslashNamesAreTakenLiterally) {
    // Unescaped, "%DelMVTries%" would become "0" and rmdir would take the decoy.
    Install("x%DelMVTries%y&ソ表");
    const std::string decoy = root / "x0y&ソ表";
    ASSERT_TRUE(CreateDirectoryA(decoy.c_str(), nullptr));
    ASSERT_TRUE(StartSelfDeleteBatch(batch.c_str(), program.c_str(), folder.c_str()));
    ASSERT_TRUE(WaitForBatchToEnd());
    EXPECT_FALSE(bench::FileExists(program));
    EXPECT_TRUE(bench::WaitUntil([&] { return !bench::FolderExists(folder); }, 5000));
    EXPECT_TRUE(bench::FolderExists(decoy));
}

TEST_F(BatchRunTest, WaitsWhileTheProgramFileIsInUse) {
    Install("Quorin32");
    bench::HeldFile held(program);
    ASSERT_TRUE(held.held());
    ASSERT_TRUE(StartSelfDeleteBatch(batch.c_str(), program.c_str(), folder.c_str()));
    EXPECT_FALSE(WaitForBatchToEnd(3000)); // still trying
    EXPECT_TRUE(bench::FileExists(program));
    held.Release();
    ASSERT_TRUE(WaitForBatchToEnd());
    EXPECT_FALSE(bench::FileExists(program));
    EXPECT_TRUE(bench::WaitUntil([&] { return !bench::FolderExists(folder); }, 5000));
}

TEST_F(BatchRunTest, WithoutPingTheBoundedLoopStillWaits) {
    // An NT system without TCP/IP has no ping: the pause fails and takes no time.
    char path[4096] = "";
    const DWORD pathLength = GetEnvironmentVariableA("PATH", path, sizeof path);
    ASSERT_TRUE(pathLength > 0 && pathLength < sizeof path);
    Install("Quorin32");
    bench::HeldFile held(program);
    ASSERT_TRUE(held.held());
    SetEnvironmentVariableA("PATH", root.path().c_str()); // the batch inherits it
    const bool started = StartSelfDeleteBatch(batch.c_str(), program.c_str(), folder.c_str());
    SetEnvironmentVariableA("PATH", path);
    ASSERT_TRUE(started);
    EXPECT_FALSE(WaitForBatchToEnd(4000)) << "gave up while the program still ran";
    held.Release();
    ASSERT_TRUE(WaitForBatchToEnd());
    EXPECT_FALSE(bench::FileExists(program));
    EXPECT_TRUE(bench::WaitUntil([&] { return !bench::FolderExists(folder); }, 5000));
}

TEST_F(BatchRunTest, ABoundedLoopGivesUpOnAFileThatNeverGoesAndStillDeletesItself) {
    Install("Quorin32");
    bench::HeldFile held(program);
    ASSERT_TRUE(held.held());
    char text[SelfDeleteBatchCapacity];
    const int length = FormatSelfDeleteBatchText(text, sizeof text, program.c_str(), folder.c_str(),
                                                 batch.c_str(), 3, true);
    bench::WriteFileBytes(batch, std::string(text, length));
    const DWORD start = GetTickCount();
    ASSERT_GT(WinExec(batch.c_str(), SW_HIDE), 31u);
    ASSERT_TRUE(WaitForBatchToEnd(30000));
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 1500u) << "the tries are paused";
    EXPECT_TRUE(bench::FileExists(program));
    EXPECT_TRUE(bench::FolderExists(folder));
}

} // namespace
