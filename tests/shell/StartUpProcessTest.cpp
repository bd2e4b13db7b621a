// Start-up as a whole: SETUP.EXE run as a process under each Windows family. What it
// did is read from outside: its question boxes, the texts of its dialog, the folders
// and files it left.
#include <gtest/gtest.h>

#include "support/HeldFile.h"
#include "support/ShellBench.h"
#include "support/WineBench.h"

#include <memory>
#include <string>

namespace {

const char* const ProductKeyPath = "SOFTWARE\\Brastelo\\くおりん";
const char* const EntryPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\くおりん";
const char* const InstallCaption = "家計簿,出納簿くおりんの導入";
const char* const RemoveCaption = "家計簿,出納簿くおりんの削除";
const char* const Families[] = {"win95", "nt351", "nt40", "winxp", "win10"};

std::string Program() {
    return bench::StubSetupExe();
}

bool IsSetupDialog(HWND window) {
    return bench::ClassName(window) == "#32770" && !bench::IsMessageBox(window) &&
           GetDlgItem(window, 1009) != nullptr;
}

class StartUpProcess : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        bench::CloseWindowsOfClass("QuorinMainFrame");
        ASSERT_TRUE(bench::FileExists(Program())) << Program();
        bench::SetWindowsFamily("SETUP.EXE", GetParam());
    }
    void TearDown() override { bench::SetWindowsFamily("SETUP.EXE", ""); }

    // Starts SETUP.EXE with the arguments and waits for its dialog.
    HWND StartAndWaitForDialog(bench::Process& setup) {
        EXPECT_TRUE(setup.started());
        return bench::WaitForWindow(setup.id(), IsSetupDialog, 20000, setup.handle());
    }
    static std::string Command(const std::string& arguments) {
        return "\"" + Program() + "\"" + (arguments.empty() ? "" : " " + arguments);
    }
    // The dialog may fill its controls just after it shows (a posted command).
    static std::string WaitForControlText(HWND dialog, int id, const std::string& expected) {
        std::string text;
        bench::WaitUntil(
            [&] {
                text = bench::Control(dialog, id).text;
                return text == expected;
            },
            5000);
        return text;
    }

    bench::RegistryKeyGuard key_{HKEY_CURRENT_USER, ProductKeyPath};
};

TEST_P(StartUpProcess, InstallModeShowsTheWizardOnTheStoredLocationAndProbesIt) {
    bench::TempFolder root("run");
    const std::string location = root / "Program Files\\Quorin32";
    bench::SetRegString(HKEY_CURRENT_USER, ProductKeyPath, "InstallLocation", location,
                        REG_EXPAND_SZ);
    for (const char* arguments : {"", "/x", "-r", "r", "/rR"}) {
        bench::Process setup(Command(arguments));
        HWND dialog = StartAndWaitForDialog(setup);
        ASSERT_NE(nullptr, dialog) << "no dialog for arguments [" << arguments << "]";
        EXPECT_EQ(InstallCaption, bench::WindowText(dialog)) << "[" << arguments << "]";
        EXPECT_EQ(location, WaitForControlText(dialog, 1000, location)) << "[" << arguments << "]";
        EXPECT_FALSE(bench::FolderExists(location)) << "the probed folder must be gone";
    }
}

TEST_P(StartUpProcess, WithoutRegistryTheDefaultFolderIsOnTheWindowsDrive) {
    const std::string expected =
        std::string(1, bench::WindowsDirectory()[0]) + ":\\Program Files\\Quorin32";
    bench::Process setup(Command(""));
    HWND dialog = StartAndWaitForDialog(setup);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(expected, WaitForControlText(dialog, 1000, expected));
}

TEST_P(StartUpProcess, AnUnwritableLocationFallsBackToTheRootOfItsDrive) {
    bench::SetRegString(HKEY_CURRENT_USER, ProductKeyPath, "InstallLocation",
                        "R:\\Program Files\\Quorin32");
    bench::Process setup(Command(""));
    HWND dialog = StartAndWaitForDialog(setup);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("R:\\Quorin32", WaitForControlText(dialog, 1000, "R:\\Quorin32"));
}

