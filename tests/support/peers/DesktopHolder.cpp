// Test peer: keeps the prefix's desktop open for the whole test session.
//
// Wine closes a desktop one second after the last process other than its desktop
// process (explorer) has left it. A test program that starts within that second can
// open the desktop just before it is closed and join it just after; its windows then
// cannot be created, and a MessageBoxA returns at once without showing a box. While
// this process stays on the desktop, the desktop is never closed.
//
// It also asks for the desktop window first, so that Wine's desktop process is started
// from here: tools/wine-prefix starts this program with every descriptor closed, while
// a desktop process started by a test program would inherit the test runner's output
// pipe (Wine hands its standard error on to every process it starts) and, kept alive
// by this holder, never let the runner see the end of that test.
//   DesktopHolder.exe READY-FILE — creates READY-FILE once a window can be made on the
//   desktop, then stays until the Wine server ends.
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 2 || GetDesktopWindow() == nullptr)
        return 2;
    HWND probe =
        CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (probe == nullptr)
        return 1;
    DestroyWindow(probe);
    HANDLE ready = CreateFileA(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE)
        return 1;
    CloseHandle(ready);
    HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    WaitForSingleObject(never, INFINITE);
    return 0;
}
