#include "shell/StartUp.h"
#include "integration/Registry.h"
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
const char* const ProductKeyParent = "SOFTWARE\\Brastelo";
const char* const AppIniName = "QUORIN32.INI";
const char* const LegacyIniName = "QUORIN.INI";
const char* const ApplicationName = "quorin32.exe";
const char* const CheckFolderName = "~check";
const char* const FallbackFolderName = "Quorin32";
const DWORD LoadLibrarySearchSystem32 = 0x800;

// The Windows 3.1 settings file the user agreed to carry over while the install
// folder did not exist yet.
bool MigrationPending;
char PendingLegacyIni[PathCapacity];

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
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr)
        return;
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesProc)(DWORD);
    typedef BOOL(WINAPI * SetDllDirectoryProc)(LPCSTR);
    // Through void (*)() so that the conversion of FARPROC is not a type-punning warning.
    SetDefaultDllDirectoriesProc setDefault = reinterpret_cast<SetDefaultDllDirectoriesProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault != nullptr && setDefault(LoadLibrarySearchSystem32))
        return;
    SetDllDirectoryProc setDirectory = reinterpret_cast<SetDllDirectoryProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDllDirectoryA")));
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

void ReadStoredLocation(const char* defaultFolder, char* candidate) {
    CopyText(ProductKey, sizeof ProductKey, ProductKeyParent);
    AppendPath(ProductKey, ProductKeyName);

    HKEY key = nullptr; // a missing key leaves it null: both reads fall back
    OpenKeyForRead(HKEY_CURRENT_USER, &key, ProductKey);

    DWORD size = PathCapacity;
    ReadStringValue(key, "InstallLocation", candidate, defaultFolder, &size);

    char mode[2] = {'\0', '\0'};
    size = sizeof mode;
    ReadStringValue(key, "CommonMode", mode, "1", &size);
    CommonMode = (mode[0] == '0' && mode[1] == '\0') ? 0 : 1;

    if (key != nullptr)
        RegCloseKey(key);
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

void ProbeInstallFolder(char* candidate) {
    bool usable;
    if (CreateFolderTree(candidate, TRUE)) {
        // It did not exist: it must not appear before the user has confirmed it.
        RemoveDirectoryA(candidate);
        usable = true;
    } else if (GetLastError() == ERROR_ALREADY_EXISTS) {
        char check[PathCapacity];
        CopyText(check, sizeof check, candidate);
        if (AppendPath(check, CheckFolderName)) {
            usable = CreateFolderTree(check, FALSE) != FALSE;
            RemoveDirectoryA(check);
        } else {
            usable = false; // no room for a file name inside it either
        }
    } else {
        usable = false;
    }
    if (usable)
        return;

    CommonAllowed = 0;
    CommonMode = 0;
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

void ReadEntryLocation(SetupMode mode, char* candidate) {
    char entryKey[PathCapacity];
    CopyText(entryKey, sizeof entryKey, UninstallParentKey);
    if (!AppendPath(entryKey, ProductKeyName))
        return;
    HKEY key = nullptr; // a missing entry leaves it null: the read falls back
    OpenKeyForRead(mode == UninstallAllUsersMode ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, &key,
                   entryKey);
    char location[PathCapacity];
    DWORD size = sizeof location;
    ReadStringValue(key, "InstallLocation", location, "", &size);
    if (key != nullptr)
        RegCloseKey(key);
    if (location[0] != '\0')
        CopyText(candidate, PathCapacity, location);
}

void PrepareSetupState(SetupMode mode) {
    ReadSetupFolders();
    char defaultFolder[PathCapacity];
    BuildDefaultFolder(defaultFolder);
    char candidate[PathCapacity];
    ReadStoredLocation(defaultFolder, candidate);
    if (mode == InstallMode)
        ProbeInstallFolder(candidate);
    else
        ReadEntryLocation(mode, candidate);
    ApplyFamilyRule();
    CopyText(InstallDir, sizeof InstallDir, candidate);
    ApplyUninstallSwitch(mode);
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

    if (ShowMessage(nullptr, IDS_MIGRATE_SETTINGS, InstallCaption, MB_YESNO | MB_ICONQUESTION) !=
        IDYES) {
        return;
    }
    // The folder is not settled yet: the user may still choose another one on the folder page.
    CopyText(PendingLegacyIni, sizeof PendingLegacyIni, legacyIni);
    MigrationPending = true;
}

void CompleteSettingsMigration() {
    if (!MigrationPending || !IsExistingFolder(InstallDir))
        return; // not asked for, or nothing installed (yet)
    CopySettingsInto(InstallDir, PendingLegacyIni);
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

// The end of a run: its exit code in the log; an interactive run always ends with 0.
int EndRun(int code) {
    LogLine("exit code %d", Unattended ? code : ExitDone);
    CloseRunLog();
    return Unattended ? code : ExitDone;
}

// The options preset the wizard's pages; the person can still change them.
void PresetWizard() {
    if (Options.folder[0] != '\0')
        CopyText(InstallDir, sizeof InstallDir, Options.folder);
    if (IsNtFamily() && Options.users == UsersAll && CommonAllowed)
        CommonMode = 1;
    if (IsNtFamily() && Options.users == UsersCurrent)
        CommonMode = 0;
}

int RunInstall() {
    if (Unattended)
        return RunUnattendedInstall();
    PresetWizard();
    OfferSettingsMigration();
    const INT_PTR result =
        DialogBoxParamA(AppInstance, DLG_MASTER_NAME, nullptr, WizardDialogProc, 0);
    MainWindow = nullptr; // gone: no later box may name it as its owner
    LogLine("the wizard ended with %d", static_cast<int>(result));
    if (result == 1 && LaunchNow)
        LaunchApplication();
    return ExitDone;
}

int RunUninstall() {
    if (Unattended)
        return RunUnattendedUninstall();
    const INT_PTR result =
        DialogBoxParamA(AppInstance, DLG_MASTER_NAME, nullptr, UninstallDialogProc, 0);
    MainWindow = nullptr;
    LogLine("the uninstall dialog ended with %d", static_cast<int>(result));
    if (result == 1)
        RunUninstallCleanup();
    return ExitDone;
}

} // namespace

int SetupMain(HINSTANCE instance) {
    RestrictDllSearch();

    AppInstance = instance;
    SetShellKind();
    const SetupMode mode = ModeFromArgument(GetArgument(1));
    bool optionsGood = ReadOptions(GetCommandLineA(), mode, Options);
    optionsGood = AcceptGroupOption(Options, IsAcceptableGroupName) && optionsGood;
    Unattended = Options.unattended ? 1 : 0;
    UnattendedClosesApplication = Options.closeApplication ? 1 : 0;
    if (Options.logFile[0] != '\0')
        OpenRunLog(Options.logFile);
    LogOptions(mode, Options);
    if (Options.help)
        return EndRun(ShowUsage()); // before anything is looked at or written
    if (Unattended && !optionsGood)
        return EndRun(ExitBadOption); // before anything is written

    CoInitialize(nullptr);
    DdeInstance = 0;
    if (DdeInitializeA(&DdeInstance, DdeClientCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
        DdeInstance = 0;
    }

    if (!CloseRunningApplication(AppWindowClass, GuardCaption)) {
        ReleaseComAndDde();
        return EndRun(ExitApplicationRunning);
    }

    PrepareSetupState(mode);
    LogLine("folder settled: %s (all users: %s)", InstallDir,
            CommonAllowed ? (CommonMode ? "yes" : "no") : "not allowed");
    if (mode == InstallMode) {
        const int code = RunInstall();
        ReleaseComAndDde();
        return EndRun(code);
    }
    // Nothing in the uninstall relies on COM or DDE.
    ReleaseComAndDde();
    return EndRun(RunUninstall());
}