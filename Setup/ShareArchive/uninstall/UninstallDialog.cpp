// The uninstall dialog on DLG_MASTER and the removal of the installed files.
#include "uninstall/Uninstall.h"
#include "shell/Helpers.h"
#include "shell/Log.h"
#include "shell/Options.h"
#include "shell/SetupState.h"
#include "resource.h"

#include <string.h>

int UninstallStep;
int UninstallBusy;

namespace {

const char* const StartHeadline = "「くおりん」をアンインストールします。";
const char* const StartInstruction = "「くおりん」で使用したファイルが削除されます。\n必要なデータ"
                                     "のバックアップ後に行なってください。";
const char* const ExecuteCaption = "実行";
const char* const FinishCaption = "終了";
const char* const FolderStatusFormat = "削除ﾌｫﾙﾀﾞ %s";
const char* const DeletingStatus = "削除中...";
const char* const DeletingFileFormat = "%sを削除中...";

// What an earlier or a trial edition of the application may have left in its folder.
const char* const RemovedBaseNames[] = {"QUORIN32", "$UORIN32", "QUORTRAL", "QUORIN", "$UORIN"};
const char* const RemovedExtension = "QRO";
// The user's household accounts: never deleted, whatever their base name.
const char* const DocumentExtensionUpper = "QRB";
const char* const RemovedWholeNames[] = {
    "$ETUP.EXE",  "HOLIDAY.TXT", "TIPS.TXT",     "$IPS.TXT", "HISTRY.TXT", "HISTORY.TXT",
    "$ISTRY.TXT", "UNSETMV.EXE", "STD_MINI.EXE", "VIEW.KEY", "CALC.KEY",
};

template <size_t N> bool IsOneOf(const char* text, const char* const (&names)[N]) {
    for (const char* name : names) {
        if (strcmp(text, name) == 0)
            return true;
    }
    return false;
}

// The last "." of text (whole characters only), or null.
char* LastDot(char* text) {
    char* found = nullptr;
    for (char* p = text; *p != '\0'; p += CharacterLength(p)) {
        if (*p == '.')
            found = p;
    }
    return found;
}

// Where the folder line goes when the status line's own two lines cannot show the folder:
// down from below the instruction, over the wizard's hidden field, to the separator.
const RECT LongFolderLineRect = {29, 59, 238, 103};

HWND Item(HWND dialog, int id) {
    return GetDlgItem(dialog, id);
}

void ShowWaitCursor() {
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
}

// The folder that will be removed, named whole (or, past the longest line, with its root
// and last folder): in the status line, which grows where it holds too little.
void ShowFolderLine(HWND dialog) {
    if (SetPathLine(Item(dialog, IDC_STATUS), FolderStatusFormat, InstallDir))
        return;
    PlaceControl(dialog, IDC_STATUS, LongFolderLineRect);
    SetPathLine(Item(dialog, IDC_STATUS), FolderStatusFormat, InstallDir);
}

// The start page: the title, the controls the wizard uses hidden, the start texts.
void InitUninstallDialog(HWND dialog) {
    MainWindow = dialog;
    UninstallBusy = 0;
    UninstallStep = 0;

    SetWindowTextA(dialog, RemoveCaption);
    static const int hidden[] = {IDC_INPUT_LABEL, IDC_INPUT, IDC_BROWSE, IDC_HELP_BUTTON, IDC_BACK};
    for (int id : hidden)
        ShowWindow(Item(dialog, id), SW_HIDE);

    SetDlgItemTextA(dialog, IDC_HEADLINE, StartHeadline);
    SetDlgItemTextA(dialog, IDC_INSTRUCTION, StartInstruction);
    SetDlgItemTextA(dialog, IDC_NEXT, ExecuteCaption);
    ShowFolderLine(dialog);

    CenterWindow(dialog, nullptr);
}

void OnExecuteOrFinish(HWND dialog) {
    if (UninstallBusy > 0)
        return;
    if (UninstallStep == 0) {
        RemoveInstalledFiles(dialog, &UninstallStep, &UninstallBusy);
    } else if (UninstallStep == 1) {
        EndDialog(dialog, 1);
    }
}

// Escape, the close box and Alt+F4. Once the files are gone the removal is done whatever
// closes the dialog: it ends as "終了" does, so that the clean-up runs.
void OnCancel(HWND dialog) {
    if (UninstallBusy == 0)
        EndDialog(dialog, UninstallStep == 1 ? 1 : 2);
}

// Deletes one file, offering a retry while that fails. False when the user gave it up.
bool DeleteWithRetry(HWND dialog, const char* path) {
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    while (!DeleteFileA(path)) {
        LogLine("error: %s cannot be deleted (system error %lu)", path, GetLastError());
        // Nobody can close what holds the file: an unattended run leaves it (and says so).
        if (ShowMessage(dialog, IDS_CANNOT_DELETE, RemoveCaption, MB_RETRYCANCEL, IDCANCEL) !=
            IDRETRY) {
            LogLine("file left: %s", path);
            return false;
        }
        SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    }
    LogLine("file deleted: %s", path);
    return true;
}

struct RemovalCount {
    int deleted = 0;
    int givenUp = 0;
};

// Walks the install folder (no sub-folders) and deletes what the rule names.
void DeleteMatchingEntries(HWND dialog, const char* runningProgram, RemovalCount* count) {
    char pattern[PathCapacity + 4];
    wsprintfA(pattern, "%s\\%s", InstallDir, "*"); // InstallDir holds at most 259 bytes

    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0)
            continue;
        if (!IsInstalledFileName(found.cFileName))
            continue;

