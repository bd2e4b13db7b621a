// Test peer: serves Program Manager's DDE execute interface ("PROGMAN") to the
// other processes of the prefix through the shell's own server, until it is
// ended or its window receives WM_CLOSE. Prints "ready" once the service is up.
#include <windows.h>
#include <objbase.h>
#include <stdio.h>

typedef BOOL(WINAPI* ShellDdeInitProc)(BOOL);

int main() {
    CoInitialize(nullptr);
    HMODULE shell = LoadLibraryA("shell32.dll");
    ShellDdeInitProc init = shell ? reinterpret_cast<ShellDdeInitProc>(reinterpret_cast<void (*)()>(
                                        GetProcAddress(shell, reinterpret_cast<LPCSTR>(188))))
                                  : nullptr;
    if (init == nullptr || !init(TRUE)) {
        fprintf(stderr, "progman-peer: ShellDDEInit is not available\n");
        return 1;
    }
    printf("ready\n");
    fflush(stdout);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    init(FALSE);
    CoUninitialize();
    return 0;
}
