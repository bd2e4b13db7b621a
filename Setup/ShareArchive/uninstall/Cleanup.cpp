// The clean-up after the files are gone: the saved class registration, the
// association, the program group and the uninstall entry, then the batch that deletes
// this program and its folder once the process has ended.
#include "uninstall/Uninstall.h"
#include "integration/Association.h"
#include "integration/ProgramGroup.h"
#include "integration/Registry.h"
#include "shell/Helpers.h"
#include "shell/SetupState.h"

#include <string.h>

namespace {

const char* const ProductKeyParent = "SOFTWARE\\Brastelo";
const char* const BackupKeyName = "ofxBackup";
const char* const SelfDeleteBatchPath = "\\DelMV.bat";
const char* const TempBatchName = "DelMV.bat";
enum { BackupNameCapacity = 256 };

// ---- The class backup ---------------------------------------------------------------

// The backup key with the right to remove the value it restores; read access alone
// when that is all we get (the whole key goes afterwards anyway).
HKEY OpenBackupKey(HKEY productKey) {
    HKEY backup = nullptr;
    if (RegOpenKeyExA(productKey, BackupKeyName, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &backup) ==
        ERROR_SUCCESS) {
        return backup;
    }
    backup = nullptr;
    OpenKeyForRead(productKey, &backup, BackupKeyName);
    return backup;
}

// The saved default value, or false for empty data, data of another type or data that
// does not fit: the class key is then to be deleted.
bool ReadSavedDefault(HKEY backup, const char* name, char* text, DWORD capacity) {
    DWORD type = REG_SZ;
    DWORD size = capacity;
    if (RegQueryValueExA(backup, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || size == 0)
        return false;
    if (text[size - 1] != '\0') {
        if (size >= capacity)
            return false;
        text[size] = '\0';
    }
    return text[0] != '\0';
}

void RestoreClassDefault(HKEY backup, const char* className) {
    char text[PathCapacity];
    if (ReadSavedDefault(backup, className, text, sizeof text)) {
        RegSetValueA(HKEY_CLASSES_ROOT, className, REG_SZ, text, static_cast<DWORD>(strlen(text)));
    } else {
        RegDeleteKeyA(HKEY_CLASSES_ROOT, className);
    }
    RegDeleteValueA(backup, className);
}

// The name of the value at index. A value whose data does not fit our buffer is still
// named (its data is read again by name), so it neither ends the walk nor is missed.
LONG EnumerateBackupValue(HKEY backup, DWORD index, char* name) {
    BYTE data[PathCapacity];
    DWORD nameLength = BackupNameCapacity;
    DWORD dataSize = sizeof data;
    DWORD type = 0;
    LONG status = RegEnumValueA(backup, index, name, &nameLength, nullptr, &type, data, &dataSize);
    if (status == ERROR_MORE_DATA) {
        nameLength = BackupNameCapacity;
        status =
            RegEnumValueA(backup, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
    }
    return status;
}

// ---- The batch --------------------------------------------------------------------------

// Appends to a bounded buffer; once something does not fit, the text is void.
struct BatchWriter {
    char* buffer;
    size_t capacity;
    size_t used;
    bool overflow;

    void Put(const char* text) {
        const size_t length = strlen(text);
        if (overflow || used + length >= capacity) {
            overflow = true;
            return;
        }
        memcpy(buffer + used, text, length);
        used += length;
    }

    // A path in double quotes. Its "%" are doubled: the command interpreter reads "%%"
    // in a batch as one "%" and would otherwise expand "%name%" into something else.
    void PutQuotedPath(const char* path) {
        Put("\"");
        for (const char* p = path; *p != '\0' && !overflow;) {
            const size_t length = CharacterLength(p);
            if (length == 1 && *p == '%') {
                Put("%%");
            } else {
                char character[3] = {p[0], length == 2 ? p[1] : '\0', '\0'};
                Put(character);
            }
            p += length;
        }
        Put("\"");
    }

    void Line(const char* text) {
        Put(text);
        Put("\r\n");
    }
};

// Text with trailing separators removed; "X:\" becomes "X:".
void TrimSeparators(char* text) {
    for (;;) {
        const char* last = LastCharacter(text);
        if (last == nullptr || (*last != '\\' && *last != '/'))
            return;
        text[last - text] = '\0';
    }
}

bool IsAbsolutePath(const char* path) {
    const bool drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                       path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    const bool share = (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
    return drive || share;
}

// A full path without trailing separators, or false.
bool FullPathOf(const char* path, char* full) {
    const DWORD length = GetFullPathNameA(path, PathCapacity, full, nullptr);
    if (length == 0 || length >= PathCapacity)
        return false;
    TrimSeparators(full);
    return true;
}

// "X:" or "\\server\share" (or less): a full path without trailing separators.
bool IsRootPath(const char* full) {
    if (full[0] != '\0' && full[1] == ':')
        return full[2] == '\0';
    int separators = 0;
    for (const char* p = full + 2; *p != '\0';) {
        if (*p == '\\' || *p == '/')
            ++separators;
        p += CharacterLength(p);
    }
    return separators < 2;
}

// folder is the Windows folder or a folder above it (both full, trimmed).
bool HoldsWindowsFolder(const char* folder, const char* windows) {
    char upperFolder[PathCapacity];
    char upperWindows[PathCapacity];
    CopyUpperCase(upperFolder, sizeof upperFolder, folder);
    CopyUpperCase(upperWindows, sizeof upperWindows, windows);
    const size_t length = strlen(upperFolder);
    if (strncmp(upperFolder, upperWindows, length) != 0)
        return false;
    // The next character of the Windows folder ends the folder's name.
    const char next = upperWindows[length];
    return next == '\0' || next == '\\' || next == '/';
}

} // namespace

void RestoreClassBackup(HKEY backupKey) {
    char name[BackupNameCapacity];
    for (DWORD index = 0;; ++index) {
        const LONG status = EnumerateBackupValue(backupKey, index, name);
        if (status == ERROR_MORE_DATA)
            continue; // a name longer than any class name of ours
        if (status != ERROR_SUCCESS)
            break;
        if (strcmp(name, DocumentProgId) != 0)
            continue;
        RestoreClassDefault(backupKey, name);
    }
}

void RemoveUninstallIntegration() {
    CopyText(ProductKey, sizeof ProductKey, ProductKeyParent);
    AppendPath(ProductKey, ProductKeyName);

    HKEY productKey = nullptr;
    OpenKeyForRead(HKEY_CURRENT_USER, &productKey, ProductKey);
    if (productKey != nullptr) {
        if (HKEY backup = OpenBackupKey(productKey)) {
            RestoreClassBackup(backup);
            RegCloseKey(backup);
        }
        DeleteKeyTree(productKey, BackupKeyName);
        RegCloseKey(productKey);
    }

    UnregisterDocumentType(DocumentProgId);
    // Reads the group name from the uninstall entry, so it runs before the entry goes.
    RemoveProgramGroup(ProductKeyName, GroupValueName, UninstallParentKey, HelpLinkName,
                       GuideLinkName, HomePageLinkName, NewShell, IsNtFamily() ? CommonMode : 0);
    DeleteSubkey(ProductKeyName, UninstallParentKey, CommonMode);
}

void RunUninstallCleanup() {
    RemoveUninstallIntegration();
    Sleep(1000);
    WriteSelfDeleteBatch(InstallDir);
}

bool IsRemovableFolder(const char* folder) {
    if (folder == nullptr || !IsAbsolutePath(folder))
        return false;
    char full[PathCapacity];
    if (!FullPathOf(folder, full) || IsRootPath(full))
        return false;

    char windows[PathCapacity];
    if (WindowsDir[0] != '\0') {
        CopyText(windows, sizeof windows, WindowsDir);
    } else {
        const UINT length = GetWindowsDirectoryA(windows, sizeof windows);
        if (length == 0 || length >= sizeof windows)
            return false;
    }
    char fullWindows[PathCapacity];
    if (!FullPathOf(windows, fullWindows))
        return false;
    return !HoldsWindowsFolder(full, fullWindows);
}

int FormatSelfDeleteBatchText(char* buffer, size_t capacity, const char* programPath,
                              const char* folder, const char* batchPath, int maxTries,
                              bool removeFolder) {
    if (capacity == 0)
        return 0;
    BatchWriter batch = {buffer, capacity, 0, false};
    if (maxTries > 0) {
        // A try whose pause ran counts as many; one whose pause failed (no ping on this
        // system) as one, so that the bound still takes about as long.
        char pausedTry[64];
        char limit[64];
        wsprintfA(pausedTry, "set /a DelMVTries+=%d", SelfDeleteTriesWithoutPause - 1);
        wsprintfA(limit, "if %%DelMVTries%% LSS %d goto Repeat",
                  maxTries * SelfDeleteTriesWithoutPause);
        batch.Line("set DelMVTries=0");
        batch.Line(":Repeat");
        batch.Put("del ");
        batch.PutQuotedPath(programPath);
        batch.Line("");
        batch.Put("if not exist ");
        batch.PutQuotedPath(programPath);
        batch.Line(" goto Removed");
        batch.Line("ping -n 2 127.0.0.1 >nul");
        batch.Line("if errorlevel 1 goto Unpaused");
        batch.Line(pausedTry);
        batch.Line(":Unpaused");
        batch.Line("set /a DelMVTries+=1");
        batch.Line(limit);
        batch.Line(":Removed");
    } else {
        batch.Line(":Repeat");
        batch.Put("del ");
        batch.PutQuotedPath(programPath);
        batch.Line("");
        batch.Put("if exist ");
        batch.PutQuotedPath(programPath);
        batch.Line(" goto Repeat");
    }
    if (removeFolder) {
        batch.Put("rmdir ");
        batch.PutQuotedPath(folder);
        batch.Line("");
    }
    batch.Put("del ");
    batch.PutQuotedPath(batchPath);
    batch.Line("");

    if (batch.overflow) {
        buffer[0] = '\0';
        return 0;
    }
    buffer[batch.used] = '\0'; // for the caller's convenience; not part of the text
    return static_cast<int>(batch.used);
}

int FormatSelfDeleteBatch(char* buffer, size_t capacity, const char* programPath,
                          const char* folder, const char* batchPath) {
    // The bounded loop needs the command extensions of NT 4.0 and later (set /a, LSS).
    const bool extensions = IsNtFamily() && MajorVersion() >= 4;
    return FormatSelfDeleteBatchText(buffer, capacity, programPath, folder, batchPath,
                                     extensions ? SelfDeleteTries : 0, IsRemovableFolder(folder));
}

bool StartSelfDeleteBatch(const char* batchPath, const char* programPath, const char* folder) {
    char text[SelfDeleteBatchCapacity];
    const int length = FormatSelfDeleteBatch(text, sizeof text, programPath, folder, batchPath);
    if (length == 0)
        return false;

    HANDLE file = CreateFileA(batchPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool complete = WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr) &&
                          written == static_cast<DWORD>(length);
    CloseHandle(file);
    if (!complete) {
        DeleteFileA(batchPath); // half a batch could delete the wrong things
        return false;
    }

    // A folder that is some process's current folder cannot be removed: neither this
    // process nor the batch keeps the install folder as its current folder.
    SetCurrentDirectoryA("\\");
    char command[PathCapacity + 2];
    FormatText(command, sizeof command, ContainsBlank(batchPath) ? "\"%s\"" : "%s", batchPath);
    WinExec(command, SW_HIDE);
    return true;
}

void WriteSelfDeleteBatch(const char* folder) {
    char programPath[PathCapacity];
    const DWORD length = GetModuleFileNameA(nullptr, programPath, sizeof programPath);
    if (length == 0 || length >= sizeof programPath)
        return; // a cut path names another file
    if (StartSelfDeleteBatch(SelfDeleteBatchPath, programPath, folder))
        return;
    // From Windows Vista on a standard user may not create files in the root of the
    // system drive: the user's temporary folder takes the batch then.
    char batchPath[PathCapacity];
    const DWORD tempLength = GetTempPathA(sizeof batchPath, batchPath);
    if (tempLength == 0 || tempLength >= sizeof batchPath || !AppendPath(batchPath, TempBatchName))
        return;
    StartSelfDeleteBatch(batchPath, programPath, folder);
}
