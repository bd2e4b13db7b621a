// The install step's files, all or nothing. The step checks the room on the drive,
// creates the folder, writes every file under a temporary name and then puts them in
// place (StagedFiles). Until the finishing step is done, the step can be undone: the
// files it wrote go, the earlier files come back, and the folders it created are
// removed. Nothing of the step is in the registry (InstallLocation is the finishing
// step's), so an undone step leaves the earlier installation exactly as it was.
#include "wizard/Wizard.h"
#include "integration/Registry.h"
#include "shell/Helpers.h"
#include "shell/Log.h"
#include "shell/SetupState.h"
#include "resource.h"

#include <string.h>

StagedFiles InstallStaging;

namespace {

const char CreatingFolderText[] = "フォルダ(ディレクトリ)の作成中...";
const char CannotWriteFormat[] =
    "%s\nのフォルダに書き込みできません。\n別のフォルダを指定してください。";
const char NoRoomFormat[] = "%s\nのドライブに空き容量が足りません。\n必要な容量: %lu KB\n"
                            "空き容量: %lu KB\n別のフォルダを指定してください。";
const char NotRestoredFormat[] =
    "ファイル: %s を元に戻せませんでした。\n元のファイルは %s に残っています。";

typedef BOOL(WINAPI* FreeSpaceExCall)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

bool StepOpen;
// The folder of the open step, and the nearest folder above it (or itself) that was
// there before: the levels between them are the step's own.
char StepFolder[PathCapacity];
char FolderBefore[PathCapacity];

// "X:\" or "\\server\share\" of path; empty when it has neither (the current drive).
void DriveRootOf(const char* path, char* root) {
    root[0] = '\0';
    if (path[0] != '\0' && path[1] == ':') {
        CopyText(root, 4, path);
        root[2] = '\\';
        root[3] = '\0';
        return;
    }
    if (path[0] != '\\' || path[1] != '\\')
        return;
    int separators = 0;
    size_t length = 0;
    for (const char* p = path; *p != '\0' && separators < 4; p += CharacterLength(p)) {
        if (*p == '\\')
            ++separators;
        length = static_cast<size_t>(p - path) + CharacterLength(p);
    }
    if (length + 2 > PathCapacity)
        return;
    memcpy(root, path, length);
    if (root[length - 1] != '\\')
        root[length++] = '\\';
    root[length] = '\0';
}

// Cuts the last name off a folder path ("C:\a\b\" gives "C:\a", "C:\a" gives "C:\").
// False when there is nothing left to cut.
bool CutLastName(char* path) {
    DropTrailingSeparator(path);
    char* separator = nullptr;
    for (char* p = path; *p != '\0'; p += CharacterLength(p)) {
        if (*p == '\\' || *p == '/')
            separator = p;
    }
    if (separator == nullptr || separator[1] == '\0')
        return false;
    const bool root = separator == path + 2 && path[1] == ':';
    separator[root ? 1 : 0] = '\0';
    return true;
}

// The folder itself when it exists, else the nearest folder above it that does, on the
// same drive; empty when there is none.
void NearestExistingFolder(const char* folder, char* existing) {
    char root[PathCapacity];
    DriveRootOf(folder, root);
    CopyText(existing, PathCapacity, folder);
    while (!IsExistingFolder(existing)) {
        if (!CutLastName(existing) || strlen(existing) + 1 < strlen(root)) {
            existing[0] = '\0';
            return;
        }
    }
}

// The free bytes of the folder's drive for this account and its cluster size. The newer
// call (Windows 95 OSR2, NT 4.0) knows quotas and drives beyond 2 GB; the older one is
// what the first systems have. False when the drive tells nothing: a drive that reports
// no size at all cannot be judged, and the writes will tell.
bool ReadDriveSpace(const char* folder, ULONGLONG* freeBytes, DWORD* clusterBytes) {
    char root[PathCapacity];
    DriveRootOf(folder[0] != '\0' ? folder : InstallDir, root);
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceA(root[0] != '\0' ? root : nullptr, &sectorsPerCluster, &bytesPerSector,
                           &freeClusters, &clusters) ||
        clusters == 0 || sectorsPerCluster * bytesPerSector == 0) {
        return false;
    }
    *clusterBytes = sectorsPerCluster * bytesPerSector;
    *freeBytes = static_cast<ULONGLONG>(freeClusters) * *clusterBytes;
    const FreeSpaceExCall freeSpaceEx =
        LookUpFunction<FreeSpaceExCall>("kernel32.dll", "GetDiskFreeSpaceExA");
    char probe[PathCapacity];
    CopyText(probe, sizeof probe, folder);
    if (probe[0] != '\0' && !EndsWithSeparator(probe))
        AppendPath(probe, ""); // a share is named with its separator
    ULARGE_INTEGER available, total, totalFree;
    if (freeSpaceEx != nullptr && probe[0] != '\0' &&
        freeSpaceEx(probe, &available, &total, &totalFree)) {
        *freeBytes = available.QuadPart;
        return total.QuadPart != 0; // a folder of its own file system, which tells no size
    }
    return true;
}

