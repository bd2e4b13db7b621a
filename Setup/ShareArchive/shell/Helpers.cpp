#include "shell/Helpers.h"
#include "shell/Log.h"
#include "shell/SetupState.h"
#include "resource.h"

#include <string.h>

size_t CharacterLength(const char* text) {
    if (IsDBCSLeadByte(static_cast<BYTE>(text[0])) && text[1] != '\0')
        return 2;
    return 1;
}

void UpperCaseText(char* text) {
    for (char* p = text; *p != '\0'; p += CharacterLength(p)) {
        if (*p >= 'a' && *p <= 'z')
            *p = static_cast<char>(*p - 'a' + 'A');
    }
}

void CopyUpperCase(char* to, size_t capacity, const char* from) {
    CopyText(to, capacity, from);
    UpperCaseText(to);
}

bool SamePathIgnoringCase(const char* left, const char* right) {
    char a[PathCapacity];
    char b[PathCapacity];
    CopyUpperCase(a, sizeof a, left);
    CopyUpperCase(b, sizeof b, right);
    return strcmp(a, b) == 0;
}

namespace {

// Upper-cased copy with one trailing separator removed, for comparing folders.
void FolderKey(char* key, const char* folder) {
    CopyText(key, PathCapacity, folder);
    DropTrailingSeparator(key);
    CharUpperBuffA(key, static_cast<DWORD>(strlen(key)));
}

} // namespace

bool SameFolder(const char* left, const char* right) {
    char a[PathCapacity];
    char b[PathCapacity];
    FolderKey(a, left);
    FolderKey(b, right);
    return strcmp(a, b) == 0;
}

namespace {

// The last "\" of text (whole characters only), or null.
char* LastBackslash(char* text) {
    char* found = nullptr;
    for (char* p = text; *p != '\0'; p += CharacterLength(p)) {
        if (*p == '\\')
            found = p;
    }
    return found;
}

// wvsprintfA writes at most 1024 bytes; a scratch buffer of that size and more
// keeps it in bounds, and the result is then cut to the caller's buffer.
enum { FormatScratch = 1024 + 16 };

void FormatBounded(char* target, size_t capacity, const char* format, va_list args) {
    char scratch[FormatScratch];
    scratch[0] = '\0';
    wvsprintfA(scratch, format, args);
    scratch[FormatScratch - 1] = '\0';
    CopyText(target, capacity, scratch);
}

} // namespace

void FormatTextV(char* target, size_t capacity, const char* format, va_list args) {
    FormatBounded(target, capacity, format, args);
}

void FormatText(char* target, size_t capacity, const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatBounded(target, capacity, format, args);
    va_end(args);
}

DWORD ReadSystemVersion() {
    return GetVersion();
}

UINT SetProcessErrorMode(UINT mode) {
    typedef UINT(WINAPI * SetErrorModeProc)(UINT);
    SetErrorModeProc setErrorMode =
        LookUpFunction<SetErrorModeProc>("kernel32.dll", "SetErrorMode");
    return setErrorMode != nullptr ? setErrorMode(mode) : 0;
}

const char* LastCharacter(const char* text) {
    if (text == nullptr || *text == '\0')
        return nullptr;
    const char* last = text;
    for (const char* p = text; *p != '\0'; p += CharacterLength(p))
        last = p;
    return last;
}

void DropTrailingSeparator(char* path) {
    const char* last = LastCharacter(path);
    if (last != nullptr && (*last == '\\' || *last == '/') && last > path && last[-1] != ':')
        path[last - path] = '\0';
}

bool ReadModuleVersion(HMODULE module, char* version, size_t capacity) {
    HRSRC record = FindResourceA(module, MAKEINTRESOURCEA(VS_VERSION_INFO), RT_VERSION);
    HGLOBAL loaded = record ? LoadResource(module, record) : nullptr;
    const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    // VS_VERSIONINFO: length, value length, type, L"VS_VERSION_INFO" and padding, then
    // the fixed part at byte 40.
    enum { ValueLengthOffset = 2, FixedInfoOffset = 40 };
    VS_FIXEDFILEINFO info;
    WORD valueLength = 0;
    if (data && SizeofResource(module, record) >= FixedInfoOffset + sizeof info)
        memcpy(&valueLength, data + ValueLengthOffset, sizeof valueLength);
    if (valueLength < sizeof info)
        return false;
    memcpy(&info, data + FixedInfoOffset, sizeof info);
    if (info.dwSignature != VS_FFI_SIGNATURE)
        return false;
    FormatText(version, capacity, "%u.%u.%u.%u", HIWORD(info.dwProductVersionMS),
               LOWORD(info.dwProductVersionMS), HIWORD(info.dwProductVersionLS),
               LOWORD(info.dwProductVersionLS));
    return true;
}

