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

const char* const System = "C:\\W\\system32";

std::string Format(const char* program, const char* folder, const char* batch, int tries,
                   bool removeFolder, const char* batchFolder = nullptr,
                   const char* system = System) {
    char buffer[SelfDeleteBatchCapacity];
    const SelfDeleteBatch plan = {program, removeFolder ? folder : nullptr, batch, batchFolder,
                                  system, tries, batchFolder != nullptr};
    const int length = FormatSelfDeleteBatchText(buffer, sizeof buffer, plan);
    return std::string(buffer, length);
}

std::string System32() {
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, sizeof system);
    return system;
}

std::string NtText(const std::string& program, const std::string& folder, const std::string& batch,
                   bool removeFolder = true, const std::string& system = System,
                   const std::string& batchFolder = "") {
    return "set DelMVTries=0\r\n"
           ":Repeat\r\n"
           "del \"" +
           program +
           "\"\r\n"
           "if not exist \"" +
           program +
           "\" goto Removed\r\n"
           "\"" + system + "\\ping.exe\" -n 2 127.0.0.1 >nul\r\n"
           "if errorlevel 1 goto Unpaused\r\n"
           "set /a DelMVTries+=999\r\n"
           ":Unpaused\r\n"
           "set /a DelMVTries+=1\r\n"
           "if %DelMVTries% LSS 60000 goto Repeat\r\n"
           ":Removed\r\n" +
           (removeFolder ? "rmdir \"" + folder + "\"\r\n" : std::string()) +
           (batchFolder.empty() ? "del \"" + batch + "\""
                                : "move /Y \"" + batch + "\" \"" + batchFolder + ".bat\" & rmdir \"" +
                                      batchFolder + "\" & del \"" + batchFolder + ".bat\"") +
           "\r\n";
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

TEST_F(SelfDeleteBatchTest, NtTextBoundsTheLoopAndRemovesTheBatchWithItsFolder) {
    EXPECT_EQ(NtText("C:\\Quorin32\\SETUP.EXE", "C:\\Quorin32", "\\DelMV.bat"),
              Format("C:\\Quorin32\\SETUP.EXE", "C:\\Quorin32", "\\DelMV.bat", 60, true));
    const char* const batchFolder = "C:\\T\\DelMV0A1B";
    EXPECT_EQ(NtText("C:\\Q\\SETUP.EXE", "C:\\Q", "C:\\T\\DelMV0A1B\\DelMV.bat", true, System,
                     batchFolder),
              Format("C:\\Q\\SETUP.EXE", "C:\\Q", "C:\\T\\DelMV0A1B\\DelMV.bat", 60, true,
                     batchFolder));
}

struct CommandCase {
    DWORD version;
    const char* batch;
    const char* command;
};

// The interpreter by its full path, without AutoRun and delayed expansion where it has
// them; the batch's path always quoted.
TEST_F(SelfDeleteBatchTest, TheBatchIsStartedByTheSystemsInterpreterWithItsPathQuoted) {
    const CommandCase cases[] = {
        {NtVersion, "C:\\T\\a&b\\DelMV.bat",
         "\"C:\\W\\system32\\cmd.exe\" /D /V:OFF /S /C \"\"C:\\T\\a&b\\DelMV.bat\"\""},
        {0x23f00206, "C:\\T\\DelMV.bat",
         "\"C:\\W\\system32\\cmd.exe\" /D /V:OFF /S /C \"\"C:\\T\\DelMV.bat\"\""},
        {0x05650004, "C:\\TEMP\\DelMV.bat", "\"C:\\W\\system32\\cmd.exe\" /C \"C:\\TEMP\\DelMV.bat\""},
        {Nt351Version, "C:\\TEMP\\DelMV.bat", "\"C:\\W\\system32\\cmd.exe\" /C \"C:\\TEMP\\DelMV.bat\""},
        {NineXVersion, "\\DelMV.bat", "\"\\DelMV.bat\""},
    };
    for (const CommandCase& c : cases) {
        OsVersion = c.version;
        char command[3 * MAX_PATH];
        const int length = FormatBatchCommand(command, sizeof command, System, c.batch);
        EXPECT_EQ(c.command, std::string(command, length)) << std::hex << c.version;
    }
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
    const SelfDeleteBatch plain = {path.c_str(), path.c_str(), "\\DelMV.bat", nullptr, "", 0, false};
    EXPECT_EQ(847, FormatSelfDeleteBatchText(buffer, 1000, plain));
    EXPECT_EQ(847, FormatSelfDeleteBatchText(buffer, 848, plain));
    EXPECT_EQ(0, FormatSelfDeleteBatchText(buffer, 847, plain));
    EXPECT_EQ('\0', buffer[0]);
    // The worst the program can meet: program, folder and the batch's folder all "%".
    const std::string percents = "C:\\" + std::string(256, '%');
    const std::string batch = percents.substr(0, 250) + "\\DelMV.bat";
    EXPECT_GT(FormatSelfDeleteBatch(buffer, sizeof buffer, percents.c_str(), percents.c_str(),
                                    batch.c_str(), percents.substr(0, 250).c_str()),
              0);
}

TEST_F(SelfDeleteBatchTest, FamilyChoosesTheLoopAndTheFolderChoosesRmdir) {
    char buffer[SelfDeleteBatchCapacity];
    int length = FormatSelfDeleteBatch(buffer, sizeof buffer, "C:\\Q\\SETUP.EXE", "C:\\Q",
                                       "\\DelMV.bat", nullptr);
    EXPECT_EQ(NtText("C:\\Q\\SETUP.EXE", "C:\\Q", "\\DelMV.bat", true, System32()),
              std::string(buffer, length));
    // NT 3.51's interpreter has no command extensions: the plain loop, as on 95/98/Me.
    for (DWORD version : {Nt351Version, NineXVersion}) {
        OsVersion = version;
        length = FormatSelfDeleteBatch(buffer, sizeof buffer, "C:\\Q\\SETUP.EXE", "C:\\Q",
                                       "\\DelMV.bat", nullptr);
        EXPECT_EQ(Format("C:\\Q\\SETUP.EXE", "C:\\Q", "\\DelMV.bat", 0, true),
                  std::string(buffer, length))
            << std::hex << version;
    }
    length = FormatSelfDeleteBatch(buffer, sizeof buffer, "C:\\SETUP.EXE", "C:\\", "\\DelMV.bat",
                                   nullptr);
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
    ASSERT_TRUE(StartSelfDeleteBatch(batch.c_str(), nullptr, program.c_str(), folder.c_str()));
    ASSERT_TRUE(WaitForBatchToEnd());
    EXPECT_FALSE(bench::FileExists(program));
    EXPECT_TRUE(bench::WaitUntil([&] { return !bench::FolderExists(folder); }, 5000));
}

TEST_F(BatchRunTest, AFolderWithDocumentsStays) {
    Install("Quorin32", {"MYDATA.QRB"});
    ASSERT_TRUE(StartSelfDeleteBatch(batch.c_str(), nullptr, program.c_str(), folder.c_str()));
    ASSERT_TRUE(WaitForBatchToEnd());
    EXPECT_FALSE(bench::FileExists(program));
    EXPECT_EQ(std::vector<std::string>{"MYDATA.QRB"}, bench::ListFolder(folder));
}

TEST_F(BatchRunTest, PercentAmpersandAndTrailBackslashNamesAreTakenLiterally) {
    // Unescaped, "%DelMVTries%" would become "0" and rmdir would take the decoy. The batch
    // itself lies in a folder with "&" in its name, which would split an unquoted command.
    Install("x%DelMVTries%y&ソ表");
    const std::string decoy = root / "x0y&ソ表";
    ASSERT_TRUE(CreateDirectoryA(decoy.c_str(), nullptr));
    const std::string batchFolder = root / "t&mp";
    ASSERT_TRUE(CreateDirectoryA(batchFolder.c_str(), nullptr));
    batch = batchFolder + "\\DelMV.bat";
    ASSERT_TRUE(StartSelfDeleteBatch(batch.c_str(), batchFolder.c_str(), program.c_str(),
                                     folder.c_str()));
    ASSERT_TRUE(WaitForBatchToEnd());
    EXPECT_FALSE(bench::FileExists(program));
    EXPECT_TRUE(bench::WaitUntil([&] { return !bench::FolderExists(folder); }, 5000));
    EXPECT_TRUE(bench::FolderExists(decoy));
    EXPECT_TRUE(bench::WaitUntil([&] { return !bench::FolderExists(batchFolder); }, 5000))
        << "the batch's folder goes with it";
}

TEST_F(BatchRunTest, ExclamationMarksStayLiteralWhereDelayedExpansionIsOn) {
    // Some PCs switch delayed expansion on for every interpreter; "!x!" would then vanish
    // and the batch would delete "pq\SETUP.EXE" and remove "pq". Replayed with the
    // program's own command line, that default put in front of its switches.
    Install("p!x!q");
    const std::string decoy = root / "pq";
    ASSERT_TRUE(CreateDirectoryA(decoy.c_str(), nullptr));
    bench::WriteFileBytes(decoy + "\\SETUP.EXE", "MZ");
    char text[SelfDeleteBatchCapacity];
    const int length = FormatSelfDeleteBatch(text, sizeof text, program.c_str(), folder.c_str(),
                                             batch.c_str(), nullptr);
    bench::WriteFileBytes(batch, std::string(text, length));
    char command[3 * MAX_PATH];
    ASSERT_GT(FormatBatchCommand(command, sizeof command, System32().c_str(), batch.c_str()), 0);
    std::string replay = command;
    const size_t switches = replay.find("cmd.exe\" ") + 9;
    replay.insert(switches, "/V:ON ");
    bench::Process run(replay, System32());
    ASSERT_TRUE(run.started()) << replay;
    ASSERT_TRUE(WaitForBatchToEnd());
    EXPECT_FALSE(bench::FileExists(program));
    EXPECT_TRUE(bench::WaitUntil([&] { return !bench::FolderExists(folder); }, 5000));
    EXPECT_TRUE(bench::FileExists(decoy + "\\SETUP.EXE"));
}

TEST_F(BatchRunTest, WaitsWhileTheProgramFileIsInUseAndRunsNoPlantedPing) {
    // Any account may put a ping.bat into the root of a drive; the batch waits with ping.
    const std::string planted = "C:\\ping.bat";
    const std::string marker = root / "planted-ran";
    bench::WriteFileBytes(planted, "echo ran>\"" + marker + "\"\r\n");
    Install("Quorin32");
    bench::HeldFile held(program);
    ASSERT_TRUE(held.held());
    ASSERT_TRUE(StartSelfDeleteBatch(batch.c_str(), nullptr, program.c_str(), folder.c_str()));
    EXPECT_FALSE(WaitForBatchToEnd(3000)); // still trying
    EXPECT_TRUE(bench::FileExists(program));
    held.Release();
    ASSERT_TRUE(WaitForBatchToEnd());
    DeleteFileA(planted.c_str());
    EXPECT_FALSE(bench::FileExists(program));
    EXPECT_TRUE(bench::WaitUntil([&] { return !bench::FolderExists(folder); }, 5000));
    EXPECT_FALSE(bench::FileExists(marker)) << "the planted ping.bat ran";
}

TEST_F(BatchRunTest, WithoutPingTheBoundedLoopStillWaits) {
    // An NT system without TCP/IP has no ping: the pause fails and takes no time.
    Install("Quorin32");
    bench::HeldFile held(program);
    ASSERT_TRUE(held.held());
    char text[SelfDeleteBatchCapacity];
    const SelfDeleteBatch plan = {program.c_str(), folder.c_str(), batch.c_str(), nullptr,
                                  root.path().c_str(), SelfDeleteTries, false};
    const int length = FormatSelfDeleteBatchText(text, sizeof text, plan);
    bench::WriteFileBytes(batch, std::string(text, length));
    ASSERT_TRUE(StartBatchFile(batch.c_str()));
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
    const std::string system = System32();
    const SelfDeleteBatch plan = {program.c_str(), folder.c_str(), batch.c_str(), nullptr,
                                  system.c_str(), 3, false};
    const int length = FormatSelfDeleteBatchText(text, sizeof text, plan);
    bench::WriteFileBytes(batch, std::string(text, length));
    const DWORD start = GetTickCount();
    ASSERT_TRUE(StartBatchFile(batch.c_str()));
    ASSERT_TRUE(WaitForBatchToEnd(30000));
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 1500u) << "the tries are paused";
    EXPECT_TRUE(bench::FileExists(program));
    EXPECT_TRUE(bench::FolderExists(folder));
}

