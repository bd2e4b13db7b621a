// The extraction driver shared by the install, the host tool and the tests.
#include "ExtractArchive.h"
#include "ArchivePlatform.h"
#include "ArchiveResult.h"
#include "ArchiveStream.h"
#include "Crc16.h"
#include "ExtractPayload.h"
#include "LhaDecoder.h"
#include "MemberPath.h"
#include "StagedFiles.h"
#include <new>
#include <stdint.h>
#include <string.h>

namespace {

const uint32_t kCopyBufferSize = 10240;

struct ExtractionRun {
    bool writing;
    bool strict; // an unreadable header or a member without decoder fails the run
    bool destinationFits;
    char destination[kArchivePathCapacity];
    StagedFiles* staged; // the install: each member into a temporary file of the set
    MemberReport report;
    void* context;
};

void Report(const ExtractionRun& run, const MemberHeader& header, MemberOutcome outcome,
            int result) {
    if (run.report)
        run.report(run.context, header, outcome, result);
}

// _lcreat, and once more after clearing the attributes (a read-only file).
ArchiveFile CreateOutput(const char* path) {
    ArchiveFile file = ArchiveCreateFile(path);
    if (file == kNoArchiveFile) {
        ArchiveClearAttributes(path);
        file = ArchiveCreateFile(path);
    }
    return file;
}

// A member without decoder whose data is not smaller than the original:
// copied through one buffer, checked against the member's CRC.
int CopyStored(ArchiveStream& stream, const MemberHeader& header, ArchiveFile file) {
    unsigned char* buffer = new (NoThrow()) unsigned char[kCopyBufferSize];
    if (!buffer)
        return kArchiveNoMemory;
    int result = kArchiveOk;
    uint16_t crc = 0;
    uint32_t left = header.originalSize;
    while (left > 0) {
        uint32_t count = left < kCopyBufferSize ? left : kCopyBufferSize;
        stream.ReadBytes(buffer, static_cast<int32_t>(count));
        if (stream.status != 0) {
            result = kArchiveCorrupt; // the data ends inside the member
            break;
        }
        crc = UpdateCrc16(crc, buffer, count);
        if (file != kNoArchiveFile && !ArchiveWriteBuffer(file, buffer, count)) {
            result = kArchiveWriteError;
            break;
        }
        left -= count;
    }
    delete[] buffer;
    if (result == kArchiveOk && crc != header.dataCrc)
        result = kArchiveCorrupt;
    return result;
}

int HandleMember(ArchiveStream& stream, const MemberHeader& header, const ExtractionRun& run) {
    if (header.fileName[0] == 0) {
        Report(run, header, kMemberSkipped, kArchiveOk);
        return kArchiveOk;
    }
    if (!MemberPathIsSafe(header.directory, header.fileName)) {
        Report(run, header, kMemberUnsafePath, kArchiveCorrupt);
        return kArchiveCorrupt;
    }
    int result = kArchiveOk;
    LhaDecoder* decoder = CreateDecoder(header.method, stream, &result);
    if (!decoder && result != kArchiveOk) {
        Report(run, header, kMemberFailed, result);
        return result;
    }
    if (!decoder && header.originalSize > header.packedSize) {
        if (run.strict) {
            // A stored member cannot be shorter than its file: its sizes are damaged.
            const bool stored = memcmp(header.method, "-lh0-", 5) == 0;
            Report(run, header, stored ? kMemberFailed : kMemberNotDecoded,
                   stored ? kArchiveCorrupt : kArchiveUnknownFormat);
            return stored ? kArchiveCorrupt : kArchiveUnknownFormat;
        }
        Report(run, header, kMemberSkipped, kArchiveOk);
        return kArchiveOk;
    }
    char target[kArchivePathCapacity];
    ArchiveFile file = kNoArchiveFile;
    if (run.staged) {
        file = run.staged->Create(header.fileName);
        if (file == kNoArchiveFile || !run.staged->TemporaryPath(run.staged->Count() - 1, target)) {
            if (file != kNoArchiveFile) {
                ArchiveCloseFile(file);
                run.staged->DropLast();
            }
            delete decoder;
            Report(run, header, kMemberFailed, kArchiveWriteError);
            return kArchiveWriteError;
        }
    } else if (run.writing) {
        if (run.destinationFits &&
            BuildTargetPath(target, sizeof target, run.destination, header.directory,
                            header.fileName))
            file = CreateOutput(target);
        if (file == kNoArchiveFile) {
            delete decoder;
            Report(run, header, kMemberFailed, kArchiveWriteError);
            return kArchiveWriteError;
        }
    }
    if (decoder) {
        result = decoder->Decode(file, header.originalSize, header.dataCrc);
        delete decoder;
    } else {
        result = CopyStored(stream, header, file);
    }
    if (run.writing || run.staged) {
        ArchiveCloseFile(file);
        if (result != kArchiveOk) {
            if (run.staged)
                run.staged->DropLast();
            else
                ArchiveDeleteFile(target);
        } else if (header.timeStampKnown) {
            ArchiveSetFileTime(target, header.timeStamp); // else the time it was written
        }
    }
    Report(run, header, result == kArchiveOk ? kMemberExtracted : kMemberFailed, result);
    return result;
}

// The result for a header ReadMemberHeader refused with read (2, 4 or -1).
int UnreadableHeader(const ExtractionRun& run, const MemberHeader& header, int read) {
    const int result = read == 4 ? kArchiveUnknownFormat : kArchiveCorrupt;
    Report(run, header, kMemberUnreadable, result);
    return result;
}

ExtractionRun TestRun(MemberReport report, void* context) {
    ExtractionRun run;
    run.writing = false;
    run.strict = true;
    run.destinationFits = false;
    run.destination[0] = 0;
    run.staged = nullptr;
    run.report = report;
    run.context = context;
    return run;
}

bool IsPayloadMethod(const char* method) {
    return memcmp(method, "-lh5-", 5) == 0 || memcmp(method, "-lh0-", 5) == 0;
}

// ASCII letters without regard to case; other bytes as they are.
bool SameName(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char x = *a >= 'a' && *a <= 'z' ? static_cast<char>(*a - 'a' + 'A') : *a;
        char y = *b >= 'a' && *b <= 'z' ? static_cast<char>(*b - 'a' + 'A') : *b;
        if (x != y)
            return false;
        if (x == 0)
            return true;
    }
}

