// The archive test run: the extraction loop without any output file.
#pragma once
#include "MemberHeader.h"

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

// The check the install makes before it writes anything: one member after another
// from the first byte with nothing between them, every header readable, only
// "-lh5-" and "-lh0-" members outside folders, each decoding from its own data to
// its size with a matching CRC-16, nothing after the end mark, and every name of
// names (compared without regard to case) present. Stops at the first failure and
// returns its code: 3 (unknown method or header level), 4 (damage) or 5 (memory).
// Nothing is held but one member's window.
int CheckPayloadArchive(const unsigned char* data, long size, const char* const* names,
                        int nameCount, MemberReport report, void* context);