bool EndsWithSeparator(const char* path) {
    const char* last = LastCharacter(path);
    // A lead byte is never "\" or "/", so a single-byte test is enough here.
    return last != nullptr && (*last == '\\' || *last == '/');
}

bool ContainsBlank(const char* text) {
    for (const char* p = text; *p != '\0'; p = CharNextA(p)) {
        if (*p == ' ')
            return true;
    }
    return false;
}

void CopyText(char* target, size_t capacity, const char* source) {
    if (capacity == 0)
        return;
    size_t used = 0;
    if (source != nullptr) {
        for (const char* p = source; *p != '\0';) {
            size_t length = CharacterLength(p);
            if (used + length >= capacity)
                break;
            memcpy(target + used, p, length);
            used += length;
            p += length;
        }
    }
    target[used] = '\0';
}

namespace {

const char* AnswerName(int answer) {
    switch (answer) {
    case IDOK:
        return "OK";
    case IDCANCEL:
        return "Cancel";
    case IDYES:
        return "Yes";
    case IDNO:
        return "No";
    case IDRETRY:
        return "Retry";
    default:
        return "none";
    }
}

} // namespace

int AskUser(HWND owner, const char* text, const char* caption, UINT style, int unattendedAnswer) {
    // A box of a run that has a window belongs to it: it stays in front, and the window
    // takes no clicks while it is open. Before the window exists there is none.
    if (owner == nullptr)
        owner = MainWindow;
    const int answer = Unattended ? unattendedAnswer : MessageBoxA(owner, text, caption, style);
    LogLine("message [%s] %s: %s%s", caption, text, AnswerName(answer),
            Unattended ? " (unattended)" : "");
    return answer;
}

int ShowMessage(HWND owner, UINT textId, const char* caption, UINT style, int unattendedAnswer) {
    char text[1024];
    text[0] = '\0';
    LoadStringA(AppInstance, textId, text, sizeof text);
    return AskUser(owner, text, caption, style, unattendedAnswer);
}

int ShowMessageArg(HWND owner, UINT formatId, const char* argument, const char* caption, UINT style,
                   int unattendedAnswer) {
    char format[512];
    format[0] = '\0';
    LoadStringA(AppInstance, formatId, format, sizeof format);
    char text[1024];
    FormatText(text, sizeof text, format, argument);
    return AskUser(owner, text, caption, style, unattendedAnswer);
}

int ShowMessageIds(HWND owner, UINT textId, UINT captionId, UINT style, int unattendedAnswer) {
    char text[1024];
    char caption[512];
    text[0] = '\0';
    caption[0] = '\0';
    LoadStringA(AppInstance, textId, text, sizeof text);
    LoadStringA(AppInstance, captionId, caption, sizeof caption);
    return AskUser(owner, text, caption, style, unattendedAnswer);
}

int ShowArchiveError(HINSTANCE module, int code) {
    char text[256];
    text[0] = '\0';
    LoadStringA(module, IDS_ARCHIVE_BASE + code, text, sizeof text);
    LogLine("error: the carried files cannot be used (archive code %d)", code);
    AskUser(nullptr, text, InstallCaption, MB_ICONINFORMATION, IDOK);
    return -1;
}

void SetStatusTextV(HWND dialog, const char* format, va_list args) {
    char line[128];
    FormatBounded(line, sizeof line, format, args);
    SetDlgItemTextA(dialog, IDC_STATUS, line);
}

void SetStatusText(HWND dialog, const char* format, ...) {
    va_list args;
    va_start(args, format);
    SetStatusTextV(dialog, format, args);
    va_end(args);
}

