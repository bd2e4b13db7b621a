// A path in a static control, laid out by the program itself: the line-breaking and
// ellipsis styles of static controls are unknown to the oldest systems it runs on.
#include "shell/Helpers.h"
#include "shell/SetupState.h"

#include <string.h>

namespace {

// The format, a path of 259 bytes and a line break before every character at worst.
enum { LineTextCapacity = 4 * PathCapacity };
const char Ellipsis[] = "...";
const UINT MeasureFormat = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS;

// The characters of a path and the part of it that may give way to the ellipsis: first
// what lies between the root and the last folder, from its end, then the last folder from
// its start.
struct PathCharacters {
    size_t offsets[PathCapacity + 1]; // of each character, and of the end
    int count;
    int rootEnd;       // characters of the root ("C:\", "\\server\share\"); 0 for none
    int lastSeparator; // the "\" before the last folder; rootEnd where there is none
};

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

void SplitPath(const char* path, PathCharacters& parts) {
    const bool unc = IsSeparator(path[0]) && IsSeparator(path[1]);
    int separators = 0;
    parts.count = 0;
    parts.rootEnd = path[0] != '\0' && path[1] == ':' ? 2 : 0;
    parts.lastSeparator = 0;
    const char* p = path;
    for (; *p != '\0' && parts.count < PathCapacity; p += CharacterLength(p)) {
        const int index = parts.count++;
        parts.offsets[index] = static_cast<size_t>(p - path);
        if (!IsSeparator(*p))
            continue;
        ++separators;
        if ((parts.rootEnd == 2 && index == 2) || (unc && separators == 4))
            parts.rootEnd = index + 1;
        else if (p[1] != '\0') // a trailing separator ends no folder
            parts.lastSeparator = index;
    }
    parts.offsets[parts.count] = static_cast<size_t>(p - path);
    if (parts.lastSeparator < parts.rootEnd)
        parts.lastSeparator = parts.rootEnd;
}

// The path with `removed` characters replaced by the ellipsis.
void ShortenPath(const char* path, const PathCharacters& parts, int removed, char* shown,
                 size_t capacity) {
    if (removed == 0) {
        CopyText(shown, capacity, path);
        return;
    }
    const int middle = parts.lastSeparator - parts.rootEnd;
    const int cutStart = removed <= middle ? parts.lastSeparator - removed : parts.rootEnd;
    const int cutEnd = removed <= middle ? parts.lastSeparator : parts.rootEnd + removed;
    const size_t head = parts.offsets[cutStart]; // at most 259 bytes: room for the rest
    const size_t ellipsis = sizeof Ellipsis - 1;
    memcpy(shown, path, head);
    memcpy(shown + head, Ellipsis, ellipsis);
    CopyText(shown + head + ellipsis, capacity - head - ellipsis, path + parts.offsets[cutEnd]);
}

int LineWidth(HDC dc, const char* text, size_t length) {
    RECT needed = {0, 0, 0, 0};
    DrawTextA(dc, text, static_cast<int>(length), &needed, MeasureFormat | DT_SINGLELINE);
    return needed.right;
}

// Copies text into lines, with a line break before each character that would make its
// line wider than width.
void BreakIntoLines(HDC dc, int width, const char* text, char* lines, size_t capacity) {
    size_t used = 0;
    const char* lineStart = text;
    for (const char* p = text; *p != '\0';) {
        const size_t length = CharacterLength(p);
        if (p != lineStart && LineWidth(dc, lineStart, p + length - lineStart) > width) {
            if (used + 1 >= capacity)
                break;
            lines[used++] = '\n';
            lineStart = p;
        }
        if (used + length >= capacity)
            break;
        memcpy(lines + used, p, length);
        used += length;
        p += length;
    }
    lines[used] = '\0';
}

// The line of the path with `removed` characters left out, broken into lines; true when
// the control holds it as it draws it.
bool LayOut(HDC dc, const RECT& client, const char* format, const char* path,
            const PathCharacters& parts, int removed, char* lines, size_t capacity) {
    char shown[PathCapacity + sizeof Ellipsis];
    ShortenPath(path, parts, removed, shown, sizeof shown);
    char text[LineTextCapacity];
    FormatText(text, sizeof text, format, shown);
    BreakIntoLines(dc, client.right, text, lines, capacity);
    RECT needed = {0, 0, client.right, 0};
    DrawTextA(dc, lines, -1, &needed, MeasureFormat | DT_WORDBREAK);
    return needed.right <= client.right && needed.bottom <= client.bottom;
}

typedef HGDIOBJ(WINAPI* SelectObjectProc)(HDC, HGDIOBJ);

// Looked up where it is: the program imports nothing from gdi32, which every window
// program has loaded.
SelectObjectProc SelectObjectOfSystem() {
    return LookUpFunction<SelectObjectProc>("gdi32.dll", "SelectObject");
}

} // namespace

bool SetPathLine(HWND control, const char* format, const char* path) {
    SetWindowLongPtrA(control, GWL_STYLE, GetWindowLongPtrA(control, GWL_STYLE) | SS_NOPREFIX);
    PathCharacters parts;
    SplitPath(path, parts);
    char lines[LineTextCapacity];
    const SelectObjectProc select = SelectObjectOfSystem();
    HDC dc = select != nullptr ? GetDC(control) : nullptr;
    if (dc == nullptr) { // not measured: the whole text, as the control can show it
        FormatText(lines, sizeof lines, format, path);
        SetWindowTextA(control, lines);
        return true;
    }
    HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0));
    HGDIOBJ oldFont = font != nullptr ? select(dc, font) : nullptr;
    RECT client;
    GetClientRect(control, &client);

    // The fewest characters left out for the line to fit: none when the whole path does.
    int fewest = 0;
    if (!LayOut(dc, client, format, path, parts, 0, lines, sizeof lines)) {
        int fits = parts.count - parts.rootEnd; // taken even where it does not fit
        int tooFew = 0;
        while (fits - tooFew > 1) {
            const int tried = tooFew + (fits - tooFew) / 2;
            if (LayOut(dc, client, format, path, parts, tried, lines, sizeof lines))
                fits = tried;
            else
                tooFew = tried;
        }
        fewest = fits;
        LayOut(dc, client, format, path, parts, fewest, lines, sizeof lines);
    }
    if (oldFont != nullptr)
        select(dc, oldFont);
    ReleaseDC(control, dc);
    SetWindowTextA(control, lines);
    return fewest == 0;
}
