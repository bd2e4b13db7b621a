#include "MemberHeader.h"
#include "ArchivePlatform.h"
#include "ArchiveResult.h"
#include "ArchiveStream.h"
#include "LhaDecoder.h"
#include <new>
#include <string.h>

namespace {

const int kHeaderOk = 0;
const int kHeaderMalformed = 2;
const int kHeaderEnd = 3;
const int kHeaderLevel = 4;
const int kHeaderNoMethod = -1;

// Level 0/1 headers carry the local MS-DOS date and time. A date or time that
// no clock shows (month 0 or 13, 30 February, hour 24, ...) gives no time stamp.
bool DosTimeIsValid(uint32_t dosTime) {
    static const unsigned char kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    unsigned seconds = 2 * (dosTime & 0x1F);
    unsigned minutes = (dosTime >> 5) & 0x3F;
    unsigned hours = (dosTime >> 11) & 0x1F;
    unsigned day = (dosTime >> 16) & 0x1F;
    unsigned month = (dosTime >> 21) & 0x0F;
    unsigned year = 1980 + (dosTime >> 25);
    if (seconds > 59 || minutes > 59 || hours > 23 || month < 1 || month > 12 || day < 1)
        return false;
    bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return day <= kMonthDays[month - 1] + (month == 2 && leap ? 1u : 0u);
}

// Name bytes at or below the space (and bytes lost to the end of data) become "_".
char NameCharacter(int c) { return c <= 0x20 ? '_' : static_cast<char>(c); }

int ReadExtendedHeaders(MemberHeader& header, ArchiveStream& stream, int32_t headerStart) {
    const int32_t chainStart = stream.Tell();
    stream.Seek(chainStart + header.extendedTotal, 0);
    if (stream.status != 0)
        return kHeaderMalformed;
    for (;;) {
        unsigned size = stream.ReadWord();
        // The chain lies within 64 KB; a longer one could only wrap onto itself.
        if (header.extendedTotal + size > 0xFFFF)
            return kHeaderMalformed;
        header.extendedTotal = static_cast<uint16_t>(header.extendedTotal + size);
        if (size == 0)
            break;
        int type = stream.ReadByte();
        if (type == 0x01 || type == 0x02) {
            if (size < 3)
                return kHeaderMalformed;
            int length = static_cast<int>(size) - 3;
            if (type == 0x01) {
                if (length > kMaxExtendedName)
                    return kHeaderMalformed;
                for (int i = 0; i < length; ++i)
                    header.fileName[i] = NameCharacter(stream.ReadByte());
                header.fileName[length] = 0;
            } else {
                if (length > kMaxDirectory)
                    return kHeaderMalformed;
                stream.ReadBytes(reinterpret_cast<unsigned char*>(header.directory), length);
                if (length == 0)
                    return kHeaderMalformed;
                header.directory[length] = 0;
                for (char* p = header.directory; static_cast<unsigned char>(*p) >= 0x20; ++p) {
                    if (*p == ' ')
                        *p = '_';
                    else if (static_cast<unsigned char>(*p) == 0xFF)
                        *p = '\\';
                }
            }
        }
        stream.Seek(chainStart + header.extendedTotal, 0);
        if (stream.status != 0)
            return kHeaderMalformed;
    }
    if (stream.status != 0)
        return kHeaderMalformed;
    if (header.level == 2) {
        // The data follows the header as its length field gives it when an
        // archiver padded the header after the chain; some archivers write a
        // length that leaves out the chain's last size field, so a shorter
        // length is taken as the chain's end.
        int32_t chainLength = stream.Tell() - headerStart;
        if (header.headerLength > chainLength)
            stream.Seek(headerStart + header.headerLength, 0);
        else
            header.headerLength = static_cast<uint16_t>(chainLength);
    }
    return kHeaderOk;
}

const char* const kMethods[] = {"-lh0-", "-lh1-", "-lh2-", "-lh3-", "-lh4-", "-lh5-",
                                "-lh6-", "-lh7-", "-lzs-", "-lz5-", "-lz4-"};
const int kMatchedMethods = 9; // "-lz5-" and "-lz4-" are listed but never matched
const int kDecodedMethod = 5;

} // namespace

