// Next on the group page: the program group and its shortcuts, the document
// type, the all-users choice and the uninstall entry, then the finish page.
#include "wizard/Wizard.h"
#include "integration/Association.h"
#include "integration/ProgramGroup.h"
#include "integration/Registry.h"
#include "shell/Helpers.h"
#include "shell/Log.h"
#include "shell/Options.h"
#include "shell/SetupState.h"
#include "resource.h"

#include <string.h>

namespace {

const char CreatingGroupText[] = "プログラムグループを作成中...";
const char UnusableGroupNameText[] =
    "このグループ名は使えません。\n次の文字を含まない名前を指定してください。\n"
    "\\ / : * ? \" < > |";
const char UnusableProgmanGroupNameText[] =
    "このグループ名は使えません。\n次の文字を含まない名前を指定してください。\n"
    "\\ / : * ? \" < > | , )";
const char TooLongGroupNameFormat[] =
    "このグループ名は長すぎます。\n半角%d文字(全角%d文字)以内の名前を指定してください。";
const char CannotMakeGroupFormat[] =
    "%s\nのプログラムグループを作成できません。\n別のグループ名を指定してください。";
const char GroupFailedCaption[] = "Error"; // as the Program Manager's message 12 has it
// An older edition's uninstall entry, replaced by ours.
const char OlderEditionEntry[] = "金銭簿くおりん";

// The typed name, trimmed; the product name when nothing is left.
void ReadGroupName(HWND dialog, char* name) {
    name[0] = '\0';
    GetDlgItemTextA(dialog, IDC_INPUT, name, PathCapacity);
    TrimBlanks(name);
    if (name[0] == '\0')
        CopyText(name, PathCapacity, ProductKeyName);
}

// The variant of the shell folders: the all-users ones only on the NT family.
int AllUsersFoldersFor(int commonMode) {
    return IsNtFamily() ? commonMode : 0;
}

// A name that cannot be one folder would put the shortcuts somewhere else, and a longer
// one would not fit the finish text or a shortcut's path; a folder the file system will
// not make would leave the group out. The user is asked for another name and the group
// page stays.
bool RefuseUnusableName(HWND dialog, const char* name, int commonMode) {
    const int allUsers = AllUsersFoldersFor(commonMode);
    const GroupNameVerdict verdict = CheckGroupName(name, NewShell, allUsers);
    char text[512];
    if (verdict == GroupNameTooLong) {
        const int limit = static_cast<int>(GroupNameLimit(NewShell, allUsers));
        FormatText(text, sizeof text, TooLongGroupNameFormat, limit, limit / 2);
    } else if (verdict == GroupNameUnusable) {
        CopyText(text, sizeof text,
                 NewShell ? UnusableGroupNameText : UnusableProgmanGroupNameText);
    } else if (NewShell && !CanMakeGroupFolder(name, allUsers)) {
        FormatText(text, sizeof text, CannotMakeGroupFormat, name);
    } else {
        return false;
    }
    AskUser(dialog, text, InstallCaption, MB_OK | MB_ICONEXCLAMATION, IDOK);
    HWND field = GetDlgItem(dialog, IDC_INPUT);
    SendMessageA(field, EM_SETSEL, 0, -1);
    SetFocus(field);
    return true;
}

// The all-users choice of the group page.
int ChosenCommonMode(HWND dialog) {
    if (!IsNtFamily())
        return 1;
    return IsDlgButtonChecked(dialog, IDC_CHECK) == BST_CHECKED ? 1 : 0;
}

// The shortcuts of an earlier install: the group that its uninstall entry recorded.
void RemoveEarlierGroup() {
    for (int allUsers = 0; allUsers <= 1; ++allUsers) {
        RemoveProgramGroup(MainLinkName, GroupValueName, UninstallParentKey, HelpLinkName,
                           GuideLinkName, HomePageLinkName, NewShell, allUsers);
    }
}

bool CreateGroup() {
    return CreateProgramGroup(DdeInstance, MainLinkName, InstallDir, GroupName, HomePageLinkName,
                              GuideLinkName, HelpLinkName, InstallFiles, NewShell,
                              AllUsersFoldersFor(CommonMode)) != 0;
}

// Written once the files are in place for good: a step that failed or was undone
// leaves the product key as it was.
void RecordInstallLocation() {
    WriteProductValue("InstallLocation", InstallDir);
}

void RecordCommonMode() {
    WriteProductValue("CommonMode", CommonMode ? "1" : "0");
}

bool RecordUninstallEntry() {
    DeleteSubkey(OlderEditionEntry, UninstallParentKey, 1);
    return WriteUninstallEntry(ProductKeyName, InstallDir, GroupValueName, UninstallParentKey,
                               GroupName, PublisherHomePage, PublisherWhatsNewPage, PublisherName,
                               IsNtFamily() ? CommonMode : 1) != 0;
}

} // namespace

bool IsAcceptableGroupName(const char* name) {
    // Before the all-users choice is settled: the rule without the Programs folder's part.
    const bool usable = NewShell ? IsUsableGroupName(name) : IsUsableProgmanGroupName(name);
    return usable && strlen(name) <= MaxGroupNameBytes;
}

bool FitsProgramsFolder(const char* name) {
    return CheckGroupName(name, NewShell, AllUsersFoldersFor(CommonMode)) == GroupNameAccepted;
}

bool FinishInstall(HWND dialog) {
    LogLine("program group: %s, %s", GroupName, CommonMode ? "all users" : "current user");
    SetStatusText(dialog, "%s", CreatingGroupText);
    RemoveEarlierGroup();
    const bool grouped = CreateGroup();
    if (!grouped) {
        LogLine("error: the program group or one of its shortcuts could not be made");
        // The Program Manager's own failure has said so already.
        if (NewShell)
            ShowMessage(dialog, IDS_GROUP_FAILED, GroupFailedCaption, MB_OK, IDOK);
    }
    const bool registered = RegisterDocumentType(InstallDir, InstallFiles, DocumentProgId,
                                                 DocumentDescription, DocumentExtension);
    if (!registered)
        LogLine("error: the document type %s could not be registered", DocumentExtension);
    SetStatusText(dialog, "");
    RecordInstallLocation();
    RecordCommonMode();

    bool entered = true;
    if (!RestartNeeded && NewShell)
        entered = RecordUninstallEntry();
    if (!entered)
        LogLine("error: the uninstall entry could not be written");
    CommitFileStep(); // the run has finished: the files it replaced can go
    const bool complete = grouped && registered && entered;
    if (!complete)
        ReportOutcome(ExitInstalledIncompletely);
    return complete;
}

void FinishStep(HWND dialog) {
    ++WizardBusy;
    char name[PathCapacity];
    ReadGroupName(dialog, name);
    const int commonMode = ChosenCommonMode(dialog);
    if (RefuseUnusableName(dialog, name, commonMode)) {
        --WizardBusy;
        return;
    }
    CopyText(GroupName, sizeof GroupName, name);
    CommonMode = commonMode;
    FinishInstall(dialog);
    if (RestartNeeded)
        ShowRestartPage(dialog);
    else
        ShowFinishPage(dialog);
    --WizardBusy;
}
