// Registry reading and deletion helpers. Results are registry status codes (0 = success).
#pragma once
#include <windows.h>

LONG OpenKeyForRead(HKEY root, HKEY* outKey, const char* subKeyPath);
// inOutSize: capacity in bytes on entry, stored size on return.
char* ReadStringValue(HKEY key, const char* valueName, char* buffer, const char* defaultText,
                      DWORD* inOutSize);
LONG DeleteKeyTree(HKEY root, const char* path);
LONG DeleteSubkey(const char* name, const char* parentPath, int machineWide);
int PathExists(const char* path, int wantFolder);

// Writes a string value with its terminating zero counted (REG_SZ or REG_EXPAND_SZ).
LONG WriteStringValue(HKEY key, const char* valueName, DWORD type, const char* text);

// Creates or opens the product key under HKEY_CURRENT_USER with full access and writes
// one REG_EXPAND_SZ value there (the install location, the all-users flag).
void WriteProductValue(const char* valueName, const char* text);
