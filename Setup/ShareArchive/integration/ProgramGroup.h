// Shortcuts and the program group: shell links, or Program Manager through DDE.
#pragma once
#include <windows.h>
#include <shlobj.h>

HRESULT CreateShellLink(const char* targetPath, const char* linkPath, const char* description,
                        const char* workingDir, const char* arguments, int iconIndex);
void FreeItemIdList(LPITEMIDLIST itemIdList);
int ProgmanExecute(DWORD ddeInstance, const char* command, int anyService);
int CreateProgmanGroup(DWORD ddeInstance, const char* mainName, const char* installDir,
                       const char* groupName, const char* helpName, const char* guideName,
                       const char* const* fileList, int anyService);
int CreateProgramGroup(DWORD ddeInstance, const char* mainName, const char* installDir,
                       const char* groupName, const char* homePageName, const char* guideName,
                       const char* helpName, const char* const* fileList, int newShell,
                       int allUsers);
int RemoveProgramGroup(const char* mainName, const char* groupValueName,
                       const char* entryParentPath, const char* helpName, const char* guideName,
                       const char* homePageName, int newShell, int allUsers);
