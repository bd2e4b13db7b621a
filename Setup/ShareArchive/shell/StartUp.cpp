#include "shell/StartUp.h"
#include "integration/Registry.h"
#include "shell/Elevation.h"
#include "shell/Guard.h"
#include "shell/Helpers.h"
#include "shell/Log.h"
#include "shell/Options.h"
#include "shell/SetupState.h"
#include "uninstall/Uninstall.h"
#include "wizard/Wizard.h"
#include "resource.h"

#include <objbase.h>
#include <string.h>

namespace {

const char* const AppWindowClass = "QuorinMainFrame";
const char* const GuardCaption = "くおりん";
const char* const AppIniName = "QUORIN32.INI";
const char* const LegacyIniName = "QUORIN.INI";
const char* const ApplicationName = "quorin32.exe";
const char* const CheckFolderName = "~check";
const char* const FallbackFolderName = "Quorin32";
const char NothingFoundFormat[] =
    "%s\nのフォルダに「くおりん」が見つかりません。\n何も削除しませんでした。";
const DWORD LoadLibrarySearchSystem32 = 0x800;

// The Windows 3.1 settings file the user agreed to carry over while the install
// folder did not exist yet.
bool MigrationPending;
char PendingLegacyIni[PathCapacity];

// Where the settled folder came from, for the log.
char FolderSource[PathCapacity + 32];

HDDEDATA CALLBACK DdeClientCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    return nullptr;
}

// The drive letter of a path ("X:" at its start), or 0.
char DriveLetterOf(const char* path) {
    const char letter = path[0];
    const bool isLetter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
    return (isLetter && path[1] == ':') ? letter : '\0';
}

// "X:\" for the drive of the Windows directory, "C:\" when it has none.
void WindowsDriveRoot(char* root) {
    const char letter = DriveLetterOf(WindowsDir);
    root[0] = letter != '\0' ? letter : 'C';
    root[1] = ':';
    root[2] = '\\';
    root[3] = '\0';
}

bool FileMissing(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool FileReadable(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

bool CopySettingsInto(const char* folder, const char* legacyIni) {
    char appIni[PathCapacity];
    CopyText(appIni, sizeof appIni, folder);
    if (!AppendPath(appIni, AppIniName))
        return false;
    return CopyFileA(legacyIni, appIni, TRUE) != FALSE;
}

void ReleaseComAndDde() {
    CoUninitialize();
    if (DdeInstance != 0)
        DdeUninitialize(DdeInstance);
    DdeInstance = 0;
}

} // namespace

void RestrictDllSearch() {
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesProc)(DWORD);
    typedef BOOL(WINAPI * SetDllDirectoryProc)(LPCSTR);
    SetDefaultDllDirectoriesProc setDefault =
        LookUpFunction<SetDefaultDllDirectoriesProc>("kernel32.dll", "SetDefaultDllDirectories");
    if (setDefault != nullptr && setDefault(LoadLibrarySearchSystem32))
        return;
    SetDllDirectoryProc setDirectory =
        LookUpFunction<SetDllDirectoryProc>("kernel32.dll", "SetDllDirectoryA");
    if (setDirectory != nullptr)
        setDirectory("");
}

void SetShellKind() {
    if (MajorVersion() >= 4)
        NewShell = 1;
}

SetupMode ModeFromArgument(const char* argument1) {
    if (argument1 != nullptr && strcmp(argument1, "/r") == 0)
        return UninstallAllUsersMode;
    if (argument1 != nullptr && strcmp(argument1, "/R") == 0)
        return UninstallCurrentUserMode;
    return InstallMode;
}

void ReadSetupFolders() {
    char modulePath[PathCapacity];
    const DWORD length = GetModuleFileNameA(AppInstance, modulePath, sizeof modulePath);
    if (length == 0 || length >= sizeof modulePath)
        modulePath[0] = '\0';
    modulePath[sizeof modulePath - 1] = '\0';
    char* separator = nullptr;
    for (char* p = modulePath; *p != '\0'; p = CharNextA(p)) {
        if (*p == '\\' || *p == '/')
            separator = p;
    }
    if (separator != nullptr) {
        *separator = '\0';
    } else {
        modulePath[0] = '\0';
    }
    CopyText(SetupDir, sizeof SetupDir, modulePath);

    const UINT windowsLength = GetWindowsDirectoryA(WindowsDir, sizeof WindowsDir);
    if (windowsLength == 0 || windowsLength >= sizeof WindowsDir)
        WindowsDir[0] = '\0';
}

void BuildDefaultFolder(char* folder) {
    WindowsDriveRoot(folder);
    AppendPath(folder, "Program Files");
    AppendPath(folder, "Quorin32");
}

