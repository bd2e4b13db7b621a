// The start-up steps in-process, built once per Windows family (BENCH_FAMILY): mode
// selection, the setup state, the stored location, the folder probe with its fall
// back, the 9x rule and the Windows 3.1 settings migration.
#include <gtest/gtest.h>

#include "shell/Helpers.h"
#include "shell/SetupState.h"
#include "shell/StartUp.h"
#include "support/SettledMessageBoxHook.h"
#include "support/WineBench.h"

#include <string.h>

#include <string>

#ifndef BENCH_FAMILY
#error "built once per family: BENCH_FAMILY names it"
#endif

namespace {

// Test names by position: the values themselves hold backslashes and CP932 bytes.
const auto CaseName = [](const auto& info) { return "Case" + std::to_string(info.index); };

struct Family {
    const char* name;
    bool nt;
    unsigned major;
};
// Windows 10 reports 10.0 to a program whose manifest names it as supported (ours does).
const Family Families[] = {{"win95", false, 4}, {"win98", false, 4}, {"nt351", true, 3},
                           {"nt40", true, 4},   {"win2k", true, 5},  {"winxp", true, 5},
                           {"win10", true, 10}};

const Family& ThisFamily() {
    for (const Family& family : Families) {
        if (strcmp(family.name, BENCH_FAMILY) == 0)
            return family;
    }
    static const Family unknown = {"?", true, 0};
    return unknown;
}

const char* const ProductKeyPath = "SOFTWARE\\Brastelo\\くおりん";
// A drive letter that the bench links to a read-only kernel folder (/sys/kernel).
const char* const ReadOnlyDrive = "R:";

// Each test starts from the initial setup state and restores the real folders.
class StartUpSteps : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetSetupState();
        ForgetSettingsMigration(); // drop anything a test left pending
    }
    void TearDown() override {
        ResetSetupState();
        ReadSetupFolders();
    }
};

TEST_F(StartUpSteps, TheFamilyIsTheOneThisProgramWasBuiltFor) {
    const Family& family = ThisFamily();
    ASSERT_NE(0u, family.major) << BENCH_FAMILY;
    EXPECT_EQ(family.nt, IsNtFamily()) << std::hex << OsVersion;
    EXPECT_EQ(family.major, MajorVersion()) << std::hex << OsVersion;
}

TEST_F(StartUpSteps, NewShellFromVersion4On) {
    SetShellKind();
    EXPECT_EQ(ThisFamily().major >= 4 ? 1 : 0, NewShell);
}

struct ModeCase {
    const char* argument;
    SetupMode mode;
};

class ModeCases : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ModeCases, OnlyExactSwitchesUninstall) {
    EXPECT_EQ(GetParam().mode, ModeFromArgument(GetParam().argument))
        << (GetParam().argument ? GetParam().argument : "(none)");
}

INSTANTIATE_TEST_SUITE_P(
    Table, ModeCases,
    ::testing::Values(ModeCase{nullptr, InstallMode}, ModeCase{"", InstallMode},
                      ModeCase{"/r", UninstallAllUsersMode},
                      ModeCase{"/R", UninstallCurrentUserMode}, ModeCase{"/x", InstallMode},
                      ModeCase{"-r", InstallMode}, ModeCase{"r", InstallMode},
                      ModeCase{"/r ", InstallMode}, ModeCase{"/rr", InstallMode},
                      ModeCase{"//r", InstallMode}, ModeCase{"\\r", InstallMode}),
    CaseName);

TEST_F(StartUpSteps, SetupDirIsTheProgramsFolderWithoutSeparator) {
    ReadSetupFolders();
    char module[MAX_PATH];
    GetModuleFileNameA(nullptr, module, sizeof module);
    std::string expected(module);
    expected.erase(expected.rfind('\\'));
    EXPECT_EQ(expected, std::string(SetupDir));
    EXPECT_EQ(bench::WindowsDirectory(), std::string(WindowsDir));
}

struct DefaultCase {
    const char* windowsDir;
    const char* expected;
};

