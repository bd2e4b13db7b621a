// POSIX platform layer for the host tool, the tests and the fuzzer. It mirrors
// what the Win32 calls do on Windows where the result is visible: a read-only
// file cannot be re-created until its attributes are cleared, and names that
// Windows cannot hold cannot be created.
#include "ArchivePlatform.h"
#include "ArchivePlatformTestHooks.h"
#include "ArchiveResult.h"
#include "Cp932.h"
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <utime.h>

const char kArchivePathSeparator = '/';

ArchivePlatformFaults ArchiveFaults = {0, 0, -1, 0, 0, nullptr, nullptr};

namespace {

void Trace(const char* operation, const char* path, const char* to) {
    if (ArchiveFaults.trace)
        ArchiveFaults.trace(ArchiveFaults.traceContext, operation, path, to);
}

// Counts a call down to the one that is made to fail (numbered from 1; 0: none).
bool FailsNow(int& countdown) {
    return countdown > 0 && --countdown == 0;
}

} // namespace

ArchiveFile ArchiveCreateFile(const char* path) {
    struct stat info;
    if (stat(path, &info) == 0 && S_ISREG(info.st_mode) && !(info.st_mode & S_IWUSR))
        return kNoArchiveFile; // the read-only attribute refuses _lcreat
    int file = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    return file < 0 ? kNoArchiveFile : static_cast<ArchiveFile>(file);
}

ArchiveFile ArchiveCreateNewFile(const char* path) {
    if (FailsNow(ArchiveFaults.failCreateNew))
        return kNoArchiveFile;
    int file = open(path, O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (file >= 0)
        Trace("create", path, nullptr);
    return file < 0 ? kNoArchiveFile : static_cast<ArchiveFile>(file);
}

void ArchiveCloseFile(ArchiveFile file) { close(static_cast<int>(file)); }

static bool WriteAll(ArchiveFile file, const unsigned char* data, size_t count) {
    size_t allowed = count;
    if (ArchiveFaults.writeBudget >= 0) {
        if (static_cast<unsigned long long>(ArchiveFaults.writeBudget) < count)
            allowed = static_cast<size_t>(ArchiveFaults.writeBudget);
        ArchiveFaults.writeBudget -= static_cast<long long>(allowed);
    }
    size_t done = 0;
    while (done < allowed) {
        ssize_t n = write(static_cast<int>(file), data + done, allowed - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return done == count;
}

bool ArchiveWriteWindow(ArchiveFile file, const unsigned char* data, size_t count) {
    return WriteAll(file, data, count);
}

bool ArchiveWriteBuffer(ArchiveFile file, const unsigned char* data, size_t count) {
    return WriteAll(file, data, count);
}

void ArchiveClearAttributes(const char* path) {
    struct stat info;
    if (stat(path, &info) == 0 && S_ISREG(info.st_mode))
        chmod(path, (info.st_mode & 07777) | S_IWUSR);
}

bool ArchiveDeleteFile(const char* path) {
    if (unlink(path) != 0)
        return false;
    Trace("delete", path, nullptr);
    return true;
}

bool ArchiveFileExists(const char* path) {
    struct stat info;
    return lstat(path, &info) == 0;
}

// MoveFileA never replaces; a read-only file moves as any other.
bool ArchiveMoveFile(const char* from, const char* to) {
    if (FailsNow(ArchiveFaults.failMove) || ArchiveFileExists(to) || rename(from, to) != 0)
        return false;
    Trace("move", from, to);
    return true;
}

void ArchiveSetFileTime(const char* path, uint32_t timeStamp) {
    struct utimbuf times;
    times.actime = static_cast<time_t>(timeStamp);
    times.modtime = static_cast<time_t>(timeStamp);
    utime(path, &times);
}

// Local time with daylight saving time taken as not in effect.
bool ArchiveDosTimeToTimeStamp(uint32_t dosTime, uint32_t* timeStamp) {
    struct tm broken;
    memset(&broken, 0, sizeof broken);
    broken.tm_sec = static_cast<int>(2 * (dosTime & 0x1F));
    broken.tm_min = static_cast<int>((dosTime >> 5) & 0x3F);
    broken.tm_hour = static_cast<int>((dosTime >> 11) & 0x1F);
    broken.tm_mday = static_cast<int>((dosTime >> 16) & 0x1F);
    broken.tm_mon = static_cast<int>((dosTime >> 21) & 0x0F) - 1;
    broken.tm_year = static_cast<int>(80 + (dosTime >> 25));
    broken.tm_isdst = 0;
    time_t seconds = mktime(&broken);
    if (seconds < 0 || static_cast<unsigned long long>(seconds) > UINT32_MAX)
        return false;
    *timeStamp = static_cast<uint32_t>(seconds);
    return true;
}

int ArchiveAllocateWindow(ArchiveMemory& memory, size_t count) {
    memory.handle = nullptr;
    memory.data = nullptr;
    if (ArchiveFaults.failWindowAllocations > 0) {
        --ArchiveFaults.failWindowAllocations;
        return kArchiveNoMemory;
    }
    memory.handle = calloc(1, count);
    if (!memory.handle)
        return kArchiveNoMemory;
    if (ArchiveFaults.failWindowLocks > 0) {
        --ArchiveFaults.failWindowLocks;
        free(memory.handle);
        memory.handle = nullptr;
        return kArchiveMemoryError;
    }
    memory.data = static_cast<unsigned char*>(memory.handle);
    return kArchiveOk;
}

void ArchiveFreeWindow(ArchiveMemory& memory) {
    free(memory.handle);
    memory.handle = nullptr;
    memory.data = nullptr;
}

bool ArchiveAdaptMemberPath(char* path) {
    for (char* p = path; *p; p = Cp932Next(p)) {
        if (Cp932IsLeadByte(*p))
            continue;
        if (*p == '\\')
            *p = '/';
        else if (strchr("<>:\"|?*", *p))
            return false;
    }
    return true;
}
