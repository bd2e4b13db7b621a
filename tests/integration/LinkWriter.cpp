// Writes the program group of a per-user install with our own CreateProgramGroup
// and prints, for each shell link, what it must hold, for check-links.sh to
// compare with lnkinfo's reading:  LINK <link>|<target>|<working folder>|<icon 0/1>
#include <windows.h>
#include <objbase.h>

#include <stdio.h>

#include "integration/ProgramGroup.h"
#include "shell/SetupState.h"

static const char InstallFolder[] = "C:\\bench\\lnkinfo\\くおりん ソフト";
static const char Group[] = "lnkinfo検査";

int main() {
    CoInitialize(nullptr);
    CreateDirectoryA("C:\\bench", nullptr);
    CreateDirectoryA("C:\\bench\\lnkinfo", nullptr);
    CreateDirectoryA(InstallFolder, nullptr);
    CreateProgramGroup(0, "くおりん", InstallFolder, Group, "ホームページ", "案内", "ヘルプ",
                       InstallFiles, 1, 0);

    char programs[MAX_PATH] = "";
    char desktop[MAX_PATH] = "";
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_CURRENT_USER,
                  "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                  KEY_QUERY_VALUE, &key);
    DWORD size = sizeof programs;
    RegQueryValueExA(key, "Programs", nullptr, nullptr, reinterpret_cast<BYTE*>(programs), &size);
    size = sizeof desktop;
    RegQueryValueExA(key, "Desktop", nullptr, nullptr, reinterpret_cast<BYTE*>(desktop), &size);
    RegCloseKey(key);

    struct Link {
        const char* folder;
        const char* name;
        const char* file;
        int icon;
    };
    char groupFolder[MAX_PATH];
    snprintf(groupFolder, sizeof groupFolder, "%s\\%s", programs, Group);
    const Link links[] = {{groupFolder, "くおりん", "QUORIN32.EXE", 0},
                          {groupFolder, "ヘルプ", "QUORIN32.HLP", 0},
                          {groupFolder, "案内", "QUORIN32.TXT", 0},
                          {groupFolder, "ホームページ", "quorin.url", 0},
                          {desktop, "くおりん", "QUORIN32.EXE", 1}};
    for (const Link& link : links) {
        printf("LINK %s\\%s.lnk|%s\\%s|%s|%d\n", link.folder, link.name, InstallFolder, link.file,
               InstallFolder, link.icon);
    }
    printf("GROUP %s\n", groupFolder);
    CoUninitialize();
    return 0;
}
