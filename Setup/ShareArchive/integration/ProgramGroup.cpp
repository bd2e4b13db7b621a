// The program group: shell links in the Start menu and on the desktop, or a
// Program Manager group made through DDE execute commands on older shells.
#include "integration/ProgramGroup.h"
#include "integration/Registry.h"
#include "shell/Helpers.h"
#include "shell/Log.h"
#include "shell/SetupState.h"
#include "resource.h"

#include <objbase.h>
#include <string.h>

namespace {

const char ShellFoldersKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char ProgmanService[] = "PROGMAN";
const char CreateGroupFormat[] = "[CreateGroup(%s,1)]";
const char AddItemFormat[] = "[AddItem(\"%s\",%s,,,,,%s,,,)]";
const char ProgmanErrorCaption[] = "Error";
const char HomePageFile[] = "quorin.url"; // the internet shortcut among the installed files
const char LinkExtension[] = ".lnk";
const DWORD DdeTimeoutMs = 2000;
enum { ProgmanItemCount = 3, FormatScratch = 1024 + 16 };

struct ShellFolders {
    char programs[PathCapacity];
    char desktop[PathCapacity];
};

void ReadShellFolders(int allUsers, ShellFolders* folders) {
    folders->programs[0] = '\0';
    folders->desktop[0] = '\0';
    HKEY key = nullptr;
    if (OpenKeyForRead(allUsers ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, &key, ShellFoldersKey) !=
        ERROR_SUCCESS) {
        return;
    }
    DWORD size = sizeof folders->programs;
    ReadStringValue(key, allUsers ? "Common Programs" : "Programs", folders->programs, "", &size);
    size = sizeof folders->desktop;
    ReadStringValue(key, allUsers ? "Common Desktop" : "Desktop", folders->desktop, "", &size);
    RegCloseKey(key);
}

// folder \ name + ".lnk"; false when it would not fit the path buffer.
bool BuildLinkPath(char* link, const char* folder, const char* name) {
    char fileName[PathCapacity];
    CopyText(fileName, sizeof fileName, name);
    const size_t used = strlen(fileName);
    if (used + sizeof LinkExtension > sizeof fileName)
        return false;
    memcpy(fileName + used, LinkExtension, sizeof LinkExtension);
    CopyText(link, PathCapacity, folder);
    return AppendPath(link, fileName) != FALSE;
}

bool BuildTarget(char* target, const char* installDir, const char* file) {
    CopyText(target, PathCapacity, installDir);
    return AppendPath(target, file) != FALSE;
}

bool WriteLink(const char* folder, const char* name, const char* installDir, const char* file,
               int iconIndex) {
    char link[PathCapacity];
    char target[PathCapacity];
    if (!BuildLinkPath(link, folder, name) || !BuildTarget(target, installDir, file)) {
        LogLine("error: the shortcut %s in %s does not fit a path", name, folder);
        return false;
    }
    const HRESULT status = CreateShellLink(target, link, target, installDir, nullptr, iconIndex);
    if (FAILED(status)) {
        LogLine("error: shortcut %s cannot be made (status 0x%08lX)", link,
                static_cast<unsigned long>(status));
        return false;
    }
    LogLine("shortcut made: %s -> %s", link, target);
    return true;
}

void DeleteLink(const char* folder, const char* name) {
    char link[PathCapacity];
    if (!BuildLinkPath(link, folder, name))
        return;
    SetFileAttributesA(link, FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileA(link))
        LogLine("shortcut removed: %s", link);
}

// The group name recorded in the uninstall entry; empty when there is none.
void ReadRecordedGroup(HKEY root, const char* entryKey, const char* valueName, char* group,
                       DWORD capacity) {
    group[0] = '\0';
    HKEY key = nullptr;
    if (OpenKeyForRead(root, &key, entryKey) != ERROR_SUCCESS)
        return;
    DWORD size = capacity;
    ReadStringValue(key, valueName, group, "", &size);
    RegCloseKey(key);
}

bool FormatCommand(char* command, const char* format, ...) {
    char scratch[FormatScratch];
    va_list args;
    va_start(args, format);
    const int length = wvsprintfA(scratch, format, args);
    va_end(args);
    if (length < 0 || length > MaxProgmanCommand)
        return false;
    memcpy(command, scratch, static_cast<size_t>(length) + 1);
    return true;
}

} // namespace