class DefaultFolderCases : public StartUpSteps,
                           public ::testing::WithParamInterface<DefaultCase> {};

TEST_P(DefaultFolderCases, FollowsTheDriveOfTheWindowsDirectory) {
    CopyText(WindowsDir, sizeof WindowsDir, GetParam().windowsDir);
    char folder[PathCapacity];
    memset(folder, 'Z', sizeof folder);
    BuildDefaultFolder(folder);
    EXPECT_EQ(std::string(GetParam().expected), std::string(folder)) << GetParam().windowsDir;
}

INSTANTIATE_TEST_SUITE_P(
    Table, DefaultFolderCases,
    ::testing::Values(DefaultCase{"C:\\WINDOWS", "C:\\Program Files\\Quorin32"},
                      DefaultCase{"D:\\WINNT", "D:\\Program Files\\Quorin32"},
                      DefaultCase{"e:\\win", "e:\\Program Files\\Quorin32"},
                      DefaultCase{"\\\\server\\windows", "C:\\Program Files\\Quorin32"},
                      DefaultCase{"", "C:\\Program Files\\Quorin32"}),
    CaseName);

TEST_F(StartUpSteps, DefaultFolderOfThisSystem) {
    ReadSetupFolders();
    char folder[PathCapacity];
    BuildDefaultFolder(folder);
    EXPECT_EQ(std::string(1, bench::WindowsDirectory()[0]) + ":\\Program Files\\Quorin32",
              std::string(folder));
}

// ---- The stored location and CommonMode ----------------------------------------------

struct StoredValue {
    const char* text; // null: no value
    DWORD type;
};

struct StoredCase {
    const char* label;
    bool keyExists;
    StoredValue location;
    StoredValue commonMode;
    const char* expectedCandidate; // null: the default folder
    int expectedCommonMode;
};

class StoredLocationCases : public StartUpSteps, public ::testing::WithParamInterface<StoredCase> {
  protected:
    bench::RegistryKeyGuard key_{HKEY_CURRENT_USER, ProductKeyPath};
};

void Store(const char* name, const StoredValue& value) {
    if (value.text == nullptr)
        return;
    if (value.type == REG_DWORD) {
        bench::SetRegDword(HKEY_CURRENT_USER, ProductKeyPath, name,
                           static_cast<DWORD>(atoi(value.text)));
    } else {
        bench::SetRegString(HKEY_CURRENT_USER, ProductKeyPath, name, value.text, value.type);
    }
}

TEST_P(StoredLocationCases, ReadsTheLastInstallation) {
    const StoredCase& c = GetParam();
    if (c.keyExists) {
        bench::SetRegString(HKEY_CURRENT_USER, ProductKeyPath, "Other", "x");
        Store("InstallLocation", c.location);
        Store("CommonMode", c.commonMode);
    }
    CommonMode = 7; // neither outcome
    char candidate[PathCapacity];
    ReadStoredLocation("C:\\Program Files\\Quorin32", candidate);
    EXPECT_EQ(std::string(ProductKeyPath), std::string(ProductKey));
    EXPECT_EQ(
        std::string(c.expectedCandidate ? c.expectedCandidate : "C:\\Program Files\\Quorin32"),
        std::string(candidate))
        << c.label;
    EXPECT_EQ(c.expectedCommonMode, CommonMode) << c.label;
}

const std::string LongLocation = "C:\\" + std::string(300, 'x');

