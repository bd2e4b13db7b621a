// The install wizard on DLG_MASTER and the work behind its Next button.
#pragma once
#include <windows.h>

extern int WizardPage;    // 0 folder, 1 group, 2 finish
extern int WizardBusy;    // > 0 while a step works
extern int RestartNeeded; // restart variant of the finish page; nothing sets it

INT_PTR CALLBACK WizardDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void ShowFolderPage(HWND dialog);
void ShowGroupPage(HWND dialog);
void ShowFinishPage(HWND dialog);
void BrowseForFolder(HWND dialog, const char* currentFolder, LPCITEMIDLIST root,
                     const char* title);

int InstallStep(HWND dialog);
void FinishStep(HWND dialog);
char* TrimBlanks(char* text);
