// The extraction driver shared by ExtractPayload, the host tool and the tests.
#include "ExtractArchive.h"
#include "ArchivePlatform.h"
#include "ArchiveResult.h"
#include "ArchiveStream.h"
#include "Crc16.h"
#include "ExtractPayload.h"
#include "LhaDecoder.h"
#include "MemberPath.h"
#include <new>
#include <stdint.h>

namespace {

const uint32_t kCopyBufferSize = 10240;

struct ExtractionRun {
    bool writing;
    bool destinationFits;
    char destination[kArchivePathCapacity];
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
        Report(run, header, kMemberSkipped, kArchiveOk);
        return kArchiveOk;
    }
    char target[kArchivePathCapacity];
    ArchiveFile file = kNoArchiveFile;
    if (run.writing) {
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
    if (run.writing) {
        ArchiveCloseFile(file);
        if (result != kArchiveOk)
            ArchiveDeleteFile(target);
        else if (header.timeStampKnown)
            ArchiveSetFileTime(target, header.timeStamp); // else the time it was written
    }
    Report(run, header, result == kArchiveOk ? kMemberExtracted : kMemberFailed, result);
    return result;
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
        MemberHeader header;
        if (ReadMemberHeader(header, *stream) != 0)
            break; // an unreadable header ends the archive quietly
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

int ExtractArchive(const unsigned char* data, long size, const char* destinationFolder) {
    ExtractionRun run;
    run.writing = true;
    run.destinationFits = BuildDestination(run.destination, sizeof run.destination, destinationFolder);
    run.report = nullptr;
    run.context = nullptr;
    return RunArchive(data, size, run);
}

int TestArchive(const unsigned char* data, long size, MemberReport report, void* context) {
    ExtractionRun run;
    run.writing = false;
    run.destinationFits = false;
    run.destination[0] = 0;
    run.report = report;
    run.context = context;
    return RunArchive(data, size, run);
}