// The uninstall settles on the stored folder without probing it: an unwritable one, which
// the install would leave for the root of its drive, is named as the folder where nothing
// was found; a folder that holds the application gets the dialog.
TEST_P(StartUpProcess, BothUninstallSwitchesSettleOnTheStoredFolderWithoutProbing) {
    const std::string location = "R:\\Program Files\\Quorin32";
    bench::SetRegString(HKEY_CURRENT_USER, ProductKeyPath, "InstallLocation", location);
    for (const char* arguments : {"/r", "/R", "\"/r\""}) {
        bench::Process setup(Command(arguments));
        HWND box = bench::WaitForMessageBox(setup.id(), 20000, setup.handle());
        ASSERT_NE(nullptr, box) << "nothing said for " << arguments;
        const bench::BoxRecord record = bench::ReadMessageBox(box);
        EXPECT_EQ(RemoveCaption, record.caption);
        EXPECT_EQ(location + "\nのフォルダに「くおりん」が見つかりません。\n何も削除しませんでした。",
                  record.text);
        bench::AnswerMessageBox(box, IDOK);
        EXPECT_EQ(0u, setup.Wait(20000));
    }
    bench::TempFolder root("run");
    bench::WriteFileBytes(root / "QUORIN32.EXE", "MZ");
    bench::SetRegString(HKEY_CURRENT_USER, ProductKeyPath, "InstallLocation", root.path());
    bench::Process setup(Command("/R"));
    HWND dialog = StartAndWaitForDialog(setup);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(RemoveCaption, bench::WindowText(dialog));
    const std::string status = "削除ﾌｫﾙﾀﾞ " + root.path();
    EXPECT_EQ(status, WaitForControlText(dialog, 1009, status));
}

TEST_P(StartUpProcess, TheMigrationQuestionComesOnlyWithLegacySettingsAndYesCopiesThem) {
    bench::TempFolder root("run");
    const std::string location = root / "inst";
    ASSERT_TRUE(CreateDirectoryA(location.c_str(), nullptr));
    bench::SetRegString(HKEY_CURRENT_USER, ProductKeyPath, "InstallLocation", location);
    const std::string legacy = bench::WindowsDirectory() + "\\QUORIN.INI";
    const std::string settings = "[Quorin]\r\nData=C:\\ソ\r\n";
    bench::WriteFileBytes(legacy, settings);

    {
        // The full program, whose install step puts the files (and the settings) in place.
        bench::Process setup("\"" + bench::SetupExe() + "\"");
        ASSERT_TRUE(setup.started());
        HWND box = bench::WaitForMessageBox(setup.id(), 20000, setup.handle());
        ASSERT_NE(nullptr, box) << "no migration question";
        bench::BoxRecord record = bench::ReadMessageBox(box);
        EXPECT_EQ(InstallCaption, record.caption);
        EXPECT_EQ("今までWindows3.1版を利用した可能性があります。\n\n\"環境を引き継ぎますか？\n",
                  record.text);
        // Icons cannot be told apart across processes; the in-process tests check it.
        EXPECT_EQ(static_cast<UINT>(MB_YESNO), record.Style() & ~static_cast<UINT>(MB_ICONMASK));
        EXPECT_NE(0u, record.icon) << "the question has an icon";
        EXPECT_EQ(nullptr, record.owner);
        bench::AnswerMessageBox(box, IDYES);
        HWND dialog = StartAndWaitForDialog(setup);
        ASSERT_NE(nullptr, dialog);
        EXPECT_EQ(location, WaitForControlText(dialog, 1000, location));
        EXPECT_FALSE(bench::FileExists(location + "\\QUORIN32.INI")) << "copied before the install";
        bench::Click(dialog, 1); // the files, and with them the settings
        EXPECT_EQ("ｸﾞﾙｰﾌﾟ名", WaitForControlText(dialog, 1001, "ｸﾞﾙｰﾌﾟ名"));
        EXPECT_EQ(settings, bench::ReadFileBytes(location + "\\QUORIN32.INI"));
        bench::Click(dialog, 2);
        EXPECT_EQ(0u, setup.Wait(20000));
        EXPECT_FALSE(bench::FileExists(location + "\\QUORIN32.INI"))
            << "a cancelled run leaves nothing";
    }
    {
        // QUORIN32.INI is there: no question, straight to the wizard.
        bench::WriteFileBytes(location + "\\QUORIN32.INI", settings);
        bench::Process setup(Command(""));
        HWND dialog = StartAndWaitForDialog(setup);
        ASSERT_NE(nullptr, dialog);
        for (HWND window : bench::TopLevelWindows(setup.id())) {
            EXPECT_FALSE(bench::IsMessageBox(window)) << bench::WindowText(window);
        }
    }
    {
        // Uninstall mode never asks.
        DeleteFileA((location + "\\QUORIN32.INI").c_str());
        bench::WriteFileBytes(location + "\\QUORIN32.EXE", "MZ"); // an installation to remove
        bench::Process setup(Command("/R"));
        HWND dialog = StartAndWaitForDialog(setup);
        ASSERT_NE(nullptr, dialog);
        EXPECT_FALSE(bench::FileExists(location + "\\QUORIN32.INI"));
    }
    DeleteFileA(legacy.c_str());
}

