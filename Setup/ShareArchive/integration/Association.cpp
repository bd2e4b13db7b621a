// The document type .QRB (ProgID QuorinPG.Document) and the uninstall entry
// through which the list of installed programs starts SETUP.EXE /r or /R and shows
// the program's icon, version, size and install date.
#include "integration/Association.h"
#include "integration/Registry.h"
#include "shell/Helpers.h"
#include "shell/Log.h"
#include "shell/SetupState.h"

#include <shlobj.h>
#include <string.h>

const char* const PublisherName = "Marveno Corporation";
const char* const PublisherHomePage = "http://www.marveno.co.jp/";
const char* const PublisherWhatsNewPage = "http://www.marveno.co.jp/new.html";

namespace {

const char RegisteredExtension[] = ".QRB"; // the extension key removed at uninstall
const char IconSuffix[] = ",1";
const char OpenCommandSuffix[] = " /n %1";
const char MachineWideCommand[] = "setup.exe /r";
const char PerUserCommand[] = "setup.exe /R";
enum { KeyCapacity = 260, ValueCapacity = PathCapacity + 16, FormatScratch = 1024 + 16 };

// Formats into result; false (result empty) when the text would not fit.
bool FormatInto(char* result, size_t capacity, const char* format, ...) {
    char scratch[FormatScratch];
    va_list args;
    va_start(args, format);
    const int length = wvsprintfA(scratch, format, args);
    va_end(args);
    result[0] = '\0';
    if (length < 0 || static_cast<size_t>(length) >= capacity)
        return false;
    memcpy(result, scratch, static_cast<size_t>(length) + 1);
    return true;
}

// The default value of a key under HKEY_CLASSES_ROOT (created as needed).
LONG SetClassDefault(const char* keyPath, const char* value) {
    const LONG status = RegSetValueA(HKEY_CLASSES_ROOT, keyPath, REG_SZ, value,
                                     static_cast<DWORD>(strlen(value)));
    LogLine(status == ERROR_SUCCESS
                ? "registry value HKEY_CLASSES_ROOT\\%s (default) = %s"
                : "error: HKEY_CLASSES_ROOT\\%s (default) not written: %s (system error %ld)",
            keyPath, value, status);
    return status;
}

bool WriteDwordValue(HKEY key, const char* valueName, DWORD value) {
    const LONG status = RegSetValueExA(key, valueName, 0, REG_DWORD,
                                       reinterpret_cast<const BYTE*>(&value), sizeof value);
    if (status == ERROR_SUCCESS)
        LogLine("registry value %s = %lu", valueName, static_cast<unsigned long>(value));
    else
        LogLine("error: registry value %s not written (system error %ld)", valueName, status);
    return status == ERROR_SUCCESS;
}

// The product version of a program's version record, "1.6.0.0". The program is
// mapped as data and its record read directly: no DLL is loaded by name, since a
// VERSION.DLL put beside SETUP.EXE would be taken first on older systems.
bool ReadProgramVersion(const char* programPath, char* version, size_t capacity) {
    typedef HMODULE(WINAPI * LoadLibraryExProc)(LPCSTR, HANDLE, DWORD);
    LoadLibraryExProc load = LookUpFunction<LoadLibraryExProc>("KERNEL32.DLL", "LoadLibraryExA");
    HMODULE program = load ? load(programPath, nullptr, LOAD_LIBRARY_AS_DATAFILE) : nullptr;
    if (!program)
        return false;
    const bool found = ReadModuleVersion(program, version, capacity);
    FreeLibrary(program);
    return found;
}

// The size of the installed files in KiB, rounded up.
DWORD InstalledKibibytes(const char* installDir) {
    ULONGLONG bytes = 0;
    for (const char* name : InstallFiles) {
        char path[PathCapacity];
        CopyText(path, sizeof path, installDir);
        WIN32_FIND_DATAA found;
        HANDLE find = AppendPath(path, name) ? FindFirstFileA(path, &found) : INVALID_HANDLE_VALUE;
        if (find == INVALID_HANDLE_VALUE)
            continue;
        FindClose(find);
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            bytes += static_cast<ULONGLONG>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
    }
    return static_cast<DWORD>((bytes + 1023) >> 10);
}

// What the list of installed programs shows beside the name, and no "Modify" or
// "Repair" action: there is nothing to modify or repair, only to remove. False when a
// value could not be written.
bool WriteEntryDetails(HKEY key, const char* installDir) {
    bool written = true;
    char program[PathCapacity];
    CopyText(program, sizeof program, installDir);
    if (AppendPath(program, InstallFiles[0])) {
        char value[ValueCapacity];
        if (FormatInto(value, sizeof value, "%s,0", program))
            written &= WriteStringValue(key, "DisplayIcon", REG_SZ, value) == ERROR_SUCCESS;
        if (ReadProgramVersion(program, value, sizeof value))
            written &= WriteStringValue(key, "DisplayVersion", REG_SZ, value) == ERROR_SUCCESS;
    }
    written &= WriteDwordValue(key, "EstimatedSize", InstalledKibibytes(installDir));
    SYSTEMTIME today;
    GetLocalTime(&today);
    char date[16];
    if (FormatInto(date, sizeof date, "%04u%02u%02u", today.wYear, today.wMonth, today.wDay))
        written &= WriteStringValue(key, "InstallDate", REG_SZ, date) == ERROR_SUCCESS;
    written &= WriteDwordValue(key, "NoModify", 1);
    written &= WriteDwordValue(key, "NoRepair", 1);
    return written;
}

// Explorer shows the document's icon at once instead of after the next logon.
void NotifyAssociationChanged() {
    if (!NewShell)
        return;
    ShellChangeNotifyProc notify = ShellChangeNotifyHook;
    if (!notify)
        notify = LookUpFunction<ShellChangeNotifyProc>("SHELL32.DLL", "SHChangeNotify");
    if (notify)
        notify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

} // namespace

ShellChangeNotifyProc ShellChangeNotifyHook;

void DocumentProgramPath(const char* programPath, char* result, size_t capacity) {
    char path[PathCapacity];
    const DWORD length = GetShortPathNameA(programPath, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        CopyText(path, sizeof path, programPath);
    if (!ContainsBlank(path) || !FormatInto(result, capacity, "\"%s\"", path)) {
        CopyText(result, capacity, path);
    }
}

namespace {

bool WriteDocumentType(const char* installDir, const char* const* fileList, const char* progId,
                       const char* description, const char* extension) {
    char program[PathCapacity];
    CopyText(program, sizeof program, installDir);
    if (!AppendPath(program, fileList[0]))
        return false;
    char programPath[ValueCapacity];
    DocumentProgramPath(program, programPath, sizeof programPath);

    if (SetClassDefault(progId, description) != ERROR_SUCCESS)
        return false;

    char keyPath[KeyCapacity];
    if (FormatInto(keyPath, sizeof keyPath, "%s\\shell\\open\\%s", progId, "ddeexec")) {
        DeleteKeyTree(HKEY_CLASSES_ROOT, keyPath);
    }

    char value[ValueCapacity + 16];
    if (!FormatInto(keyPath, sizeof keyPath, "%s\\DefaultIcon", progId) ||
        !FormatInto(value, sizeof value, "%s%s", programPath, IconSuffix) ||
        SetClassDefault(keyPath, value) != ERROR_SUCCESS) {
        return false;
    }
    if (!FormatInto(keyPath, sizeof keyPath, "%s\\shell\\open\\%s", progId, "command") ||
        !FormatInto(value, sizeof value, "%s%s", programPath, OpenCommandSuffix) ||
        SetClassDefault(keyPath, value) != ERROR_SUCCESS) {
        return false;
    }
    return SetClassDefault(extension, progId) == ERROR_SUCCESS;
}

} // namespace

bool RegisterDocumentType(const char* installDir, const char* const* fileList, const char* progId,
                          const char* description, const char* extension) {
    const bool registered = WriteDocumentType(installDir, fileList, progId, description, extension);
    NotifyAssociationChanged();
    return registered;
}

void UnregisterDocumentType(const char* progId) {
    if (DeleteKeyTree(HKEY_CLASSES_ROOT, RegisteredExtension) == 0) {
        DeleteKeyTree(HKEY_CLASSES_ROOT, progId);
    }
    NotifyAssociationChanged();
}

int WriteUninstallEntry(const char* displayName, const char* installDir, const char* groupValueName,
                        const char* entryParentPath, const char* groupName, const char* helpLink,
                        const char* updateInfoUrl, const char* publisher, int machineWide) {
    char command[ValueCapacity];
    char entryKey[KeyCapacity];
    if (!FormatInto(command, sizeof command, "%s\\%s", installDir,
                    machineWide ? MachineWideCommand : PerUserCommand) ||
        !FormatInto(entryKey, sizeof entryKey, "%s\\%s", entryParentPath, displayName)) {
        LogLine("error: the uninstall entry does not fit its key or its command");
        return 0;
    }
    HKEY key = nullptr;
    HKEY root = machineWide ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const LONG status = RegCreateKeyExA(root, entryKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        LogLine("error: registry key %s\\%s (system error %ld)", RootName(root), entryKey, status);
        return 0;
    }
    LogLine("registry key: %s\\%s", RootName(root), entryKey);
    const struct {
        const char* name;
        DWORD type;
        const char* data;
    } values[] = {
        {"DisplayName", REG_SZ, displayName},
        {"UninstallString", REG_SZ, command},
        {"InstallLocation", REG_EXPAND_SZ, installDir},
        {"HelpLink", REG_SZ, helpLink},
        {"URLUpdateInfo", REG_SZ, updateInfoUrl},
        {"Publisher", REG_SZ, publisher},
        {groupValueName, REG_SZ, groupName},
    };
    bool written = true;
    for (const auto& value : values)
        written &= WriteStringValue(key, value.name, value.type, value.data) == ERROR_SUCCESS;
    written &= WriteEntryDetails(key, installDir);
    // The form deployment tools and package managers call for a removal with nobody at
    // the screen: the program's path quoted, then the mode and /S.
    char quiet[ValueCapacity];
    if (FormatInto(quiet, sizeof quiet, "\"%s\\setup.exe\" %s /S", installDir,
                   machineWide ? "/r" : "/R")) {
        written &= WriteStringValue(key, "QuietUninstallString", REG_SZ, quiet) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return written ? 1 : 0;
}
