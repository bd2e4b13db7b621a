// The archive test run: the extraction loop without any output file.
#pragma once
#include "MemberHeader.h"

enum MemberOutcome {
    kMemberExtracted, // decoded or copied, CRC matched
    kMemberSkipped,   // no name, or a method without decoder whose data is smaller
    kMemberUnsafePath,
    kMemberFailed,    // the member's result code says why
};

typedef void (*MemberReport)(void* context, const MemberHeader& header, MemberOutcome outcome,
                             int result);

// Decodes and checks every member as the extraction would, but writes nothing
// and goes on after a member with bad data (4). Returns the first failure's
// code, or 0. report (may be null) hears about every member.
int TestArchive(const unsigned char* data, long size, MemberReport report, void* context);
