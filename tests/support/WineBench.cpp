#include "WineBench.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdio.h>
#include <stdlib.h>
#include <thread>

namespace bench {

// ---- Paths ---------------------------------------------------------------

std::string BinaryDir() { return BENCH_BINARY_DIR; }
std::string SourceDir() { return BENCH_SOURCE_DIR; }
std::string BuildFile(const std::string& relative) { return BinaryDir() + "\\" + relative; }
// The environment variable BENCH_PROGRAM_DIR (a Windows path) points the tests at the
// programs of another build, such as a signed release in a temporary folder.
std::string ProgramFile(const char* relative) {
    const char* other = getenv("BENCH_PROGRAM_DIR");
    return std::string(other && *other ? other : BENCH_PROGRAM_DIR) + "\\" + relative;
}
std::string SetupExe() { return ProgramFile("SETUP.EXE"); }
std::string StubSetupExe() { return ProgramFile("stub\\SETUP.EXE"); }

namespace {
BOOL CALLBACK FirstLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR found) {
    *reinterpret_cast<WORD*>(found) = language;
    return FALSE;
}
} // namespace

std::string CarriedPayload() {
    std::string bytes;
    HMODULE setup = LoadLibraryExA(SetupExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (setup == nullptr)
        return bytes;
    if (HRSRC resource = FindResourceA(setup, MAKEINTRESOURCEA(19), MAKEINTRESOURCEA(10))) {
        const char* data = static_cast<const char*>(LockResource(LoadResource(setup, resource)));
        if (data != nullptr)
            bytes.assign(data, SizeofResource(setup, resource));
    }
    FreeLibrary(setup);
    return bytes;
}

bool WriteSetupCarrying(const std::string& path, const std::string& archive) {
    WORD language = 0;
    if (HMODULE setup = LoadLibraryExA(SetupExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
        EnumResourceLanguagesA(setup, MAKEINTRESOURCEA(10), MAKEINTRESOURCEA(19), FirstLanguage,
                               reinterpret_cast<LONG_PTR>(&language));
        FreeLibrary(setup);
    }
    if (!CopyFileA(SetupExe().c_str(), path.c_str(), FALSE))
        return false;
    HANDLE update = BeginUpdateResourceA(path.c_str(), FALSE);
    if (update == nullptr)
        return false;
    const BOOL replaced =
        UpdateResourceA(update, MAKEINTRESOURCEA(10), MAKEINTRESOURCEA(19), language,
                        const_cast<char*>(archive.data()), static_cast<DWORD>(archive.size()));
    return EndUpdateResourceA(update, !replaced) && replaced;
}
std::string SampleAppDir() { return ProgramFile("sample-app"); }

std::string WindowsDirectory() {
    char buffer[MAX_PATH] = "";
    GetWindowsDirectoryA(buffer, sizeof buffer);
    return buffer;
}

std::string ReadOnlyDrive() { return "R:"; }

static void EmptySmallDrive() {
    for (const std::string& name : ListFolder("S:\\")) {
        RemoveTree("S:\\" + name);
        SetFileAttributesA(("S:\\" + name).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(("S:\\" + name).c_str());
    }
}

SmallDrive::SmallDrive() { EmptySmallDrive(); }

SmallDrive::~SmallDrive() { EmptySmallDrive(); }

bool SmallDrive::ready() const {
    ULARGE_INTEGER available, total, free;
    return GetDiskFreeSpaceExA("S:\\", &available, &total, &free) && total.QuadPart > 0 &&
           total.QuadPart <= 1024 * 1024;
}

ULONGLONG SmallDrive::FreeBytes() const {
    ULARGE_INTEGER available, total, free;
    return GetDiskFreeSpaceExA("S:\\", &available, &total, &free) ? available.QuadPart : 0;
}

bool SmallDrive::FillUpTo(ULONGLONG bytesLeft) {
    const ULONGLONG free = FreeBytes();
    if (free < bytesLeft)
        return false;
    WriteFileBytes("S:\\filler", std::string(static_cast<size_t>(free - bytesLeft), 'f'));
    return FreeBytes() == bytesLeft;
}

bool SmallDrive::LeaveEntries(int count) {
    CreateDirectoryA("S:\\entries", nullptr);
    std::vector<std::string> made;
    for (;;) {
        const std::string name = "S:\\entries\\" + std::to_string(made.size());
        HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            break;
        CloseHandle(file);
        made.push_back(name);
    }
    if (GetLastError() != ERROR_DISK_FULL || made.size() < static_cast<size_t>(count))
        return false;
    for (int i = 0; i < count; ++i)
        DeleteFileA(made[made.size() - 1 - i].c_str());
    return true;
}

static std::atomic<unsigned> folderCounter{0};

TempFolder::TempFolder(const std::string& hint) {
    CreateDirectoryA("C:\\bench", nullptr);
    char name[MAX_PATH];
    for (;;) {
        snprintf(name, sizeof name, "C:\\bench\\%s-%lu-%u", hint.c_str(),
                 GetCurrentProcessId(), folderCounter++);
        if (CreateDirectoryA(name, nullptr)) {
            break;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    path_ = name;
}

TempFolder::~TempFolder() { RemoveTree(path_); }

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") {
                continue;
            }
            std::string full = path + "\\" + name;
            SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full);
            } else {
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(path.c_str());
}

bool FileExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadFileBytes(const std::string& path) {
    std::string bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return bytes;
    }
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        bytes.append(buffer, got);
    }
    CloseHandle(file);
    return bytes;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        std::string name = data.cFileName;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

// ---- Registry --------------------------------------------------------------

void DeleteRegTree(HKEY root, const std::string& path, REGSAM view) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) {
        return;
    }
    char name[256];
    for (;;) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        std::string child = path + "\\" + name;
        DeleteRegTree(root, child, view);
        HKEY probe;
        if (RegOpenKeyExA(root, child.c_str(), 0, KEY_READ | view, &probe) == ERROR_SUCCESS) {
            RegCloseKey(probe);
            break; // could not be removed: stop rather than loop
        }
    }
    RegDeleteKeyA(key, ""); // the key itself, in the view it was opened in
    RegCloseKey(key);
}

