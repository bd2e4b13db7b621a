// Start-up as a whole: SETUP.EXE run as a process under each Windows family. What it
// did is read from outside: its question boxes, the texts of its dialog, the folders
// and files it left.
#include <gtest/gtest.h>

#include "support/WineBench.h"

#include <string>

namespace {

const char* const ProductKeyPath = "SOFTWARE\\Brastelo\\くおりん";
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

TEST_P(StartUpProcess, BothUninstallSwitchesOpenTheUninstallDialogWithoutProbing) {
    const std::string location = "R:\\Program Files\\Quorin32"; // would fall back if probed
    bench::SetRegString(HKEY_CURRENT_USER, ProductKeyPath, "InstallLocation", location);
    for (const char* arguments : {"/r", "/R", "\"/r\""}) {
        bench::Process setup(Command(arguments));
        HWND dialog = StartAndWaitForDialog(setup);
        ASSERT_NE(nullptr, dialog) << "no dialog for " << arguments;
        EXPECT_EQ(RemoveCaption, bench::WindowText(dialog)) << arguments;
        const std::string status = "削除ﾌｫﾙﾀﾞ " + location;
        EXPECT_EQ(status, WaitForControlText(dialog, 1009, status)) << arguments;
    }
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
    }
    {
        // QUORIN32.INI is there now: no question, straight to the wizard.
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
    "4  インストール先のフォルダを作成または書き込みできない",
    "5  ファイルが壊れているか読み込めない",
    "6  プログラムグループを作成できなかった",
    "7  全てのユーザーに共通とする権限がない (何も変更しません)",
    "8  いくつかのファイルが削除できなかった"};

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

struct UnattendedCase {
    const char* family; // the Windows the row meets
    const char* label;
    const char* options; // after /S; "%F" stands for a new folder
    bool damagedArchive; // a SETUP.EXE whose carried archive has a flipped byte
    const char* storedLocation; // InstallLocation of an earlier installation, or null
    DWORD code;
};

const UnattendedCase UnattendedCases[] = {
    {"win10", "an unknown option", "/BOGUS \"/D=%F\"", false, nullptr, 1},
    {"win10", "an empty folder", "/D=", false, nullptr, 1},
    {"win10", "both user choices", "/ALLUSERS /CURRENTUSER \"/D=%F\"", false, nullptr, 1},
    {"win10", "a group name the group page refuses", "/GROUP=a\\b \"/D=%F\"", false, nullptr, 1},
    {"win10", "a folder that cannot be created", "/D=R:\\mm\\new", false, nullptr, 4},
    {"win10", "a folder that cannot be written", "/D=R:\\mm", false, nullptr, 4},
    {"win10", "a damaged archive", "\"/D=%F\"", true, nullptr, 5},
    {"win10", "all users where Program Files cannot be written", "/ALLUSERS \"/D=%F\"", false,
     "R:\\mm\\Quorin32", 7},
    {"nt351", "no Program Manager to make the group", "\"/D=%F\"", false, nullptr, 6},
};

// Each exit code of a run with nobody at the screen, from a real cause. Where the code says
// nothing changed, nothing was written: no folder, no product key.
TEST_P(StartUpProcess, UnattendedRunsEndWithTheCodeOfWhatHappened) {
    bench::TempFolder root("quiet");
    for (const UnattendedCase& c : UnattendedCases) {
        if (std::string(c.family) != GetParam())
            continue;
        SCOPED_TRACE(c.label);
        bench::DeleteRegTree(HKEY_CURRENT_USER, ProductKeyPath);
        if (c.storedLocation != nullptr)
            bench::SetRegString(HKEY_CURRENT_USER, ProductKeyPath, "InstallLocation", c.storedLocation);
        std::string program = bench::SetupExe();
        if (c.damagedArchive) {
            std::string archive = bench::CarriedPayload();
            archive[archive.size() / 2] ^= 0x55;
            program = root / "SETUP.EXE";
            ASSERT_TRUE(bench::WriteSetupCarrying(program, archive));
        }
        const std::string folder = root / "new\\くおりん";
        std::string options = c.options;
        const size_t at = options.find("%F");
        if (at != std::string::npos)
            options.replace(at, 2, folder);
        bench::ExpectUnattendedRun("\"" + program + "\" /S " + options, root.path(), c.code);
        EXPECT_EQ(c.code == 6, bench::FileExists(folder + "\\QUORIN32.EXE"));
        if (c.code != 6) {
            EXPECT_FALSE(bench::FolderExists(root / "new"));
        }
        if (c.code == 1 || c.code == 7) { // nothing changed
            EXPECT_EQ(c.storedLocation != nullptr, bench::RegKeyExists(HKEY_CURRENT_USER, ProductKeyPath));
        }
    }
    bench::DeleteRegTree(HKEY_CURRENT_USER, ProductKeyPath);
}

INSTANTIATE_TEST_SUITE_P(Families, StartUpProcess, ::testing::ValuesIn(Families),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

} // namespace