TEST_P(StartUpProcess, ARunningApplicationIsAskedAboutAndCancelEndsTheRun) {
    bench::Process app("\"" + bench::SampleAppDir() + "\\QUORIN32.EXE\"");
    ASSERT_NE(nullptr,
              bench::WaitForWindow(
                  app.id(), [](HWND w) { return bench::ClassName(w) == "QuorinMainFrame"; }, 20000,
                  app.handle()));
    bench::Process setup(Command(""));
    ASSERT_TRUE(setup.started());
    HWND box = bench::WaitForMessageBox(setup.id(), 20000, setup.handle());
    ASSERT_NE(nullptr, box) << "no question while the application runs";
    bench::BoxRecord record = bench::ReadMessageBox(box);
    EXPECT_EQ("くおりん", record.caption);
    EXPECT_EQ(static_cast<UINT>(MB_OKCANCEL | MB_SYSTEMMODAL),
              record.Style() & ~static_cast<UINT>(MB_ICONMASK))
        << std::hex << record.Style();
    EXPECT_NE(0u, record.icon) << "the question has an icon";
    EXPECT_EQ("動作している「くおりん」があるために実行できません。\n\nくおりんを終了させてから継続"
              "しますか？)",
              record.text);
    bench::AnswerMessageBox(box, IDCANCEL);
    EXPECT_EQ(0u, setup.Wait(20000)) << "the run ends with exit code 0";
    EXPECT_TRUE(app.Running()) << "a declined question leaves the application alone";
}

TEST_P(StartUpProcess, ARunningApplicationClosedOnOkLetsTheRunGoOn) {
    bench::Process app("\"" + bench::SampleAppDir() + "\\QUORIN32.EXE\"");
    ASSERT_NE(nullptr,
              bench::WaitForWindow(
                  app.id(), [](HWND w) { return bench::ClassName(w) == "QuorinMainFrame"; }, 20000,
                  app.handle()));
    bench::Process setup(Command(""));
    HWND box = bench::WaitForMessageBox(setup.id(), 20000, setup.handle());
    ASSERT_NE(nullptr, box);
    bench::AnswerMessageBox(box, IDOK);
    EXPECT_EQ(0u, app.Wait(10000));
    EXPECT_NE(nullptr, StartAndWaitForDialog(setup));
}