RegistryKeyGuard::RegistryKeyGuard(HKEY root, std::string path) : root_(root), path_(std::move(path)) {
    DeleteRegTree(root_, path_);
}

RegistryKeyGuard::~RegistryKeyGuard() { DeleteRegTree(root_, path_); }

RegValue ReadRegValue(HKEY root, const std::string& path, const char* name, REGSAM view) {
    RegValue value;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) {
        return value;
    }
    char data[4096];
    DWORD size = sizeof data;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) ==
        ERROR_SUCCESS) {
        value.exists = true;
        value.type = type;
        value.data.assign(data, size);
    }
    RegCloseKey(key);
    return value;
}

bool RegKeyExists(HKEY root, const std::string& path, REGSAM view) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

bool IsWow64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

static HKEY CreateKey(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    return key;
}

void SetRegString(HKEY root, const std::string& path, const char* name, const std::string& text,
                  DWORD type) {
    HKEY key = CreateKey(root, path);
    if (key) {
        RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
        RegCloseKey(key);
    }
}

LockedRegistryKey::LockedRegistryKey(HKEY root, std::string path)
    : root_(root), path_(std::move(path)) {
    DeleteRegTree(root_, path_);
    HKEY key = CreateKey(root_, path_);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    if (key &&
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) {
        DWORD acl[64];
        PACL list = reinterpret_cast<PACL>(acl);
        SECURITY_DESCRIPTOR descriptor;
        locked_ = InitializeAcl(list, sizeof acl, ACL_REVISION) &&
                  AddAccessAllowedAce(list, ACL_REVISION, KEY_READ | DELETE, everyone) &&
                  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                  SetSecurityDescriptorDacl(&descriptor, TRUE, list, FALSE) &&
                  RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor) == ERROR_SUCCESS;
        FreeSid(everyone);
    }
    if (key)
        RegCloseKey(key);
    HKEY opened = nullptr;
    if (locked_ &&
        RegOpenKeyExA(root_, path_.c_str(), 0, KEY_SET_VALUE, &opened) == ERROR_SUCCESS) {
        RegCloseKey(opened);
        locked_ = false;
    }
}

LockedRegistryKey::~LockedRegistryKey() {
    RegDeleteKeyA(root_, path_.c_str());
    DeleteRegTree(root_, path_);
}

