// Next on the folder page: resolve and create the install folder, put the nine
// files into it (from resource 19, or copied from beside the running program)
// and record the folder as InstallLocation.
#include "wizard/Wizard.h"
#include "archive/ExtractPayload.h"
#include "integration/Registry.h"
#include "archive/ExtractArchive.h"
#include "shell/Helpers.h"
#include "shell/Log.h"
#include "shell/Options.h"
#include "shell/SetupState.h"
#include "shell/StartUp.h"
#include "resource.h"

#include <string.h>

namespace {

const char CreatingFolderText[] = "フォルダ(ディレクトリ)の作成中...";
const char CopyingFileFormat[] = "ﾌｧｲﾙ %s をｺﾋﾟｰ中...";
const char CannotWriteFormat[] =
    "%s\nのフォルダに書き込みできません。\n別のフォルダを指定してください。";
const int WriteErrorCode = 8; // an output file could not be created

// Bytes of the blank at text (ASCII space 1, ideographic space 2), or 0.
size_t BlankLength(const char* text) {
    if (text[0] == ' ')
        return 1;
    // 0x81 is always a lead byte in code page 932, so at a character start
    // 81 40 can only be the ideographic space.
    if (static_cast<BYTE>(text[0]) == 0x81 && static_cast<BYTE>(text[1]) == 0x40)
        return 2;
    return 0;
}

// The wizard's buttons while a step works (a run without a dialog has none).
void BeginWork(HWND dialog) {
    ++WizardBusy;
    if (dialog == nullptr)
        return;
    EnableWindow(GetDlgItem(dialog, IDC_NEXT), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_CANCEL), FALSE);
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
}

void EndWork(HWND dialog) {
    if (dialog == nullptr) {
        --WizardBusy;
        return;
    }
    EnableWindow(GetDlgItem(dialog, IDC_NEXT), TRUE);
    EnableWindow(GetDlgItem(dialog, IDC_CANCEL), TRUE);
    --WizardBusy;
}

// GetFullPathNameA into InstallDir; false when the text cannot be made absolute.
bool ResolveInstallFolder(const char* typed) {
    char full[PathCapacity];
    char* filePart = nullptr;
    const DWORD length = GetFullPathNameA(typed, sizeof full, full, &filePart);
    if (length == 0 || length >= sizeof full)
        return false;
    CopyText(InstallDir, sizeof InstallDir, full);
    if (InstallDir[0] == '\0')
        CopyText(InstallDir, sizeof InstallDir, SetupDir);
    return true;
}

bool CreateInstallFolder(HWND dialog) {
    if (PathExists(InstallDir, 1))
        return true;
    SetStatusText(dialog, "%s", CreatingFolderText);
    if (CreateFolderTree(InstallDir, TRUE)) {
        LogLine("folder created: %s", InstallDir);
        return true;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS && IsExistingFolder(InstallDir))
        return true;
    LogLine("error: the folder %s cannot be created (system error %lu)", InstallDir, error);
    return false;
}

// The folder cannot be used: said with the folder's write message (also when it could not
// be created, which the person would otherwise not learn), and the folder field is ready
// for another one.
void ReportUnusableFolder(HWND dialog) {
    SetStatusText(dialog, "");
    char text[512];
    FormatText(text, sizeof text, CannotWriteFormat, InstallDir);
    AskUser(dialog, text, InstallCaption, MB_OK | MB_ICONINFORMATION);
    if (dialog == nullptr)
        return;
    HWND field = GetDlgItem(dialog, IDC_INPUT);
    SendMessageA(field, EM_SETSEL, 0, -1);
    SetFocus(field);
}

bool HasPayload() {
    return FindResourceA(AppInstance, MAKEINTRESOURCEA(IDR_PAYLOAD), RT_RCDATA) != nullptr;
}

// The carried archive is read whole and checked before anything is written: a damaged
// or wrong archive must not replace a good installation with half of one.
bool CheckCarriedArchive() {
    const int code = CheckPayload(AppInstance, InstallFiles, InstallFileCount);
    if (code == 0)
        return true;
    ShowArchiveError(AppInstance, code);
    return false;
}

void LogWrittenFile(void*, const MemberHeader& header, MemberOutcome outcome, int result) {
    if (outcome == kMemberExtracted)
        LogLine("file written: %s%s (%lu bytes)", header.directory, header.fileName,
                static_cast<unsigned long>(header.originalSize));
    else if (outcome != kMemberSkipped)
        LogLine("error: %s%s not written (archive code %d)", header.directory, header.fileName,
                result);
}

// ExitDone, or the exit code of the failure: a file that cannot be written is the
// folder's fault, anything else the archive's.
int ExtractFiles() {
    const int code = ExtractPayload(AppInstance, InstallDir, LogWrittenFile, nullptr);
    if (code == 0)
        return ExitDone;
    if (code == WriteErrorCode) {
        char text[512];
        FormatText(text, sizeof text, CannotWriteFormat, InstallDir);
        AskUser(nullptr, text, InstallCaption, MB_OK | MB_ICONINFORMATION);
        return ExitFolderUnusable;
    }
    ShowArchiveError(AppInstance, code);
    return ExitFilesUnusable;
}

