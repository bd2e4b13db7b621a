// Test peer: holds a file open with no sharing at all, so that no other process
// can delete it, until the event named on its command line is set (or it is ended).
//   FileHolder.exe <file> <event name>
// It sets "<event name>.held" once the file is open and exits 1 when it cannot open it.
#include <windows.h>

#include <string>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const std::string eventName = argv[2];
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
    HANDLE held = CreateEventA(nullptr, TRUE, FALSE, (eventName + ".held").c_str());
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    SetEvent(held);
    WaitForSingleObject(release, INFINITE);
    CloseHandle(file);
    CloseHandle(held);
    CloseHandle(release);
    return 0;
}