void SetRegDword(HKEY root, const std::string& path, const char* name, DWORD value) {
    HKEY key = CreateKey(root, path);
    if (key) {
        RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof value);
        RegCloseKey(key);
    }
}

std::vector<std::string> RegValueNames(HKEY root, const std::string& path) {
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD length = sizeof name;
        if (RegEnumValueA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}

void SetWindowsFamily(const std::string& exeName, const std::string& version) {
    std::string path = "Software\\Wine\\AppDefaults\\" + exeName;
    if (version.empty()) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_SET_VALUE, &key) ==
            ERROR_SUCCESS) {
            RegDeleteValueA(key, "Version");
            RegCloseKey(key);
        }
        return;
    }
    SetRegString(HKEY_CURRENT_USER, path, "Version", version);
}

// ---- Windows and dialogs ---------------------------------------------------------

std::string WindowText(HWND window) {
    char buffer[4096] = "";
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer),
                             SMTO_ABORTIFHUNG, 5000, &length)) {
        return std::string();
    }
    return std::string(buffer, std::min<size_t>(length, sizeof buffer - 1));
}

std::string ClassName(HWND window) {
    char buffer[256] = "";
    GetClassNameA(window, buffer, sizeof buffer);
    return buffer;
}

ControlState Control(HWND dialog, int id) {
    ControlState state;
    HWND control = GetDlgItem(dialog, id);
    if (!control) {
        return state;
    }
    state.exists = true;
    LONG_PTR style = GetWindowLongPtrA(control, GWL_STYLE);
    state.visible = (style & WS_VISIBLE) != 0;
    state.enabled = (style & WS_DISABLED) == 0;
    state.text = WindowText(control);
    if (ClassName(control) == "Button") {
        DWORD_PTR check = 0;
        SendMessageTimeoutA(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &check);
        state.check = static_cast<int>(check);
    }
    return state;
}

void Click(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void Command(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, id, 0); }

void SetControlText(HWND dialog, int id, const std::string& text) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, id), WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 5000, &result);
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus
                                                                              : nullptr;
}

void PressKey(WORD virtualKey) {
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = virtualKey;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
}

struct EnumRecord {
    DWORD processId;
    std::vector<HWND>* windows;
};

static BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter) {
    auto* record = reinterpret_cast<EnumRecord*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == record->processId) {
        record->windows->push_back(window);
    }
    return TRUE;
}

std::vector<HWND> TopLevelWindows(DWORD processId) {
    std::vector<HWND> windows;
    EnumRecord record{processId, &windows};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&record));
    return windows;
}

bool WaitUntil(const std::function<bool()>& predicate, DWORD timeoutMs, HANDLE process) {
    DWORD start = GetTickCount();
    for (;;) {
        if (predicate()) {
            return true;
        }
        if (GetTickCount() - start > timeoutMs) {
            return false;
        }
        if (process) {
            if (WaitForSingleObject(process, 20) == WAIT_OBJECT_0) {
                return predicate();
            }
        } else {
            // Keep this thread's own windows alive while it waits.
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
    }
}

HWND WaitForWindow(DWORD processId, const std::function<bool(HWND)>& predicate, DWORD timeoutMs,
                   HANDLE process) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND window : TopLevelWindows(processId)) {
                if (IsWindowVisible(window) && predicate(window)) {
                    found = window;
                    return true;
                }
            }
            return false;
        },
        timeoutMs, process);
    return found;
}

// ---- Message boxes ----------------------------------------------------------------

static HWND MessageTextControl(HWND box) {
    // The message text is a static control with id 0xFFFF; a dialog of ours
    // (DLG_MASTER) also has an id -1 static, but it always has the input field.
    if (GetDlgItem(box, 1000) || GetDlgItem(box, 1009)) {
        return nullptr;
    }
    return GetDlgItem(box, 0xFFFF);
}

bool IsMessageBox(HWND window) {
    return ClassName(window) == "#32770" && MessageTextControl(window) != nullptr;
}

struct IconKind {
    LPCSTR resource;
    UINT flag;
};