// A header named only by its file name, for reports on what is not there.
void NameOnly(MemberHeader& header, const char* name) {
    memset(&header, 0, sizeof header);
    size_t length = strlen(name);
    if (length >= sizeof header.fileName)
        length = sizeof header.fileName - 1;
    memcpy(header.fileName, name, length);
}

// One member of the payload check, read at position; moves position past its data.
// kArchiveOk with *ended when the end mark (or the end of the data) is there.
int CheckPayloadMember(const unsigned char* data, int32_t size, int32_t& position, bool* ended,
                       const ExtractionRun& run, MemberHeader& header) {
    *ended = false;
    if (position == size) {
        *ended = true; // some archivers write no end mark
        return kArchiveOk;
    }
    ArchiveStream stream(data, size);
    stream.Seek(position, 0);
    header = MemberHeader();
    const int read = ReadMemberHeader(header, stream);
    if (read == 3) {
        *ended = true;
        if (position + 1 == size)
            return kArchiveOk;
        NameOnly(header, "");
        Report(run, header, kMemberAfterEnd, kArchiveCorrupt);
        return kArchiveCorrupt;
    }
    if (read != 0)
        return UnreadableHeader(run, header, read);
    if (!IsPayloadMethod(header.method)) {
        Report(run, header, kMemberNotDecoded, kArchiveUnknownFormat);
        return kArchiveUnknownFormat;
    }
    if (header.directory[0] != 0) {
        Report(run, header, kMemberInFolder, kArchiveCorrupt);
        return kArchiveCorrupt;
    }
    const int32_t dataStart = stream.Tell();
    const int64_t dataEnd = static_cast<int64_t>(NextMemberPoint(header, position)) -
                            (header.level == 2 ? 2 : 0);
    if (dataEnd < dataStart || dataEnd > size) {
        Report(run, header, kMemberFailed, kArchiveCorrupt); // its data is cut short
        return kArchiveCorrupt;
    }
    // The member decodes from its own data only: it may not borrow the next one's bytes.
    ArchiveStream memberData(data + dataStart, static_cast<int32_t>(dataEnd - dataStart));
    position = static_cast<int32_t>(dataEnd);
    return HandleMember(memberData, header, run);
}

