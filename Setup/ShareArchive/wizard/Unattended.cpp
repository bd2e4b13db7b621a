// The install with nobody at the screen (SETUP.EXE /S): the wizard's sequence, with the
// answers taken from the options, else from what the wizard would have offered.
#include "wizard/Wizard.h"
#include "shell/Elevation.h"
#include "shell/Helpers.h"
#include "shell/Log.h"
#include "shell/Options.h"
#include "shell/SetupState.h"
#include "shell/StartUp.h"

namespace {

// Whether this account may write the uninstall entry for all users: the entry an earlier
// installation left, else a new one under its parent key. Asked of the keys themselves,
// whatever account this is; the Program Manager shell writes no entry.
bool CanWriteMachineEntry() {
    if (!NewShell)
        return true;
    char path[PathCapacity];
    FormatText(path, sizeof path, "%s\\%s", UninstallParentKey, ProductKeyName);
    HKEY key = nullptr;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE, &key);
    if (status == ERROR_FILE_NOT_FOUND) {
        CopyText(path, sizeof path, UninstallParentKey);
        status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_CREATE_SUB_KEY, &key);
    }
    if (status != ERROR_SUCCESS) {
        LogLine("error: HKEY_LOCAL_MACHINE\\%s cannot be written (system error %ld)", path, status);
        return false;
    }
    RegCloseKey(key);
    return true;
}

// The all-users choice as the group page would have settled it. False when the run is for
// all users (by /ALLUSERS, the stored choice or start-up's default) and this account cannot
// make such an installation: nothing has been written yet.
bool SettleUsers() {
    if (!IsNtFamily()) {
        CommonMode = 1; // Windows 95/98/Me have one kind of installation, as the wizard records
        return true;
    }
    const bool asked = Options.users == UsersAll;
    const bool allUsers = asked || (Options.users != UsersCurrent && CommonMode != 0);
    const bool refused = DecideThisRun(InstallMode, allUsers) == RefuseAllUsers ||
                         (asked && !CommonAllowed) || (allUsers && !CanWriteMachineEntry());
    if (refused) {
        LogLine("error: an installation for all users (%s) cannot be made by this account",
                asked ? "/ALLUSERS" : "the choice start-up settled");
        return false;
    }
    CommonMode = allUsers ? 1 : 0;
    return true;
}

} // namespace

void RunUnattendedInstall() {
    if (!SettleUsers()) {
        ReportOutcome(ExitNoAllUsers);
        return;
    }
    if (Options.group[0] != '\0' && !FitsProgramsFolder(Options.group)) {
        LogLine("error: bad value: /GROUP=%s is longer than the Programs folder takes",
                Options.group);
        ReportOutcome(ExitBadOption);
        return;
    }
    if (Options.folder[0] != '\0') {
        CopyText(InstallDir, sizeof InstallDir, Options.folder);
        LogLine("install folder from option /D=: %s", InstallDir);
    }
    OfferSettingsMigration(); // answered Yes: the copy never overwrites
    char folder[PathCapacity];
    CopyText(folder, sizeof folder, InstallDir);
    if (!InstallFilesInto(nullptr, folder))
        return;
    CopyText(GroupName, sizeof GroupName,
             Options.group[0] != '\0' ? Options.group : ProductKeyName);
    FinishInstall(nullptr);
    if (Options.launch) {
        LogLine("starting the application");
        LaunchApplication();
    }
}