static UINT IdentifyIcon(HWND box) {
    static const IconKind kinds[] = {{IDI_HAND, MB_ICONHAND},
                                     {IDI_QUESTION, MB_ICONQUESTION},
                                     {IDI_EXCLAMATION, MB_ICONEXCLAMATION},
                                     {IDI_ASTERISK, MB_ICONASTERISK}};
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassName(child) != "Static") {
            continue;
        }
        LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
        if ((style & SS_TYPEMASK) != SS_ICON || !(style & WS_VISIBLE)) {
            continue;
        }
        DWORD_PTR icon = 0;
        SendMessageTimeoutA(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 5000, &icon);
        if (!icon) {
            continue;
        }
        for (const IconKind& kind : kinds) {
            if (reinterpret_cast<HICON>(icon) == LoadIconA(nullptr, kind.resource)) {
                return kind.flag;
            }
        }
        return 0xFFFFFFFFu; // an icon we do not know
    }
    return 0;
}

BoxRecord ReadMessageBox(HWND box) {
    BoxRecord record;
    record.window = box;
    record.caption = WindowText(box);
    if (HWND text = MessageTextControl(box)) {
        record.text = WindowText(text);
    }
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
        if (ClassName(child) == "Button" && (style & WS_VISIBLE)) {
            int id = GetDlgCtrlID(child);
            record.buttons.push_back(id);
            if ((style & 0x0F) == BS_DEFPUSHBUTTON) {
                record.defaultButton = id;
            }
        }
    }
    std::sort(record.buttons.begin(), record.buttons.end());
    record.icon = IdentifyIcon(box);
    record.topmost = (GetWindowLongPtrA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    record.owner = GetWindow(box, GW_OWNER);
    return record;
}

UINT BoxRecord::Style() const {
    struct Set {
        std::vector<int> ids;
        UINT style;
        std::vector<int> order; // button order as MessageBox numbers them
    };
    static const Set sets[] = {
        {{IDOK}, MB_OK, {IDOK}},
        {{IDOK, IDCANCEL}, MB_OKCANCEL, {IDOK, IDCANCEL}},
        {{IDABORT, IDRETRY, IDIGNORE}, MB_ABORTRETRYIGNORE, {IDABORT, IDRETRY, IDIGNORE}},
        {{IDCANCEL, IDYES, IDNO}, MB_YESNOCANCEL, {IDYES, IDNO, IDCANCEL}},
        {{IDYES, IDNO}, MB_YESNO, {IDYES, IDNO}},
        {{IDCANCEL, IDRETRY}, MB_RETRYCANCEL, {IDRETRY, IDCANCEL}},
    };
    UINT style = 0xF; // unknown button set
    UINT defaultFlag = 0;
    for (const Set& set : sets) {
        if (set.ids == buttons) {
            style = set.style;
            for (size_t i = 0; i < set.order.size(); ++i) {
                if (set.order[i] == defaultButton) {
                    defaultFlag = static_cast<UINT>(i) << 8; // MB_DEFBUTTON1..3
                }
            }
        }
    }
    return style | (icon == 0xFFFFFFFFu ? 0 : icon) | defaultFlag | (topmost ? MB_SYSTEMMODAL : 0);
}

void AnswerMessageBox(HWND box, int id) {
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
}

HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs, HANDLE process) {
    return WaitForWindow(processId, IsMessageBox, timeoutMs, process);
}

struct MessageBoxHook::State {
    HHOOK hook = nullptr;
    std::vector<int> answers;
    size_t next = 0;
    std::vector<BoxRecord> boxes;
    std::function<void(const BoxRecord&)> callback;
    std::vector<HWND> pending;
};

static thread_local MessageBoxHook::State* activeHookState;

// Wine activates a system-modal box before it has its text and buttons, and marks an
// MB_DEFBUTTON2/3 default only after activation: the box is noted when it is activated
// and read and answered from a zero-delay timer, inside its own message loop.
static const UINT_PTR SettleTimer = 0x5E77;

static void CALLBACK ReadSettledBox(HWND box, UINT, UINT_PTR id, DWORD) {
    KillTimer(box, id);
    MessageBoxHook::State* state = activeHookState;
    if (!state) {
        return;
    }
    BoxRecord record = ReadMessageBox(box);
    state->boxes.push_back(record);
    if (state->callback) {
        state->callback(record);
    }
    int answer = state->next < state->answers.size() ? state->answers[state->next++] : IDCANCEL;
    if (std::find(record.buttons.begin(), record.buttons.end(), answer) == record.buttons.end() &&
        !record.buttons.empty()) {
        answer = record.buttons.back(); // a box without Cancel: its last button
    }
    AnswerMessageBox(box, answer);
}

