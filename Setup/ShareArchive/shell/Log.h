// The log of a run (/LOG=file): one line per step with the local time in front, in the
// system's ANSI code page, each ended by CR LF. Without a log, or when its file could not
// be created, the calls do nothing: a log never stops a run.
#pragma once
#include <windows.h>

void OpenRunLog(const char* path); // created afresh
// Opens it again to add to what is there (after another process of the run wrote it).
void ReopenRunLog(const char* path);
void CloseRunLog();
void LogLine(const char* format, ...);
// The name of a registry root as the log shows it ("HKEY_LOCAL_MACHINE", ...).
const char* RootName(HKEY root);
