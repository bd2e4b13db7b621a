// The install wizard on DLG_MASTER and the work behind its Next button.
#pragma once
#include <windows.h>
#include <shlobj.h>

extern int WizardPage;    // 0 folder, 1 group, 2 finish
extern int WizardBusy;    // > 0 while a step works
extern int RestartNeeded; // restart variant of the finish page; nothing sets it

INT_PTR CALLBACK WizardDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void ShowFolderPage(HWND dialog);
void ShowGroupPage(HWND dialog);
void ShowFinishPage(HWND dialog);
// The finish page's restart variant (texts 1003/1004, Next "再起動", Cancel usable).
void ShowRestartPage(HWND dialog);
void BrowseForFolder(HWND dialog, const char* currentFolder, LPCITEMIDLIST root, const char* title);

// Next on the folder page: folder, files, InstallLocation. Nonzero when the files
// are in place and the group page is shown.
int InstallStep(HWND dialog);
// Its work for a typed folder (blanks removed): the folder made absolute and checked, the
// files checked, then written, InstallLocation recorded. dialog may be null (a run with
// nobody at the screen). ExitDone, or the exit code of what failed.
int InstallFilesInto(HWND dialog, const char* typed);
// Next on the group page: group, shortcuts, association, CommonMode, uninstall entry.
void FinishStep(HWND dialog);
// Its work with GroupName and CommonMode settled; dialog may be null. ExitDone, or
// ExitGroupFailed when the program group, one of its shortcuts, the document type or the
// uninstall entry could not be made.
int FinishInstall(HWND dialog);
// The work of both steps and the launch with the options' answers, for a run with nobody
// at the screen. Returns the exit code.
int RunUnattendedInstall();
// A name the group page may take for the shell in use (NewShell), whoever the
// installation is for; FitsProgramsFolder adds the length rule of the Programs folder of
// the settled choice (CommonMode).
bool IsAcceptableGroupName(const char* name);
bool FitsProgramsFolder(const char* name);
// Removes ASCII and ideographic spaces from both ends, in place (whole characters).
char* TrimBlanks(char* text);