static LRESULT CALLBACK MessageBoxCbt(int code, WPARAM wParam, LPARAM lParam) {
    MessageBoxHook::State* state = activeHookState;
    HHOOK hook = state ? state->hook : nullptr;
    if (state && code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        if (ClassName(box) == "#32770" && !GetDlgItem(box, 1000) && !GetDlgItem(box, 1009) &&
            std::find(state->pending.begin(), state->pending.end(), box) == state->pending.end()) {
            state->pending.push_back(box);
            SetTimer(box, SettleTimer, 0, ReadSettledBox);
        }
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

MessageBoxHook::MessageBoxHook(std::vector<int> answers) : state_(new State) {
    state_->answers = std::move(answers);
    activeHookState = state_;
    state_->hook = SetWindowsHookExA(WH_CBT, MessageBoxCbt, nullptr, GetCurrentThreadId());
}

MessageBoxHook::~MessageBoxHook() {
    UnhookWindowsHookEx(state_->hook);
    activeHookState = nullptr;
    delete state_;
}

void MessageBoxHook::Queue(int answer) { state_->answers.push_back(answer); }

void MessageBoxHook::OnBox(std::function<void(const BoxRecord&)> callback) {
    state_->callback = std::move(callback);
}

const std::vector<BoxRecord>& MessageBoxHook::boxes() const { return state_->boxes; }

// ---- Modal dialogs driven from a second thread -------------------------------------

struct DialogRun {
    const std::function<void(HWND)>* script;
    HWND dialog = nullptr;
    HANDLE ready = nullptr;
};

static thread_local DialogRun* currentRun;
static thread_local HHOOK dialogHook;

static LRESULT CALLBACK DialogCbt(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && currentRun && !currentRun->dialog) {
        HWND window = reinterpret_cast<HWND>(wParam);
        if (ClassName(window) == "#32770" && !IsMessageBox(window)) {
            currentRun->dialog = window;
            SetEvent(currentRun->ready);
        }
    }
    return CallNextHookEx(dialogHook, code, wParam, lParam);
}

INT_PTR RunDialog(HINSTANCE instance, const char* templateName, DLGPROC procedure,
                  const std::function<void(HWND dialog)>& script, DWORD timeoutMs) {
    DialogRun run;
    run.script = &script;
    run.ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    currentRun = &run;
    dialogHook = SetWindowsHookExA(WH_CBT, DialogCbt, nullptr, GetCurrentThreadId());
    std::atomic<bool> finished{false};
    std::thread driver([&] {
        if (WaitForSingleObject(run.ready, timeoutMs) != WAIT_OBJECT_0) {
            return;
        }
        script(run.dialog);
        // A script that forgets to end the dialog must not hang the test.
        DWORD start = GetTickCount();
        while (!finished && GetTickCount() - start < timeoutMs) {
            Sleep(10);
        }
        if (!finished && IsWindow(run.dialog)) {
            PostMessageA(run.dialog, WM_COMMAND, IDCANCEL, 0);
        }
    });
    INT_PTR result = DialogBoxParamA(instance, templateName, nullptr, procedure, 0);
    finished = true;
    SetEvent(run.ready);
    driver.join();
    UnhookWindowsHookEx(dialogHook);
    dialogHook = nullptr;
    currentRun = nullptr;
    CloseHandle(run.ready);
    return result;
}

// ---- Processes -------------------------------------------------------------------------

Process::Process(const std::string& commandLine, const std::string& currentDir) {
    // The program and everything it starts (the application, a hidden batch, a folder
    // window of Program Manager) write to NUL: none of them may hold the test runner's
    // output pipe open after the test.
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &inheritable, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (nul != INVALID_HANDLE_VALUE) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
    }
    PROCESS_INFORMATION info = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    BOOL created = CreateProcessA(nullptr, line.data(), nullptr, nullptr, nul != INVALID_HANDLE_VALUE,
                                  0, nullptr, currentDir.empty() ? nullptr : currentDir.c_str(),
                                  &startup, &info);
    if (nul != INVALID_HANDLE_VALUE) {
        CloseHandle(nul);
    }
    if (created) {
        CloseHandle(info.hThread);
        handle_ = info.hProcess;
        id_ = info.dwProcessId;
    }
}

