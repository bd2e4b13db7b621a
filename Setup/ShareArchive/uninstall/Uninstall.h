// The uninstall dialog, file removal, clean-up and the self-deleting batch.
#pragma once
#include <windows.h>

extern int UninstallStep;
extern int UninstallBusy;

INT_PTR CALLBACK UninstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void RemoveInstalledFiles(HWND dialog, int* stepCounter, int* busyCounter);
// The deletion rule for one entry of the install folder (name as found).
bool IsInstalledFileName(const char* name);

void RunUninstallCleanup();
void WriteSelfDeleteBatch(const char* folder);
// The batch text for a program path and a folder; returns its length, 0 if it does not fit.
int FormatSelfDeleteBatch(char* buffer, size_t capacity, const char* programPath,
                          const char* folder, const char* batchPath);
