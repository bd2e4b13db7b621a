// The install wizard: one modal dialog on DLG_MASTER that walks through the
// folder page, the group page and the finish page by showing, hiding and
// relabelling the controls of the one template. The procedure only dispatches;
// the work behind Next lives in InstallStep and FinishStep.
#include <shlobj.h>
#include "wizard/Wizard.h"
#include "integration/ProgramGroup.h"
#include "shell/Helpers.h"
#include "shell/Options.h"
#include "shell/SetupState.h"
#include "resource.h"

#include <string.h>

int WizardPage;
int WizardBusy;
int RestartNeeded;

namespace {

const char FolderHeadline[] = "『家計簿,出納簿くおりん』をセットアップします。";
const char FolderLabel[] = "ｲﾝｽﾄｰﾙ先";
const char GroupLabel[] = "ｸﾞﾙｰﾌﾟ名";
const char LaunchBoxText[] = "今すぐソフトを起動する";
const char FinishButtonText[] = "完了";
const char RestartButtonText[] = "再起動";
const char StartMenuFinishFormat[] =
    "ﾀｽｸﾊﾞｰの[ｽﾀｰﾄ]→[ﾌﾟﾛｸﾞﾗﾑ]→[%s]、またはﾃﾞｽｸﾄｯﾌﾟのくおりんｱｲｺﾝから起動できます。";
const char ProgmanFinishFormat[] = "ﾌﾟﾛｸﾞﾗﾑ･ｸﾞﾙｰﾌﾟの[%s]から起動してください。";

enum { FinishTextCapacity = 260, InputLimit = 260, BrowseTextLimit = 258 };
static_assert(sizeof StartMenuFinishFormat - 3 + MaxGroupNameBytes == FinishTextCapacity - 1,
              "the longest group name fills the finish text exactly");

// Where the finish page puts the finish text and the launch box, in dialog units: the
// text gets room for eight lines (the longest group name with blanks at the worst
// places), and the box goes to the free left end of the button row.
const RECT FinishTextRect = {30, 35, 238, 99};
const RECT LaunchBoxRect = {10, 112, 116, 122};

void ShowControl(HWND dialog, int id, bool show) {
    ShowWindow(GetDlgItem(dialog, id), show ? SW_SHOW : SW_HIDE);
}

void EnableControl(HWND dialog, int id, bool enable) {
    EnableWindow(GetDlgItem(dialog, id), enable ? TRUE : FALSE);
}

void SetTextFromTable(HWND dialog, int id, UINT stringId) {
    char text[260];
    text[0] = '\0';
    LoadStringA(AppInstance, stringId, text, sizeof text);
    SetDlgItemTextA(dialog, id, text);
}

// The status line takes string 5 as text, never as a format.
void SetStatusFromTable(HWND dialog, UINT stringId) {
    char text[260];
    text[0] = '\0';
    LoadStringA(AppInstance, stringId, text, sizeof text);
    SetStatusText(dialog, "%s", text);
}

// Gives the control the keyboard focus as the dialog manager does (a push button also
// becomes the default button, so that Enter presses it).
void FocusControl(HWND dialog, int id) {
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, id)), TRUE);
}

// Puts text into the input field, selects all of it and gives it the focus.
void FillInputField(HWND dialog, const char* text) {
    HWND field = GetDlgItem(dialog, IDC_INPUT);
    SendMessageA(field, EM_LIMITTEXT, InputLimit, 0);
    SetWindowTextA(field, text);
    SendMessageA(field, EM_SETSEL, 0, -1);
    SetFocus(field);
}

// The finish text naming the group. A name too long for the 260-byte text is
// cut on a whole character so that the sentence around it stays complete.
void FormatFinishText(char* text, size_t capacity) {
    const char* format = NewShell ? StartMenuFinishFormat : ProgmanFinishFormat;
    const size_t fixedPart = strlen(format) - 2; // without "%s"
    char name[PathCapacity];
    const size_t room = capacity > fixedPart ? capacity - fixedPart : 1;
    CopyText(name, room < sizeof name ? room : sizeof name, GroupName);
    char scratch[1024 + 16];
    wsprintfA(scratch, format, name);
    CopyText(text, capacity, scratch);
}

void InitialiseWizard(HWND dialog) {
    MainWindow = dialog;
    WizardBusy = 0;
    WizardPage = 1; // the posted Back builds the folder page and lowers it to 0
    SetWindowTextA(dialog, InstallCaption);
    if (IsNtFamily()) {
        CheckDlgButton(dialog, IDC_CHECK, CommonMode ? BST_CHECKED : BST_UNCHECKED);
    }
    PostMessageA(dialog, WM_COMMAND, IDC_BACK, 0);
    CenterWindow(dialog, nullptr);
}

