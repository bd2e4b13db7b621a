// Result codes of the archive module. They also index the archive messages:
// string id 3000 + code.
#pragma once

enum ArchiveResult {
    kArchiveOk = 0,
    kArchiveCancelled = 1,
    kArchiveNotFound = 2,
    kArchiveUnknownFormat = 3,
    kArchiveCorrupt = 4,
    kArchiveNoMemory = 5,
    kArchiveMemoryError = 6,
    kArchiveReadError = 7,
    kArchiveWriteError = 8,
    kArchiveInternalError = 9,
};

// ArchiveStream::status once a read found no byte left.
const int kStreamEndOfData = 10;