// Kilobytes for the message, rounded up for what is needed and down for what is free.
DWORD Kilobytes(ULONGLONG bytes, bool roundUp) {
    const ULONGLONG kilobytes = (bytes + (roundUp ? 1023 : 0)) >> 10;
    return kilobytes > 0xFFFFFFFFULL ? 0xFFFFFFFFUL : static_cast<DWORD>(kilobytes);
}

// Whether the files fit on the drive of the install folder, before anything is written:
// all of them at once, since the earlier files stay until the finishing step is done,
// and a cluster more for the folder's own entries.
bool CheckRoom(HWND dialog, ULONGLONG (*roomFor)(DWORD clusterBytes)) {
    ULONGLONG freeBytes = 0;
    DWORD clusterBytes = 0;
    if (!ReadDriveSpace(FolderBefore, &freeBytes, &clusterBytes))
        return true;
    const ULONGLONG needed = roomFor(clusterBytes) + clusterBytes;
    if (needed <= freeBytes)
        return true;
    LogLine("error: the files need %lu KB on the drive of %s, %lu KB are free",
            Kilobytes(needed, true), InstallDir, Kilobytes(freeBytes, false));
    char text[768];
    FormatText(text, sizeof text, NoRoomFormat, InstallDir, Kilobytes(needed, true),
               Kilobytes(freeBytes, false));
    AskUser(dialog, text, InstallCaption, MB_OK | MB_ICONINFORMATION, IDOK);
    return false;
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
    ReportUnusableFolder(dialog); // the person would not learn it otherwise
    return false;
}

// The folders the step created, deepest first; a folder something else has put a file
// into stays.
void RemoveStepFolders() {
    char folder[PathCapacity];
    CopyText(folder, sizeof folder, StepFolder);
    DropTrailingSeparator(folder);
    char before[PathCapacity];
    CopyText(before, sizeof before, FolderBefore);
    DropTrailingSeparator(before);
    while (strlen(folder) > strlen(before) && RemoveDirectoryA(folder)) {
        LogLine("folder removed: %s", folder);
        if (!CutLastName(folder))
            return;
    }
}

void ReportUndone(void* context, const char* path, const char* aside, StagedOutcome outcome) {
    switch (outcome) {
    case kStagedRemoved:
        LogLine("file removed: %s", path);
        return;
    case kStagedRestored:
        LogLine("file restored: %s", path);
        return;
    case kStagedNotRestored:
        break;
    }
    LogLine("error: %s cannot be restored; the earlier file is kept as %s (system error %lu)", path,
            aside, GetLastError());
    char text[768];
    FormatText(text, sizeof text, NotRestoredFormat, path, aside);
    AskUser(static_cast<HWND>(context), text, InstallCaption, MB_OK | MB_ICONEXCLAMATION, IDOK);
}

} // namespace

void ReportUnusableFolder(HWND dialog) {
    SetStatusText(dialog, "");
    char text[512];
    FormatText(text, sizeof text, CannotWriteFormat, InstallDir);
    AskUser(dialog, text, InstallCaption, MB_OK | MB_ICONINFORMATION, IDOK);
    HWND field = GetDlgItem(dialog, IDC_INPUT);
    SendMessageA(field, EM_SETSEL, 0, -1);
    SetFocus(field);
}

bool OpenFileStep(HWND dialog, ULONGLONG (*roomFor)(DWORD clusterBytes)) {
    NearestExistingFolder(InstallDir, FolderBefore);
    if (!CheckRoom(dialog, roomFor) || !CreateInstallFolder(dialog))
        return false;
    CopyText(StepFolder, sizeof StepFolder, InstallDir);
    StepOpen = true;
    InstallStaging.Begin(InstallDir); // a path too long for a name fails at the first file
    return true;
}

void UndoFileStep(HWND dialog) {
    if (!StepOpen)
        return;
    StepOpen = false;
    InstallStaging.RollBack(ReportUndone, dialog);
    RemoveStepFolders();
}

void CommitFileStep() {
    if (!StepOpen)
        return;
    StepOpen = false;
    InstallStaging.Commit();
}
