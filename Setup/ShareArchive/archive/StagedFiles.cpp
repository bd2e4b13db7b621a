#include "StagedFiles.h"
#include <string.h>

namespace {

// Temporary names are tried in turn up to this many, past any left by an earlier run.
const unsigned kNameTries = 0x10000;

void Report(StagedReport report, void* context, const char* path, const char* aside,
            StagedOutcome outcome) {
    if (report)
        report(context, path, aside, outcome);
}

} // namespace

StagedFiles::StagedFiles() : count_(0), nextNumber_(0) { folder_[0] = 0; }

bool StagedFiles::Begin(const char* folder) {
    count_ = 0;
    nextNumber_ = 0;
    return BuildDestination(folder_, sizeof folder_, folder);
}

bool StagedFiles::PathOf(char* path, const char* name) const {
    return BuildTargetPath(path, kArchivePathCapacity, folder_, "", name);
}

// The next name of the form ~QS00000.TMP that nothing in the folder holds yet.
bool StagedFiles::FreeName(char* name) {
    static const char kDigits[] = "0123456789ABCDEF";
    while (nextNumber_ < kNameTries) {
        unsigned number = nextNumber_++;
        memcpy(name, "~QS00000.TMP", kNameCapacity);
        for (int digit = 7; digit >= 3; --digit, number >>= 4)
            name[digit] = kDigits[number & 15];
        char path[kArchivePathCapacity];
        if (!PathOf(path, name))
            return false;
        if (!ArchiveFileExists(path))
            return true;
    }
    return false;
}

ArchiveFile StagedFiles::Create(const char* name) {
    if (count_ == kCapacity || strlen(name) >= sizeof entries_[0].name)
        return kNoArchiveFile;
    Entry& entry = entries_[count_];
    char target[kArchivePathCapacity];
    char path[kArchivePathCapacity];
    if (!PathOf(target, name) || !FreeName(entry.temporary) || !PathOf(path, entry.temporary))
        return kNoArchiveFile;
    const ArchiveFile file = ArchiveCreateNewFile(path);
    if (file == kNoArchiveFile)
        return kNoArchiveFile;
    strcpy(entry.name, name);
    entry.aside[0] = 0;
    entry.placed = false;
    ++count_;
    return file;
}

void StagedFiles::DropLast() {
    char path[kArchivePathCapacity];
    if (count_ > 0 && TemporaryPath(count_ - 1, path)) {
        ArchiveDeleteFile(path);
        --count_;
    }
}

void StagedFiles::Adopt(const char* name) {
    if (count_ == kCapacity || strlen(name) >= sizeof entries_[0].name)
        return;
    Entry& entry = entries_[count_++];
    strcpy(entry.name, name);
    entry.temporary[0] = 0;
    entry.aside[0] = 0;
    entry.placed = true;
}

bool StagedFiles::TemporaryPath(int index, char* path) const {
    return entries_[index].temporary[0] != 0 && PathOf(path, entries_[index].temporary);
}

bool StagedFiles::Place(int index) {
    Entry& entry = entries_[index];
    if (entry.placed)
        return true;
    char target[kArchivePathCapacity];
    char temporary[kArchivePathCapacity];
    if (!PathOf(target, entry.name) || !TemporaryPath(index, temporary))
        return false;
    if (entry.aside[0] == 0 && ArchiveFileExists(target)) {
        char aside[kNameCapacity];
        char asidePath[kArchivePathCapacity];
        if (!FreeName(aside) || !PathOf(asidePath, aside) || !ArchiveMoveFile(target, asidePath))
            return false;
        strcpy(entry.aside, aside);
    }
    if (!ArchiveMoveFile(temporary, target))
        return false;
    entry.placed = true;
    return true;
}

int StagedFiles::PlaceAll() {
    for (int index = 0; index < count_; ++index) {
        if (!Place(index))
            return index;
    }
    return -1;
}

void StagedFiles::RollBack(StagedReport report, void* context) {
    for (int index = count_ - 1; index >= 0; --index) {
        const Entry& entry = entries_[index];
        char target[kArchivePathCapacity];
        char path[kArchivePathCapacity];
        if (!PathOf(target, entry.name))
            continue;
        if (entry.placed) {
            ArchiveClearAttributes(target);
            if (ArchiveDeleteFile(target))
                Report(report, context, target, nullptr, kStagedRemoved);
        } else if (TemporaryPath(index, path)) {
            ArchiveDeleteFile(path);
        }
        if (entry.aside[0] != 0 && PathOf(path, entry.aside)) {
            const bool restored = ArchiveMoveFile(path, target);
            Report(report, context, target, path, restored ? kStagedRestored : kStagedNotRestored);
        }
    }
    count_ = 0;
}

void StagedFiles::Commit() {
    for (int index = 0; index < count_; ++index) {
        const Entry& entry = entries_[index];
        char path[kArchivePathCapacity];
        if (!entry.placed && TemporaryPath(index, path))
            ArchiveDeleteFile(path);
        if (entry.aside[0] != 0 && PathOf(path, entry.aside)) {
            ArchiveClearAttributes(path); // a read-only file it replaced
            ArchiveDeleteFile(path);
        }
    }
    count_ = 0;
}