        char path[PathCapacity];
        CopyText(path, sizeof path, InstallDir);
        if (!AppendPath(path, found.cFileName))
            continue; // a name that does not fit is not ours
        // Compared without regard to case, as the file system compares names.
        if (SamePathIgnoringCase(path, runningProgram))
            continue;

        SetStatusText(dialog, DeletingFileFormat, path);
        if (DeleteWithRetry(dialog, path)) {
            ++count->deleted;
        } else {
            ++count->givenUp;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

void ShowOutcome(HWND dialog, const RemovalCount& count) {
    SetStatusText(dialog, "");
    const bool complete = count.deleted > 0 && count.givenUp == 0;
    char text[PathCapacity];
    text[0] = '\0';
    LoadStringA(AppInstance, complete ? IDS_REMOVAL_DONE : IDS_SOME_NOT_DELETED, text, sizeof text);
    SetDlgItemTextA(dialog, IDC_HEADLINE, text);
    SetDlgItemTextA(dialog, IDC_INSTRUCTION, "");
    SetDlgItemTextA(dialog, IDC_NEXT, FinishCaption);
}

bool ConfirmRemoval(HWND dialog) {
    // An unattended removal was asked for: Yes.
    return ShowMessageIds(dialog, IDS_REALLY_DELETE, IDS_CONFIRM_REMOVAL,
                          MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, IDYES) == IDYES;
}

RemovalCount DeleteInstalledFiles(HWND dialog) {
    LogLine("removing the application's files from %s", InstallDir);
    char runningProgram[PathCapacity];
    const DWORD length = GetModuleFileNameA(nullptr, runningProgram, sizeof runningProgram);
    if (length == 0 || length >= sizeof runningProgram)
        runningProgram[0] = '\0';
    RemovalCount count;
    DeleteMatchingEntries(dialog, runningProgram, &count);
    LogLine("files deleted: %d, left: %d", count.deleted, count.givenUp);
    return count;
}

} // namespace

bool IsInstalledFileName(const char* name) {
    char upper[PathCapacity];
    CopyUpperCase(upper, sizeof upper, name);
    if (IsOneOf(upper, RemovedWholeNames))
        return true;

    char* dot = LastDot(upper);
    const char* extension = "";
    if (dot != nullptr) {
        *dot = '\0';
        extension = dot + 1;
    }
    if (strcmp(extension, DocumentExtensionUpper) == 0)
        return false;
    return IsOneOf(upper, RemovedBaseNames) || strcmp(extension, RemovedExtension) == 0;
}

void RemoveInstalledFiles(HWND dialog, int* stepCounter, int* busyCounter) {
    if (!ConfirmRemoval(dialog))
        return;

    ++*busyCounter;
    EnableWindow(Item(dialog, IDC_NEXT), FALSE);
    ShowWaitCursor();
    SetStatusText(dialog, DeletingStatus);

    const RemovalCount count = DeleteInstalledFiles(dialog);
    ShowOutcome(dialog, count);

    ++*stepCounter;
    ShowWindow(Item(dialog, IDC_CANCEL), SW_HIDE);
    EnableWindow(Item(dialog, IDC_NEXT), TRUE);
    // Disabled, the button lost the focus: "終了" takes it (and becomes the default
    // button), so that Enter ends the dialog with 1 and the clean-up runs.
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(dialog, IDC_NEXT)), TRUE);
    --*busyCounter;
}

void RunUnattendedUninstall() {
    if (!ConfirmRemoval(nullptr))
        return; // answered Yes; here for the log's sake
    const RemovalCount count = DeleteInstalledFiles(nullptr);
    RunUninstallCleanup();
    if (count.givenUp > 0)
        ReportOutcome(ExitFilesLeft);
}

INT_PTR CALLBACK UninstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        InitUninstallDialog(dialog);
        return FALSE; // the focus stays where the platform leaves it
    case WM_SETCURSOR:
        if (UninstallBusy == 0)
            return FALSE;
        ShowWaitCursor();
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_COMMAND:
        // The whole parameter: plain clicks and the dialog manager's Enter and Escape.
        if (wParam == IDC_NEXT) {
            OnExecuteOrFinish(dialog);
            return TRUE;
        }
        if (wParam == IDC_CANCEL) {
            OnCancel(dialog);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