INSTANTIATE_TEST_SUITE_P(
    Table, StoredLocationCases,
    ::testing::Values(
        StoredCase{"no key", false, {}, {}, nullptr, 1},
        StoredCase{"key without values", true, {}, {}, nullptr, 1},
        StoredCase{"location and 0",
                   true,
                   {"E:\\家計簿", REG_EXPAND_SZ},
                   {"0", REG_EXPAND_SZ},
                   "E:\\家計簿",
                   0},
        StoredCase{"0 as plain text", true, {"E:\\App", REG_SZ}, {"0", REG_SZ}, "E:\\App", 0},
        StoredCase{"1", true, {"E:\\App", REG_SZ}, {"1", REG_SZ}, "E:\\App", 1},
        StoredCase{"empty CommonMode", true, {"E:\\App", REG_SZ}, {"", REG_SZ}, "E:\\App", 1},
        StoredCase{"00", true, {"E:\\App", REG_SZ}, {"00", REG_SZ}, "E:\\App", 1},
        StoredCase{"blank and 0", true, {"E:\\App", REG_SZ}, {" 0", REG_SZ}, "E:\\App", 1},
        StoredCase{"number 0", true, {"E:\\App", REG_SZ}, {"0", REG_DWORD}, "E:\\App", 1},
        StoredCase{"empty location", true, {"", REG_SZ}, {"0", REG_SZ}, nullptr, 0},
        StoredCase{"number as location", true, {"5", REG_DWORD}, {}, nullptr, 1},
        StoredCase{"location too long", true, {LongLocation.c_str(), REG_SZ}, {}, nullptr, 1}),
    CaseName);

// ---- The folder probe --------------------------------------------------------------------

class FolderProbe : public StartUpSteps {
  protected:
    void SetUp() override {
        StartUpSteps::SetUp();
        CopyText(WindowsDir, sizeof WindowsDir, "C:\\windows");
    }
    static std::string Probe(const std::string& location) {
        char candidate[PathCapacity];
        CopyText(candidate, sizeof candidate, location.c_str());
        ProbeInstallFolder(candidate);
        return candidate;
    }
};

TEST_F(FolderProbe, AMissingLocationIsKeptAndGoneAgainAfterTheProbe) {
    bench::TempFolder root("probe");
    const std::string location = root / "Program Files\\Quorin32";
    EXPECT_EQ(location, Probe(location));
    EXPECT_EQ(1, CommonAllowed);
    EXPECT_EQ(1, CommonMode);
    EXPECT_FALSE(bench::FolderExists(location)) << "the probe must not leave the folder";
    EXPECT_TRUE(bench::FolderExists(root / "Program Files")) << "parents made on the way stay";
}

TEST_F(FolderProbe, AnExistingWritableFolderIsKeptWithoutTrace) {
    bench::TempFolder root("probe");
    const std::string location = root / "くおりん表";
    ASSERT_TRUE(CreateDirectoryA(location.c_str(), nullptr));
    bench::WriteFileBytes(location + "\\QUORIN32.EXE", "MZ");
    CommonMode = 0;
    EXPECT_EQ(location, Probe(location));
    EXPECT_EQ(1, CommonAllowed);
    EXPECT_EQ(0, CommonMode) << "the probe leaves CommonMode as read";
    EXPECT_EQ(std::vector<std::string>{"QUORIN32.EXE"}, bench::ListFolder(location))
        << "no ~check may stay";
}

TEST_F(FolderProbe, AnExistingFolderWithATrailingSeparatorIsKept) {
    bench::TempFolder root("probe");
    const std::string location = root.path() + "\\";
    EXPECT_EQ(location, Probe(location));
    EXPECT_EQ(1, CommonAllowed);
    EXPECT_TRUE(bench::ListFolder(root.path()).empty());
}

class ReadOnlyProbe : public FolderProbe {
  protected:
    void SetUp() override {
        FolderProbe::SetUp();
        // The bench prefix links R: to /sys/kernel, where even root cannot create folders.
        ASSERT_TRUE(bench::FolderExists("R:\\mm"))
            << "R: must be linked to /sys/kernel in the Wine prefix";
        ASSERT_FALSE(CreateDirectoryA("R:\\writable", nullptr)) << "R: is writable";
    }
};

TEST_F(ReadOnlyProbe, AnExistingFolderWithoutWriteAccessFallsBack) {
    EXPECT_EQ("R:\\Quorin32", Probe("R:\\mm"));
    EXPECT_EQ(0, CommonAllowed);
    EXPECT_EQ(0, CommonMode);
}

