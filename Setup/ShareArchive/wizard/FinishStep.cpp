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

namespace {

const char CreatingGroupText[] = "プログラムグループを作成中...";
const char UnusableGroupNameText[] =
    "このグループ名は使えません。\n次の文字を含まない名前を指定してください。\n"
    "\\ / : * ? \" < > |";
const char UnusableProgmanGroupNameText[] =
    "このグループ名は使えません。\n次の文字を含まない名前を指定してください。\n"
    "\\ / : * ? \" < > | , )";
const char TooLongGroupNameText[] =
    "このグループ名は長すぎます。\n半角182文字(全角91文字)以内の名前を指定してください。";
static_assert(MaxGroupNameBytes == 182, "the message names the limit");
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

// A name that cannot be one folder would put the shortcuts somewhere else, and a
// longer one would not fit the finish text: the user is asked for another one and the
// group page stays.
bool RefuseUnusableName(HWND dialog, const char* name) {
    const GroupNameVerdict verdict = CheckGroupName(name, NewShell);
    if (verdict == GroupNameAccepted)
        return false;
    const char* text = verdict == GroupNameTooLong ? TooLongGroupNameText
                       : NewShell                  ? UnusableGroupNameText
                                                   : UnusableProgmanGroupNameText;
    AskUser(dialog, text, InstallCaption, MB_OK | MB_ICONEXCLAMATION);
    HWND field = GetDlgItem(dialog, IDC_INPUT);
    SendMessageA(field, EM_SETSEL, 0, -1);
    SetFocus(field);
    return true;
}

void SettleCommonMode(HWND dialog) {
    if (IsNtFamily()) {
        CommonMode = IsDlgButtonChecked(dialog, IDC_CHECK) == BST_CHECKED ? 1 : 0;
    } else {
        CommonMode = 1;
    }
}

// The variant of the shell folders: the all-users ones only on the NT family.
int AllUsersFolders() {
    return IsNtFamily() ? CommonMode : 0;
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
                       GuideLinkName, HelpLinkName, InstallFiles, NewShell, AllUsersFolders()) != 0;
}

// Written once the files are in place for good: a step that failed or was undone
// leaves the product key as it was.
void RecordInstallLocation() {
    WriteProductValue("InstallLocation", InstallDir);
}

void RecordCommonMode() {
    WriteProductValue("CommonMode", CommonMode ? "1" : "0");
}

void RecordUninstallEntry() {
    DeleteSubkey(OlderEditionEntry, UninstallParentKey, 1);
    WriteUninstallEntry(ProductKeyName, InstallDir, GroupValueName, UninstallParentKey, GroupName,
                        PublisherHomePage, PublisherWhatsNewPage, PublisherName,
                        IsNtFamily() ? CommonMode : 1);
}

} // namespace

bool IsAcceptableGroupName(const char* name) {
    return CheckGroupName(name, NewShell) == GroupNameAccepted;
}

int FinishInstall(HWND dialog) {
    LogLine("program group: %s, %s", GroupName, CommonMode ? "all users" : "current user");
    SetStatusText(dialog, "%s", CreatingGroupText);
    RemoveEarlierGroup();
    const bool grouped = CreateGroup();
    if (!grouped)
        LogLine("error: the program group or one of its shortcuts could not be made");
    RegisterDocumentType(InstallDir, InstallFiles, DocumentProgId, DocumentDescription,
                         DocumentExtension);
    SetStatusText(dialog, "");
    RecordInstallLocation();
    RecordCommonMode();

    const bool restart = RestartNeeded && dialog != nullptr;
    if (!restart && NewShell)
        RecordUninstallEntry();
    CommitFileStep(); // the run has finished: the files it replaced can go
    if (restart)
        ShowRestartPage(dialog);
    else if (dialog != nullptr)
        ShowFinishPage(dialog);
    return grouped ? ExitDone : ExitGroupFailed;
}

void FinishStep(HWND dialog) {
    ++WizardBusy;
    char name[PathCapacity];
    ReadGroupName(dialog, name);
    if (RefuseUnusableName(dialog, name)) {
        --WizardBusy;
        return;
    }
    CopyText(GroupName, sizeof GroupName, name);
    SettleCommonMode(dialog);
    FinishInstall(dialog);
    --WizardBusy;
}
