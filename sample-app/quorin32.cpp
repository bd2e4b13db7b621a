// QUORIN32.EXE, the stand-in application that the setup program installs.
//
// It is deliberately small: one main window of class QuorinMainFrame with the
// caption "くおりん", a text in its client area that shows the version reported by
// QUORIN32.DLL (loaded from the program's own folder) and the document given on the
// command line. It ends when its main window gets WM_CLOSE.
//
// Command line (switches are case-insensitive, "-" works as well as "/"):
//   /n PATH      open the document PATH (read it and show its path and size). An
//                unquoted PATH runs to the end of the line or to the next /modal or
//                /log switch, so the association's unquoted "/n %1" works with blanks.
//   PATH         a bare argument is opened as a document as well.
//   /modal       open a modal dialog box right after the main window shows (for tests
//                of a running application with a pop-up).
//   /log PATH    append one line per event to the text file PATH: "open PATH" when a
//                document is opened, "popup WM_CLOSE" and "main WM_CLOSE" when those
//                windows receive WM_CLOSE.
#include <windows.h>

#include <string.h>

#include "resource.h"

namespace {

const char MainClassName[] = "QuorinMainFrame";
const char MainCaption[] = "くおりん";
const UINT WM_APP_OPEN_POPUP = WM_APP + 1;

struct Options {
    bool modal = false;
    bool hasDocument = false;
    char document[MAX_PATH] = "";
    char logPath[MAX_PATH] = "";
};

HINSTANCE AppInstance;
Options AppOptions;
char InfoText[1024];

typedef const char *(__cdecl *VersionFunction)(void);
typedef int(__cdecl *DescribeSizeFunction)(unsigned long, char *, int);

void CopyText(char *target, size_t targetSize, const char *source, size_t length)
{
    if (length >= targetSize)
        length = targetSize - 1;
    memcpy(target, source, length);
    target[length] = '\0';
}

// Appends one line to the log file named by /log, if any. The file is opened and
// closed for every line so that nothing is lost when the process ends.
void LogLine(const char *first, const char *second = "")
{
    if (AppOptions.logPath[0] == '\0')
        return;
    HANDLE file = CreateFileA(AppOptions.logPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    SetFilePointer(file, 0, NULL, FILE_END);
    DWORD written;
    WriteFile(file, first, static_cast<DWORD>(strlen(first)), &written, NULL);
    WriteFile(file, second, static_cast<DWORD>(strlen(second)), &written, NULL);
    WriteFile(file, "\r\n", 2, &written, NULL);
    CloseHandle(file);
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Compares the switch word at text (up to a blank or the end) with name, ignoring case.
bool IsSwitch(const char *text, const char *name)
{
    if (*text != '/' && *text != '-')
        return false;
    size_t length = strlen(name);
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, text + 1, static_cast<int>(length), name,
                          static_cast<int>(length)) == CSTR_EQUAL &&
           (text[1 + length] == '\0' || IsBlank(text[1 + length]));
}

// Reads one value at *cursor into target. A quoted value ends at its closing quote;
// an unquoted one at the next blank, or, when restOfLine is set, at the next /modal
// or /log switch or the end of the line. Blanks, quotes and "/" are never the second
// byte of a double-byte character in code page 932, so a byte scan is safe here.
void ReadValue(const char **cursor, char *target, size_t targetSize, bool restOfLine)
{
    const char *p = *cursor;
    while (IsBlank(*p))
        ++p;
    const char *start = p;
    const char *end;
    if (*p == '"') {
        start = ++p;
        while (*p != '\0' && *p != '"')
            ++p;
        end = p;
        if (*p == '"')
            ++p;
    } else if (restOfLine) {
        while (*p != '\0' && !(IsBlank(p[-1]) && (IsSwitch(p, "modal") || IsSwitch(p, "log"))))
            ++p;
        end = p;
        while (end > start && IsBlank(end[-1]))
            --end;
    } else {
        while (*p != '\0' && !IsBlank(*p))
            ++p;
        end = p;
    }
    CopyText(target, targetSize, start, static_cast<size_t>(end - start));
    *cursor = p;
}

void ParseCommandLine(const char *line, Options *options)
{
    const char *p = line;
    for (;;) {
        while (IsBlank(*p))
            ++p;
        if (*p == '\0')
            break;
        if (IsSwitch(p, "n")) {
            p += 2;
            ReadValue(&p, options->document, sizeof options->document, true);
            options->hasDocument = true;
        } else if (IsSwitch(p, "modal")) {
            p += 6;
            options->modal = true;
        } else if (IsSwitch(p, "log")) {
            p += 4;
            ReadValue(&p, options->logPath, sizeof options->logPath, false);
        } else if (*p == '/' || *p == '-') {
            while (*p != '\0' && !IsBlank(*p))  // unknown switch: ignored
                ++p;
        } else {
            ReadValue(&p, options->document, sizeof options->document, false);
            options->hasDocument = true;
        }
    }
}

// The folder of this program, with a trailing backslash. Steps over whole characters
// so that a second byte 0x5C of a double-byte character is not taken for a separator.
void GetOwnFolder(char *folder, size_t folderSize)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        path[0] = '\0';
    char *afterSeparator = path;
    for (char *p = path; *p != '\0'; p = CharNextA(p)) {
        if (*p == '\\' || *p == '/' || *p == ':')
            afterSeparator = p + 1;
    }
    CopyText(folder, folderSize, path, static_cast<size_t>(afterSeparator - path));
}

// Builds the text of the client area: library version and document.
void BuildInfoText()
{
    char folder[MAX_PATH];
    char dllPath[MAX_PATH + 16];
    GetOwnFolder(folder, sizeof folder);
    wsprintfA(dllPath, "%sQUORIN32.DLL", folder);

    char library[160];
    DescribeSizeFunction describeSize = NULL;
    HMODULE dll = LoadLibraryA(dllPath);
    VersionFunction version = NULL;
    if (dll != NULL) {
        version = reinterpret_cast<VersionFunction>(
            reinterpret_cast<void (*)(void)>(GetProcAddress(dll, "QuorinVersion")));
        describeSize = reinterpret_cast<DescribeSizeFunction>(
            reinterpret_cast<void (*)(void)>(GetProcAddress(dll, "QuorinDescribeSize")));
    }
    if (version != NULL)
        lstrcpynA(library, version(), sizeof library);
    else if (dll != NULL)
        lstrcpynA(library, "QUORIN32.DLL が正しくありません", sizeof library);
    else
        lstrcpynA(library, "QUORIN32.DLL が見つかりません", sizeof library);

    char document[MAX_PATH + 96];
    if (!AppOptions.hasDocument) {
        lstrcpynA(document, "文書: なし", sizeof document);
    } else {
        LogLine("open ", AppOptions.document);
        HANDLE file = CreateFileA(AppOptions.document, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file == INVALID_HANDLE_VALUE) {
            wsprintfA(document, "文書: %s を開けません", AppOptions.document);
        } else {
            DWORD size = GetFileSize(file, NULL);
            char buffer[4096];
            DWORD total = 0;
            DWORD got;
            while (ReadFile(file, buffer, sizeof buffer, &got, NULL) && got > 0)
                total += got;
            CloseHandle(file);
            if (size == INVALID_FILE_SIZE)
                size = total;
            char sizeText[48];
            if (describeSize == NULL || describeSize(size, sizeText, sizeof sizeText) == 0)
                wsprintfA(sizeText, "%lu バイト", static_cast<unsigned long>(size));
            wsprintfA(document, "文書: %s (%s)", AppOptions.document, sizeText);
        }
    }
    wsprintfA(InfoText, "家計簿,出納簿くおりん (見本のアプリケーション)\r\n%s\r\n%s", library, document);
    // The library stays loaded for the life of the process, as the real program's would.
}

INT_PTR CALLBACK PopupProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    case WM_CLOSE:
        LogLine("popup WM_CLOSE");
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: {
        HWND text = CreateWindowExA(0, "STATIC", InfoText, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0,
                                    0, 0, 0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_MAIN_TEXT)),
                                    AppInstance, NULL);
        SendMessageA(text, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
        return 0;
    }
    case WM_SIZE:
        MoveWindow(GetDlgItem(window, IDC_MAIN_TEXT), 12, 12, LOWORD(lParam) > 24 ? LOWORD(lParam) - 24 : 0,
                   HIWORD(lParam) > 24 ? HIWORD(lParam) - 24 : 0, TRUE);
        return 0;
    case WM_APP_OPEN_POPUP:
        DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_SAMPLE_POPUP), window, PopupProc, 0);
        return 0;
    case WM_CLOSE:
        LogLine("main WM_CLOSE");
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    (void)previous;
    AppInstance = instance;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    ParseCommandLine(commandLine != NULL ? commandLine : "", &AppOptions);
    BuildInfoText();

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_QUORIN_APP));
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = MainClassName;
    if (!RegisterClassA(&windowClass))
        return 1;

    HWND window = CreateWindowExA(0, MainClassName, MainCaption, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 520, 200, NULL, NULL, instance, NULL);
    if (window == NULL)
        return 1;
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    if (AppOptions.modal)
        PostMessageA(window, WM_APP_OPEN_POPUP, 0, 0);

    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, NULL, 0, 0)) != 0 && got != -1) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return got == -1 ? 1 : static_cast<int>(message.wParam);
}
