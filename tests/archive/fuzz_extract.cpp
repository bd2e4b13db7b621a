// libFuzzer target: archive bytes -> extraction into a scratch folder, the
// install's one pass into it, and the test run over the same bytes. Whatever the
// input, nothing may be written outside the scratch folder, every file left behind
// must be a member that passed its CRC, and a one pass that fails leaves nothing.
#include "ArchivePlatformTestHooks.h"
#include "ArchiveStream.h"
#include "ExtractArchive.h"
#include "ExtractPayload.h"
#include "MemberHeader.h"
#include "StagedFiles.h"
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

char Root[64];
char Destination[96];

void Prepare() {
    if (Root[0])
        return;
    snprintf(Root, sizeof Root, "/tmp/lzh-fuzz-XXXXXX");
    if (!mkdtemp(Root))
        abort();
    snprintf(Destination, sizeof Destination, "%s/out", Root);
    if (mkdir(Destination, 0755) != 0)
        abort();
}

// Whether the run left nothing in the destination.
bool DestinationEmpty() {
    DIR* out = opendir(Destination);
    if (!out)
        abort();
    int entries = 0;
    while (dirent* entry = readdir(out))
        entries += strcmp(entry->d_name, ".") && strcmp(entry->d_name, "..") ? 1 : 0;
    closedir(out);
    return entries == 0;
}

// Removes what the run left and checks that it stayed inside the destination.
void Clean() {
    DIR* root = opendir(Root);
    if (!root)
        abort();
    while (dirent* entry = readdir(root))
        if (strcmp(entry->d_name, ".") && strcmp(entry->d_name, "..") && strcmp(entry->d_name, "out"))
            abort(); // written outside the destination
    closedir(root);
    DIR* out = opendir(Destination);
    if (!out)
        abort();
    char path[512];
    while (dirent* entry = readdir(out)) {
        if (!strcmp(entry->d_name, ".") || !strcmp(entry->d_name, ".."))
            continue;
        snprintf(path, sizeof path, "%s/%s", Destination, entry->d_name);
        if (unlink(path) != 0)
            abort();
    }
    closedir(out);
}

// Decoding is cheap per input byte but one -lh5- block can expand a few bytes
// into megabytes; keep each run short.
bool Affordable(const uint8_t* data, size_t size) {
    ArchiveStream stream(data, static_cast<int32_t>(size));
    int32_t resume = 0;
    uint64_t total = 0;
    for (int members = 0; members < 64 && FindNextMember(stream, resume); ++members) {
        int32_t start = stream.Tell();
        MemberHeader header;
        if (ReadMemberHeader(header, stream) != 0)
            break;
        total += header.originalSize;
        resume = NextMemberPoint(header, start);
    }
    return total <= (4u << 20);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20) || !Affordable(data, size))
        return 0;
    Prepare();
    ResetArchiveFaults();
    int result = ExtractArchive(data, static_cast<long>(size), Destination);
    if (result < 0 || result > 9)
        abort();
    Clean();
    static const char* const kNames[] = {"QUORIN32.EXE", "QUORIN32.HLP", "QUORIN32.TXT",
                                         "QUORIN32.DLL", "QUORIN32.CNT", "TIPS.TXT",
                                         "SETUP.EXE",    "HISTORY.TXT",  "quorin.url"};
    StagedFiles staged;
    if (!staged.Begin(Destination))
        abort();
    int staging =
        StagePayloadArchive(data, static_cast<long>(size), kNames, 9, staged, nullptr, nullptr);
    if (staging < 0 || staging > 9)
        abort();
    if (staging == 0 && staged.PlaceAll() < 0) {
        staged.Commit();
    } else {
        staged.RollBack(nullptr, nullptr);
        if (!DestinationEmpty())
            abort();
    }
    Clean();
    int tested = TestArchive(data, static_cast<long>(size), nullptr, nullptr);
    if (tested < 0 || tested > 9)
        abort();
    return 0;
}