bool ReadStoredLocation(const char* defaultFolder, char* candidate) {
    BuildProductKey();

    HKEY key = nullptr; // a missing key leaves it null: both reads fall back
    OpenKeyForRead(HKEY_CURRENT_USER, &key, ProductKey);

    DWORD size = PathCapacity;
    ReadStringValue(key, "InstallLocation", candidate, "", &size);
    const bool stored = candidate[0] != '\0';
    if (!stored)
        CopyText(candidate, PathCapacity, defaultFolder);

    char mode[2] = {'\0', '\0'};
    size = sizeof mode;
    ReadStringValue(key, "CommonMode", mode, "1", &size);
    CommonMode = (mode[0] == '0' && mode[1] == '\0') ? 0 : 1;

    if (key != nullptr)
        RegCloseKey(key);
    return stored;
}

void BuildFallbackFolder(const char* candidate, char* folder) {
    const char letter = DriveLetterOf(candidate);
    if (letter != '\0') {
        folder[0] = letter;
        folder[1] = ':';
        folder[2] = '\\';
        folder[3] = '\0';
    } else {
        WindowsDriveRoot(folder);
    }
    AppendPath(folder, FallbackFolderName);
}

namespace {

// The probe: a folder that did not exist can be created (and is removed again at once, it
// must not appear before the user has confirmed it); in one that exists a folder can be made.
bool IsUsableFolder(const char* candidate) {
    if (CreateFolderTree(candidate, TRUE)) {
        RemoveDirectoryA(candidate);
        return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    char check[PathCapacity];
    CopyText(check, sizeof check, candidate);
    if (!AppendPath(check, CheckFolderName))
        return false; // no room for a file name inside it either
    const bool usable = CreateFolderTree(check, FALSE) != FALSE;
    RemoveDirectoryA(check);
    return usable;
}

} // namespace

void ProbeInstallFolder(char* candidate) {
    // A stored folder on a drive without its medium is unusable, not a question.
    const UINT errorMode = SetProcessErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const bool usable = IsUsableFolder(candidate);
    SetProcessErrorMode(errorMode);
    if (usable)
        return;

    CommonAllowed = 0;
    CommonMode = 0;
    FormatText(FolderSource, sizeof FolderSource, "the fall-back for %s", candidate);
    char fallback[PathCapacity];
    BuildFallbackFolder(candidate, fallback);
    CopyText(candidate, PathCapacity, fallback);
}

void ApplyFamilyRule() {
    if (!IsNtFamily()) {
        CommonAllowed = 0;
        CommonMode = 0;
    }
}

void ApplyUninstallSwitch(SetupMode mode) {
    // The switch says for whom the installation was made; the 9x rule does not apply.
    if (mode == UninstallAllUsersMode)
        CommonMode = 1;
    if (mode == UninstallCurrentUserMode)
        CommonMode = 0;
}

void ReadEntryLocation(HKEY root, char* location) {
    location[0] = '\0';
    char entryKey[PathCapacity];
    CopyText(entryKey, sizeof entryKey, UninstallParentKey);
    if (!AppendPath(entryKey, ProductKeyName))
        return;
    HKEY key = nullptr; // a missing entry leaves it null: the read falls back
    OpenKeyForRead(root, &key, entryKey);
    DWORD size = PathCapacity;
    ReadStringValue(key, "InstallLocation", location, "", &size);
    if (key != nullptr)
        RegCloseKey(key);
}

bool HoldsApplication(const char* folder) {
    char program[PathCapacity];
    CopyText(program, sizeof program, folder);
    return folder[0] != '\0' && AppendPath(program, InstallFiles[0]) && PathExists(program, 0);
}

SetupMode SettleUninstallFolder(SetupMode mode, char* candidate, bool stored) {
    const HKEY switchRoot = mode == UninstallAllUsersMode ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const HKEY otherRoot =
        switchRoot == HKEY_LOCAL_MACHINE ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    char switchEntry[PathCapacity];
    char otherEntry[PathCapacity];
    ReadEntryLocation(switchRoot, switchEntry);
    ReadEntryLocation(otherRoot, otherEntry);
    if (switchEntry[0] == '\0')
        LogLine("warning: no uninstall entry under %s for the switch %s", RootName(switchRoot),
                mode == UninstallAllUsersMode ? "/r" : "/R");

    if (switchEntry[0] != '\0') {
        CopyText(candidate, PathCapacity, switchEntry);
        FormatText(FolderSource, sizeof FolderSource, "the uninstall entry under %s",
                   RootName(switchRoot));
    } else if (!stored && HoldsApplication(SetupDir) && SameFolder(SetupDir, otherEntry)) {
        // Started from an installation whose product key is gone (another account, a reset
        // profile): the folder of the program itself, which the entry names.
        CopyText(candidate, PathCapacity, SetupDir);
        CopyText(FolderSource, sizeof FolderSource, "the program's own folder");
    }
    // The installation is removed whole, as the mode of the entry that names it.
    if (switchEntry[0] != '\0' || otherEntry[0] == '\0' || !SameFolder(candidate, otherEntry))
        return mode;
    const SetupMode entryMode =
        mode == UninstallAllUsersMode ? UninstallCurrentUserMode : UninstallAllUsersMode;
    LogLine("the uninstall entry under %s names %s: removed as an installation for %s",
            RootName(otherRoot), candidate,
            entryMode == UninstallAllUsersMode ? "all users" : "the current user");
    return entryMode;
}

void PrepareSetupState(SetupMode mode) {
    ReadSetupFolders();
    char defaultFolder[PathCapacity];
    BuildDefaultFolder(defaultFolder);
    char candidate[PathCapacity];
    ReadStoredLocation(defaultFolder, candidate);
    const bool stored = ReadStoredLocation(defaultFolder, candidate);
    CopyText(FolderSource, sizeof FolderSource, stored ? "the product key" : "the default folder");
    SetupMode actAs = mode;
    if (mode == InstallMode)
        ProbeInstallFolder(candidate);
    else
        actAs = SettleUninstallFolder(mode, candidate, stored);
    ApplyFamilyRule();
    CopyText(InstallDir, sizeof InstallDir, candidate);
    ApplyUninstallSwitch(actAs);
}

void OfferSettingsMigration() {
    char appIni[PathCapacity];
    CopyText(appIni, sizeof appIni, InstallDir);
    if (!AppendPath(appIni, AppIniName) || !FileMissing(appIni))
        return;

    char legacyIni[PathCapacity];
    CopyText(legacyIni, sizeof legacyIni, WindowsDir);
    if (!AppendPath(legacyIni, LegacyIniName) || !FileReadable(legacyIni))
        return;

    // Carried over with nobody at the screen too: the copy never overwrites.
    if (ShowMessage(nullptr, IDS_MIGRATE_SETTINGS, InstallCaption, MB_YESNO | MB_ICONQUESTION,
                    IDYES) != IDYES) {
        return;
    }
    // The folder is not settled yet: the user may still choose another one on the folder page.
    CopyText(PendingLegacyIni, sizeof PendingLegacyIni, legacyIni);
    MigrationPending = true;
}

const char* CompleteSettingsMigration() {
    if (!MigrationPending || !IsExistingFolder(InstallDir))
        return nullptr; // not asked for, or nothing installed (yet)
    return CopySettingsInto(InstallDir, PendingLegacyIni) ? AppIniName : nullptr;
}

void ForgetSettingsMigration() {
    MigrationPending = false;
}

void LaunchApplication() {
    char program[PathCapacity];
    CopyText(program, sizeof program, InstallDir);
    if (!AppendPath(program, ApplicationName))
        return;
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started;
    if (CreateProcessA(program, nullptr, nullptr, nullptr, TRUE, 0, nullptr, InstallDir, &startup,
                       &started)) {
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
    }
}

namespace {

// The account the run acts for (GetUserNameA, which 95's advapi32 may lack: "?").
void ReadAccountName(char* name, DWORD capacity) {
    typedef BOOL(WINAPI * GetUserNameProc)(LPSTR, LPDWORD);
    GetUserNameProc getUserName = LookUpFunction<GetUserNameProc>("advapi32.dll", "GetUserNameA");
    DWORD size = capacity;
    if (getUserName == nullptr || !getUserName(name, &size))
        CopyText(name, capacity, "?");
}

// The first lines of the log: what ran, on which Windows, for whom, with which command line.
void LogRunHeader() {
    char version[32];
    if (!ReadModuleVersion(AppInstance, version, sizeof version))
        CopyText(version, sizeof version, "?");
    LogLine("SETUP.EXE %s", version);
    if (IsNtFamily()) {
        LogLine("Windows %u.%u build %u (NT family)", MajorVersion(), (OsVersion >> 8) & 0xFFu,
                (OsVersion >> 16) & 0x7FFFu);
    } else {
        LogLine("Windows %u.%u (95/98/Me family)", MajorVersion(), (OsVersion >> 8) & 0xFFu);
    }
    char account[PathCapacity];
    ReadAccountName(account, sizeof account);
    LogLine("account: %s", account);
    JudgeElevation();
    LogLine("command line: %s", GetCommandLineA());
}

// The end of a run: its exit code, decided from what the steps reported, in the log.
int EndRun() {
    const int code = ExitCodeOfRun();
    LogLine("exit code %d", code);
    CloseRunLog();
    return code;
}

// The end of a run whose work its elevated copy did: that copy's exit code.
int EndRunOfCopy(int code) {
    LogLine("exit code %d", code);
    CloseRunLog();
    return code;
}

// The options preset the wizard's pages; the person can still change them.
void PresetWizard() {
    if (Options.folder[0] != '\0') {
        CopyText(InstallDir, sizeof InstallDir, Options.folder);
        LogLine("install folder from option /D=: %s", InstallDir);
    }
    if (IsNtFamily() && Options.users == UsersAll && CommonAllowed)
        CommonMode = 1;
    if (IsNtFamily() && Options.users == UsersCurrent)
        CommonMode = 0;
}

void RunInstall() {
    if (Unattended) {
        RunUnattendedInstall();
        return;
    }
    PresetWizard();
    OfferSettingsMigration();
    const INT_PTR result =
        DialogBoxParamA(AppInstance, DLG_MASTER_NAME, nullptr, WizardDialogProc, 0);
    MainWindow = nullptr; // gone: no later box may name it as its owner
    LogLine("the wizard ended with %d", static_cast<int>(result));
    if (result == 1 && LaunchNow)
        LaunchApplication();
}

// No application in the folder the uninstall settled on (missing, unreadable, another
// program's folder): nothing is deleted or unregistered, and the person is told where it looked.
bool RefuseEmptyFolder() {
    if (HoldsApplication(InstallDir))
        return false;
    LogLine("error: no installation in %s (%s is missing): nothing is removed", InstallDir,
            InstallFiles[0]);
    char text[512];
    FormatText(text, sizeof text, NothingFoundFormat, InstallDir);
    AskUser(nullptr, text, RemoveCaption, MB_OK | MB_ICONINFORMATION, IDOK);
    ReportOutcome(ExitNothingFound);
    return true;
}

void RunUninstall() {
    if (RefuseEmptyFolder())
        return;
    if (Unattended) {
        RunUnattendedUninstall();
        return;
    }
    const INT_PTR result =
        DialogBoxParamA(AppInstance, DLG_MASTER_NAME, nullptr, UninstallDialogProc, 0);
    MainWindow = nullptr;
    LogLine("the uninstall dialog ended with %d", static_cast<int>(result));
    if (result == 1)
        RunUninstallCleanup();
}

} // namespace

int SetupMain(HINSTANCE instance) {
    RestrictDllSearch();
    ResetSetupState();

    AppInstance = instance;
    SetShellKind();
    const SetupMode mode = ModeFromArgument(GetArgument(1));
    bool optionsGood = ReadOptions(GetCommandLineA(), mode, Options);
    optionsGood = AcceptGroupOption(Options, IsAcceptableGroupName) && optionsGood;
    Unattended = Options.unattended ? 1 : 0;
    UnattendedClosesApplication = Options.closeApplication ? 1 : 0;
    // Nobody could answer the system's "no disk" box: a drive without its medium (the log's,
    // the folder's) is an error with its code.
    if (Unattended)
        SetProcessErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    if (Options.logFile[0] != '\0')
        OpenRunLog(Options.logFile);
    LogRunHeader();
    LogOptions(mode, Options);
    if (Options.help) {
        ShowUsage(); // before anything is looked at or written
        return EndRun();
    }
    if (Unattended && !optionsGood) {
        ReportOutcome(ExitBadOption);
        return EndRun(); // before anything is written
    }

    CoInitialize(nullptr); // the elevation prompt may go through shell extensions
    int copyCode = ExitDone;
    const RemovalRights rights = SettleRemovalRights(mode, &copyCode);
    if (rights != RemoveHere) {
        CoUninitialize();
        return rights == RemovedByCopy ? EndRunOfCopy(copyCode) : EndRun();
    }
    DdeInstance = 0;
    if (DdeInitializeA(&DdeInstance, DdeClientCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
        DdeInstance = 0;
    }

    if (!CloseRunningApplication(AppWindowClass, GuardCaption)) {
        ReleaseComAndDde();
        ReportOutcome(ExitApplicationRunning);
        return EndRun();
    }

    PrepareSetupState(mode);
    if (mode == InstallMode && !Unattended)
        OfferAllUsersOnlyWhenElevated();
    LogLine("folder settled: %s (from %s; all users: %s)", InstallDir, FolderSource,
            CommonAllowed ? (CommonMode ? "yes" : "no") : "not allowed");
    if (mode == InstallMode) {
        RunInstall();
        ReleaseComAndDde();
        return EndRun();
    }
    // Nothing in the uninstall relies on COM or DDE.
    ReleaseComAndDde();
    RunUninstall();
    return EndRun();
}