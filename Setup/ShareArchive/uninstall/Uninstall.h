// The uninstall dialog, file removal, clean-up and the self-deleting batch.
#pragma once
#include <windows.h>

extern int UninstallStep;
extern int UninstallBusy;

INT_PTR CALLBACK UninstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void RemoveInstalledFiles(HWND dialog, int* stepCounter, int* busyCounter);
// The deletion rule for one entry of the install folder (name as found).
bool IsInstalledFileName(const char* name);

// Code page 932 names: single-byte letters upper-cased in place, double-byte characters
// left alone; and a comparison of two paths that ignores the case of their letters.

void RunUninstallCleanup();
// The clean-up before the pause: the class backup, the association, the program group
// and the uninstall entry, in that order (RunUninstallCleanup runs it first).
void RemoveUninstallIntegration();
// Puts back the saved default value of the document class from the opened backup key
// and removes that backup value; every other value is left alone.
void RestoreClassBackup(HKEY backupKey);

void WriteSelfDeleteBatch(const char* folder);
// Writes the batch for programPath and folder to batchPath and starts it hidden.
// False when no batch was started.
bool StartSelfDeleteBatch(const char* batchPath, const char* programPath, const char* folder);

// The batch waits for the program file in a loop. From NT 4.0 on the loop is bounded:
// this many tries with a pause of about a second (ping) between them, or, where the
// pause fails, SelfDeleteTriesWithoutPause times as many tries. On 95/98/Me and NT 3.51,
// whose command interpreters have no arithmetic (set /a, LSS), it is the plain endless loop.
enum { SelfDeleteTries = 60, SelfDeleteTriesWithoutPause = 1000 };
enum { SelfDeleteBatchCapacity = 2048 };

// The batch text for a program path and a folder, for this system's family and with the
// rmdir line only for a folder that may be removed; returns its length, 0 if it does not fit.
int FormatSelfDeleteBatch(char* buffer, size_t capacity, const char* programPath,
                          const char* folder, const char* batchPath);
// The same with the choices spelled out: maxTries 0 is the endless loop, otherwise the
// number of paused tries.
int FormatSelfDeleteBatchText(char* buffer, size_t capacity, const char* programPath,
                              const char* folder, const char* batchPath, int maxTries,
                              bool removeFolder);
// A folder the batch may hand to rmdir: an absolute path that is not a drive or share
// root and neither the Windows folder (WindowsDir, else the system's) nor one of its parents.
bool IsRemovableFolder(const char* folder);
