// The installed SETUP.EXE started as its uninstall entry starts it ("<dir>\setup.exe /r"),
// driven as a separate process, until its batch has deleted the program, the folder
// and itself.
#include <gtest/gtest.h>

#include "support/WineBench.h"
#include "shell/SetupState.h"

#include <algorithm>
#include <mutex>
#include <string.h>
#include <string>
#include <thread>
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

// The names of the files created in a folder while the watch runs: the batch is
// written and deletes itself in between two looks at the folder.
class CreatedFiles {
public:
    explicit CreatedFiles(const std::string& folder)
        : stopName_("watch-end-" + std::to_string(GetCurrentProcessId())), stopPath_(folder + stopName_),
          folder_(CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)),
          watch_([this] { Watch(); }) {}
    ~CreatedFiles() { Stop(); }
    std::vector<std::string> Stop() {
        if (watch_.joinable()) {
            // A file of our own ends the watch: it is the last change the watch sees.
            bench::WriteFileBytes(stopPath_, "");
            watch_.join();
            DeleteFileA(stopPath_.c_str());
            CloseHandle(folder_);
        }
        std::lock_guard<std::mutex> lock(mutex_);
        return names_;
    }

private:
    void Watch() {
        DWORD buffer[4096];
        DWORD got = 0;
        bool stopped = false;
        while (!stopped && ReadDirectoryChangesW(folder_, buffer, sizeof buffer, FALSE, FILE_NOTIFY_CHANGE_FILE_NAME,
                                     &got, nullptr, nullptr) &&
               got != 0) {
            const char* record = reinterpret_cast<const char*>(buffer);
            for (;;) {
                const FILE_NOTIFY_INFORMATION* change = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(record);
                if (change->Action == FILE_ACTION_ADDED) {
                    char name[MAX_PATH] = "";
                    WideCharToMultiByte(CP_ACP, 0, change->FileName,
                                        static_cast<int>(change->FileNameLength / sizeof(WCHAR)), name,
                                        sizeof name - 1, nullptr, nullptr);
                    stopped = stopped || stopName_ == name;
                    std::lock_guard<std::mutex> lock(mutex_);
                    names_.push_back(name);
                }
                if (change->NextEntryOffset == 0)
                    break;
                record += change->NextEntryOffset;
            }
        }
    }

    const std::string stopName_;
    const std::string stopPath_;
    HANDLE folder_;
    std::mutex mutex_;
    std::vector<std::string> names_;
    std::thread watch_;
};

class EndToEndUninstallTest : public testing::Test {
protected:
    void SetUp() override { DeleteFileA(BatchPath); }

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
    void RunUninstall(const std::string& commandLine, bool escapeAtTheEnd = false,
                      const std::string& currentDir = "") {
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
        if (escapeAtTheEnd) {
            bench::Command(dialog, 2);
        } else {
            bench::Click(dialog, 1);
        }
        ASSERT_EQ(0u, setup.Wait(Patience));
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
};

TEST_F(EndToEndUninstallTest, AllUsersUninstallLeavesNothingOfAnOddlyNamedFolder) {
    ASSERT_NO_FATAL_FAILURE(Install("くおりん%PATH%&ソ表"));
    ASSERT_NO_FATAL_FAILURE(RunUninstall(folder + "\\setup.exe /r"));
    EXPECT_EQ(LoadText(7), outcome);
    EXPECT_TRUE(Gone(program));
    EXPECT_TRUE(Gone(folder)) << "left: " << bench::ListFolder(folder).size() << " entries";
    EXPECT_TRUE(Gone(BatchPath));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_LOCAL_MACHINE, EntryPath));
    EXPECT_TRUE(bench::RegKeyExists(HKEY_CURRENT_USER, EntryPath));
    EXPECT_TRUE(bench::ReadRegValue(HKEY_CURRENT_USER, ProductPath, "InstallLocation").exists);
}

TEST_F(EndToEndUninstallTest, CurrentUserUninstallKeepsAFolderWithDocuments) {
    ASSERT_NO_FATAL_FAILURE(Install("Quorin32"));
    bench::WriteFileBytes(folder + "\\MYDATA.QRB", "家計");
    ASSERT_NO_FATAL_FAILURE(RunUninstall(folder + "\\setup.exe /R"));
    EXPECT_EQ(LoadText(7), outcome);
    EXPECT_TRUE(Gone(program));
    EXPECT_TRUE(Gone(BatchPath));
    EXPECT_EQ(std::vector<std::string>{"MYDATA.QRB"}, bench::ListFolder(folder));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, EntryPath));
    EXPECT_TRUE(bench::RegKeyExists(HKEY_LOCAL_MACHINE, EntryPath));
}

TEST_F(EndToEndUninstallTest, TheRunningProgramIsSkippedAndEscapeLeavesTheRest) {
    // "$ETUP.EXE" is a name of the rule; the recorded folder differs from the started
    // path in the case of its letters only.
    ASSERT_NO_FATAL_FAILURE(Install("skip", "$ETUP.EXE"));
    bench::SetRegString(HKEY_CURRENT_USER, ProductPath, "InstallLocation", Upper(folder),
                        REG_EXPAND_SZ);
    ASSERT_NO_FATAL_FAILURE(RunUninstall(folder + "\\$etup.exe /r", true));
    EXPECT_EQ(LoadText(7), outcome); // nothing was given up
    EXPECT_EQ(std::vector<std::string>{"$ETUP.EXE"}, bench::ListFolder(folder));
    // Escape: no clean-up and no batch.
    EXPECT_TRUE(bench::RegKeyExists(HKEY_LOCAL_MACHINE, EntryPath));
    EXPECT_FALSE(bench::FileExists(BatchPath));
}

// Started with its current folder on a drive whose root cannot be written, the program
// writes the batch into the user's temporary folder, and the batch still does its work.
TEST_F(EndToEndUninstallTest, ARootThatCannotBeWrittenSendsTheBatchToTheTemporaryFolder) {
    ASSERT_NO_FATAL_FAILURE(Install("Quorin32"));
    const std::string tempBatch = TempFolderPath() + "DelMV.bat";
    DeleteFileA(tempBatch.c_str());
    CreatedFiles created(TempFolderPath());
    ASSERT_NO_FATAL_FAILURE(RunUninstall(folder + "\\setup.exe /R", false, bench::ReadOnlyDrive() + "\\mm"));
    EXPECT_TRUE(Gone(program));
    EXPECT_TRUE(Gone(folder)) << "left: " << bench::ListFolder(folder).size() << " entries";
    EXPECT_TRUE(Gone(tempBatch)) << "the batch did not delete itself";
    const std::vector<std::string> names = created.Stop();
    EXPECT_NE(std::find(names.begin(), names.end(), "DelMV.bat"), names.end())
        << "no DelMV.bat was written in " << TempFolderPath();
    EXPECT_FALSE(bench::FileExists(bench::ReadOnlyDrive() + "\\DelMV.bat"));
    EXPECT_FALSE(bench::FileExists(BatchPath));
}

} // namespace