namespace {

// CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9, in any case, also with an extension
// ("con.txt") or blanks before it: the system opens the device, not a folder.
bool IsDeviceName(const char* name) {
    char base[8];
    size_t length = 0;
    for (const char* p = name; *p != '\0' && *p != '.'; p += CharacterLength(p)) {
        if (CharacterLength(p) != 1 || length + 1 >= sizeof base)
            return false; // longer than any device name, or not ASCII
        base[length++] = *p;
    }
    while (length > 0 && base[length - 1] == ' ')
        --length;
    base[length] = '\0';
    UpperCaseText(base);
    static const char* const devices[] = {"CON", "PRN", "AUX", "NUL"};
    for (const char* device : devices) {
        if (strcmp(base, device) == 0)
            return true;
    }
    return length == 4 && (strncmp(base, "COM", 3) == 0 || strncmp(base, "LPT", 3) == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

} // namespace

bool IsUsableGroupName(const char* name) {
    if (name == nullptr || name[0] == '\0' || IsDeviceName(name))
        return false;
    bool onlyDots = true;
    for (const char* p = name; *p != '\0'; p = CharNextA(p)) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (IsDBCSLeadByte(c)) {
            onlyDots = false;
            continue;
        }
        if (c < 0x20 || strchr("\\/:*?\"<>|", c) != nullptr)
            return false;
        if (c != '.')
            onlyDots = false;
    }
    return !onlyDots;
}

bool IsUsableProgmanGroupName(const char* name) {
    if (!IsUsableGroupName(name))
        return false;
    for (const char* p = name; *p != '\0'; p += CharacterLength(p)) {
        if (*p == ',' || *p == ')')
            return false;
    }
    return true;
}

size_t GroupNameLimit(int newShell, int allUsers) {
    if (!newShell)
        return MaxGroupNameBytes;
    ShellFolders folders;
    ReadShellFolders(allUsers, &folders);
    if (folders.programs[0] == '\0')
        return MaxGroupNameBytes; // no group can be made there anyway
    const char* const links[] = {MainLinkName, HelpLinkName, GuideLinkName, HomePageLinkName};
    size_t longestLink = 0;
    for (const char* name : links) {
        if (strlen(name) > longestLink)
            longestLink = strlen(name);
    }
    // programs \ group \ link.lnk in a path of at most PathCapacity - 1 bytes.
    const size_t fixed = strlen(folders.programs) + (EndsWithSeparator(folders.programs) ? 0 : 1) +
                         1 + longestLink + sizeof LinkExtension - 1;
    if (fixed >= PathCapacity - 1)
        return 0;
    const size_t room = PathCapacity - 1 - fixed;
    const size_t finishText = MaxGroupNameBytes;
    return room < finishText ? room : finishText;
}

GroupNameVerdict CheckGroupName(const char* name, int newShell, int allUsers) {
    if (!(newShell ? IsUsableGroupName(name) : IsUsableProgmanGroupName(name)))
        return GroupNameUnusable;
    return strlen(name) > GroupNameLimit(newShell, allUsers) ? GroupNameTooLong : GroupNameAccepted;
}

bool CanMakeGroupFolder(const char* groupName, int allUsers) {
    ShellFolders folders;
    ReadShellFolders(allUsers, &folders);
    char group[PathCapacity];
    CopyText(group, sizeof group, folders.programs);
    if (folders.programs[0] == '\0' || !AppendPath(group, groupName)) {
        LogLine("error: no Programs folder for the group %s", groupName);
        return false;
    }
    if (CreateDirectoryA(group, nullptr)) {
        RemoveDirectoryA(group); // made by the finishing step, not by this question
        return true;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS && IsExistingFolder(group))
        return true;
    LogLine("error: the group folder %s cannot be made (system error %lu)", group, error);
    return false;
}

HRESULT CreateShellLink(const char* targetPath, const char* linkPath, const char* description,
                        const char* workingDir, const char* arguments, int iconIndex) {
    IShellLinkA* link = nullptr;
    HRESULT status = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkA, reinterpret_cast<void**>(&link));
    if (FAILED(status))
        return status;
    link->SetPath(targetPath);
    link->SetDescription(description);
    if (workingDir != nullptr)
        link->SetWorkingDirectory(workingDir);
    if (arguments != nullptr)
        link->SetArguments(arguments);
    if (iconIndex >= 0)
        link->SetIconLocation(targetPath, iconIndex);

    IPersistFile* file = nullptr;
    status = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(status)) {
        WCHAR widePath[PathCapacity];
        if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, PathCapacity) == 0) {
            status = HRESULT_FROM_WIN32(GetLastError()); // longer than a path
        } else {
            status = file->Save(widePath, TRUE);
        }
        file->Release();
    }
    link->Release();
    return status;
}

void FreeItemIdList(LPITEMIDLIST itemIdList) {
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator)) || allocator == nullptr)
        return;
    allocator->Free(itemIdList);
    allocator->Release();
}

int ProgmanExecute(DWORD ddeInstance, const char* command, int anyService) {
    if (ddeInstance == 0 || command == nullptr)
        return 0;
    const size_t length = strlen(command);
    if (length > MaxProgmanCommand)
        return 0; // never sent cut short

    HSZ name = DdeCreateStringHandleA(ddeInstance, ProgmanService, CP_WINANSI);
    if (name == nullptr)
        return 0;
    int accepted = 0;
    HCONV conversation = DdeConnect(ddeInstance, anyService ? nullptr : name, name, nullptr);
    if (conversation != nullptr) {
        BYTE* data = reinterpret_cast<BYTE*>(const_cast<char*>(command));
        if (DdeClientTransaction(data, static_cast<DWORD>(length + 1), conversation, nullptr,
                                 CF_TEXT, XTYP_EXECUTE, DdeTimeoutMs, nullptr) != nullptr) {
            accepted = 1;
        }
        DdeDisconnect(conversation);
    }
    DdeFreeStringHandle(ddeInstance, name);
    LogLine("Program Manager %s: %s", accepted ? "accepted" : "refused", command);
    return accepted;
}

