// The document type .QRB (ProgID QuorinPG.Document) and the uninstall entry
// through which the list of installed programs starts SETUP.EXE /r or /R.
#include "integration/Association.h"
#include "integration/Registry.h"
#include "shell/Helpers.h"
#include "shell/SetupState.h"

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

bool ContainsBlank(const char* text) {
    for (const char* p = text; *p != '\0'; p = CharNextA(p)) {
        if (*p == ' ')
            return true;
    }
    return false;
}

// The default value of a key under HKEY_CLASSES_ROOT (created as needed).
LONG SetClassDefault(const char* keyPath, const char* value) {
    return RegSetValueA(HKEY_CLASSES_ROOT, keyPath, REG_SZ, value,
                        static_cast<DWORD>(strlen(value)));
}

} // namespace

void DocumentProgramPath(const char* programPath, char* result, size_t capacity) {
    char path[PathCapacity];
    const DWORD length = GetShortPathNameA(programPath, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        CopyText(path, sizeof path, programPath);
    if (!ContainsBlank(path) || !FormatInto(result, capacity, "\"%s\"", path)) {
        CopyText(result, capacity, path);
    }
}

void RegisterDocumentType(const char* installDir, const char* const* fileList, const char* progId,
                          const char* description, const char* extension) {
    char program[PathCapacity];
    CopyText(program, sizeof program, installDir);
    if (!AppendPath(program, fileList[0]))
        return;
    char programPath[ValueCapacity];
    DocumentProgramPath(program, programPath, sizeof programPath);

    if (SetClassDefault(progId, description) != ERROR_SUCCESS)
        return;

    char keyPath[KeyCapacity];
    if (FormatInto(keyPath, sizeof keyPath, "%s\\shell\\open\\%s", progId, "ddeexec")) {
        DeleteKeyTree(HKEY_CLASSES_ROOT, keyPath);
    }

    char value[ValueCapacity + 16];
    if (!FormatInto(keyPath, sizeof keyPath, "%s\\DefaultIcon", progId) ||
        !FormatInto(value, sizeof value, "%s%s", programPath, IconSuffix) ||
        SetClassDefault(keyPath, value) != ERROR_SUCCESS) {
        return;
    }
    if (!FormatInto(keyPath, sizeof keyPath, "%s\\shell\\open\\%s", progId, "command") ||
        !FormatInto(value, sizeof value, "%s%s", programPath, OpenCommandSuffix) ||
        SetClassDefault(keyPath, value) != ERROR_SUCCESS) {
        return;
    }
    SetClassDefault(extension, progId);
}

void UnregisterDocumentType(const char* progId) {
    if (DeleteKeyTree(HKEY_CLASSES_ROOT, RegisteredExtension) == 0) {
        DeleteKeyTree(HKEY_CLASSES_ROOT, progId);
    }
}

int WriteUninstallEntry(const char* displayName, const char* installDir, const char* groupValueName,
                        const char* entryParentPath, const char* groupName, const char* helpLink,
                        const char* updateInfoUrl, const char* publisher, int machineWide) {
    char command[ValueCapacity];
    char entryKey[KeyCapacity];
    if (!FormatInto(command, sizeof command, "%s\\%s", installDir,
                    machineWide ? MachineWideCommand : PerUserCommand) ||
        !FormatInto(entryKey, sizeof entryKey, "%s\\%s", entryParentPath, displayName)) {
        return 1;
    }
    HKEY key = nullptr;
    if (RegCreateKeyExA(machineWide ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, entryKey, 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return 1;
    }
    WriteStringValue(key, "DisplayName", REG_SZ, displayName);
    WriteStringValue(key, "UninstallString", REG_SZ, command);
    WriteStringValue(key, "InstallLocation", REG_EXPAND_SZ, installDir);
    WriteStringValue(key, "HelpLink", REG_SZ, helpLink);
    WriteStringValue(key, "URLUpdateInfo", REG_SZ, updateInfoUrl);
    WriteStringValue(key, "Publisher", REG_SZ, publisher);
    WriteStringValue(key, groupValueName, REG_SZ, groupName);
    RegCloseKey(key);
    return 1;
}