const char* const UsageLines[] = {
    "使い方: SETUP.EXE [ｵﾌﾟｼｮﾝ...]",
    "削除: SETUP.EXE /r (全てのユーザー) または /R (現在のユーザー) [ｵﾌﾟｼｮﾝ...]",
    "",
    "/S  画面を出さずに実行します。",
    "/D=ﾌｫﾙﾀﾞ  インストール先のフォルダ(ディレクトリ)。最後に置くと行の残りすべて",
    "/GROUP=名前  プログラムグループ名",
    "/ALLUSERS  全てのユーザーに共通とする",
    "/CURRENTUSER  現在のユーザーだけにインストールする",
    "/LAUNCH  /S のとき、インストール後にソフトを起動する",
    "/LOG=ﾌｧｲﾙ  実行の記録をファイルに書き込む",
    "/CLOSEAPP  /S のとき、動作している「くおりん」を終了させる",
    "/?, /HELP  この説明を表示する",
    "",
    "終了コード (/S のとき。画面のあるときは常に 0):",
    "0  完了",
    "1  不明なオプションまたは誤った値 (何も変更しません)",
    "3  「くおりん」が動作している (何も変更しません)",
    "4  インストール先のフォルダを作成または書き込みできない (元のまま)",
    "5  ファイルが壊れているか読み込めない (元のまま)",
    "6  プログラムグループ、ショートカット、ファイルの関連付けまたはアンインストール情報を作成できなかった",
    "7  全てのユーザーに共通とする権限がない (何も変更しません)",
    "8  いくつかのファイルが削除できなかった",
    "9  削除するソフトが見つからない (何も変更しません)"};

// /? or /HELP in any case as the first argument: the options and exit codes in a box, and
// the run ends with 0, installing nothing; with /S, in the log only.
TEST_P(StartUpProcess, HelpShowsTheOptionsAndExitCodesAndInstallsNothing) {
    std::string usage;
    for (const char* line : UsageLines)
        usage += std::string(usage.empty() ? "" : "\n") + line;
    bench::TempFolder root("help");
    for (const char* arguments : {"/?", "/help", "/Help \"/D=%F\""}) {
        std::string line = arguments;
        if (line.find("%F") != std::string::npos)
            line.replace(line.find("%F"), 2, root / "new");
        bench::Process setup(Command(line));
        HWND box = bench::WaitForMessageBox(setup.id(), 20000, setup.handle());
        ASSERT_NE(nullptr, box) << arguments;
        const bench::BoxRecord record = bench::ReadMessageBox(box);
        EXPECT_EQ(usage, record.text);
        EXPECT_EQ(InstallCaption, record.caption);
        EXPECT_EQ(static_cast<UINT>(MB_OK), record.Style() & ~static_cast<UINT>(MB_ICONMASK));
        EXPECT_NE(0u, record.icon);
        bench::AnswerMessageBox(box, IDOK);
        EXPECT_EQ(0u, setup.Wait(20000)) << arguments;
    }
    std::string log = bench::ExpectUnattendedRun(Command("/? /S"), root.path(), 0);
    for (const char* line : UsageLines) {
        const size_t at = *line ? log.find(std::string(" ") + line + "\r\n") : 0;
        EXPECT_NE(std::string::npos, at) << line;
        log.erase(0, at);
    }
    EXPECT_FALSE(bench::FolderExists(root / "new"));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, ProductKeyPath));
}

// What stands in the way of a reinstall over an earlier installation, or of any install.
enum Fault { NoFault, HeldFile, EntriesRunOut, TooLittleRoom };

struct UnattendedCase {
    const char* family; // the Windows the row meets
    const char* label;
    const char* options; // after /S; "%F" the folder, "%G" and "%U" group names (below)
    int damagedByte;     // 0 a sound archive; 1 a byte in the middle, -1 of the last member
    const char* storedLocation; // InstallLocation of an earlier installation, or null
    DWORD code;
    bool earlier = false; // an earlier installation of other content in the folder
    Fault fault = NoFault;
    bool smallDrive = false;          // the folder is on S:, a small drive of its own
    const char* storedMode = nullptr; // CommonMode of an earlier installation, or null
    bool machineEntryLocked = false;  // the entry for all users exists and may not be written
    const char* logLine = nullptr;    // a line the log must hold
};

// What the log says of the token: Wine gives every process an administrator's full token,
// and only the systems from Vista on are asked.
std::string ElevationLine(const std::string& family) {
    return family == "win10" ? "elevation: elevated (an administrator's full token)"
                             : "elevation: none on this system";
}

