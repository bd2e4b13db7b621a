// The handshake between a demo driver and tools/demo.sh: a driver prints
// "SHOT <name> <x> <y> <width> <height>" when a step is on screen (the rectangle the
// picture shows, in screen pixels) and waits until the script has taken the picture
// and created DIR\.shot-<name> (at most 30 s), or a fixed time without DIR.
#pragma once
#include <windows.h>

#include <stdio.h>

inline void Say(const char* word, const char* text) {
    printf("%s %s\n", word, text);
    fflush(stdout);
}

struct ProcessArea {
    DWORD processId;
    RECT area;
    bool found;
};

inline BOOL CALLBACK AddWindowArea(HWND window, LPARAM parameter) {
    ProcessArea* search = reinterpret_cast<ProcessArea*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    RECT rect;
    if (owner != search->processId || !IsWindowVisible(window) || !GetWindowRect(window, &rect))
        return TRUE;
    if (search->found) {
        UnionRect(&search->area, &search->area, &rect);
    } else {
        search->area = rect;
        search->found = true;
    }
    return TRUE;
}

// What a picture of the process shows: its visible windows (a dialog and a message box
// over it) with their frames and title bars.
inline RECT AreaOfProcess(DWORD processId) {
    ProcessArea search = {processId, {0, 0, 0, 0}, false};
    EnumWindows(AddWindowArea, reinterpret_cast<LPARAM>(&search));
    return search.area;
}

inline void WaitForShot(const char* name, DWORD processId, const char* ackDir, DWORD waitMs) {
    const RECT area = AreaOfProcess(processId);
    char line[160];
    snprintf(line, sizeof line, "%s %ld %ld %ld %ld", name, area.left, area.top,
             area.right - area.left, area.bottom - area.top);
    Say("SHOT", line);
    if (ackDir == nullptr) {
        Sleep(waitMs);
        return;
    }
    char marker[MAX_PATH];
    snprintf(marker, sizeof marker, "%s\\.shot-%s", ackDir, name);
    for (DWORD waited = 0; waited < 30000; waited += 100) {
        if (GetFileAttributesA(marker) != INVALID_FILE_ATTRIBUTES)
            return;
        Sleep(100);
    }
    Say("INFO", "no acknowledgement of the screenshot; going on");
}
