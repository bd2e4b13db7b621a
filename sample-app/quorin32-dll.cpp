// QUORIN32.DLL of the stand-in application: the library that QUORIN32.EXE loads
// from its own folder. Exports (C names, undecorated on both architectures):
//   const char *QuorinVersion(void)            the library's version text
//   int QuorinDescribeSize(unsigned long size, char *buffer, int bufferSize)
//                                              formats a byte count as "N バイト"
#include <windows.h>

#include <stdio.h>

#define QUORIN_EXPORT extern "C" __declspec(dllexport)

QUORIN_EXPORT const char *__cdecl QuorinVersion(void)
{
    return "QUORIN32.DLL 1.06 (見本)";
}

QUORIN_EXPORT int __cdecl QuorinDescribeSize(unsigned long size, char *buffer, int bufferSize)
{
    if (buffer == NULL || bufferSize <= 0)
        return 0;
    int written = _snprintf(buffer, static_cast<size_t>(bufferSize), "%lu バイト", size);
    if (written < 0 || written >= bufferSize) {
        buffer[bufferSize - 1] = '\0';
        return 0;
    }
    return written;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(instance);
    return TRUE;
}