// Only this account, the administrators and the system may change the batch's folder
// (and, by inheritance, the batch); nothing of the temporary folder's permissions is kept.
// (Wine keeps only what Unix permissions can say of a descriptor, so the descriptor the
// folder is made with is read here, not the folder's.)
TEST_F(BatchRunTest, ThePrivateFolderIsNewAndOnlyOursToChange) {
    char first[MAX_PATH];
    char second[MAX_PATH];
    ASSERT_TRUE(CreatePrivateFolder(root.path().c_str(), first));
    ASSERT_TRUE(CreatePrivateFolder(root.path().c_str(), second));
    EXPECT_NE(std::string(first), std::string(second));
    EXPECT_EQ(0u, std::string(first).find(root.path() + "\\DelMV")) << first;
    EXPECT_TRUE(bench::FolderExists(first));
    // Where the batch ends, taken now so that nobody else can take the name.
    EXPECT_TRUE(bench::FileExists(std::string(first) + ".bat"));

    PrivateFolderSecurity security;
    ASSERT_TRUE(BuildPrivateFolderSecurity(security));
    EXPECT_EQ(&security.descriptor, security.attributes.lpSecurityDescriptor);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(&security.descriptor, &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << std::hex << control;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL acl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(&security.descriptor, &present, &acl, &defaulted));
    ASSERT_TRUE(present && acl != nullptr);
    ASSERT_EQ(3, acl->AceCount);

    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    DWORD user[64];
    DWORD needed = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof user, &needed));
    CloseHandle(token);
    BYTE admins[SECURITY_MAX_SID_SIZE];
    BYTE system[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof admins;
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size));
    size = sizeof system;
    ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size));
    const PSID expected[] = {reinterpret_cast<TOKEN_USER*>(user)->User.Sid, admins, system};
    for (DWORD i = 0; i < 3; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(acl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType) << i;
        EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, ace->Header.AceFlags) << i;
        EXPECT_EQ(static_cast<DWORD>(FILE_ALL_ACCESS), ace->Mask) << i;
        EXPECT_TRUE(EqualSid(&ace->SidStart, expected[i])) << i;
    }
    for (const char* folder : {first, second}) {
        RemoveDirectoryA(folder);
        DeleteFileA((std::string(folder) + ".bat").c_str());
    }
}

} // namespace
