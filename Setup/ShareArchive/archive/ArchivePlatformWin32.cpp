// Win32 platform layer: the system's file calls, global memory and its own
// file-time calls; nothing of the C runtime.
#include "ArchivePlatform.h"
#include "ArchiveResult.h"
#include <windows.h>

const char kArchivePathSeparator = '\\';

static HANDLE ToHandle(ArchiveFile file) { return reinterpret_cast<HANDLE>(file); }

static ArchiveFile OpenForWriting(const char* path, DWORD share, DWORD disposition) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? kNoArchiveFile : reinterpret_cast<ArchiveFile>(file);
}

ArchiveFile ArchiveCreateFile(const char* path) {
    return OpenForWriting(path, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_ALWAYS);
}

// Nobody else writes a file of ours while it is being written.
ArchiveFile ArchiveCreateNewFile(const char* path) {
    return OpenForWriting(path, FILE_SHARE_READ, CREATE_NEW);
}

void ArchiveCloseFile(ArchiveFile file) { CloseHandle(ToHandle(file)); }

static bool WriteAll(ArchiveFile file, const unsigned char* data, size_t count) {
    DWORD written = 0;
    return WriteFile(ToHandle(file), data, static_cast<DWORD>(count), &written, nullptr) &&
           written == count;
}

bool ArchiveWriteWindow(ArchiveFile file, const unsigned char* data, size_t count) {
    return WriteAll(file, data, count);
}

bool ArchiveWriteBuffer(ArchiveFile file, const unsigned char* data, size_t count) {
    return WriteAll(file, data, count);
}

void ArchiveClearAttributes(const char* path) { SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL); }

bool ArchiveDeleteFile(const char* path) { return DeleteFileA(path) != FALSE; }

bool ArchiveFileExists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool ArchiveMoveFile(const char* from, const char* to) { return MoveFileA(from, to) != FALSE; }

namespace {
// 1970-01-01 00:00 UTC in FILETIME units (100 ns since 1601-01-01).
const ULONGLONG kUnixEpochTicks = 116444736000000000ULL;
const ULONGLONG kTicksPerSecond = 10000000ULL;

// Days from 1970-01-01 to a date of the Gregorian calendar (year 1970 or later).
uint32_t DaysSince1970(unsigned year, unsigned month, unsigned day) {
    const unsigned march = month > 2 ? month - 3 : month + 9; // years start in March
    const unsigned y = month > 2 ? year : year - 1;
    const unsigned era = y / 400, yearOfEra = y % 400;
    const unsigned dayOfYear = (153 * march + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}
} // namespace

// The file was just written and closed by this process. GENERIC_WRITE rather than
// FILE_WRITE_ATTRIBUTES, which the older systems' SetFileTime does not name.
void ArchiveSetFileTime(const char* path, uint32_t timeStamp) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    ULONGLONG ticks = kUnixEpochTicks + static_cast<ULONGLONG>(timeStamp) * kTicksPerSecond;
    FILETIME when;
    when.dwLowDateTime = static_cast<DWORD>(ticks);
    when.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    SetFileTime(file, nullptr, &when, &when); // creation time stays
    CloseHandle(file);
}

// The system's own conversion: the local date and time, then the time zone's
// current offset (where daylight saving time is in effect at the moment, that
// is its offset, not the standard one). The universal time is taken apart by the
// system too, which keeps 64-bit division (and the runtime's helper for it) out.
bool ArchiveDosTimeToTimeStamp(uint32_t dosTime, uint32_t* timeStamp) {
    FILETIME local;
    FILETIME universal;
    SYSTEMTIME utc;
    if (!DosDateTimeToFileTime(static_cast<WORD>(dosTime >> 16), static_cast<WORD>(dosTime), &local) ||
        !LocalFileTimeToFileTime(&local, &universal) || !FileTimeToSystemTime(&universal, &utc) ||
        utc.wYear < 1970)
        return false;
    const ULONGLONG seconds = static_cast<ULONGLONG>(DaysSince1970(utc.wYear, utc.wMonth, utc.wDay)) * 86400 +
                              utc.wHour * 3600u + utc.wMinute * 60u + utc.wSecond;
    if (seconds > 0xFFFFFFFFULL)
        return false;
    *timeStamp = static_cast<uint32_t>(seconds);
    return true;
}

int ArchiveAllocateWindow(ArchiveMemory& memory, size_t count) {
    memory.data = nullptr;
    memory.handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, count);
    if (!memory.handle)
        return kArchiveNoMemory;
    memory.data = static_cast<unsigned char*>(GlobalLock(static_cast<HGLOBAL>(memory.handle)));
    if (!memory.data) {
        GlobalFree(static_cast<HGLOBAL>(memory.handle));
        memory.handle = nullptr;
        return kArchiveMemoryError;
    }
    return kArchiveOk;
}

void ArchiveFreeWindow(ArchiveMemory& memory) {
    if (!memory.handle)
        return;
    GlobalUnlock(static_cast<HGLOBAL>(memory.handle));
    GlobalFree(static_cast<HGLOBAL>(memory.handle));
    memory.handle = nullptr;
    memory.data = nullptr;
}

bool ArchiveAdaptMemberPath(char*) { return true; }
