// lzhx: runs the setup program's archive code over an LHA file on the host.
//   lzhx ARCHIVE DESTDIR   extract member by member (exit code = result code)
//   lzhx -i ARCHIVE DESTDIR  install a payload as the setup program does: the check of
//                          -c with each member decoded once into a temporary file, all
//                          put in place when every one is good, else none
//   lzhx -t ARCHIVE        decode and check every member, write nothing
//   lzhx -c ARCHIVE        the install's check of a payload: -t, plus one member after
//                          another, only -lh5-/-lh0-, and the nine installed names
//   lzhx -l ARCHIVE        list the member headers
#include "ArchiveResult.h"
#include "ArchiveStream.h"
#include "ExtractArchive.h"
#include "ExtractPayload.h"
#include "MemberHeader.h"
#include "StagedFiles.h"
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

namespace {

const int kUsage = 9;

struct FileImage {
    unsigned char* data;
    long size;
};

bool LoadFile(const char* path, FileImage& image) {
    image.data = nullptr;
    image.size = 0;
    FILE* file = fopen(path, "rb");
    if (!file) {
        perror(path);
        return false;
    }
    bool ok = fseek(file, 0, SEEK_END) == 0;
    long size = ok ? ftell(file) : -1;
    ok = ok && size >= 0 && size <= INT32_MAX && fseek(file, 0, SEEK_SET) == 0;
    if (ok) {
        image.data = static_cast<unsigned char*>(malloc(size > 0 ? static_cast<size_t>(size) : 1));
        ok = image.data && fread(image.data, 1, static_cast<size_t>(size), file) ==
                               static_cast<size_t>(size);
        image.size = size;
    }
    fclose(file);
    if (!ok) {
        fprintf(stderr, "%s: cannot read the archive\n", path);
        free(image.data);
        image.data = nullptr;
    }
    return ok;
}

// The nine files the install writes; a payload must hold every one of them.
const char* const kInstalledNames[] = {
#define INSTALL_FILE(name, archivePlace) name,
#include "InstallFiles.def"
#undef INSTALL_FILE
};

const char* OutcomeText(MemberOutcome outcome, int result) {
    switch (outcome) {
    case kMemberExtracted:
        return "OK";
    case kMemberSkipped:
        return "skipped";
    case kMemberUnsafePath:
        return "unsafe path";
    case kMemberUnreadable:
        return result == 3 ? "header level above 2" : "header malformed or cut short";
    case kMemberNotDecoded:
        return "method not decoded by this program:";
    case kMemberAfterEnd:
        return "bytes after the end mark";
    case kMemberInFolder:
        return "stored in a folder";
    case kMemberMissing:
        return "missing";
    case kMemberFailed:
        break;
    }
    switch (result) {
    case 4:
        return "damaged data (CRC-16 or sizes)";
    case 5:
        return "not enough memory";
    case 6:
        return "memory error";
    case 8:
        return "write error";
    default:
        return "failed";
    }
}

struct TestTally {
    int members;
    int failures;
};

void PrintTested(void* context, const MemberHeader& header, MemberOutcome outcome, int result) {
    TestTally& tally = *static_cast<TestTally*>(context);
    const bool member = outcome != kMemberMissing && outcome != kMemberAfterEnd;
    if (member)
        ++tally.members;
    const char* cause = OutcomeText(outcome, result);
    if (outcome == kMemberExtracted || outcome == kMemberSkipped) {
        printf("%s%s\t%s\n", header.directory, header.fileName, cause);
        return;
    }
    ++tally.failures;
    char method[8] = "";
    if (outcome == kMemberNotDecoded)
        snprintf(method, sizeof method, " %.5s", header.method);
    printf("%s%s\t%s%s\n", header.directory, header.fileName, cause, method);
    if (member)
        fprintf(stderr, "lzhx: member %d (%s%s): %s%s\n", tally.members, header.directory,
                header.fileName[0] ? header.fileName : "no name", cause, method);
    else
        fprintf(stderr, "lzhx: %s%s%s\n", header.fileName, header.fileName[0] ? ": " : "", cause);
}

int TestFile(const FileImage& image, bool payload) {
    TestTally tally = {0, 0};
    const int count = static_cast<int>(sizeof kInstalledNames / sizeof kInstalledNames[0]);
    int result = payload ? CheckPayloadArchive(image.data, image.size, kInstalledNames, count,
                                               PrintTested, &tally)
                         : TestArchive(image.data, image.size, PrintTested, &tally);
    printf("%d member(s), %d failure(s)\n", tally.members, tally.failures);
    return result != 0 ? result : (tally.failures ? 4 : 0);
}

int InstallFile(const FileImage& image, const char* folder) {
    const int count = static_cast<int>(sizeof kInstalledNames / sizeof kInstalledNames[0]);
    StagedFiles staged;
    int result = staged.Begin(folder) ? kArchiveOk : kArchiveWriteError;
    if (result == kArchiveOk)
        result = StagePayloadArchive(image.data, image.size, kInstalledNames, count, staged,
                                     nullptr, nullptr);
    if (result == kArchiveOk && staged.PlaceAll() >= 0)
        result = kArchiveWriteError;
    if (result == kArchiveOk)
        staged.Commit();
    else
        staged.RollBack(nullptr, nullptr);
    return result;
}

int ListFile(const FileImage& image) {
    ArchiveStream stream(image.data, static_cast<int32_t>(image.size));
    printf("level method     packed   original  crc  time stamp           path\n");
    int32_t resumePoint = 0;
    int count = 0;
    while (FindNextMember(stream, resumePoint)) {
        int32_t headerStart = stream.Tell();
        MemberHeader header;
        int read = ReadMemberHeader(header, stream);
        if (read != 0) {
            if (read != 3)
                printf("header at offset %ld: result %d\n", static_cast<long>(headerStart), read);
            break;
        }
        time_t stamp = static_cast<time_t>(header.timeStamp);
        char when[32] = "-";
        struct tm broken;
        if (header.timeStampKnown && gmtime_r(&stamp, &broken))
            strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &broken);
        printf("%5u %s %10lu %10lu %04x %-19s  %s%s\n", header.level, header.method,
               static_cast<unsigned long>(header.packedSize),
               static_cast<unsigned long>(header.originalSize), header.dataCrc, when,
               header.directory, header.fileName);
        ++count;
        resumePoint = NextMemberPoint(header, headerStart);
    }
    printf("%d member(s)\n", count);
    return 0;
}

int Usage() {
    fprintf(stderr, "usage: lzhx ARCHIVE DESTDIR | lzhx -i ARCHIVE DESTDIR | lzhx -t ARCHIVE | "
                    "lzhx -c ARCHIVE | lzhx -l ARCHIVE\n");
    return kUsage;
}

} // namespace

int main(int argc, char** argv) {
    const bool install = argc == 4 && strcmp(argv[1], "-i") == 0;
    if (argc != 3 && !install)
        return Usage();
    bool test = strcmp(argv[1], "-t") == 0;
    bool check = strcmp(argv[1], "-c") == 0;
    bool list = strcmp(argv[1], "-l") == 0;
    FileImage image;
    if (!LoadFile(test || check || list || install ? argv[2] : argv[1], image))
        return 2;
    int result;
    if (test || check)
        result = TestFile(image, check);
    else if (list)
        result = ListFile(image);
    else if (install)
        result = InstallFile(image, argv[3]);
    else
        result = ExtractArchive(image.data, image.size, argv[2]);
    free(image.data);
    return result;
}
