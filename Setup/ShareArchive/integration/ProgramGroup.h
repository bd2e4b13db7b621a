// Shortcuts and the program group: shell links, or Program Manager through DDE.
#pragma once
#include <windows.h>
#include <shlobj.h>

// Status of the save (negative = failure). workingDir and arguments may be null;
// iconIndex below 0 sets no icon location.
HRESULT CreateShellLink(const char* targetPath, const char* linkPath, const char* description,
                        const char* workingDir, const char* arguments, int iconIndex);
void FreeItemIdList(LPITEMIDLIST itemIdList);
// 1 when Program Manager accepted the command. A command longer than
// MaxProgmanCommand characters is not sent (0).
enum { MaxProgmanCommand = 511 };
int ProgmanExecute(DWORD ddeInstance, const char* command, int anyService);
// 1 when Program Manager made the group and took every item; 0 otherwise (message 12
// when the group itself could not be made).
int CreateProgmanGroup(DWORD ddeInstance, const char* mainName, const char* installDir,
                       const char* groupName, const char* helpName, const char* guideName,
                       const char* const* fileList, int anyService);
// 1 when the group and every shortcut were made; 0 when any of them failed (the others
// are still made).
int CreateProgramGroup(DWORD ddeInstance, const char* mainName, const char* installDir,
                       const char* groupName, const char* homePageName, const char* guideName,
                       const char* helpName, const char* const* fileList, int newShell,
                       int allUsers);
// Always 1. Works only on the group recorded under groupValueName in the uninstall
// entry; without a usable recorded name the Programs folder is left alone.
int RemoveProgramGroup(const char* mainName, const char* groupValueName,
                       const char* entryParentPath, const char* helpName, const char* guideName,
                       const char* homePageName, int newShell, int allUsers);

// A group name that names exactly one folder below Programs: not empty, no
// \ / : * ? " < > | or control characters, not made of dots only, not a device name
// (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, also with an extension).
bool IsUsableGroupName(const char* name);
// The same for a Program Manager group, whose name goes unquoted into
// "[CreateGroup(%s,1)]": no "," or ")" either.
bool IsUsableProgmanGroupName(const char* name);

// The longest group name the program takes, in bytes: what the finish page's 260-byte
// text holds beside its own 77 bytes, so that the text always names the whole group.
enum { MaxGroupNameBytes = 182 };
// The longest group name for this system: MaxGroupNameBytes, or less where the longest
// shortcut path below the Programs folder of the variant (allUsers) would not fit a path.
// A Program Manager group (newShell 0) is no folder of ours: MaxGroupNameBytes.
size_t GroupNameLimit(int newShell, int allUsers);
enum GroupNameVerdict { GroupNameAccepted, GroupNameUnusable, GroupNameTooLong };
// The whole rule for a group name, wherever it comes from (the group page, the command
// line), applied to the name as it will be used (blanks trimmed): usable as a folder, or
// with newShell 0 as a Program Manager group, and at most GroupNameLimit long.
GroupNameVerdict CheckGroupName(const char* name, int newShell, int allUsers);
// Whether the group folder of that name can be made below the Programs folder of the
// variant: it exists, or it can be created (and is removed again at once). A file system
// may refuse a name the rule takes (a component too long for it).
bool CanMakeGroupFolder(const char* groupName, int allUsers);