// Upper-cased copy with one trailing separator removed, for comparing folders.
void FolderKey(char* key, const char* folder) {
    CopyText(key, PathCapacity, folder);
    const char* last = LastCharacter(key);
    if (last != nullptr && (*last == '\\' || *last == '/') && last > key && last[-1] != ':') {
        key[last - key] = '\0';
    }
    CharUpperBuffA(key, static_cast<DWORD>(strlen(key)));
}

bool RunsFromInstallFolder() {
    char setupKey[PathCapacity];
    char installKey[PathCapacity];
    FolderKey(setupKey, SetupDir);
    FolderKey(installKey, InstallDir);
    return strcmp(setupKey, installKey) == 0;
}

bool SourcePath(char* source, const char* name) {
    CopyText(source, PathCapacity, SetupDir);
    return AppendPath(source, name) != FALSE;
}

// Every file beside the program is there before the first one is copied; Retry on the
// message looks again (a medium may have been put back).
bool CheckCopySources(HWND dialog) {
    if (RunsFromInstallFolder())
        return true; // nothing is copied
    for (int index = 0; index < InstallFileCount; ++index) {
        char source[PathCapacity];
        while (!SourcePath(source, InstallFiles[index]) || !PathExists(source, 0)) {
            LogLine("error: %s is missing", source);
            if (ShowMessageArg(dialog, IDS_CANNOT_COPY, InstallFiles[index], InstallCaption,
                               MB_RETRYCANCEL) != IDRETRY) {
                return false;
            }
        }
    }
    return true;
}

unsigned long FileSize(const char* path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);
    return found.nFileSizeLow;
}

// One file; Retry on the message copies it again. False when the user gives up.
bool CopyOneFile(HWND dialog, const char* name) {
    char source[PathCapacity];
    char target[PathCapacity];
    CopyText(target, sizeof target, InstallDir);
    const bool joined = SourcePath(source, name) && AppendPath(target, name);
    SetStatusText(dialog, CopyingFileFormat, name);
    for (;;) {
        if (joined) {
            SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL);
            if (CopyFileA(source, target, FALSE)) {
                SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL);
                LogLine("file copied: %s (%lu bytes)", target, FileSize(target));
                return true;
            }
            LogLine("error: %s cannot be copied to %s (system error %lu)", source, target,
                    GetLastError());
        }
        if (ShowMessageArg(dialog, IDS_CANNOT_COPY, name, InstallCaption, MB_RETRYCANCEL) !=
            IDRETRY) {
            return false;
        }
    }
}

bool CopyFiles(HWND dialog) {
    if (RunsFromInstallFolder())
        return true;
    for (int index = 0; index < InstallFileCount; ++index) {
        if (!CopyOneFile(dialog, InstallFiles[index]))
            return false;
    }
    return true;
}

void RecordInstallLocation() {
    WriteProductValue("InstallLocation", InstallDir);
}

} // namespace

char* TrimBlanks(char* text) {
    char* start = text;
    for (size_t blank = BlankLength(start); blank != 0; blank = BlankLength(start)) {
        start += blank;
    }
    char* end = start; // just past the last character that is not a blank
    for (char* p = start; *p != '\0';) {
        const size_t blank = BlankLength(p);
        char* next = blank != 0 ? p + blank : CharNextA(p);
        if (blank == 0)
            end = next;
        p = next;
    }
    const size_t length = static_cast<size_t>(end - start);
    memmove(text, start, length);
    text[length] = '\0';
    return text;
}

int InstallFilesInto(HWND dialog, const char* typed) {
    BeginWork(dialog);
    if (!ResolveInstallFolder(typed)) {
        LogLine("error: %s cannot be made a full path", typed);
        SetStatusText(dialog, "");
        if (!Unattended)
            MessageBeep(0xFFFFFFFF);
        EndWork(dialog);
        return ExitFolderUnusable;
    }
    LogLine("install folder: %s", InstallDir);
    const bool carried = HasPayload();
    if (!(carried ? CheckCarriedArchive() : CheckCopySources(dialog))) {
        RecordInstallLocation(); // the folder was chosen; nothing else is written
        SetStatusText(dialog, "");
        EndWork(dialog);
        return ExitFilesUnusable;
    }
    if (!CreateInstallFolder(dialog)) {
        ReportUnusableFolder(dialog);
        EndWork(dialog);
        return ExitFolderUnusable;
    }
    SetStatusText(dialog, "");
    RestartNeeded = 0;

    const int outcome = carried ? ExtractFiles() : (CopyFiles(dialog) ? ExitDone : ExitFolderUnusable);
    RecordInstallLocation(); // also after a failure: the folder was chosen
    SetStatusText(dialog, "");
    if (outcome == ExitDone) {
        CompleteSettingsMigration(); // the settings go where the files went
        if (dialog != nullptr)
            ShowGroupPage(dialog);
    }
    EndWork(dialog);
    return outcome;
}

int InstallStep(HWND dialog) {
    char typed[PathCapacity];
    typed[0] = '\0';
    GetDlgItemTextA(dialog, IDC_INPUT, typed, sizeof typed);
    TrimBlanks(typed);
    if (typed[0] == '\0') {
        SetDlgItemTextA(dialog, IDC_INPUT, SetupDir);
        return 0;
    }
    return InstallFilesInto(dialog, typed) == ExitDone ? 1 : 0;
}
