// Message boxes built from the string table and the small shared operations.
#pragma once
#include <windows.h>
#include <stdarg.h>

// GetVersion() once, into OsVersion; runs during static initialisation.
DWORD ReadSystemVersion();

// A function of a loaded system DLL looked up at run time, for what the oldest systems
// lack; null when the module or the function is not there.
template <typename Function> Function LookUpFunction(const char* module, const char* name) {
    HMODULE handle = GetModuleHandleA(module);
    // Through void (*)() so that the conversion of FARPROC is not a type-punning warning.
    return handle ? reinterpret_cast<Function>(
                        reinterpret_cast<void (*)()>(GetProcAddress(handle, name)))
                  : nullptr;
}

// Boxes from the string table; each passes its question's unattended answer to AskUser.
int ShowMessage(HWND owner, UINT textId, const char* caption, UINT style, int unattendedAnswer);
int ShowMessageArg(HWND owner, UINT formatId, const char* argument, const char* caption, UINT style,
                   int unattendedAnswer);
int ShowMessageIds(HWND owner, UINT textId, UINT captionId, UINT style, int unattendedAnswer);
int ShowArchiveError(HINSTANCE module, int code); // always -1

// Formats (wvsprintfA) into target, cut on a whole character to its capacity.
void FormatText(char* target, size_t capacity, const char* format, ...);
void FormatTextV(char* target, size_t capacity, const char* format, va_list args);

// Every message box of the program comes here: shown and answered by the person, or, in an
// unattended run, answered with unattendedAnswer, which the caller chooses for its question
// (the answer a person most often gives and that loses nothing: OK to a notice, Cancel to a
// retry whose cause nobody can mend); logged either way. Without an owner, the open dialog
// (MainWindow) owns it.
int AskUser(HWND owner, const char* text, const char* caption, UINT style, int unattendedAnswer);

// The product version of a module's version record, "1.6.0.0"; false without a record.
bool ReadModuleVersion(HMODULE module, char* version, size_t capacity);

// Formats into the 128-byte status line (control 1009); cut on a whole character.
void SetStatusText(HWND dialog, const char* format, ...);
void SetStatusTextV(HWND dialog, const char* format, va_list args);

void CenterWindow(HWND window, HWND centreOn);

// Places a control of DLG_MASTER at a rectangle (left, top, right, bottom) in dialog units,
// scaled as the client area (248 x 132 units) was; MapDialogRect and MoveWindow are not
// among the functions the program imports.
enum { DialogWidthUnits = 248, DialogHeightUnits = 132 };
void PlaceControl(HWND dialog, int id, const RECT& units);

// Sets format (one %s) with path into a static control so that the control shows it:
// broken into lines on whole characters where it is wider than the control, and, where
// those lines are more than the control holds, the path shortened in its middle ("...")
// so that its root and its last folder stay. Measured with the control's own font;
// "&" is shown as it is. True when the whole path shows.
bool SetPathLine(HWND control, const char* format, const char* path);

// Joins name to the 260-byte path buffer with one "\" between them. A join that
// would not fit is refused: the buffer is left unchanged and FALSE is returned.
BOOL AppendPath(char* path, const char* name);
BOOL AppendPathN(char* path, size_t capacity, const char* name);

// The argument at p (blanks before it skipped) into buffer, quotes removed; *start is where
// its text begins on the line. With toEnd, blanks outside quotes do not end it: it takes
// the rest of the line. Returns the position after it, or null when none is left.
const char* NextArgumentOf(const char* p, char* buffer, size_t capacity, const char** start,
                           bool toEnd = false);
// Argument n of the process command line (0 = program path), or null.
// The result lives in a static buffer until the next call.
const char* GetArgument(int n);
// The same split over any command line (GetArgument uses it on GetCommandLineA()).
const char* GetArgumentOf(const char* commandLine, int n);

// Creates the folder, and with withParents its missing parents. Nonzero on success;
// on failure GetLastError() tells why (ERROR_ALREADY_EXISTS: the folder exists).
BOOL CreateFolderTree(const char* path, BOOL withParents);
// The folder at path exists. One trailing separator, as GetFullPathNameA keeps it from
// the typed text ("C:\Apps\"), is allowed (PathExists' find call refuses it).
bool IsExistingFolder(const char* path);

// SetErrorMode where the system has it: with SEM_FAILCRITICALERRORS a drive without its
// medium is an error code, not the system's box. Returns the mode before.
UINT SetProcessErrorMode(UINT mode);

// Code page 932 text helpers: every scan steps over whole characters.
size_t CharacterLength(const char* text); // 2 for a lead byte with its trail byte, else 1
void UpperCaseText(char* text);           // ASCII letters only; double-byte characters stay
void CopyUpperCase(char* to, size_t capacity, const char* from); // a bounded copy, upper-cased
bool SamePathIgnoringCase(const char* left, const char* right);
// The same folder: compared upper-cased by the code page's rules, one trailing separator
// ignored ("C:\" keeps its own).
bool SameFolder(const char* left, const char* right);
const char* LastCharacter(const char* text); // null for empty text
bool EndsWithSeparator(const char* path);    // last whole character is "\" or "/"
// One trailing separator removed, but the root's ("C:\" keeps its own).
void DropTrailingSeparator(char* path);
bool ContainsBlank(const char* text);        // a space, never the second byte of a character
void CopyText(char* target, size_t capacity, const char* source); // cut on a whole character