TEST_F(ReadOnlyProbe, ALocationThatCannotBeCreatedFallsBackOnItsDrive) {
    EXPECT_EQ("R:\\Quorin32", Probe("R:\\Program Files\\Quorin32"));
    EXPECT_EQ(0, CommonAllowed);
    EXPECT_EQ(0, CommonMode);
}

TEST_F(ReadOnlyProbe, TheDriveLetterIsTakenAsWritten) {
    EXPECT_EQ("r:\\Quorin32", Probe("r:\\Program Files\\Quorin32"));
}

TEST_F(FolderProbe, ANetworkLocationFallsBackOnTheWindowsDrive) {
    CopyText(WindowsDir, sizeof WindowsDir, "D:\\WINNT");
    EXPECT_EQ("D:\\Quorin32", Probe("\\\\nosuchserver\\share\\Quorin32"));
    EXPECT_EQ(0, CommonAllowed);
    EXPECT_EQ(0, CommonMode);
}

struct FallbackCase {
    const char* candidate;
    const char* windowsDir;
    const char* expected;
};

class FallbackCases : public StartUpSteps, public ::testing::WithParamInterface<FallbackCase> {};

TEST_P(FallbackCases, QuorinAtTheRootOfTheDrive) {
    CopyText(WindowsDir, sizeof WindowsDir, GetParam().windowsDir);
    char folder[PathCapacity];
    BuildFallbackFolder(GetParam().candidate, folder);
    EXPECT_EQ(std::string(GetParam().expected), std::string(folder)) << GetParam().candidate;
}

INSTANTIATE_TEST_SUITE_P(
    Table, FallbackCases,
    ::testing::Values(FallbackCase{"D:\\Program Files\\Quorin32", "C:\\WINDOWS", "D:\\Quorin32"},
                      FallbackCase{"d:\\x", "C:\\WINDOWS", "d:\\Quorin32"},
                      FallbackCase{"\\\\server\\share\\x", "E:\\WINDOWS", "E:\\Quorin32"},
                      FallbackCase{"\\\\server\\share\\x", "\\\\server\\win", "C:\\Quorin32"},
                      FallbackCase{"relative\\x", "F:\\W", "F:\\Quorin32"},
                      FallbackCase{"ソ:\\x", "G:\\W", "G:\\Quorin32"},
                      FallbackCase{"", "H:\\W", "H:\\Quorin32"}),
    CaseName);

// ---- The 9x rule and the whole state ---------------------------------------------------

TEST_F(StartUpSteps, The9xRuleTurnsTheAllUsersChoiceOff) {
    CommonMode = 1;
    CommonAllowed = 1;
    ApplyFamilyRule();
    const int expected = ThisFamily().nt ? 1 : 0;
    EXPECT_EQ(expected, CommonMode);
    EXPECT_EQ(expected, CommonAllowed);
}

class PreparedState : public StartUpSteps {
  protected:
    bench::RegistryKeyGuard key_{HKEY_CURRENT_USER, ProductKeyPath};
};

TEST_F(PreparedState, InstallModeProbesAndAppliesTheFamilyRule) {
    bench::TempFolder root("state");
    const std::string location = root / "inst";
    bench::SetRegString(HKEY_CURRENT_USER, ProductKeyPath, "InstallLocation", location,
                        REG_EXPAND_SZ);
    bench::SetRegString(HKEY_CURRENT_USER, ProductKeyPath, "CommonMode", "1", REG_EXPAND_SZ);
    PrepareSetupState(InstallMode);
    EXPECT_EQ(location, std::string(InstallDir));
    EXPECT_FALSE(bench::FolderExists(location));
    const int expected = ThisFamily().nt ? 1 : 0;
    EXPECT_EQ(expected, CommonMode);
    EXPECT_EQ(expected, CommonAllowed);
}