void CenterWindow(HWND window, HWND centreOn) {
    RECT windowRect;
    GetWindowRect(window, &windowRect);
    const LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
    const bool isChild = (style & WS_CHILD) != 0;

    if (centreOn == nullptr) {
        centreOn = isChild ? GetParent(window) : GetWindow(window, GW_OWNER);
        if (centreOn == nullptr)
            centreOn = GetDesktopWindow();
        if (centreOn == nullptr)
            return;
    }

    RECT area;
    RECT centre;
    if (isChild) {
        HWND parent = GetParent(window);
        GetClientRect(parent, &area);
        GetClientRect(centreOn, &centre);
        MapWindowPoints(centreOn, parent, reinterpret_cast<POINT*>(&centre), 2);
    } else {
        const LONG_PTR centreStyle = GetWindowLongPtrA(centreOn, GWL_STYLE);
        if ((centreStyle & WS_VISIBLE) == 0 || (centreStyle & WS_MINIMIZE) != 0) {
            centreOn = nullptr;
        }
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
        if (centreOn != nullptr) {
            GetWindowRect(centreOn, &centre);
        } else {
            centre = area;
        }
    }

    const int width = windowRect.right - windowRect.left;
    const int height = windowRect.bottom - windowRect.top;
    int left = (centre.left + centre.right) / 2 - width / 2;
    int top = (centre.top + centre.bottom) / 2 - height / 2;

    if (left < area.left) {
        left = area.left;
    } else if (left + width > area.right) {
        left = area.right - width;
    }
    if (top < area.top) {
        top = area.top;
    } else if (top + height > area.bottom) {
        top = area.bottom - height;
    }

    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void PlaceControl(HWND dialog, int id, const RECT& units) {
    RECT client;
    GetClientRect(dialog, &client);
    const int left = MulDiv(units.left, client.right, DialogWidthUnits);
    const int top = MulDiv(units.top, client.bottom, DialogHeightUnits);
    SetWindowPos(GetDlgItem(dialog, id), nullptr, left, top,
                 MulDiv(units.right, client.right, DialogWidthUnits) - left,
                 MulDiv(units.bottom, client.bottom, DialogHeightUnits) - top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL AppendPathN(char* path, size_t capacity, const char* name) {
    const size_t used = strnlen(path, capacity);
    if (used >= capacity)
        return FALSE; // not a terminated text of this buffer
    const size_t separator = (used > 0 && !EndsWithSeparator(path)) ? 1 : 0;
    const size_t nameLength = strlen(name);
    if (used + separator + nameLength + 1 > capacity)
        return FALSE;
    if (separator != 0)
        path[used] = '\\';
    memcpy(path + used + separator, name, nameLength + 1);
    return TRUE;
}

BOOL AppendPath(char* path, const char* name) {
    return AppendPathN(path, PathCapacity, name);
}

const char* NextArgumentOf(const char* p, char* buffer, size_t capacity, const char** start,
                           bool toEnd) {
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p == '\0' || capacity == 0)
        return nullptr;
    if (start != nullptr)
        *start = p;
    size_t used = 0;
    bool quoted = false;
    bool full = false;
    while (*p != '\0' && (quoted || toEnd || (*p != ' ' && *p != '\t'))) {
        if (*p == '"') {
            quoted = !quoted;
            ++p;
            continue;
        }
        const size_t length = CharacterLength(p);
        // Once a character does not fit, the rest of the argument is dropped,
        // so a cut never joins text from both sides of a missing character.
        if (!full && used + length < capacity) {
            memcpy(buffer + used, p, length);
            used += length;
        } else {
            full = true;
        }
        p += length;
    }
    buffer[used] = '\0';
    return p;
}

const char* GetArgumentOf(const char* commandLine, int n) {
    // Holds a full path with its quotes removed; longer arguments are cut.
    static char argument[PathCapacity];
    if (commandLine == nullptr || n < 0)
        return nullptr;
    const char* p = commandLine;
    for (int index = 0;; ++index) {
        p = NextArgumentOf(p, argument, sizeof argument, nullptr);
        if (p == nullptr)
            return nullptr;
        if (index == n)
            return argument;
    }
}

const char* GetArgument(int n) {
    return GetArgumentOf(GetCommandLineA(), n);
}

BOOL CreateFolderTree(const char* path, BOOL withParents) {
    char folder[PathCapacity];
    if (strnlen(path, sizeof folder) >= sizeof folder) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    strcpy(folder, path);
    const char* last = LastCharacter(folder);
    if (last != nullptr && *last == '\\')
        folder[last - folder] = '\0';

    if (CreateDirectoryA(folder, nullptr))
        return TRUE;
    if (!withParents || GetLastError() != ERROR_PATH_NOT_FOUND)
        return FALSE;

    char parent[PathCapacity];
    strcpy(parent, folder);
    char* separator = LastBackslash(parent);
    if (separator == nullptr) {
        // Nothing left to climb to; the system's ERROR_PATH_NOT_FOUND stands.
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    *separator = '\0';
    const BOOL made = CreateFolderTree(parent, TRUE);
    if (made != TRUE)
        return made;
    return CreateDirectoryA(folder, nullptr);
}

bool IsExistingFolder(const char* path) {
    char folder[PathCapacity];
    if (strnlen(path, sizeof folder) >= sizeof folder)
        return false;
    strcpy(folder, path);
    // "X:\" keeps its separator: without it, it would name the drive's current folder.
    const char* last = LastCharacter(folder);
    if (last != nullptr && (*last == '\\' || *last == '/') && last > folder && last[-1] != ':')
        folder[last - folder] = '\0';
    const DWORD attributes = GetFileAttributesA(folder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