void ConfirmFinishPage(HWND dialog) {
    if (RestartNeeded) {
        // The restart variant: the page stays until Windows goes down.
        ExitWindowsEx(EWX_REBOOT, 0);
        return;
    }
    if (IsDlgButtonChecked(dialog, IDC_CHECK) == BST_CHECKED)
        LaunchNow = 1;
    EndDialog(dialog, 1);
}

void OnNext(HWND dialog) {
    if (WizardBusy > 0)
        return;
    switch (WizardPage) {
    case 0:
        InstallStep(dialog);
        break;
    case 1:
        FinishStep(dialog);
        break;
    case 2:
        ConfirmFinishPage(dialog);
        return;
    default:
        return;
    }
    // A step disables Next while it works; a focused Next loses the focus then, and a
    // keyboard would reach nothing. Next, enabled again, takes it back.
    HWND focus = GetFocus();
    if (focus == nullptr || (focus != dialog && GetParent(focus) != dialog))
        FocusControl(dialog, IDC_NEXT);
}

// 中止, Escape or the close box. Before the finishing step is done, the run leaves
// nothing: what the install step put in place is undone.
void OnCancel(HWND dialog) {
    if (WizardBusy != 0)
        return;
    ++WizardBusy;
    UndoFileStep(dialog);
    --WizardBusy;
    EndDialog(dialog, 2);
}

void OnBack(HWND dialog) {
    if (WizardPage == 1)
        ShowFolderPage(dialog);
}

// Command 1010 on the folder page: the shell's folder chooser, rooted at the
// desktop and opened on the folder currently typed in the field.
void OnBrowse(HWND dialog) {
    if (WizardPage != 0)
        return;
    char title[260];
    title[0] = '\0';
    LoadStringA(AppInstance, IDS_BROWSE_TITLE, title, sizeof title);
    char current[BrowseTextLimit + 1];
    current[0] = '\0';
    GetDlgItemTextA(dialog, IDC_INPUT, current, sizeof current);

    LPITEMIDLIST desktop = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(dialog, CSIDL_DESKTOP, &desktop)) || desktop == nullptr) {
        return;
    }
    BrowseForFolder(dialog, current, desktop, title);
    FreeItemIdList(desktop);
}

int CALLBACK BrowseSelectionCallback(HWND chooser, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED) {
        SendMessageA(chooser, BFFM_SETSELECTIONA, TRUE, data);
        return 1;
    }
    return 0;
}

INT_PTR OnSetCursor(HWND dialog) {
    if (WizardBusy == 0)
        return FALSE;
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
    return TRUE;
}

} // namespace

