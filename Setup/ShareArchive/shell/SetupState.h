// The process-wide setup state. Start-up fills it before any dialog opens;
// the wizard and the uninstall change a few of its members later.
#pragma once
#include <windows.h>
#include <ddeml.h>

enum { PathCapacity = 260 };

extern HINSTANCE AppInstance;       // our own module: strings, dialog, resource 19
extern DWORD OsVersion;             // raw GetVersion(); bit 31 set = 95/98/Me family
extern int NewShell;                // 1 when the major version is 4 or more
extern char SetupDir[PathCapacity]; // folder of the running program, no trailing separator
extern char WindowsDir[PathCapacity];
extern const char* const ProductKeyName; // "くおりん": product key name and default group
extern char ProductKey[PathCapacity];    // SOFTWARE\Brastelo\くおりん under HKEY_CURRENT_USER
void BuildProductKey();                  // ProductKey from its parent and ProductKeyName
extern char InstallDir[PathCapacity];
extern int CommonMode;    // 1 = installed for all users
extern int CommonAllowed; // 1 = the all-users box may be enabled
extern char GroupName[PathCapacity];
extern int LaunchNow;
extern DWORD DdeInstance;
extern HWND MainWindow; // the open dialog (wizard or uninstall)
// An unattended run (/S): no window, no message box, no question; its exit code tells.
extern int Unattended;
extern int UnattendedClosesApplication; // /CLOSEAPP: the running application may be closed

// The two families. The NT family has bit 31 of OsVersion clear.
inline bool IsNtFamily() { return (OsVersion & 0x80000000u) == 0; }
inline unsigned MajorVersion() { return OsVersion & 0xFFu; }

// Captions of the install-side and removal-side message boxes.
extern const char* const InstallCaption; // "家計簿,出納簿くおりんの導入"
extern const char* const RemoveCaption;  // "家計簿,出納簿くおりんの削除"

// The uninstall entry's parent key, and fixed names shared by install and uninstall.
extern const char* const UninstallParentKey; // SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall
extern const char* const MainLinkName;       // "くおりん"
extern const char* const HelpLinkName;       // "ヘルプ"
extern const char* const GuideLinkName;      // "案内"
extern const char* const HomePageLinkName;   // "ホームページ"
extern const char* const GroupValueName;     // "ProgGroup"
extern const char* const DocumentProgId;     // "QuorinPG.Document"
extern const char* const DocumentDescription; // "家計簿,出納簿くおりん"
extern const char* const DocumentExtension;  // ".QRB"

// The nine installed files in their fixed order: 0 program, 1 help, 2 guide text.
enum { InstallFileCount = 9, InstalledSetupIndex = 6 };
extern const char* const InstallFiles[InstallFileCount];

// Restores every member to its initial value (start of a run; tests use it too).
void ResetSetupState();
