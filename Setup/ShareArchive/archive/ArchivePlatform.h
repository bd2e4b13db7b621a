// The few platform services the archive module needs: output files, their
// attributes and times, and the decoder's window memory. Win32 and POSIX
// implementations share this interface; everything above it is common code.
#pragma once
#include <new>
#include <stddef.h>
#include <stdint.h>

// The tag of the non-throwing new as a temporary: the C++ runtime's std::nothrow
// object is not part of a program linked without that runtime.
inline std::nothrow_t NoThrow() { return std::nothrow_t(); }

typedef intptr_t ArchiveFile;
// Not a file: output is checked but not written (archive test mode).
const ArchiveFile kNoArchiveFile = -1;

// Creates path as a new, empty file with normal attributes, replacing an
// existing file (as _lcreat with attribute 0 does). kNoArchiveFile on failure.
ArchiveFile ArchiveCreateFile(const char* path);
// Creates path as a new, empty file with normal attributes; kNoArchiveFile when
// something of that name is there already or the file cannot be made.
ArchiveFile ArchiveCreateNewFile(const char* path);
void ArchiveCloseFile(ArchiveFile file);
// Whole-buffer write of the decoder's window; false unless every byte was written.
bool ArchiveWriteWindow(ArchiveFile file, const unsigned char* data, size_t count);
// Write of the stored-copy buffer; false unless every byte was written.
bool ArchiveWriteBuffer(ArchiveFile file, const unsigned char* data, size_t count);
// Makes an existing file writable again before a second create attempt.
void ArchiveClearAttributes(const char* path);
bool ArchiveDeleteFile(const char* path);
// A file or folder of that name exists.
bool ArchiveFileExists(const char* path);
// Renames within one drive; refuses when something of the new name exists (as
// MoveFileA does on every system).
bool ArchiveMoveFile(const char* from, const char* to);
// Access and modification time, seconds since 1970-01-01 UTC.
void ArchiveSetFileTime(const char* path, uint32_t timeStamp);
// A valid MS-DOS date and time (local time of a level-0/1 header) as seconds
// since 1970-01-01 UTC. False when the system cannot convert it or the result
// lies outside 32 bits.
bool ArchiveDosTimeToTimeStamp(uint32_t dosTime, uint32_t* timeStamp);

// Moveable, zero-initialised memory, locked for the decoder's window.
struct ArchiveMemory {
    void* handle;
    unsigned char* data;
};
// 0, kArchiveNoMemory (cannot allocate) or kArchiveMemoryError (cannot lock).
int ArchiveAllocateWindow(ArchiveMemory& memory, size_t count);
void ArchiveFreeWindow(ArchiveMemory& memory);

// Turns the member part of a target path (directory + name, "\" separators)
// into the platform's form. False when the platform cannot name such a file;
// the caller then treats the file as not creatable.
bool ArchiveAdaptMemberPath(char* path);

// The separator appended to the destination folder.
extern const char kArchivePathSeparator;