INT_PTR CALLBACK WizardDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        InitialiseWizard(dialog);
        return FALSE; // the folder page sets the focus
    case WM_SETCURSOR:
        return OnSetCursor(dialog);
    case WM_COMMAND:
        // The whole parameter: only clicks (code 0) and Enter/Escape act.
        switch (wParam) {
        case IDC_NEXT:
            OnNext(dialog);
            return TRUE;
        case IDC_CANCEL:
            OnCancel(dialog);
            return TRUE;
        case IDC_BACK:
            OnBack(dialog);
            return TRUE;
        case IDC_BROWSE:
            OnBrowse(dialog);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

void ShowFolderPage(HWND dialog) {
    SetDlgItemTextA(dialog, IDC_HEADLINE, FolderHeadline);
    ShowControl(dialog, IDC_HEADLINE, true);
    SetTextFromTable(dialog, IDC_INSTRUCTION, IDS_FOLDER_PAGE);
    ShowControl(dialog, IDC_INSTRUCTION, true);
    SetDlgItemTextA(dialog, IDC_INPUT_LABEL, FolderLabel);
    ShowControl(dialog, IDC_INPUT, true);
    FillInputField(dialog, InstallDir);
    if (NewShell) {
        EnableControl(dialog, IDC_BROWSE, true);
        ShowControl(dialog, IDC_BROWSE, true);
    } else {
        ShowControl(dialog, IDC_BROWSE, false);
    }
    ShowControl(dialog, IDC_STATUS, true);
    SetStatusFromTable(dialog, IDS_NO_NEED_TO_CHANGE);
    EnableControl(dialog, IDC_BACK, false);
    ShowControl(dialog, IDC_BACK, false);
    ShowControl(dialog, IDC_HELP_BUTTON, false);
    --WizardPage;
    ShowControl(dialog, IDC_CHECK, false);
}

void ShowGroupPage(HWND dialog) {
    SetStatusFromTable(dialog, IDS_NO_NEED_TO_CHANGE);
    SetDlgItemTextA(dialog, IDC_INPUT_LABEL, GroupLabel);
    FillInputField(dialog, Options.group[0] != '\0' ? Options.group : ProductKeyName);
    SetTextFromTable(dialog, IDC_INSTRUCTION, IDS_GROUP_PAGE);
    ShowControl(dialog, IDC_BROWSE, false);
    ShowControl(dialog, IDC_HEADLINE, false);
    if (IsNtFamily()) {
        EnableControl(dialog, IDC_CHECK, CommonAllowed != 0);
        ShowControl(dialog, IDC_CHECK, true);
    }
    EnableControl(dialog, IDC_BACK, true);
    ShowControl(dialog, IDC_BACK, true);
    ++WizardPage;
}

void ShowFinishPage(HWND dialog) {
    ShowControl(dialog, IDC_INPUT, false);
    ShowControl(dialog, IDC_INSTRUCTION, false);
    ShowControl(dialog, IDC_INPUT_LABEL, false);
    SetStatusText(dialog, "");
    ShowControl(dialog, IDC_STATUS, false);
    SetDlgItemTextA(dialog, IDC_CHECK, LaunchBoxText);
    CheckDlgButton(dialog, IDC_CHECK, BST_CHECKED);
    EnableControl(dialog, IDC_CHECK, true);
    ShowControl(dialog, IDC_CHECK, true);
    SetTextFromTable(dialog, IDC_HEADLINE, IDS_SETUP_DONE);
    ShowControl(dialog, IDC_HEADLINE, true);
    ShowControl(dialog, IDC_CANCEL, false);
    ShowControl(dialog, IDC_INSTRUCTION, true);
    SetDlgItemTextA(dialog, IDC_NEXT, FinishButtonText);
    char finishText[FinishTextCapacity];
    FormatFinishText(finishText, sizeof finishText);
    SetDlgItemTextA(dialog, IDC_INSTRUCTION, finishText);
    ShowControl(dialog, IDC_INSTRUCTION, true);
    // A word wider than a line (a group name without blanks) is broken, not cut off.
    HWND text = GetDlgItem(dialog, IDC_INSTRUCTION);
    SetWindowLongPtrA(text, GWL_STYLE, GetWindowLongPtrA(text, GWL_STYLE) | SS_EDITCONTROL);
    PlaceControl(dialog, IDC_INSTRUCTION, FinishTextRect);
    PlaceControl(dialog, IDC_CHECK, LaunchBoxRect);
    SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ++WizardPage;
    ShowControl(dialog, IDC_BACK, false);
    EnableControl(dialog, IDC_NEXT, true);
    FocusControl(dialog, IDC_NEXT);
}

void ShowRestartPage(HWND dialog) {
    ShowControl(dialog, IDC_INPUT, false);
    ShowControl(dialog, IDC_INPUT_LABEL, false);
    ShowControl(dialog, IDC_INSTRUCTION, false);
    ShowControl(dialog, IDC_HEADLINE, false);
    SetStatusText(dialog, "");
    ShowControl(dialog, IDC_STATUS, false);
    ShowControl(dialog, IDC_CHECK, false);
    ShowControl(dialog, IDC_RESTART_TEXT, true);
    ShowControl(dialog, IDC_RESTART_WARNING, true);
    SetDlgItemTextA(dialog, IDC_NEXT, RestartButtonText);
    EnableControl(dialog, IDC_CANCEL, true);
    ShowControl(dialog, IDC_BACK, false);
    ++WizardPage;
    EnableControl(dialog, IDC_NEXT, true);
    FocusControl(dialog, IDC_NEXT);
}

void BrowseForFolder(HWND dialog, const char* currentFolder, LPCITEMIDLIST root,
                     const char* title) {
    char displayName[PathCapacity];
    displayName[0] = '\0';
    BROWSEINFOA info;
    memset(&info, 0, sizeof info);
    info.hwndOwner = dialog;
    info.pidlRoot = root;
    info.pszDisplayName = displayName;
    info.lpszTitle = title;
    // 0x0041. Not BIF_BROWSEFORCOMPUTER: it greys OK for anything but a computer, and
    // shells before 5.0 (no BIF_NEWDIALOGSTYLE) would then never let a folder be chosen.
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    info.lpfn = BrowseSelectionCallback;
    info.lParam = reinterpret_cast<LPARAM>(currentFolder);
    info.iImage = 0;

    LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
    if (chosen == nullptr)
        return; // cancelled
    char path[PathCapacity];
    path[0] = '\0';
    // A choice without a file-system path leaves the field as it is.
    if (SHGetPathFromIDListA(chosen, path) && path[0] != '\0') {
        SetDlgItemTextA(dialog, IDC_INPUT, path);
    }
    FreeItemIdList(chosen);
}
