// demo-driver: starts SETUP.EXE and walks it through the install wizard page by
// page as a user would, so that a script can take a screenshot of every page.
//
//   demo-driver.exe SETUP.EXE [--ack-dir DIR] [--wait MS] [--folder PATH]
//                   [--group NAME] [--no-launch] [--timeout MS]
//
// On each page it prints "SHOT <name> <x> <y> <width> <height>" (stdout, flushed; the
// screen rectangle of SETUP.EXE's windows, message boxes included) and then waits: for
// the file DIR\.shot-<name> when --ack-dir is given (the script creates it once the
// picture is taken), otherwise --wait milliseconds (default 4000). Names:
// box-<n> (a message box, answered No/OK after the shot), 1-folder-page,
// 2-group-page, 3-finish-page, 4-application (the started application, closed
// after the shot). --no-launch unticks the launch box on the finish page with a click
// on it. Other lines: "INFO ...", "DONE" at the end, "FAIL ..." with exit code 1.
#include "DemoShot.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char WizardCaption[] = "家計簿,出納簿くおりんの導入";
const char FinishLabel[] = "完了";
const char AppWindowClass[] = "QuorinMainFrame";

struct Options {
    const char* setupExe = nullptr;
    const char* ackDir = nullptr;
    DWORD waitMs = 4000;
    DWORD timeoutMs = 60000;
    const char* folder = nullptr;
    const char* group = nullptr;
    bool launch = true;
};

Options options;
HANDLE setupProcess;
DWORD setupProcessId;
int boxCount;

int Fail(const char* reason) {
    Say("FAIL", reason);
    return 1;
}

void WaitForShot(const char* name, DWORD processId = setupProcessId) {
    ::WaitForShot(name, processId, options.ackDir, options.waitMs);
}

void Text(HWND window, char* buffer, size_t capacity) {
    buffer[0] = '\0';
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, capacity, reinterpret_cast<LPARAM>(buffer),
                             SMTO_ABORTIFHUNG, 5000, &length)) {
        buffer[0] = '\0';
    }
    buffer[capacity - 1] = '\0';
}

bool ControlTextIs(HWND dialog, int id, const char* expected) {
    char text[512];
    Text(GetDlgItem(dialog, id), text, sizeof text);
    return strcmp(text, expected) == 0;
}

bool BoxTicked(HWND dialog, int id) {
    DWORD_PTR state = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &state);
    return state == BST_CHECKED;
}

bool ControlVisible(HWND dialog, int id) {
    return (GetWindowLongPtrA(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

void Click(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

struct Search {
    HWND wizard;
    HWND box;
};

BOOL CALLBACK LookAtWindow(HWND window, LPARAM parameter) {
    Search* search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != setupProcessId || !IsWindowVisible(window))
        return TRUE;
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (strcmp(className, "#32770") != 0)
        return TRUE;
    if (GetDlgItem(window, 1000) != nullptr && GetDlgItem(window, 1009) != nullptr) {
        char caption[256];
        Text(window, caption, sizeof caption);
        if (strcmp(caption, WizardCaption) == 0)
            search->wizard = window;
    } else if (GetDlgItem(window, 0xFFFF) != nullptr) {
        search->box = window; // a message box: its text control has id 0xFFFF
    }
    return TRUE;
}

// Answers a message box of SETUP.EXE as a cautious user would: No, else OK.
void AnswerBox(HWND box) {
    char name[32];
    snprintf(name, sizeof name, "box-%d", ++boxCount);
    WaitForShot(name);
    const int answer = GetDlgItem(box, IDNO) ? IDNO : GetDlgItem(box, IDOK) ? IDOK : IDCANCEL;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, answer)));
    Sleep(300);
}

// Waits until the wizard satisfies the test, answering message boxes meanwhile.
template <typename Test> HWND WaitForWizard(Test test) {
    for (DWORD waited = 0; waited < options.timeoutMs; waited += 100) {
        Search search = {nullptr, nullptr};
        EnumWindows(LookAtWindow, reinterpret_cast<LPARAM>(&search));
        if (search.box != nullptr) {
            AnswerBox(search.box);
            continue;
        }
        if (search.wizard != nullptr && test(search.wizard)) {
            Sleep(300); // let the page finish painting
            return search.wizard;
        }
        if (WaitForSingleObject(setupProcess, 100) == WAIT_OBJECT_0)
            return nullptr;
    }
    return nullptr;
}

