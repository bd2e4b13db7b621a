// The .QRB document type and the uninstall entry.
#pragma once
#include <windows.h>

// The publisher as the uninstall entry names it.
extern const char* const PublisherName;         // "Marveno Corporation"
extern const char* const PublisherHomePage;     // HelpLink
extern const char* const PublisherWhatsNewPage; // URLUpdateInfo (new.html)

// Both tell Explorer of the change afterwards, on the new shell. The registration is true
// when every key and value was written (the log names what was not).
bool RegisterDocumentType(const char* installDir, const char* const* fileList, const char* progId,
                          const char* description, const char* extension);
void UnregisterDocumentType(const char* progId);
// The entry's values, then DisplayIcon, DisplayVersion (when the installed program has
// a version record), EstimatedSize, InstallDate, NoModify, NoRepair and
// QuietUninstallString ("<folder>\setup.exe" /r /S, or /R /S). 1 when the key and every
// value were written, 0 otherwise (the log names what was not).
int WriteUninstallEntry(const char* displayName, const char* installDir, const char* groupValueName,
                        const char* entryParentPath, const char* groupName, const char* helpLink,
                        const char* updateInfoUrl, const char* publisher, int machineWide);

// The program path as the association names it: the 8.3 form of the path, or
// the long path in double quotes when that holds a blank (no 8.3 form to be had).
void DocumentProgramPath(const char* programPath, char* result, size_t capacity);

// SHChangeNotify, looked up at run time (NT 3.51's shell has none). Tests may put their
// own function here; null means the shell's.
typedef void(WINAPI* ShellChangeNotifyProc)(LONG, UINT, LPCVOID, LPCVOID);
extern ShellChangeNotifyProc ShellChangeNotifyHook;
