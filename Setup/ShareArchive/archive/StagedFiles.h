// Files put into one folder all or nothing. Each file is written under a temporary
// name of the folder first; only once every one is written are they put in place,
// each by a rename on the same drive: an earlier file of the same name is first moved
// aside to a temporary name of its own, then the new file takes the name. Until the
// set is committed, RollBack puts the folder back as it was: the temporary files
// deleted, the new files deleted, what was moved aside moved back.
#pragma once
#include "ArchivePlatform.h"
#include "MemberHeader.h"
#include "MemberPath.h"

enum StagedOutcome {
    kStagedRemoved,     // a file this run put into the folder is gone again
    kStagedRestored,    // an earlier file is back under its name
    kStagedNotRestored, // an earlier file could not be moved back: it is kept under aside
};

// path: the file's own path; aside: where the earlier file is kept (kStagedNotRestored).
typedef void (*StagedReport)(void* context, const char* path, const char* aside,
                             StagedOutcome outcome);

class StagedFiles final {
public:
    static const int kCapacity = 32;

    StagedFiles();

    // A new set for folder (nothing of an earlier set is undone). False when the folder's
    // path leaves no room for a name.
    bool Begin(const char* folder);
    // A new, empty temporary file that will become name; kNoArchiveFile when it cannot be
    // made (the set is full, the folder takes no new file, the path is too long).
    ArchiveFile Create(const char* name);
    // Deletes the temporary file made last: its content failed.
    void DropLast();
    // A file of name this run put into the folder by other means (it was not there before):
    // the roll-back deletes it.
    void Adopt(const char* name);

    int Count() const { return count_; }
    const char* Name(int index) const { return entries_[index].name; }
    // path: the temporary file of index (kArchivePathCapacity bytes). False when it has none.
    bool TemporaryPath(int index, char* path) const;

    // Puts file index in place. False when the earlier file cannot be moved aside or the new
    // file not renamed; trying again goes on from where it stopped.
    bool Place(int index);
    // Every file not placed yet, in order; the index of the first that fails, or -1.
    int PlaceAll();

    // Undoes the set, last file first; report (may be null) hears about each file of the
    // folder that changed back, and about each earlier file that could not.
    void RollBack(StagedReport report, void* context);
    // The set stays: the earlier files moved aside are deleted.
    void Commit();
    bool Pending() const { return count_ > 0; }

private:
    static const int kNameCapacity = 13; // "~QS00000.TMP", a valid 8.3 name

    struct Entry {
        char name[sizeof(MemberHeader::fileName)];
        char temporary[kNameCapacity]; // empty for an adopted file
        char aside[kNameCapacity];     // the earlier file's name while it is moved aside
        bool placed;
    };

    bool PathOf(char* path, const char* name) const;
    bool FreeName(char* name);

    char folder_[kArchivePathCapacity]; // with its separator
    Entry entries_[kCapacity];
    int count_;
    unsigned nextNumber_;
};
