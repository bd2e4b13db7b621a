#include "integration/Registry.h"
#include "shell/Helpers.h"
#include "shell/Log.h"
#include "shell/SetupState.h"

#include <string.h>

LONG OpenKeyForRead(HKEY root, HKEY* outKey, const char* subKeyPath) {
    HKEY key = nullptr;
    const LONG status = RegOpenKeyExA(root, subKeyPath, 0, KEY_QUERY_VALUE, &key);
    if (status == ERROR_SUCCESS)
        *outKey = key;
    return status;
}

char* ReadStringValue(HKEY key, const char* valueName, char* buffer, const char* defaultText,
                      DWORD* inOutSize) {
    const DWORD capacity = *inOutSize;
    if (capacity == 0)
        return buffer;
    DWORD type = REG_SZ;
    const LONG status = RegQueryValueExA(key, valueName, nullptr, &type,
                                         reinterpret_cast<BYTE*>(buffer), inOutSize);
    bool useDefault = status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ);
    if (!useDefault) {
        // A value stored without its terminating zero gets one when it fits; one
        // that fills the whole buffer is as good as too long.
        const DWORD stored = *inOutSize;
        if (stored < capacity) {
            buffer[stored] = '\0';
        } else if (buffer[capacity - 1] != '\0') {
            useDefault = true;
        }
    }
    if (useDefault || buffer[0] == '\0') {
        buffer[0] = '\0';
        CopyText(buffer, capacity, defaultText);
    }
    return buffer;
}

namespace {

// 0 when the key at path is gone. A key that cannot be opened counts as gone when it
// is the root of the walk (it is not there). A subkey the enumeration named but that
// cannot be opened stays: the user may not open it, or its name has characters outside
// the code page and comes back as "?", which names no key. The walk passes it over.
LONG DeleteTreeAt(HKEY root, const char* path, bool isSubkey) {
    HKEY key = nullptr;
    const LONG opened = RegOpenKeyA(root, path, &key);
    if (opened != ERROR_SUCCESS)
        return isSubkey ? opened : 0;

    // Subkeys are reached by their full path; a path that does not fit the buffer
    // leaves them in place rather than naming some other key.
    const bool reachable = strnlen(path, PathCapacity) < PathCapacity;
    DWORD index = 0;
    while (reachable) {
        char name[PathCapacity];
        DWORD nameLength = sizeof name;
        if (RegEnumKeyExA(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        if (name[0] == '.') {
            ++index; // left in place on purpose
            continue;
        }
        char fullPath[PathCapacity];
        CopyText(fullPath, sizeof fullPath, path);
        if (!AppendPath(fullPath, name) || DeleteTreeAt(root, fullPath, true) != 0) {
            ++index; // it stays; the walk moves on
        }
        // Deleted: the following subkeys have moved down to this index.
    }

    const LONG status = RegDeleteKeyA(key, "");
    RegCloseKey(key);
    if (status == ERROR_SUCCESS)
        LogLine("registry key deleted: %s\\%s", RootName(root), path);
    else
        LogLine("error: registry key %s\\%s stays (system error %ld)", RootName(root), path, status);
    return status;
}

} // namespace

LONG DeleteKeyTree(HKEY root, const char* path) {
    return DeleteTreeAt(root, path, false);
}

LONG DeleteSubkey(const char* name, const char* parentPath, int machineWide) {
    HKEY parent = nullptr;
    const LONG opened = RegOpenKeyExA(machineWide ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                                      parentPath, 0, KEY_ALL_ACCESS, &parent);
    if (opened != ERROR_SUCCESS)
        return opened;
    const LONG status = RegDeleteKeyA(parent, name);
    RegCloseKey(parent);
    if (status == ERROR_SUCCESS)
        LogLine("registry key deleted: %s\\%s\\%s", RootName(machineWide ? HKEY_LOCAL_MACHINE
                                                                        : HKEY_CURRENT_USER),
                parentPath, name);
    return status;
}

int PathExists(const char* path, int wantFolder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);
    const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return (wantFolder ? isFolder : !isFolder) ? 1 : 0;
}

LONG WriteStringValue(HKEY key, const char* valueName, DWORD type, const char* text) {
    const LONG status = RegSetValueExA(key, valueName, 0, type, reinterpret_cast<const BYTE*>(text),
                                       static_cast<DWORD>(strlen(text) + 1));
    if (status == ERROR_SUCCESS)
        LogLine("registry value %s = %s", valueName, text);
    else
        LogLine("error: registry value %s not written (system error %ld)", valueName, status);
    return status;
}

void WriteProductValue(const char* valueName, const char* text) {
    if (ProductKey[0] == '\0')
        return; // never write into the root of HKEY_CURRENT_USER
    HKEY key = nullptr;
    const LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, ProductKey, 0, nullptr,
                                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                                        nullptr);
    if (status != ERROR_SUCCESS) {
        LogLine("error: registry key HKEY_CURRENT_USER\\%s (system error %ld)", ProductKey, status);
        return;
    }
    LogLine("registry key: HKEY_CURRENT_USER\\%s", ProductKey);
    WriteStringValue(key, valueName, REG_EXPAND_SZ, text);
    RegCloseKey(key);
}