TEST_F(PreparedState, InstallModeWithoutRegistryTakesTheDefaultFolder) {
    PrepareSetupState(InstallMode);
    const std::string windows = bench::WindowsDirectory();
    EXPECT_EQ(std::string(1, windows[0]) + ":\\Program Files\\Quorin32", std::string(InstallDir));
}

TEST_F(PreparedState, UninstallSwitchesGiveCommonModeOnEveryFamily) {
    // An unwritable location: uninstall mode must not probe it or fall back.
    bench::SetRegString(HKEY_CURRENT_USER, ProductKeyPath, "InstallLocation",
                        "R:\\Program Files\\Quorin32");
    bench::SetRegString(HKEY_CURRENT_USER, ProductKeyPath, "CommonMode", "0");
    PrepareSetupState(UninstallAllUsersMode);
    EXPECT_EQ(1, CommonMode) << "\"/r\" is all users, also on 9x";
    EXPECT_EQ("R:\\Program Files\\Quorin32", std::string(InstallDir));
    EXPECT_EQ(ThisFamily().nt ? 1 : 0, CommonAllowed);

    ResetSetupState();
    bench::SetRegString(HKEY_CURRENT_USER, ProductKeyPath, "CommonMode", "1");
    PrepareSetupState(UninstallCurrentUserMode);
    EXPECT_EQ(0, CommonMode);
    EXPECT_EQ("R:\\Program Files\\Quorin32", std::string(InstallDir));
}

TEST_F(PreparedState, UninstallModeCreatesNoFolder) {
    bench::TempFolder root("state");
    const std::string location = root / "gone";
    bench::SetRegString(HKEY_CURRENT_USER, ProductKeyPath, "InstallLocation", location);
    bench::SettledMessageBoxHook hook;
    PrepareSetupState(UninstallCurrentUserMode);
    EXPECT_EQ(location, std::string(InstallDir));
    EXPECT_TRUE(bench::ListFolder(root.path()).empty());
    EXPECT_TRUE(hook.boxes().empty());
}

// ---- Migration of the Windows 3.1 settings ------------------------------------------

const char* const MigrationText =
    "今までWindows3.1版を利用した可能性があります。\n\n\"環境を引き継ぎますか？\n";
const std::string LegacyBytes = std::string("[Quorin]\r\nData=C:\\ソ\\表\r\n\0\x83", 26);

class Migration : public StartUpSteps {
  protected:
    void SetUp() override {
        StartUpSteps::SetUp();
        CopyText(WindowsDir, sizeof WindowsDir, windows_.path().c_str());
        CopyText(InstallDir, sizeof InstallDir, install_.path().c_str());
    }
    // The one box the test answered: the migration question.
    static void ExpectTheQuestion(const bench::MessageBoxHook& hook) {
        ASSERT_EQ(1u, hook.boxes().size()) << "the question was not shown";
        EXPECT_EQ(MigrationText, hook.boxes()[0].text);
        EXPECT_EQ("家計簿,出納簿くおりんの導入", hook.boxes()[0].caption);
    }
    std::string AppIni() const { return install_ / "QUORIN32.INI"; }
    std::string LegacyIni() const { return windows_ / "QUORIN.INI"; }
    bench::TempFolder windows_{"win"};
    bench::TempFolder install_{"inst"};
};

TEST_F(Migration, YesCopiesTheLegacySettings) {
    bench::WriteFileBytes(LegacyIni(), LegacyBytes);
    bench::SettledMessageBoxHook hook({IDYES});
    OfferSettingsMigration();
    ASSERT_EQ(1u, hook.boxes().size());
    EXPECT_EQ(MigrationText, hook.boxes()[0].text);
    EXPECT_EQ("家計簿,出納簿くおりんの導入", hook.boxes()[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION), hook.boxes()[0].Style());
    EXPECT_EQ(nullptr, hook.boxes()[0].owner);
    EXPECT_FALSE(bench::FileExists(AppIni())) << "copied before the files are installed";
    CompleteSettingsMigration(); // the install step put the files there
    EXPECT_EQ(LegacyBytes, bench::ReadFileBytes(AppIni()))
        << bench::Hex(bench::ReadFileBytes(AppIni()));
    EXPECT_EQ(LegacyBytes, bench::ReadFileBytes(LegacyIni()));
}

