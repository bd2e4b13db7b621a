// The install wizard on DLG_MASTER and the work behind its Next button. The work takes the
// wizard's window only to show its progress there: a run with nobody at the screen passes
// null, on which every window call does nothing (whether anybody is at the screen is the
// Unattended flag alone). The pages change on the wizard's side, after the work.
#pragma once
#include <windows.h>
#include <shlobj.h>
#include "archive/StagedFiles.h"

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

// Next on the folder page: folder and files. Nonzero when the files are in place and
// the group page is shown.
int InstallStep(HWND dialog);
// Its work for a typed folder (blanks removed): what an earlier Next put in place undone,
// the folder made absolute, the room on its drive checked, the folder created, the files
// written under temporary names and, when every one is good, put in place. A failure
// undoes the step. True when the files are in place; a failure is said and reported
// (ReportOutcome).
bool InstallFilesInto(HWND dialog, const char* typed);

// The install step's files, all or nothing (FileStep.cpp). The step's files, written under
// temporary names, then put in place; kept until the finishing step is done.
extern StagedFiles InstallStaging;
// Before the first write: the room roomFor says the files take (given the drive's cluster
// size) compared with the free space of InstallDir's drive (a message naming both when it
// is too little), then the folder created; the step is open from then on. False when the
// files do not fit or the folder cannot be created (each said); nothing is written then.
bool OpenFileStep(HWND dialog, ULONGLONG (*roomFor)(DWORD clusterBytes));
// The files the program carries as resource 19 (CarriedFiles.cpp; the copy-mode program
// links NoCarriedFiles.cpp, which says it carries none): whether there are any, the room
// they take once written, and their one pass into the step's temporary files (the archive's
// result code, 0 when all nine are written and checked).
bool CarriesFiles();
ULONGLONG RoomOfCarriedFiles(DWORD clusterBytes);
int StageCarriedFiles();
// The install folder cannot be used (created or written): said with the folder's write
// message, the status line emptied, and the folder field selected for another one.
void ReportUnusableFolder(HWND dialog);

// Undoes an open step: its files deleted, the files they replaced moved back (one that
// cannot be is named in a message and the log), the folders it created removed.
void UndoFileStep(HWND dialog);
// The run has finished: the replaced files are deleted and the step can no longer be undone.
void CommitFileStep();

// Next on the group page: group, shortcuts, association, CommonMode, uninstall entry.
void FinishStep(HWND dialog);
// Its work with GroupName and CommonMode settled. InstallLocation is written here, once the
// files are in place for good, and the file step is committed at the end. False, reported
// as ExitInstalledIncompletely, when the program group, one of its shortcuts, the document
// type or the uninstall entry could not be made.
bool FinishInstall(HWND dialog);
// The work of both steps and the launch with the options' answers, for a run with nobody
// at the screen; what keeps it from its end is reported.
void RunUnattendedInstall();
// A name the group page may take for the shell in use (NewShell), whoever the
// installation is for; FitsProgramsFolder adds the length rule of the Programs folder of
// the settled choice (CommonMode).
bool IsAcceptableGroupName(const char* name);
bool FitsProgramsFolder(const char* name);
// Removes ASCII and ideographic spaces from both ends, in place (whole characters).
char* TrimBlanks(char* text);
