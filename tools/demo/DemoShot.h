// The handshake between a demo driver and tools/demo.sh: a driver prints
// "SHOT <name>" when a step is on screen and waits until the script has taken the
// picture and created DIR\.shot-<name> (at most 30 s), or a fixed time without DIR.
#pragma once
#include <windows.h>

#include <stdio.h>

inline void Say(const char* word, const char* text) {
    printf("%s %s\n", word, text);
    fflush(stdout);
}

inline void WaitForShot(const char* name, const char* ackDir, DWORD waitMs) {
    Say("SHOT", name);
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