TEST_F(Migration, NoLeavesBothFilesAsTheyAre) {
    bench::WriteFileBytes(LegacyIni(), LegacyBytes);
    bench::SettledMessageBoxHook hook({IDNO});
    OfferSettingsMigration();
    ExpectTheQuestion(hook);
    EXPECT_FALSE(bench::FileExists(AppIni()));
    CompleteSettingsMigration();
    EXPECT_FALSE(bench::FileExists(AppIni())) << "a No is not remembered as a Yes";
    EXPECT_EQ(LegacyBytes, bench::ReadFileBytes(LegacyIni()));
}

TEST_F(Migration, APresentAppIniMeansNoQuestion) {
    bench::WriteFileBytes(LegacyIni(), LegacyBytes);
    bench::WriteFileBytes(AppIni(), "mine");
    bench::SettledMessageBoxHook hook({IDYES});
    OfferSettingsMigration();
    EXPECT_TRUE(hook.boxes().empty());
    EXPECT_EQ("mine", bench::ReadFileBytes(AppIni()));
}

TEST_F(Migration, WithoutLegacySettingsNoQuestion) {
    bench::SettledMessageBoxHook hook({IDYES});
    OfferSettingsMigration();
    EXPECT_TRUE(hook.boxes().empty());
    EXPECT_FALSE(bench::FileExists(AppIni()));
}

TEST_F(Migration, AnAppIniThatCannotBeOpenedForAnotherReasonSkipsTheStep) {
    bench::WriteFileBytes(LegacyIni(), LegacyBytes);
    ASSERT_TRUE(CreateDirectoryA(AppIni().c_str(), nullptr)); // exists, but not as a file
    bench::SettledMessageBoxHook hook({IDYES});
    OfferSettingsMigration();
    EXPECT_TRUE(hook.boxes().empty());
}

TEST_F(Migration, AMissingInstallFolderGetsTheCopyOnceItExists) {
    bench::WriteFileBytes(LegacyIni(), LegacyBytes);
    const std::string folder = install_ / "new\\くおりん";
    CopyText(InstallDir, sizeof InstallDir, folder.c_str());
    bench::SettledMessageBoxHook hook({IDYES});
    OfferSettingsMigration();
    ExpectTheQuestion(hook);
    EXPECT_FALSE(bench::FolderExists(folder)) << "the question creates no folder";

    CompleteSettingsMigration(); // nothing installed yet: nothing happens
    EXPECT_FALSE(bench::FolderExists(folder));

    ASSERT_TRUE(CreateFolderTree(folder.c_str(), TRUE));
    CompleteSettingsMigration();
    EXPECT_EQ(LegacyBytes, bench::ReadFileBytes(folder + "\\QUORIN32.INI"));
}

TEST_F(Migration, TheCopyGoesToTheFolderTheUserConfirmedAndOverwritesNothing) {
    bench::WriteFileBytes(LegacyIni(), LegacyBytes);
    CopyText(InstallDir, sizeof InstallDir, (install_ / "planned").c_str());
    bench::SettledMessageBoxHook hook({IDYES});
    OfferSettingsMigration();
    ExpectTheQuestion(hook);

    // The user chose another, existing folder that already has its settings.
    const std::string chosen = install_ / "chosen";
    ASSERT_TRUE(CreateDirectoryA(chosen.c_str(), nullptr));
    bench::WriteFileBytes(chosen + "\\QUORIN32.INI", "kept");
    CopyText(InstallDir, sizeof InstallDir, chosen.c_str());
    CompleteSettingsMigration();
    EXPECT_EQ("kept", bench::ReadFileBytes(chosen + "\\QUORIN32.INI"));
    EXPECT_FALSE(bench::FolderExists(install_ / "planned"));
}