int RunArchive(const unsigned char* data, long size, const ExtractionRun& run) {
    if (size < 0 || size > INT32_MAX)
        return kArchiveReadError;
    ArchiveStream* stream = new (NoThrow()) ArchiveStream(data, static_cast<int32_t>(size));
    if (!stream)
        return kArchiveNoMemory;
    int result = kArchiveOk;
    int32_t resumePoint = 0;
    while (FindNextMember(*stream, resumePoint)) {
        int32_t headerStart = stream->Tell();
        MemberHeader header = MemberHeader(); // a header cut short still reports an empty name
        const int read = ReadMemberHeader(header, *stream);
        if (read != 0) {
            // The extraction ends quietly on a header it cannot read; a test says so.
            if (run.strict && read != 3 && result == kArchiveOk)
                result = UnreadableHeader(run, header, read);
            break;
        }
        int memberResult = HandleMember(*stream, header, run);
        resumePoint = NextMemberPoint(header, headerStart);
        if (memberResult != kArchiveOk) {
            if (result == kArchiveOk)
                result = memberResult;
            if (run.writing || memberResult != kArchiveCorrupt)
                break;
        }
    }
    delete stream;
    return result;
}

} // namespace

int ExtractArchive(const unsigned char* data, long size, const char* destinationFolder,
                   MemberReport report, void* context) {
    ExtractionRun run;
    run.writing = true;
    run.strict = false;
    run.destinationFits = BuildDestination(run.destination, sizeof run.destination, destinationFolder);
    run.staged = nullptr;
    run.report = report;
    run.context = context;
    return RunArchive(data, size, run);
}

int TestArchive(const unsigned char* data, long size, MemberReport report, void* context) {
    return RunArchive(data, size, TestRun(report, context));
}

namespace {

// The payload's rules over the whole archive, with the run's output.
int RunPayload(const unsigned char* data, long size, const char* const* names, int nameCount,
               const ExtractionRun& run) {
    if (size < 0 || size > INT32_MAX)
        return kArchiveReadError;
    const int kMaxNames = 32;
    bool present[kMaxNames] = {};
    if (nameCount > kMaxNames)
        return kArchiveInternalError;
    int32_t position = 0;
    for (;;) {
        MemberHeader header;
        bool ended = false;
        const int result = CheckPayloadMember(data, static_cast<int32_t>(size), position, &ended,
                                              run, header);
        if (result != kArchiveOk)
            return result;
        if (ended)
            break;
        for (int i = 0; i < nameCount; ++i)
            present[i] = present[i] || SameName(header.fileName, names[i]);
    }
    for (int i = 0; i < nameCount; ++i) {
        if (!present[i]) {
            MemberHeader missing;
            NameOnly(missing, names[i]);
            Report(run, missing, kMemberMissing, kArchiveCorrupt);
            return kArchiveCorrupt;
        }
    }
    return kArchiveOk;
}

} // namespace

int CheckPayloadArchive(const unsigned char* data, long size, const char* const* names,
                        int nameCount, MemberReport report, void* context) {
    return RunPayload(data, size, names, nameCount, TestRun(report, context));
}

int StagePayloadArchive(const unsigned char* data, long size, const char* const* names,
                        int nameCount, StagedFiles& staged, MemberReport report, void* context) {
    ExtractionRun run = TestRun(report, context);
    run.staged = &staged;
    return RunPayload(data, size, names, nameCount, run);
}

uint64_t ClusterRoom(uint32_t bytes, uint32_t clusterBytes) {
    const uint32_t clusters = bytes / clusterBytes + (bytes % clusterBytes != 0 ? 1 : 0);
    return static_cast<uint64_t>(clusters) * clusterBytes; // no 64-bit division
}

uint64_t PayloadArchiveRoom(const unsigned char* data, long size, uint32_t clusterBytes) {
    if (size < 0 || size > INT32_MAX || clusterBytes == 0)
        return 0;
    uint64_t room = 0;
    int32_t position = 0;
    while (position < size) {
        ArchiveStream stream(data, static_cast<int32_t>(size));
        stream.Seek(position, 0);
        MemberHeader header = MemberHeader();
        if (ReadMemberHeader(header, stream) != 0)
            break;
        room += ClusterRoom(header.originalSize, clusterBytes);
        const int64_t next = static_cast<int64_t>(NextMemberPoint(header, position)) -
                             (header.level == 2 ? 2 : 0);
        if (next <= position || next > size)
            break;
        position = static_cast<int32_t>(next);
    }
    return room;
}