bool ParseOptions(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (strcmp(arg, "--ack-dir") == 0 && hasValue) {
            options.ackDir = argv[++i];
        } else if (strcmp(arg, "--wait") == 0 && hasValue) {
            options.waitMs = static_cast<DWORD>(strtoul(argv[++i], nullptr, 10));
        } else if (strcmp(arg, "--timeout") == 0 && hasValue) {
            options.timeoutMs = static_cast<DWORD>(strtoul(argv[++i], nullptr, 10));
        } else if (strcmp(arg, "--folder") == 0 && hasValue) {
            options.folder = argv[++i];
        } else if (strcmp(arg, "--group") == 0 && hasValue) {
            options.group = argv[++i];
        } else if (strcmp(arg, "--no-launch") == 0) {
            options.launch = false;
        } else if (arg[0] != '-' && options.setupExe == nullptr) {
            options.setupExe = arg;
        } else {
            return false;
        }
    }
    return options.setupExe != nullptr;
}

bool StartSetup() {
    char commandLine[MAX_PATH + 8];
    snprintf(commandLine, sizeof commandLine, "\"%s\"", options.setupExe);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started;
    if (!CreateProcessA(options.setupExe, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
        return false;
    }
    CloseHandle(started.hThread);
    setupProcess = started.hProcess;
    setupProcessId = started.dwProcessId;
    return true;
}

HWND WaitForApplication() {
    for (DWORD waited = 0; waited < options.timeoutMs; waited += 100) {
        HWND app = FindWindowA(AppWindowClass, nullptr);
        if (app != nullptr && IsWindowVisible(app))
            return app;
        Sleep(100);
    }
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    if (!ParseOptions(argc, argv)) {
        fprintf(stderr, "usage: demo-driver SETUP.EXE [--ack-dir DIR] [--wait MS] [--folder PATH]"
                        " [--group NAME] [--no-launch] [--timeout MS]\n");
        return 2;
    }
    if (!StartSetup())
        return Fail("SETUP.EXE could not be started");

    // The template shows its controls at once; the status line is written only once the
    // folder page is built and the default folder is in the field.
    HWND wizard = WaitForWizard(
        [](HWND w) { return ControlVisible(w, 1010) && !ControlTextIs(w, 1009, ""); });
    if (wizard == nullptr)
        return Fail("the folder page did not appear");
    WaitForShot("1-folder-page");
    if (options.folder != nullptr)
        SetDlgItemTextA(wizard, 1000, options.folder);
    Click(wizard, 1);

    wizard =
        WaitForWizard([](HWND w) { return ControlVisible(w, 1008) && !ControlVisible(w, 1010); });
    if (wizard == nullptr)
        return Fail("the group page did not appear");
    WaitForShot("2-group-page");
    if (options.group != nullptr)
        SetDlgItemTextA(wizard, 1000, options.group);
    Click(wizard, 1);

    wizard = WaitForWizard([](HWND w) { return ControlTextIs(w, 1, FinishLabel); });
    if (wizard == nullptr)
        return Fail("the finish page did not appear");
    if (!options.launch) {
        // A click on the box (the dialog itself only reads its state at Finish).
        PostMessageA(GetDlgItem(wizard, 1011), BM_CLICK, 0, 0);
        for (DWORD waited = 0; BoxTicked(wizard, 1011) && waited < 5000; waited += 100)
            Sleep(100);
        if (BoxTicked(wizard, 1011))
            return Fail("the launch box could not be unticked");
    }
    WaitForShot("3-finish-page");
    Click(wizard, 1);
    if (WaitForSingleObject(setupProcess, options.timeoutMs) != WAIT_OBJECT_0) {
        return Fail("SETUP.EXE did not end after Finish");
    }
    CloseHandle(setupProcess);

    if (options.launch) {
        HWND app = WaitForApplication();
        if (app == nullptr)
            return Fail("the application did not start");
        DWORD appProcessId = 0;
        GetWindowThreadProcessId(app, &appProcessId);
        WaitForShot("4-application", appProcessId);
        PostMessageA(app, WM_CLOSE, 0, 0);
    }
    Say("DONE", "");
    return 0;
}
