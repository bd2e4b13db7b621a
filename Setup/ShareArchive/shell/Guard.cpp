#include "shell/Guard.h"
#include "shell/Helpers.h"
#include "shell/Log.h"
#include "shell/SetupState.h"
#include "resource.h"

#include <string.h>

namespace {

// PROCESS_ALL_ACCESS as Windows NT 4 and 2000 define it; newer headers use a wider
// mask that those systems refuse.
const DWORD ProcessAllAccessNt4 = 0x1F0FFF;
const UINT QuestionStyle = MB_OKCANCEL | MB_ICONQUESTION | MB_SYSTEMMODAL; // 0x1021
const DWORD CloseWaitMs = 5000;
const DWORD PauseAfterTimeoutMs = 100;
// An unattended run asks itself; an application that will not close (it waits for someone
// to save) must not keep it waiting for ever.
const int UnattendedCloseRounds = 6;

HWND FindTopLevelWindow(const char* className) {
    WindowSearch search = {className, nullptr};
    EnumWindows(MatchWindowClass, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

BOOL CALLBACK MatchWindowClass(HWND window, LPARAM record) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(record);
    char className[256];
    const int length = GetClassNameA(window, className, sizeof className);
    if (length <= 0)
        return TRUE;
    className[sizeof className - 1] = '\0';
    if (strcmp(className, search->className) != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

int CloseRunningApplication(const char* className, const char* caption) {
    int round = 0;
    for (HWND main = FindTopLevelWindow(className); main != nullptr;
         main = FindTopLevelWindow(className), ++round) {
        HWND popup = GetLastActivePopup(main);
        HWND target = popup != nullptr ? popup : main;

        if (!Unattended) { // brought forward for the person who is asked
            SetActiveWindow(target);
            SetForegroundWindow(target);
            if (IsIconic(target))
                ShowWindow(target, SW_RESTORE);
        }

        if ((Unattended && round >= UnattendedCloseRounds) ||
            // Closed with nobody at the screen only when the run may close it (/CLOSEAPP).
            ShowMessage(nullptr, IDS_APP_RUNNING, caption, QuestionStyle,
                        UnattendedClosesApplication ? IDOK : IDCANCEL) != IDOK) {
            LogLine("the application is still running");
            return 0;
        }

        DWORD processId = 0;
        GetWindowThreadProcessId(target, &processId);
        HANDLE process = OpenProcess(ProcessAllAccessNt4, TRUE, processId);

        // A modal pop-up has to go first, or the main window would not close.
        if (popup != nullptr)
            PostMessageA(popup, WM_CLOSE, 0, 0);
        if (main != popup)
            PostMessageA(main, WM_CLOSE, 0, 0);

        if (process != nullptr) {
            const DWORD waited = WaitForSingleObject(process, CloseWaitMs);
            CloseHandle(process);
            if (waited != WAIT_OBJECT_0)
                Sleep(PauseAfterTimeoutMs);
        }
    }
    return 1;
}