const UnattendedCase UnattendedCases[] = {
    {"win10", "an unknown option", "/BOGUS \"/D=%F\"", 0, nullptr, 1},
    {"win10", "an empty folder", "/D=", 0, nullptr, 1},
    {"win10", "both user choices", "/ALLUSERS /CURRENTUSER \"/D=%F\"", 0, nullptr, 1},
    {"win10", "a group name the group page refuses", "/GROUP=a\\b \"/D=%F\"", 0, nullptr, 1},
    {"win10", "a group a byte too long for the user's Programs folder",
     "/CURRENTUSER \"/GROUP=%G\" \"/D=%F\"", 0, nullptr, 1},
    {"win10", "a folder that cannot be created", "/D=R:\\mm\\new", 0, nullptr, 4},
    {"win10", "a folder that cannot be written", "/D=R:\\mm", 0, nullptr, 4},
    {"win10", "a damaged archive", "\"/D=%F\"", 1, nullptr, 5},
    {"win10", "all users where Program Files cannot be written", "/ALLUSERS \"/D=%F\"", 0,
     "R:\\mm\\Quorin32", 7},
    // An account that cannot write the machine's entry, with an all-users choice stored by
    // an earlier installation: refused before anything is written.
    {"win10", "all users by the stored choice, the machine's entry locked", "\"/D=%F\"", 0,
     nullptr, 7, false, NoFault, false, "1", true,
     "error: an installation for all users (the choice start-up settled)"},
    // Installed: 182 bytes, but 272 as the UTF-8 of a Linux file name.
    {"win10", "a group the file system cannot make", "/ALLUSERS \"/GROUP=%U\" \"/D=%F\"", 0,
     nullptr, 6},
    {"nt351", "no Program Manager to make the group", "\"/D=%F\"", 0, nullptr, 6},
    {"winxp", "all users by the stored choice, the machine's entry locked", "\"/D=%F\"", 0,
     nullptr, 7, false, NoFault, false, "1", true, "cannot be written (system error 5)"},
    {"win10", "too little room on the drive", "\"/D=%F\"", 0, nullptr, 4, false, TooLittleRoom,
     true},
    {"win10", "a reinstall: a file of the earlier one held open", "\"/D=%F\"", 0, nullptr, 4, true,
     HeldFile},
    {"win10", "a reinstall: the drive fills up half-way (its entries run out)", "\"/D=%F\"", 0,
     nullptr, 4, true, EntriesRunOut, true},
    {"win10", "a reinstall: the last member damaged", "\"/D=%F\"", -1, nullptr, 5, true},
};

