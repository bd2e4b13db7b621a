#include "shell/SetupState.h"
#include "shell/Helpers.h"
#include "shell/Outcome.h"

#include <string.h>

HINSTANCE AppInstance;
// Read once, before the entry point runs.
DWORD OsVersion = ReadSystemVersion();
int NewShell;
char SetupDir[PathCapacity];
char WindowsDir[PathCapacity];
const char* const ProductKeyName = "くおりん";
char ProductKey[PathCapacity];
char InstallDir[PathCapacity];
// Both start at 1 (ResetSetupState, the first step of a run); zero-initialised here so that
// the program has no data section.
int CommonMode;
int CommonAllowed;
char GroupName[PathCapacity];
int LaunchNow;
DWORD DdeInstance;
HWND MainWindow;
int Unattended;
int UnattendedClosesApplication;

const char* const InstallCaption = "家計簿,出納簿くおりんの導入";
const char* const RemoveCaption = "家計簿,出納簿くおりんの削除";

const char* const UninstallParentKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char* const MainLinkName = "くおりん";
const char* const HelpLinkName = "ヘルプ";
const char* const GuideLinkName = "案内";
const char* const HomePageLinkName = "ホームページ";
const char* const GroupValueName = "ProgGroup";
const char* const DocumentProgId = "QuorinPG.Document";
const char* const DocumentDescription = "家計簿,出納簿くおりん";
const char* const DocumentExtension = ".QRB";

const char* const InstallFiles[InstallFileCount] = {
#define INSTALL_FILE(name, archivePlace) name,
#include "InstallFiles.def"
#undef INSTALL_FILE
};

void BuildProductKey() {
    CopyText(ProductKey, sizeof ProductKey, "SOFTWARE\\Brastelo");
    AppendPath(ProductKey, ProductKeyName);
}

void ResetSetupState() {
    ForgetOutcome();
    NewShell = 0;
    SetupDir[0] = '\0';
    WindowsDir[0] = '\0';
    ProductKey[0] = '\0';
    InstallDir[0] = '\0';
    CommonMode = 1;
    CommonAllowed = 1;
    GroupName[0] = '\0';
    LaunchNow = 0;
    DdeInstance = 0;
    MainWindow = nullptr;
    Unattended = 0;
    UnattendedClosesApplication = 0;
}
