// Next on the folder page: resolve and create the install folder and put the nine
// files into it (from resource 19, or copied from beside the running program), all
// or nothing: each is written under a temporary name first, and only when all are
// good are they put in place.
#include "wizard/Wizard.h"
#include "archive/ExtractArchive.h"
#include "integration/Registry.h"
#include "shell/Helpers.h"
#include "shell/Log.h"
#include "shell/Options.h"
#include "shell/SetupState.h"
#include "shell/StartUp.h"
#include "resource.h"

#include <string.h>

namespace {

const char CopyingFileFormat[] = "ﾌｧｲﾙ %s をｺﾋﾟｰ中...";
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

// The wizard's buttons while a step works.
void BeginWork(HWND dialog) {
    ++WizardBusy;
    EnableWindow(GetDlgItem(dialog, IDC_NEXT), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_CANCEL), FALSE);
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
}

void EndWork(HWND dialog) {
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

bool RunsFromInstallFolder() {
    return SameFolder(SetupDir, InstallDir);
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
            // Nobody can put a medium back: an unattended run gives up.
            if (ShowMessageArg(dialog, IDS_CANNOT_COPY, InstallFiles[index], InstallCaption,
                               MB_RETRYCANCEL, IDCANCEL) != IDRETRY) {
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

// Room for the files beside the program, each rounded up to whole clusters.
ULONGLONG RoomOfCopies(DWORD clusterBytes) {
    ULONGLONG room = 0;
    for (int index = 0; index < InstallFileCount; ++index) {
        char source[PathCapacity];
        if (SourcePath(source, InstallFiles[index]))
            room += ClusterRoom(FileSize(source), clusterBytes);
    }
    return room;
}

// True when all nine are in place; otherwise the failure is said and reported: a file that
// cannot be written or replaced is the folder's fault, anything else the archive's.
bool ExtractFiles(HWND dialog) {
    int code = StageCarriedFiles();
    if (code == 0) {
        const int failed = InstallStaging.PlaceAll();
        if (failed >= 0) {
            LogLine("error: %s cannot be put in place (system error %lu)",
                    InstallStaging.Name(failed), GetLastError());
            code = WriteErrorCode;
        }
    }
    if (code == 0)
        return true;
    if (code == WriteErrorCode) {
        ReportUnusableFolder(dialog);
        ReportOutcome(ExitFolderUnusable);
        return false;
    }
    ShowArchiveError(AppInstance, code);
    ReportOutcome(ExitFilesUnusable);
    return false;
}

// Retry on the message tries the failed step again; false when the user gives up.
bool AskRetryCopy(HWND dialog, const char* name) {
    return ShowMessageArg(dialog, IDS_CANNOT_COPY, name, InstallCaption, MB_RETRYCANCEL,
                          IDCANCEL) == IDRETRY;
}

// One file copied to a temporary name of its own in the install folder.
bool CopyToStaging(HWND dialog, const char* name) {
    char source[PathCapacity];
    char target[PathCapacity];
    char temporary[kArchivePathCapacity];
    CopyText(target, sizeof target, InstallDir);
    SetStatusText(dialog, CopyingFileFormat, name);
    const ArchiveFile file = InstallStaging.Create(name);
    if (file == kNoArchiveFile || !SourcePath(source, name) || !AppendPath(target, name)) {
        LogLine("error: no temporary file for %s in %s (system error %lu)", name, InstallDir,
                GetLastError());
        if (file != kNoArchiveFile) {
            ArchiveCloseFile(file);
            InstallStaging.DropLast();
        }
        return false;
    }
    ArchiveCloseFile(file);
    InstallStaging.TemporaryPath(InstallStaging.Count() - 1, temporary);
    if (!CopyFileA(source, temporary, FALSE)) {
        LogLine("error: %s cannot be copied to %s (system error %lu)", source, target,
                GetLastError());
        InstallStaging.DropLast();
        return false;
    }
    SetFileAttributesA(temporary, FILE_ATTRIBUTE_NORMAL);
    LogLine("file copied: %s (%lu bytes)", target, FileSize(temporary));
    return true;
}

bool CopyFiles(HWND dialog) {
    for (int index = 0; index < InstallFileCount; ++index) {
        while (!CopyToStaging(dialog, InstallFiles[index])) {
            if (!AskRetryCopy(dialog, InstallFiles[index]))
                return false;
        }
    }
    for (int index = 0; index < InstallStaging.Count(); ++index) {
        while (!InstallStaging.Place(index)) {
            LogLine("error: %s cannot be put in place (system error %lu)",
                    InstallStaging.Name(index), GetLastError());
            if (!AskRetryCopy(dialog, InstallStaging.Name(index)))
                return false;
        }
    }
    return true;
}

// The folder made absolute, the sources checked, the folder opened for the step and the
// files written and put in place; a failure is said and reported.
bool PutFilesInPlace(HWND dialog, const char* typed) {
    if (!ResolveInstallFolder(typed)) {
        LogLine("error: %s cannot be made a full path (system error %lu)", typed, GetLastError());
        if (!Unattended)
            MessageBeep(0xFFFFFFFF);
        ReportOutcome(ExitFolderUnusable);
        return false;
    }
    LogLine("install folder: %s", InstallDir);
    const bool carried = CarriesFiles();
    if (!carried && !CheckCopySources(dialog)) {
        ReportOutcome(ExitFilesUnusable);
        return false;
    }
    RestartNeeded = 0;
    if (!carried && RunsFromInstallFolder())
        return true; // the files are where they go: nothing is copied
    if (!OpenFileStep(dialog, carried ? RoomOfCarriedFiles : RoomOfCopies)) {
        ReportOutcome(ExitFolderUnusable); // the step has said why
        return false;
    }
    SetStatusText(dialog, "");
    if (carried)
        return ExtractFiles(dialog);
    if (CopyFiles(dialog))
        return true;
    ReportOutcome(ExitFolderUnusable);
    return false;
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

bool InstallFilesInto(HWND dialog, const char* typed) {
    BeginWork(dialog);
    UndoFileStep(dialog); // Back and Next again: what the earlier Next put in place goes first
    const bool installed = PutFilesInPlace(dialog, typed);
    SetStatusText(dialog, "");
    if (installed) {
        const char* settings = CompleteSettingsMigration(); // the settings go where the files went
        if (settings != nullptr && InstallStaging.Count() > 0) // a step of its own, undone with it
            InstallStaging.Adopt(settings);
    } else {
        UndoFileStep(dialog);
    }
    EndWork(dialog);
    return installed;
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
    if (!InstallFilesInto(dialog, typed))
        return 0;
    ShowGroupPage(dialog);
    return 1;
}