TEST_F(Migration, ThePendingCopyFollowsAChangedInstallFolder) {
    for (bool plannedExists : {false, true}) { // an earlier installation's folder, or none
        SCOPED_TRACE(plannedExists);
        ForgetSettingsMigration();
        bench::TempFolder root{"mig"};
        bench::WriteFileBytes(LegacyIni(), LegacyBytes);
        const std::string planned = root / "planned";
        if (plannedExists) {
            ASSERT_TRUE(CreateDirectoryA(planned.c_str(), nullptr));
        }
        CopyText(InstallDir, sizeof InstallDir, planned.c_str());
        bench::SettledMessageBoxHook hook({IDYES});
        OfferSettingsMigration();
        ExpectTheQuestion(hook);
        const std::string chosen = root / "chosen";
        ASSERT_TRUE(CreateDirectoryA(chosen.c_str(), nullptr));
        CopyText(InstallDir, sizeof InstallDir, chosen.c_str());
        CompleteSettingsMigration();
        EXPECT_EQ(LegacyBytes, bench::ReadFileBytes(chosen + "\\QUORIN32.INI"));
        EXPECT_FALSE(bench::FileExists(planned + "\\QUORIN32.INI"));
    }
}

TEST_F(Migration, AFolderTypedWithATrailingSeparatorGetsThePendingCopy) {
    bench::WriteFileBytes(LegacyIni(), LegacyBytes);
    CopyText(InstallDir, sizeof InstallDir, (install_ / "planned").c_str());
    bench::SettledMessageBoxHook hook({IDYES});
    OfferSettingsMigration();
    ExpectTheQuestion(hook);
    // The wizard keeps the separator the user typed (GetFullPathNameA does not drop it).
    const std::string typed = install_ / "typed";
    ASSERT_TRUE(CreateDirectoryA(typed.c_str(), nullptr));
    CopyText(InstallDir, sizeof InstallDir, (typed + "\\").c_str());
    CompleteSettingsMigration();
    EXPECT_EQ(LegacyBytes, bench::ReadFileBytes(typed + "\\QUORIN32.INI"));
}

// ---- Launching the application ------------------------------------------------------

TEST_F(StartUpSteps, LaunchStartsQuorin32InTheInstallFolder) {
    bench::CloseWindowsOfClass("QuorinMainFrame");
    const std::string sample = bench::SampleAppDir();
    CopyText(InstallDir, sizeof InstallDir, sample.c_str());
    LaunchApplication();
    HWND window = nullptr;
    ASSERT_TRUE(bench::WaitUntil(
        [&] {
            window = FindWindowA("QuorinMainFrame", nullptr);
            return window != nullptr;
        },
        20000))
        << "quorin32.exe did not start from " << sample;
    bench::CloseWindowsOfClass("QuorinMainFrame");
}

TEST_F(StartUpSteps, LaunchOfAMissingProgramReportsNothing) {
    bench::TempFolder empty("launch");
    CopyText(InstallDir, sizeof InstallDir, empty.path().c_str());
    bench::SettledMessageBoxHook hook;
    LaunchApplication();
    EXPECT_TRUE(hook.boxes().empty());
}

// Last of all: it changes how this process finds DLLs for good.
TEST_F(StartUpSteps, ZZRestrictDllSearchLeavesTheCurrentFolderOut) {
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(bench::SampleAppDir().c_str()));
    RestrictDllSearch();
    SetLastError(0xdeadbeef);
    HMODULE planted = LoadLibraryA("QUORIN32.DLL");
    const DWORD error = GetLastError();
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(nullptr, planted) << "a DLL of the current folder was loaded";
    // The 9x family reports a missing DLL as ERROR_DLL_NOT_FOUND.
    EXPECT_TRUE(error == ERROR_MOD_NOT_FOUND || error == ERROR_DLL_NOT_FOUND) << error;
    if (planted)
        FreeLibrary(planted);
    HMODULE system = LoadLibraryA("shell32.dll");
    EXPECT_NE(nullptr, system) << "system DLLs must still load";
}

} // namespace
