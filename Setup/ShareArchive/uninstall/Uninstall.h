// The uninstall dialog, file removal, clean-up and the self-deleting batch.
#pragma once
#include <windows.h>

extern int UninstallStep;
extern int UninstallBusy;

INT_PTR CALLBACK UninstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void RemoveInstalledFiles(HWND dialog, int* stepCounter, int* busyCounter);
// The uninstall with nobody at the screen (/r /S, /R /S): the confirmation answered Yes,
// the files removed, then the clean-up and the batch; a file that could not be deleted is
// reported as ExitFilesLeft (the log names it).
void RunUnattendedUninstall();
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

// Writes and starts the batch that deletes the install folder's SETUP.EXE (this program
// where it runs from there, once the process has ended) and the install folder. On the NT family it lives in a folder of this run that only this
// account and the administrators can change (CreatePrivateFolder); on 95/98/Me in the
// root of the current drive, or in the temporary folder where that cannot be written.
void WriteSelfDeleteBatch(const char* folder);
// Writes the batch for programPath and folder to batchPath and starts it hidden; a
// batchFolder (may be null) is removed together with the batch. False when no batch was
// started.
bool StartSelfDeleteBatch(const char* batchPath, const char* batchFolder, const char* programPath,
                          const char* folder);
// Starts a written batch hidden, with the command line of FormatBatchCommand.
bool StartBatchFile(const char* batchPath);

// A new folder under parent (that did not exist) whose permissions let only this account,
// the administrators and the system change it or what it holds, and beside it the new,
// empty file "<folder>.bat" with the same permissions, where the batch ends. NT family only.
bool CreatePrivateFolder(const char* parent, char* folder); // folder: 260 bytes
// "<batchFolder>.bat" into the 260-byte path; false when it does not fit.
bool BatchPlaceholderPath(const char* batchFolder, char* path);
// Those permissions: full access for the three, inherited by what the folder holds, and
// nothing inherited from the parent. The descriptor points into the record: not to be copied.
struct PrivateFolderSecurity {
    DWORD aclSpace[128];
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes;
};
bool BuildPrivateFolderSecurity(PrivateFolderSecurity& security);
// The system folder (GetSystemDirectoryA, looked up at run time).
bool GetSystemFolder(char* folder); // 260 bytes

// The batch waits for the program file in a loop. From NT 4.0 on the loop is bounded:
// this many tries with a pause of about a second (ping) between them, or, where the
// pause fails, SelfDeleteTriesWithoutPause times as many tries. On 95/98/Me and NT 3.51,
// whose command interpreters have no arithmetic (set /a, LSS), it is the plain endless loop.
enum { SelfDeleteTries = 60, SelfDeleteTriesWithoutPause = 1000 };
enum { SelfDeleteBatchCapacity = 4096 };

struct SelfDeleteBatch {
    const char* programPath;
    const char* folder;       // the install folder, removed when empty; null: left alone
    const char* batchPath;
    const char* batchFolder;  // the folder of this run that holds the batch; null: none
    const char* systemFolder; // where ping.exe is (the bounded loop only)
    int maxTries;             // 0: the plain endless loop
    bool moveReplacesQuietly; // "move /Y" (Windows 2000 and later) onto the placeholder
};
// The batch text; returns its length, 0 if it does not fit.
int FormatSelfDeleteBatchText(char* buffer, size_t capacity, const SelfDeleteBatch& plan);
// The same with the choices this system makes: the loop for its family, the system folder,
// and the rmdir line only for a folder that may be removed.
int FormatSelfDeleteBatch(char* buffer, size_t capacity, const char* programPath,
                          const char* folder, const char* batchPath, const char* batchFolder);
// The command line that starts the batch: on the NT family the system folder's cmd.exe by
// its full path (without AutoRun and delayed expansion where it has them), on 95/98/Me the
// batch itself; its path always quoted. 0 if it does not fit.
int FormatBatchCommand(char* buffer, size_t capacity, const char* systemFolder,
                       const char* batchPath);
// A folder the batch may hand to rmdir: an absolute path that is not a drive or share
// root and neither the Windows folder (WindowsDir, else the system's) nor one of its parents.
bool IsRemovableFolder(const char* folder);
