// LHA member headers (levels 0, 1 and 2), the scan for the next header, and the
// method table that decides whether a member is decoded or copied.
#pragma once
#include <stdint.h>

class ArchiveStream;
class LhaDecoder;

struct MemberHeader {
    int32_t headerSize;      // first header byte; level 2: low byte of the header length
    char method[6];          // e.g. "-lh5-"
    uint32_t packedSize;
    uint16_t extendedTotal;  // sum of the extended-header sizes read so far
    uint32_t originalSize;
    uint32_t timeStamp;      // seconds since 1970-01-01 UTC
    bool timeStampKnown;     // false: a level-0/1 date that converts to no time
    uint8_t level;
    char directory[201];     // extended header 0x02, 0xFF turned into "\"
    char fileName[102];
    uint16_t dataCrc;        // CRC-16 of the original data
    uint16_t headerLength;   // level 2: the 16-bit header length (at least to the chain's end)
};

const int kMaxFileName = 101;      // characters, level 0/1 base header
const int kMaxExtendedName = 100;  // bytes, extended header 0x01
const int kMaxDirectory = 200;     // bytes, extended header 0x02

// Reads the header at the stream position and leaves the stream on the
// member's data. 0 read; 3 end of archive; 4 level above 2; 2 malformed or
// truncated; -1 end of data inside the method identifier.
int ReadMemberHeader(MemberHeader& header, ArchiveStream& stream);

// Positions the stream on the next header at or after resumePoint, looking at
// no more than 2048 bytes that are not "-". False when the archive has ended.
bool FindNextMember(ArchiveStream& stream, int32_t resumePoint);

// Where the scan for the header after this one starts: header start + header
// length + packed size + 2. For levels 0 and 1 that is the byte after the data
// (the header length counts from offset 2); for level 2 it is two bytes past
// the data, on the method identifier of a directly following header. Level 2
// uses the whole 16-bit length, so headers of 256 bytes and more work too.
int32_t NextMemberPoint(const MemberHeader& header, int32_t headerStart);

// The decoder for "-lh5-", or null. Null with *result 0 means the method has no
// decoder and the member is copied or skipped; null with *result 5 means the
// decoder could not be allocated.
LhaDecoder* CreateDecoder(const char* method, ArchiveStream& stream, int* result);
