// The clean-up after the files are gone: the saved class registration, the
// association, the program group and the uninstall entry, then the batch that deletes
// this program and its folder once the process has ended.
#include "uninstall/Uninstall.h"
#include "integration/Association.h"
#include "integration/ProgramGroup.h"
#include "integration/Registry.h"
#include "shell/Helpers.h"
#include "shell/Log.h"
#include "shell/SetupState.h"

#include <string.h>

namespace {

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
        if (RegSetValueA(HKEY_CLASSES_ROOT, className, REG_SZ, text,
                         static_cast<DWORD>(strlen(text))) == ERROR_SUCCESS)
            LogLine("registry value HKEY_CLASSES_ROOT\\%s (default) = %s (put back)", className,
                    text);
    } else if (RegDeleteKeyA(HKEY_CLASSES_ROOT, className) == ERROR_SUCCESS) {
        LogLine("registry key deleted: HKEY_CLASSES_ROOT\\%s (put back)", className);
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

// The system folder's cmd.exe, by its full path.
bool InterpreterPath(const char* systemFolder, char* path) {
    CopyText(path, PathCapacity, systemFolder);
    return AppendPath(path, "cmd.exe") != FALSE;
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
    BuildProductKey();

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

int FormatSelfDeleteBatchText(char* buffer, size_t capacity, const SelfDeleteBatch& plan) {
    if (capacity == 0)
        return 0;
    BatchWriter batch = {buffer, capacity, 0, false};
    if (plan.maxTries > 0) {
        // A try whose pause ran counts as many; one whose pause failed (no ping on this
        // system) as one, so that the bound still takes about as long.
        char pausedTry[64];
        char limit[64];
        wsprintfA(pausedTry, "set /a DelMVTries+=%d", SelfDeleteTriesWithoutPause - 1);
        wsprintfA(limit, "if %%DelMVTries%% LSS %d goto Repeat",
                  plan.maxTries * SelfDeleteTriesWithoutPause);
        char ping[PathCapacity];
        CopyText(ping, sizeof ping, plan.systemFolder);
        if (!AppendPath(ping, "ping.exe"))
            batch.overflow = true;
        batch.Line("set DelMVTries=0");
        batch.Line(":Repeat");
        batch.Put("del ");
        batch.PutQuotedPath(plan.programPath);
        batch.Line("");
        batch.Put("if not exist ");
        batch.PutQuotedPath(plan.programPath);
        batch.Line(" goto Removed");
        // By its full path: a "ping" in the current folder or early on the path never runs.
        batch.PutQuotedPath(ping);
        batch.Line(" -n 2 127.0.0.1 >nul");
        batch.Line("if errorlevel 1 goto Unpaused");
        batch.Line(pausedTry);
        batch.Line(":Unpaused");
        batch.Line("set /a DelMVTries+=1");
        batch.Line(limit);
        batch.Line(":Removed");
    } else {
        batch.Line(":Repeat");
        batch.Put("del ");
        batch.PutQuotedPath(plan.programPath);
        batch.Line("");
        batch.Put("if exist ");
        batch.PutQuotedPath(plan.programPath);
        batch.Line(" goto Repeat");
    }
    if (plan.folder != nullptr) {
        batch.Put("rmdir ");
        batch.PutQuotedPath(plan.folder);
        batch.Line("");
    }
    if (plan.batchFolder != nullptr) {
        // Some interpreters hold the batch open until it ends: it is moved beside its folder,
        // onto the placeholder made with the folder (no other account can take or change
        // that name), the folder goes, and the batch is deleted there. All on one line, since
        // no further line of a batch that is gone is read.
        char aside[PathCapacity];
        if (!BatchPlaceholderPath(plan.batchFolder, aside))
            batch.overflow = true;
        batch.Put(plan.moveReplacesQuietly ? "move /Y " : "move ");
        batch.PutQuotedPath(plan.batchPath);
        batch.Put(" ");
        batch.PutQuotedPath(aside);
        batch.Put(" & rmdir ");
        batch.PutQuotedPath(plan.batchFolder);
        batch.Put(" & del ");
        batch.PutQuotedPath(aside);
    } else {
        batch.Put("del ");
        batch.PutQuotedPath(plan.batchPath);
    }
    batch.Line("");

    if (batch.overflow) {
        buffer[0] = '\0';
        return 0;
    }
    buffer[batch.used] = '\0'; // for the caller's convenience; not part of the text
    return static_cast<int>(batch.used);
}

int FormatSelfDeleteBatch(char* buffer, size_t capacity, const char* programPath,
                          const char* folder, const char* batchPath, const char* batchFolder) {
    // The bounded loop needs the command extensions of NT 4.0 and later (set /a, LSS).
    const bool extensions = IsNtFamily() && MajorVersion() >= 4;
    char system[PathCapacity];
    if (extensions && !GetSystemFolder(system))
        return 0;
    SelfDeleteBatch plan;
    plan.programPath = programPath;
    plan.folder = IsRemovableFolder(folder) ? folder : nullptr;
    plan.batchPath = batchPath;
    plan.batchFolder = batchFolder;
    plan.systemFolder = extensions ? system : "";
    plan.maxTries = extensions ? SelfDeleteTries : 0;
    plan.moveReplacesQuietly = IsNtFamily() && MajorVersion() >= 5;
    return FormatSelfDeleteBatchText(buffer, capacity, plan);
}

int FormatBatchCommand(char* buffer, size_t capacity, const char* systemFolder,
                       const char* batchPath) {
    BatchWriter command = {buffer, capacity, 0, false};
    if (!IsNtFamily()) {
        command.Put("\"");
        command.Put(batchPath);
        command.Put("\"");
    } else {
        char interpreter[PathCapacity];
        command.overflow = !InterpreterPath(systemFolder, interpreter);
        command.Put("\"");
        command.Put(interpreter);
        command.Put("\"");
        // From Windows 2000 on: no AutoRun commands, no delayed expansion (a "!" in a
        // path would be expanded), and /S takes the outer quotes off the batch's path.
        command.Put(MajorVersion() >= 5 ? " /D /V:OFF /S /C \"\"" : " /C \"");
        command.Put(batchPath);
        command.Put(MajorVersion() >= 5 ? "\"\"" : "\"");
    }
    if (command.overflow || capacity == 0) {
        if (capacity > 0)
            buffer[0] = '\0';
        return 0;
    }
    buffer[command.used] = '\0';
    return static_cast<int>(command.used);
}

bool StartBatchFile(const char* batchPath) {
    char system[PathCapacity];
    char command[3 * PathCapacity];
    if ((IsNtFamily() && !GetSystemFolder(system)) ||
        FormatBatchCommand(command, sizeof command, IsNtFamily() ? system : "", batchPath) == 0) {
        return false;
    }
    // A folder that is some process's current folder cannot be removed: neither this
    // process nor the batch keeps the install folder as its current folder.
    SetCurrentDirectoryA("\\");
    if (!IsNtFamily())
        return WinExec(command, SW_HIDE) > 31;
    // The interpreter of the system folder, in the system folder, which no other account
    // can write: nothing it looks for by name can be planted beside it.
    char interpreter[PathCapacity];
    if (!InterpreterPath(system, interpreter))
        return false;
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION started;
    if (!CreateProcessA(interpreter, command, nullptr, nullptr, FALSE, 0, nullptr, system, &startup,
                        &started)) {
        return false;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

bool StartSelfDeleteBatch(const char* batchPath, const char* batchFolder, const char* programPath,
                          const char* folder) {
    char text[SelfDeleteBatchCapacity];
    const int length =
        FormatSelfDeleteBatch(text, sizeof text, programPath, folder, batchPath, batchFolder);
    if (length == 0)
        return false;
    HANDLE file = CreateFileA(batchPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        LogLine("error: the clean-up batch %s cannot be created (system error %lu)", batchPath,
                GetLastError());
        return false;
    }
    DWORD written = 0;
    const bool complete = WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr) &&
                          written == static_cast<DWORD>(length);
    const DWORD writeError = complete ? 0 : GetLastError();
    CloseHandle(file);
    if (!complete || !StartBatchFile(batchPath)) {
        LogLine("error: the clean-up batch %s cannot be %s (system error %lu)", batchPath,
                complete ? "started" : "written", complete ? GetLastError() : writeError);
        DeleteFileA(batchPath); // half a batch could delete the wrong things
        return false;
    }
    LogLine("clean-up batch started: %s (it deletes %s and the folder %s)", batchPath, programPath,
            folder);
    return true;
}

void WriteSelfDeleteBatch(const char* folder) {
    // The installed copy, whichever program runs the uninstall: a package's own copy
    // elsewhere stays, and the batch's wait ends at once when this is not the running program.
    char programPath[PathCapacity];
    CopyText(programPath, sizeof programPath, folder);
    if (!AppendPath(programPath, InstallFiles[InstalledSetupIndex]))
        return; // a cut path names another file
    char temp[PathCapacity];
    const DWORD tempLength = GetTempPathA(sizeof temp, temp);
    const bool haveTemp = tempLength > 0 && tempLength < sizeof temp;
    if (IsNtFamily()) {
        // Never the drive root, where other accounts can create or change files.
        char batchFolder[PathCapacity];
        char batchPath[PathCapacity];
        if (!haveTemp || !CreatePrivateFolder(temp, batchFolder))
            return;
        CopyText(batchPath, sizeof batchPath, batchFolder);
        if (!AppendPath(batchPath, TempBatchName) ||
            !StartSelfDeleteBatch(batchPath, batchFolder, programPath, folder)) {
            DeleteFileA(batchPath);
            RemoveDirectoryA(batchFolder);
            char placeholder[PathCapacity];
            if (BatchPlaceholderPath(batchFolder, placeholder))
                DeleteFileA(placeholder);
        }
        return;
    }
    // Windows 95/98/Me have no other accounts' permissions to fear.
    if (StartSelfDeleteBatch(SelfDeleteBatchPath, nullptr, programPath, folder))
        return;
    char batchPath[PathCapacity];
    CopyText(batchPath, sizeof batchPath, temp);
    if (haveTemp && AppendPath(batchPath, TempBatchName))
        StartSelfDeleteBatch(batchPath, nullptr, programPath, folder);
}