int ReadMemberHeader(MemberHeader& header, ArchiveStream& stream) {
    header.extendedTotal = 0;
    const int32_t headerStart = stream.Tell();
    header.headerSize = stream.ReadByte();
    if (header.headerSize == 0)
        return kHeaderEnd;
    int second = stream.ReadByte();
    header.headerLength = static_cast<uint16_t>((header.headerSize & 0xFF) | (second & 0xFF) << 8);
    stream.ReadBytes(reinterpret_cast<unsigned char*>(header.method), 5);
    header.method[5] = 0;
    if (stream.status != 0)
        return kHeaderNoMethod;
    header.packedSize = stream.ReadDword();
    header.originalSize = stream.ReadDword();
    uint32_t rawTime = stream.ReadDword();
    stream.ReadByte(); // attribute
    header.level = static_cast<uint8_t>(stream.ReadByte());
    header.directory[0] = 0;
    header.fileName[0] = 0;
    if (stream.status != 0)
        return kHeaderMalformed;
    if (header.level > 2)
        return kHeaderLevel;
    if (header.level == 2) {
        header.dataCrc = static_cast<uint16_t>(stream.ReadWord());
        stream.ReadByte(); // OS identifier
        header.timeStamp = rawTime;
        header.timeStampKnown = true;
    } else {
        int length = stream.ReadByte() & 0xFF;
        for (int i = 0; i < length; ++i) {
            if (i > kMaxFileName - 1)
                return kHeaderMalformed;
            header.fileName[i] = NameCharacter(stream.ReadByte());
        }
        header.fileName[length] = 0;
        header.dataCrc = static_cast<uint16_t>(stream.ReadWord());
        stream.Seek(headerStart + header.headerSize, 0);
        header.timeStamp = 0;
        header.timeStampKnown =
            DosTimeIsValid(rawTime) && ArchiveDosTimeToTimeStamp(rawTime, &header.timeStamp);
    }
    if (header.level == 0) {
        stream.ReadWord();
        return stream.status != 0 ? kHeaderMalformed : kHeaderOk;
    }
    return ReadExtendedHeaders(header, stream, headerStart);
}

bool FindNextMember(ArchiveStream& stream, int32_t resumePoint) {
    const int kBudget = 2048;
    stream.Seek(resumePoint, 0);
    int budget = kBudget;
    for (;;) {
        int c = stream.ReadByte();
        if (c < 0 || stream.status != 0)
            return false;
        if (c == '-') {
            int32_t afterDash = stream.Tell();
            int l = stream.ReadByte();
            int kind = stream.ReadByte();
            stream.ReadByte();
            int dash = stream.ReadByte();
            if (l == 'l' && (kind == 'z' || kind == 'h') && dash == '-') {
                stream.Seek(afterDash - 3, 0);
                return true;
            }
            stream.Seek(afterDash, 0);
            continue;
        }
        if (c == 0 && budget == kBudget)
            return false;
        if (--budget == 0)
            return false;
    }
}

int32_t NextMemberPoint(const MemberHeader& header, int32_t headerStart) {
    int64_t length = header.level == 2 ? header.headerLength : header.headerSize;
    int64_t point = static_cast<int64_t>(headerStart) + length + header.packedSize + 2;
    return point > INT32_MAX ? INT32_MAX : static_cast<int32_t>(point);
}

LhaDecoder* CreateDecoder(const char* method, ArchiveStream& stream, int* result) {
    *result = kArchiveOk;
    int match = -1;
    for (int i = 0; i < kMatchedMethods && match < 0; ++i)
        if (memcmp(method, kMethods[i], 5) == 0)
            match = i;
    if (match != kDecodedMethod)
        return nullptr;
    LhaDecoder* decoder = new (NoThrow()) LhaDecoder(stream);
    if (!decoder)
        *result = kArchiveNoMemory;
    return decoder;
}
