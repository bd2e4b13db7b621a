#include "shell/Log.h"
#include "shell/Helpers.h"

#include <stdarg.h>
#include <string.h>

namespace {

HANDLE RunLog; // null: no log (zero-initialised, so that the program has no data section)

void TakeLogHandle(HANDLE file) {
    RunLog = file != INVALID_HANDLE_VALUE ? file : nullptr;
}

void WriteText(const char* text) {
    DWORD written = 0;
    WriteFile(RunLog, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
}

} // namespace

void OpenRunLog(const char* path) {
    CloseRunLog();
    TakeLogHandle(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
}

void ReopenRunLog(const char* path) {
    CloseRunLog();
    TakeLogHandle(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (RunLog != nullptr)
        SetFilePointer(RunLog, 0, nullptr, FILE_END);
}

void CloseRunLog() {
    if (RunLog != nullptr)
        CloseHandle(RunLog);
    RunLog = nullptr;
}

void LogLine(const char* format, ...) {
    if (RunLog == nullptr)
        return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[32];
    wsprintfA(stamp, "%04u-%02u-%02u %02u:%02u:%02u ", now.wYear, now.wMonth, now.wDay, now.wHour,
              now.wMinute, now.wSecond);
    char line[1024];
    va_list args;
    va_start(args, format);
    FormatTextV(line, sizeof line, format, args);
    va_end(args);
    // One line per step: the line breaks of a message's text become blanks.
    for (char* p = line; *p != '\0'; p += CharacterLength(p)) {
        if (*p == '\r' || *p == '\n')
            *p = ' ';
    }
    WriteText(stamp);
    WriteText(line);
    WriteText("\r\n");
}

const char* RootName(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE)
        return "HKEY_LOCAL_MACHINE";
    if (root == HKEY_CURRENT_USER)
        return "HKEY_CURRENT_USER";
    if (root == HKEY_CLASSES_ROOT)
        return "HKEY_CLASSES_ROOT";
    return "(key)";
}
