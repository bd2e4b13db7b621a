// demo-uninstall: runs an uninstall command as the list of installed programs
// would and walks its dialog as a user does, so that a script can take a
// screenshot of each step.
//
//   demo-uninstall.exe "COMMAND LINE" [--ack-dir DIR]
//
// On each step it prints "SHOT <name> <x> <y> <width> <height>" (the rectangle of its
// windows, the question included) and waits for DIR\.shot-<name> (at most 30 s;
// without --ack-dir 4 s). Names: 5-uninstall-dialog, 6-uninstall-confirm,
// 7-uninstall-done. "DONE" at the end, "FAIL ..." with exit code 1.
#include "DemoShot.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

namespace {

const char RemoveCaption[] = "家計簿,出納簿くおりんの削除";
const char FinishLabel[] = "終了";

const char* ackDir;
HANDLE process;
DWORD processId;

void WaitForShot(const char* name) {
    ::WaitForShot(name, processId, ackDir, 4000);
}

void Text(HWND window, char* buffer, size_t capacity) {
    DWORD_PTR length = 0;
    buffer[0] = '\0';
    SendMessageTimeoutA(window, WM_GETTEXT, capacity, reinterpret_cast<LPARAM>(buffer),
                        SMTO_ABORTIFHUNG, 5000, &length);
    buffer[capacity - 1] = '\0';
}

struct Search {
    HWND dialog;
    HWND box;
};

BOOL CALLBACK LookAtWindow(HWND window, LPARAM parameter) {
    Search* search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (owner != processId || !IsWindowVisible(window) || strcmp(className, "#32770") != 0) {
        return TRUE;
    }
    if (GetDlgItem(window, 1009)) {
        char caption[256];
        Text(window, caption, sizeof caption);
        if (strcmp(caption, RemoveCaption) == 0) {
            search->dialog = window;
        }
    } else if (GetDlgItem(window, 0xFFFF)) {
        search->box = window;
    }
    return TRUE;
}

Search Find() {
    Search search = {nullptr, nullptr};
    EnumWindows(LookAtWindow, reinterpret_cast<LPARAM>(&search));
    return search;
}

template <typename Test> bool WaitFor(Test test) {
    for (DWORD waited = 0; waited < 60000; waited += 100) {
        if (test(Find())) {
            Sleep(300); // let it finish painting
            return true;
        }
        if (WaitForSingleObject(process, 100) == WAIT_OBJECT_0) {
            return false;
        }
    }
    return false;
}

void Click(HWND window, int id) {
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
}

int Fail(const char* why) {
    Say("FAIL", why);
    if (process) {
        TerminateProcess(process, 1);
    }
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: demo-uninstall \"COMMAND LINE\" [--ack-dir DIR]\n");
        return 2;
    }
    if (argc >= 4 && strcmp(argv[2], "--ack-dir") == 0) {
        ackDir = argv[3];
    }
    char commandLine[1024];
    snprintf(commandLine, sizeof commandLine, "%s", argv[1]);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return Fail("the uninstall command could not be started");
    }
    CloseHandle(info.hThread);
    process = info.hProcess;
    processId = info.dwProcessId;

    HWND dialog = nullptr;
    if (!WaitFor([&](const Search& s) { return (dialog = s.dialog) != nullptr; })) {
        return Fail("no uninstall dialog");
    }
    WaitForShot("5-uninstall-dialog");
    Click(dialog, 1);
    HWND box = nullptr;
    if (!WaitFor([&](const Search& s) { return (box = s.box) != nullptr; })) {
        return Fail("no confirmation");
    }
    WaitForShot("6-uninstall-confirm");
    Click(box, IDYES);
    if (!WaitFor([&](const Search& s) {
            char label[64];
            Text(GetDlgItem(dialog, 1), label, sizeof label);
            return s.box == nullptr && strcmp(label, FinishLabel) == 0;
        })) {
        return Fail("the removal did not finish");
    }
    WaitForShot("7-uninstall-done");
    Click(dialog, 1);
    WaitForSingleObject(process, 30000);
    CloseHandle(process);
    Say("DONE", "");
    return 0;
}