int CreateProgmanGroup(DWORD ddeInstance, const char* mainName, const char* installDir,
                       const char* groupName, const char* helpName, const char* guideName,
                       const char* const* fileList, int anyService) {
    char command[MaxProgmanCommand + 1];
    const bool formatted = FormatCommand(command, CreateGroupFormat, groupName);
    if (ddeInstance == 0 || !formatted || !ProgmanExecute(ddeInstance, command, anyService)) {
        ShowMessage(nullptr, IDS_GROUP_FAILED, ProgmanErrorCaption, MB_OK, IDOK);
        return 0;
    }
    const char* const itemNames[ProgmanItemCount] = {mainName, helpName, guideName};
    int made = 1;
    for (int index = 0; index < ProgmanItemCount; ++index) {
        char target[PathCapacity];
        if (!BuildTarget(target, installDir, fileList[index]))
            continue;
        if (!FormatCommand(command, AddItemFormat, target, itemNames[index], installDir) ||
            !ProgmanExecute(ddeInstance, command, anyService)) {
            made = 0;
        }
    }
    return made;
}

int CreateProgramGroup(DWORD ddeInstance, const char* mainName, const char* installDir,
                       const char* groupName, const char* homePageName, const char* guideName,
                       const char* helpName, const char* const* fileList, int newShell,
                       int allUsers) {
    if (!newShell) {
        return CreateProgmanGroup(ddeInstance, mainName, installDir, groupName, helpName, guideName,
                                  fileList, 0)
                   ? 1
                   : 0;
    }
    ShellFolders folders;
    ReadShellFolders(allUsers, &folders);

    // Without a Programs folder the group would land in the current directory.
    char group[PathCapacity];
    CopyText(group, sizeof group, folders.programs);
    bool made = false;
    if (folders.programs[0] != '\0' && IsUsableGroupName(groupName) &&
        AppendPath(group, groupName)) {
        // An existing group folder is reused.
        made = CreateDirectoryA(group, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
        LogLine(made ? "program group: %s" : "error: the group folder %s cannot be made", group);
        made = WriteLink(group, mainName, installDir, fileList[0], -1) && made;
        made = WriteLink(group, helpName, installDir, fileList[1], -1) && made;
        made = WriteLink(group, guideName, installDir, fileList[2], -1) && made;
        made = WriteLink(group, homePageName, installDir, HomePageFile, -1) && made;
    } else {
        LogLine("error: no Programs folder for the group %s", groupName);
    }
    if (folders.desktop[0] != '\0') {
        made = WriteLink(folders.desktop, mainName, installDir, fileList[0], 0) && made;
    }
    return made ? 1 : 0;
}

int RemoveProgramGroup(const char* mainName, const char* groupValueName,
                       const char* entryParentPath, const char* helpName, const char* guideName,
                       const char* homePageName, int newShell, int allUsers) {
    if (!newShell)
        return 1;

    char entryKey[PathCapacity];
    CopyText(entryKey, sizeof entryKey, entryParentPath);
    char group[PathCapacity];
    group[0] = '\0';
    if (AppendPath(entryKey, mainName)) {
        if (allUsers) {
            ReadRecordedGroup(HKEY_LOCAL_MACHINE, entryKey, groupValueName, group, sizeof group);
        } else {
            ReadRecordedGroup(HKEY_CURRENT_USER, entryKey, groupValueName, group, sizeof group);
            if (group[0] == '\0') {
                ReadRecordedGroup(HKEY_LOCAL_MACHINE, entryKey, groupValueName, group,
                                  sizeof group);
            }
        }
    }

    ShellFolders folders;
    ReadShellFolders(allUsers, &folders);

    // Only a real group folder below Programs is touched: never the Programs
    // folder itself (no recorded group) or a folder outside it.
    char folder[PathCapacity];
    CopyText(folder, sizeof folder, folders.programs);
    if (folders.programs[0] != '\0' && IsUsableGroupName(group) && AppendPath(folder, group)) {
        DeleteLink(folder, mainName);
        DeleteLink(folder, helpName);
        DeleteLink(folder, guideName);
        DeleteLink(folder, homePageName);
        SetFileAttributesA(folder, FILE_ATTRIBUTE_NORMAL);
        if (RemoveDirectoryA(folder)) // only when it is empty now
            LogLine("program group removed: %s", folder);
    }
    if (folders.desktop[0] != '\0')
        DeleteLink(folders.desktop, mainName);
    return 1;
}