// Each exit code of a run with nobody at the screen, from a real cause. Where the code says
// nothing changed, nothing was written: no folder, no product key. A failed reinstall leaves
// the earlier installation's nine files byte for byte, no temporary file and the product key
// as they were.
TEST_P(StartUpProcess, UnattendedRunsEndWithTheCodeOfWhatHappened) {
    bench::TempFolder root("quiet");
    for (const UnattendedCase& c : UnattendedCases) {
        if (std::string(c.family) != GetParam())
            continue;
        SCOPED_TRACE(c.label);
        bench::DeleteRegTree(HKEY_CURRENT_USER, ProductKeyPath);
        if (c.storedLocation != nullptr)
            bench::SetRegString(HKEY_CURRENT_USER, ProductKeyPath, "InstallLocation",
                                c.storedLocation);
        if (c.storedMode != nullptr)
            bench::SetRegString(HKEY_CURRENT_USER, ProductKeyPath, "CommonMode", c.storedMode);
        std::unique_ptr<bench::LockedRegistryKey> locked;
        if (c.machineEntryLocked) {
            locked.reset(new bench::LockedRegistryKey(HKEY_LOCAL_MACHINE, EntryPath));
            ASSERT_TRUE(locked->locked());
        }
        std::string program = bench::SetupExe();
        if (c.damagedByte != 0) {
            std::string archive = bench::CarriedPayload();
            archive[c.damagedByte > 0 ? archive.size() / 2 : archive.size() - 12] ^= 0x55;
            program = root / "SETUP.EXE";
            ASSERT_TRUE(bench::WriteSetupCarrying(program, archive));
        }
        bench::SmallDrive drive;
        ASSERT_TRUE(!c.smallDrive || drive.ready())
            << "S: must be a small drive (tools/wine-prefix)";
        const std::string parent = c.smallDrive ? "S:\\new" : root / "new";
        const std::string folder = parent + "\\くおりん";
        if (c.earlier) {
            CreateDirectoryA(parent.c_str(), nullptr);
            CreateDirectoryA(folder.c_str(), nullptr);
            bench::WriteStandInFiles(folder);
            bench::SetRegString(HKEY_CURRENT_USER, ProductKeyPath, "InstallLocation", folder);
        }
        std::unique_ptr<bench::HeldFile> held;
        if (c.fault == HeldFile)
            held.reset(new bench::HeldFile(folder + "\\TIPS.TXT"));
        ASSERT_TRUE(c.fault != EntriesRunOut || drive.LeaveEntries(4));
        ASSERT_TRUE(c.fault != TooLittleRoom || drive.FillUpTo(64 * 1024));
        // One byte more than "<Programs>\\<group>\\ホームページ.lnk" in 259 bytes.
        const std::string programs = bench::ShellFoldersValue(false, "Programs");
        const std::string tooLong = "くおりん ソ" + std::string(259 - programs.size() - 2 - 16 - 10, 'x');
        std::string unstorable = "くおりん ";
        for (int i = 0; i < 86; ++i)
            unstorable += "ソ";
        std::string options = c.options;
        for (const auto& [mark, text] : {std::pair<const char*, std::string>{"%F", folder},
                                         {"%G", tooLong}, {"%U", unstorable + "x"}}) {
            const size_t at = options.find(mark);
            if (at != std::string::npos)
                options.replace(at, 2, text);
        }
        const std::string log =
            bench::ExpectUnattendedRun("\"" + program + "\" /S " + options, root.path(), c.code);
        held.reset();
        EXPECT_NE(log.find(ElevationLine(c.family)), std::string::npos) << log;
        if (c.logLine != nullptr) {
            EXPECT_NE(log.find(c.logLine), std::string::npos) << log;
        }
        if (c.earlier) {
            EXPECT_EQ(9u, bench::ListFolder(folder).size()) << "a temporary file is left";
            for (const char* name : bench::kInstallFileNames)
                EXPECT_EQ(bench::StandInContent(name), bench::ReadFileBytes(folder + "\\" + name));
            EXPECT_EQ(
                folder + std::string(1, '\0'),
                bench::ReadRegValue(HKEY_CURRENT_USER, ProductKeyPath, "InstallLocation").data);
            bench::RemoveTree(parent);
            continue;
        }
        EXPECT_EQ(c.code == 6, bench::FileExists(folder + "\\QUORIN32.EXE"));
        if (c.code == 6) {
            bench::RemoveTree(parent); // installed: the rows after it need the folder gone
            continue;
        }
        EXPECT_FALSE(bench::FolderExists(parent));
        // Nothing changed: the product key as it was.
        EXPECT_EQ(c.storedLocation || c.storedMode,
                  bench::RegKeyExists(HKEY_CURRENT_USER, ProductKeyPath));
        EXPECT_EQ(bench::ReadRegValue(HKEY_CURRENT_USER, ProductKeyPath, "InstallLocation").exists,
                  c.storedLocation != nullptr);
        if (c.fault == TooLittleRoom) {
            EXPECT_NE(std::string::npos, log.find(" 空き容量: 64 KB ")) << log;
        }
    }
    bench::DeleteRegTree(HKEY_CURRENT_USER, ProductKeyPath);
    bench::DeleteRegTree(HKEY_LOCAL_MACHINE, EntryPath);
    bench::DeleteRegTree(HKEY_CLASSES_ROOT, ".QRB");
    bench::DeleteRegTree(HKEY_CLASSES_ROOT, "QuorinPG.Document");
    DeleteFileA((bench::ShellFoldersValue(true, "Common Desktop") + "\\くおりん.lnk").c_str());
}

INSTANTIATE_TEST_SUITE_P(Families, StartUpProcess, ::testing::ValuesIn(Families),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

} // namespace
