// The archive test run: the extraction loop without any output file.
#pragma once
#include "MemberHeader.h"

class StagedFiles;

enum MemberOutcome {
    kMemberExtracted, // decoded or copied, CRC matched
    kMemberSkipped,   // no name (the extraction also skips a member it cannot decode)
    kMemberUnsafePath,
    kMemberFailed,     // the member's result code says why
    kMemberUnreadable, // its header cannot be read: 3 level above 2, 4 malformed or cut short
    kMemberNotDecoded, // a method this program does not decode (3)
    kMemberAfterEnd,   // bytes after the end mark (4); header: no name
    kMemberInFolder,   // the install writes no folders (4)
    kMemberMissing,    // a name the install writes is not in the archive (4); header: the name
};

typedef void (*MemberReport)(void* context, const MemberHeader& header, MemberOutcome outcome,
                             int result);

// Decodes and checks every member as the extraction would, but writes nothing
// and goes on after a member with bad data (4). A header that cannot be read, or
// a member that the extraction would skip for its method, fails the run too.
// Returns the first failure's code, or 0. report (may be null) hears about every
// member.
int TestArchive(const unsigned char* data, long size, MemberReport report, void* context);

// The payload's rules, as lzhx -c and the build check a vendor's archive and as the
// install's one pass applies them: one member after another from the first byte with
// nothing between them, every header readable, only
// "-lh5-" and "-lh0-" members outside folders, each decoding from its own data to
// its size with a matching CRC-16, nothing after the end mark, and every name of
// names (compared without regard to case) present. Stops at the first failure and
// returns its code: 3 (unknown method or header level), 4 (damage) or 5 (memory).
// Nothing is held but one member's window.
int CheckPayloadArchive(const unsigned char* data, long size, const char* const* names,
                        int nameCount, MemberReport report, void* context);

// The install's extraction: the check above, with each member decoded once into a new
// temporary file of staged (its CRC-16 checked as it ends, its time stamp set). Stops at
// the first failure with its code, 8 when a temporary file cannot be made or written;
// the files made so far stay in staged for the caller to roll back or put in place.
int StagePayloadArchive(const unsigned char* data, long size, const char* const* names,
                        int nameCount, StagedFiles& staged, MemberReport report, void* context);

// The room a file of bytes takes on a drive of clusterBytes clusters (not 0).
uint64_t ClusterRoom(uint32_t bytes, uint32_t clusterBytes);

// The room the members take once written, each rounded up to whole clusters of
// clusterBytes, summed over the headers read one after another from the first byte (up to
// one that cannot be read). Nothing is decoded.
uint64_t PayloadArchiveRoom(const unsigned char* data, long size, uint32_t clusterBytes);
