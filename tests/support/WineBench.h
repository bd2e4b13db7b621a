// The Wine test bench: real windows, message boxes, registry and processes,
// driven with no person present. Narrow text is code page 932 (the tests are
// compiled with the same execution character set as the product).
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace bench {

// ---- Paths ---------------------------------------------------------------
std::string BinaryDir();                     // the build folder of the tests, as Wine sees it
std::string SourceDir();                     // the source tree, as Wine sees it
std::string BuildFile(const std::string& relative); // BinaryDir() + "\\" + relative
// The programs under test come from the product's build folder (build/win32 for the
// 32-bit product; the twin's own folder where the twin is tested), or from the folder
// that the environment variable BENCH_PROGRAM_DIR names.
std::string SetupExe();                      // the full SETUP.EXE (with resource 19)
std::string StubSetupExe();                  // the copy-mode SETUP.EXE (no resource 19)
std::string SampleAppDir();                  // the sample application's files
std::string ProgramFile(const char* relative); // any file of that build folder
// The archive SETUP.EXE carries (its resource 19), and a copy of SETUP.EXE at path that
// carries another archive instead (a damaged download, a wrong vendor archive).
std::string CarriedPayload();
bool WriteSetupCarrying(const std::string& path, const std::string& archive);
std::string WindowsDirectory();
// "R:": a drive whose folders exist but can never be written (tools/wine-prefix links it
// to a kernel filesystem, since root is refused no write elsewhere). R:\mm exists;
// creating anything in R:\ fails with ERROR_ACCESS_DENIED.
std::string ReadOnlyDrive();

// "S:", a small drive of its own (tools/wine-prefix mounts 512 KiB with room for 64 files
// and folders), emptied when the object is made and when it goes.
class SmallDrive {
public:
    SmallDrive();
    ~SmallDrive();
    SmallDrive(const SmallDrive&) = delete;
    SmallDrive& operator=(const SmallDrive&) = delete;
    bool ready() const; // S: is there, and small
    ULONGLONG FreeBytes() const;
    // Takes the room of the drive with one file until only bytesLeft are free.
    bool FillUpTo(ULONGLONG bytesLeft);
    // Takes every free entry of the drive with empty files but count.
    bool LeaveEntries(int count);
};

// A fresh, empty folder under C:\bench, removed with everything in it afterwards.
class TempFolder {
public:
    explicit TempFolder(const std::string& hint = "t");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

void RemoveTree(const std::string& path);
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
std::vector<std::string> ListFolder(const std::string& folder); // names, sorted, no . and ..

// ---- Registry --------------------------------------------------------------
// Deletes a key tree before and after the test that owns it.
class RegistryKeyGuard {
public:
    RegistryKeyGuard(HKEY root, std::string path);
    ~RegistryKeyGuard();
    RegistryKeyGuard(const RegistryKeyGuard&) = delete;
    RegistryKeyGuard& operator=(const RegistryKeyGuard&) = delete;

private:
    HKEY root_;
    std::string path_;
};

// A key that exists but that nobody may write, as the machine's keys are to a standard user:
// its permissions let everyone read it and delete it, nothing else (Wine checks them). Made
// afresh, with its parents as needed, for the test that owns it; deleted afterwards.
class LockedRegistryKey {
public:
    LockedRegistryKey(HKEY root, std::string path);
    ~LockedRegistryKey();
    LockedRegistryKey(const LockedRegistryKey&) = delete;
    LockedRegistryKey& operator=(const LockedRegistryKey&) = delete;
    bool locked() const { return locked_; } // it exists and cannot be opened for writing

private:
    HKEY root_;
    std::string path_;
    bool locked_ = false;
};

struct RegValue {
    bool exists = false;
    DWORD type = 0;
    std::string data; // raw bytes as stored (string values include their terminating zero)
};
// name null = the default value; view: 0 for this program's own view of the registry,
// or KEY_WOW64_32KEY / KEY_WOW64_64KEY.
RegValue ReadRegValue(HKEY root, const std::string& path, const char* name, REGSAM view = 0);
bool RegKeyExists(HKEY root, const std::string& path, REGSAM view = 0);
// A 32-bit program on 64-bit Windows, where HKEY_LOCAL_MACHINE\SOFTWARE has two views.
bool IsWow64();
void SetRegString(HKEY root, const std::string& path, const char* name, const std::string& text,
                  DWORD type = REG_SZ);
void SetRegDword(HKEY root, const std::string& path, const char* name, DWORD value);
void DeleteRegTree(HKEY root, const std::string& path, REGSAM view = 0); // view as for ReadRegValue
std::vector<std::string> RegValueNames(HKEY root, const std::string& path); // in stored order

// Chooses what GetVersion reports to programs of this executable name
// (win95, win98, nt351, nt40, winxp, win10); an empty version removes the choice.
void SetWindowsFamily(const std::string& exeName, const std::string& version);

// ---- Windows and dialogs ---------------------------------------------------------
struct ControlState {
    bool exists = false;
    bool visible = false; // the control's own WS_VISIBLE bit
    bool enabled = false;
    int check = -1;       // BM_GETCHECK for buttons, -1 otherwise
    std::string text;
};

std::string WindowText(HWND window); // WM_GETTEXT, also across processes
std::string ClassName(HWND window);
ControlState Control(HWND dialog, int id);
// Presses a button as a click does (WM_COMMAND with BN_CLICKED and the control).
void Click(HWND dialog, int id);
// Sends a plain command (as Enter/Escape do: the id alone, no control).
void Command(HWND dialog, int id);
void SetControlText(HWND dialog, int id, const std::string& text);
// The window with the keyboard focus in the window's thread (also across processes).
HWND FocusOf(HWND window);
// Presses and releases a key as the keyboard does: it reaches whatever has the focus.
void PressKey(WORD virtualKey);

// The rectangle the control's text needs, from its client area's top left corner, drawn
// with its own font in the given DrawText format (DT_CALCRECT is added).
RECT TextNeeds(HWND control, UINT format);
// The screen resolution a test expects: 96, or what RunAtLogPixels gave its process.
int ExpectedLogPixels();
int ScreenLogPixels(); // what the screen has (LOGPIXELSY)
// Runs one test of this program again in a process of its own with the user's LogPixels
// set to logPixels (restored afterwards). Returns that process's exit code.
DWORD RunAtLogPixels(const std::string& test, DWORD logPixels);

// Top-level windows of a process, in Z order.
std::vector<HWND> TopLevelWindows(DWORD processId);
// Waits (bounded) until a top-level window of the process satisfies the predicate.
// Returns null on time-out or when the process (if given) ends first.
HWND WaitForWindow(DWORD processId, const std::function<bool(HWND)>& predicate,
                   DWORD timeoutMs = 20000, HANDLE process = nullptr);
// Waits until the predicate holds (checked between short waits on the optional handle).
bool WaitUntil(const std::function<bool()>& predicate, DWORD timeoutMs = 20000,
               HANDLE process = nullptr);

// ---- Message boxes ----------------------------------------------------------------
struct BoxRecord {
    HWND window = nullptr;
    std::string caption;
    std::string text;
    std::vector<int> buttons; // command ids of the buttons, in creation order
    int defaultButton = 0;    // id of the button with BS_DEFPUSHBUTTON
    UINT icon = 0;            // MB_ICONQUESTION, MB_ICONINFORMATION, ... or 0
    bool topmost = false;     // WS_EX_TOPMOST (system-modal boxes)
    HWND owner = nullptr;
    // The MessageBox style rebuilt from what the box shows: buttons | icon | default | system modal.
    UINT Style() const;
};

bool IsMessageBox(HWND window); // a #32770 window with the message-box text control
BoxRecord ReadMessageBox(HWND box);
// Presses a message-box button by id (IDOK, IDCANCEL, IDYES, IDNO, IDRETRY, ...).
void AnswerMessageBox(HWND box, int id);
HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs = 20000, HANDLE process = nullptr);

// In-process answerer: a WH_CBT hook on this thread that records every message
// box once it is complete (read from inside the box's own message loop) and
// presses the next queued answer (IDCANCEL when the queue is empty, so a
// forgotten box never hangs a test).
class MessageBoxHook {
public:
    explicit MessageBoxHook(std::vector<int> answers = {});
    ~MessageBoxHook();
    MessageBoxHook(const MessageBoxHook&) = delete;
    MessageBoxHook& operator=(const MessageBoxHook&) = delete;
    void Queue(int answer);
    // Called on each box before it is answered (the box is open: a test may act now).
    void OnBox(std::function<void(const BoxRecord&)> callback);
    const std::vector<BoxRecord>& boxes() const;

    struct State;

private:
    State* state_;
};

// Runs a modal dialog on this thread while `script` runs on a second thread that
// may read controls, press buttons and answer message boxes (cross-thread sends).
// Returns the dialog's result; the script gets the dialog window.
INT_PTR RunDialog(HINSTANCE instance, const char* templateName, DLGPROC procedure,
                  const std::function<void(HWND dialog)>& script, DWORD timeoutMs = 60000);

// ---- Processes -------------------------------------------------------------------------
class Process {
public:
    // Starts `commandLine` (the program path first, quoted as needed) in `currentDir`.
    explicit Process(const std::string& commandLine, const std::string& currentDir = "");
    ~Process(); // ends the process if it still runs
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    bool started() const { return handle_ != nullptr; }
    DWORD id() const { return id_; }
    HANDLE handle() const { return handle_; }
    // Waits for the end; returns the exit code, or STILL_ACTIVE on time-out.
    DWORD Wait(DWORD timeoutMs = 60000);
    // The same, watching the process's top-level windows meanwhile: the text of the first
    // one that became visible goes into *shown (for runs that must show none).
    DWORD WaitShowingNothing(std::string* shown, DWORD timeoutMs = 60000);
    bool Running() const;

private:
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
};

// Runs a SETUP.EXE command line for nobody at the screen, with /LOG= added, and checks
// that it ends with expected, shows no window and says so in the log's last line.
// Returns the log's text.
std::string ExpectUnattendedRun(const std::string& commandLine, const std::string& currentDir,
                                DWORD expected);

// Ends every process whose main window has the class (clean-up between tests).
void CloseWindowsOfClass(const char* className);

// Hex dump for failure messages ("83 5C ...").
std::string Hex(const std::string& bytes);

} // namespace bench
