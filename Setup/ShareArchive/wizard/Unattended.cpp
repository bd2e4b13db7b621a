// The install with nobody at the screen (SETUP.EXE /S): the wizard's sequence, with the
// answers taken from the options, else from what the wizard would have offered.
#include "wizard/Wizard.h"
#include "shell/Helpers.h"
#include "shell/Log.h"
#include "shell/Options.h"
#include "shell/SetupState.h"
#include "shell/StartUp.h"

namespace {

// Whether this account may write the uninstall entry for all users.
bool CanWriteMachineEntry() {
    HKEY parent = nullptr;
    const LONG status =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, UninstallParentKey, 0, KEY_CREATE_SUB_KEY, &parent);
    if (status != ERROR_SUCCESS) {
        LogLine("error: HKEY_LOCAL_MACHINE\\%s cannot be written (system error %ld)",
                UninstallParentKey, status);
        return false;
    }
    RegCloseKey(parent);
    return true;
}

// The all-users choice as the group page would have settled it. False when all users
// were asked for and this account cannot make such an installation.
bool SettleUsers() {
    if (!IsNtFamily()) {
        CommonMode = 1; // Windows 95/98/Me have one kind of installation, as the wizard records
        return true;
    }
    if (Options.users == UsersAll) {
        if (!CommonAllowed || !CanWriteMachineEntry()) {
            LogLine("error: an installation for all users cannot be made by this account");
            return false;
        }
        CommonMode = 1;
    } else if (Options.users == UsersCurrent) {
        CommonMode = 0;
    }
    return true;
}

} // namespace

int RunUnattendedInstall() {
    if (!SettleUsers())
        return ExitNoAllUsers;
    if (Options.group[0] != '\0' && !FitsProgramsFolder(Options.group)) {
        LogLine("error: bad value: /GROUP=%s is longer than the Programs folder takes",
                Options.group);
        return ExitBadOption;
    }
    if (Options.folder[0] != '\0') {
        CopyText(InstallDir, sizeof InstallDir, Options.folder);
        LogLine("install folder from option /D=: %s", InstallDir);
    }
    OfferSettingsMigration(); // answered Yes: the copy never overwrites
    char folder[PathCapacity];
    CopyText(folder, sizeof folder, InstallDir);
    int code = InstallFilesInto(nullptr, folder);
    if (code != ExitDone)
        return code;
    CopyText(GroupName, sizeof GroupName, Options.group[0] != '\0' ? Options.group : ProductKeyName);
    code = FinishInstall(nullptr);
    if (Options.launch) {
        LogLine("starting the application");
        LaunchApplication();
    }
    return code;
}