Process::~Process() {
    if (handle_) {
        if (WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT) {
            TerminateProcess(handle_, 99);
            WaitForSingleObject(handle_, 5000);
        }
        CloseHandle(handle_);
    }
}

DWORD Process::Wait(DWORD timeoutMs) {
    if (!handle_) {
        return STILL_ACTIVE;
    }
    if (WaitForSingleObject(handle_, timeoutMs) != WAIT_OBJECT_0) {
        return STILL_ACTIVE;
    }
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(handle_, &code);
    return code;
}

DWORD Process::WaitShowingNothing(std::string* shown, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    // Messages are pumped meanwhile: the program's DDE broadcast sends to this thread's
    // windows too, and would wait for ever for a thread that does not answer.
    while (handle_ &&
           MsgWaitForMultipleObjects(1, &handle_, FALSE, 10, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        for (HWND window : TopLevelWindows(id_)) {
            if (shown->empty() && IsWindowVisible(window))
                *shown = "[" + ClassName(window) + "] " + WindowText(window);
        }
        if (GetTickCount() - start > timeoutMs)
            return STILL_ACTIVE;
    }
    return Wait(0);
}

std::string ExpectUnattendedRun(const std::string& commandLine, const std::string& currentDir,
                                DWORD expected) {
    const std::string log = currentDir + "\\unattended.log";
    DeleteFileA(log.c_str());
    Process run(commandLine + " \"/LOG=" + log + "\"", currentDir);
    EXPECT_TRUE(run.started()) << commandLine;
    std::string shown;
    EXPECT_EQ(expected, run.WaitShowingNothing(&shown, 30000)) << commandLine;
    EXPECT_EQ("", shown) << "an unattended run showed a window: " << commandLine;
    const std::string text = ReadFileBytes(log);
    const std::string last = "exit code " + std::to_string(expected) + "\r\n";
    EXPECT_TRUE(text.size() > last.size() &&
                text.compare(text.size() - last.size(), last.size(), last) == 0)
        << commandLine << "\n" << text;
    return text;
}

RECT TextNeeds(HWND control, UINT format) {
    RECT needed;
    GetClientRect(control, &needed);
    HDC dc = GetDC(control);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
    DrawTextA(dc, WindowText(control).c_str(), -1, &needed, DT_CALCRECT | format);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return needed;
}

int ExpectedLogPixels() {
    const char* given = getenv("BENCH_LOG_PIXELS");
    return given ? atoi(given) : 96;
}

int ScreenLogPixels() {
    HDC screen = GetDC(nullptr);
    const int pixels = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return pixels;
}

DWORD RunAtLogPixels(const std::string& test, DWORD logPixels) {
    const char* desktop = "Control Panel\\Desktop";
    const RegValue before = ReadRegValue(HKEY_CURRENT_USER, desktop, "LogPixels");
    SetRegDword(HKEY_CURRENT_USER, desktop, "LogPixels", logPixels);
    SetEnvironmentVariableA("BENCH_LOG_PIXELS", std::to_string(logPixels).c_str());
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    Process again(std::string("\"") + self + "\" --gtest_filter=" + test);
    const DWORD status = again.Wait(120000);
    SetEnvironmentVariableA("BENCH_LOG_PIXELS", nullptr);
    SetRegDword(HKEY_CURRENT_USER, desktop, "LogPixels",
                before.exists ? *reinterpret_cast<const DWORD*>(before.data.data()) : 96);
    return status;
}

bool Process::Running() const {
    return handle_ && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT;
}

void CloseWindowsOfClass(const char* className) {
    for (int round = 0; round < 50; ++round) {
        HWND window = FindWindowA(className, nullptr);
        if (!window) {
            return;
        }
        DWORD id = 0;
        GetWindowThreadProcessId(window, &id);
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (process) {
            TerminateProcess(process, 98);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        } else {
            Sleep(50);
        }
    }
}

std::string Hex(const std::string& bytes) {
    std::string out;
    char piece[4];
    for (unsigned char c : bytes) {
        snprintf(piece, sizeof piece, "%02X ", c);
        out += piece;
    }
    if (!out.empty()) {
        out.pop_back();
    }
    return out;
}

} // namespace bench
