// The running-instance guard: closes the application before setup goes on.
#pragma once
#include <windows.h>

struct WindowSearch {
    const char* className;
    HWND found;
};

BOOL CALLBACK MatchWindowClass(HWND window, LPARAM record);
// 1: no window of the class (any more), go on; 0: the user declined.
int CloseRunningApplication(const char* className, const char* caption);
