#include "ArchiveStream.h"
#include "LhaDecoder.h"
#include "MemberHeader.h"
#include "TestArchiveBuilder.h"
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

namespace {

struct Parsed {
    int result;
    MemberHeader header;
    int32_t dataOffset;
};

Parsed Parse(const Bytes& bytes, int32_t at = 0) {
    ArchiveStream stream(bytes.data(), static_cast<int32_t>(bytes.size()));
    stream.Seek(at, 0);
    Parsed parsed;
    memset(&parsed.header, 0x5A, sizeof parsed.header);
    parsed.result = ReadMemberHeader(parsed.header, stream);
    parsed.dataOffset = stream.Tell();
    return parsed;
}

class UtcZone : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = getenv("TZ");
        saved_ = old ? old : "";
        hadZone_ = old != nullptr;
        setenv("TZ", "UTC0", 1);
        tzset();
    }
    void TearDown() override {
        if (hadZone_)
            setenv("TZ", saved_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    std::string saved_;
    bool hadZone_ = false;
};

using MemberHeaderLevels = UtcZone;

TEST_F(MemberHeaderLevels, LevelZeroFieldsAndLocalDosTime) {
    MemberLayout layout = StoredMember("HELLO.TXT", ToBytes("hello, world"), 0);
    layout.rawTime = (30u << 25) | (5u << 21) | (17u << 16) | (13u << 11) | (45u << 5) | 21u;
    Bytes bytes = BuildMember(layout);
    Parsed p = Parse(bytes);
    ASSERT_EQ(0, p.result);
    EXPECT_EQ(0, p.header.level);
    EXPECT_STREQ("-lh0-", p.header.method);
    EXPECT_STREQ("HELLO.TXT", p.header.fileName);
    EXPECT_STREQ("", p.header.directory);
    EXPECT_EQ(12u, p.header.packedSize);
    EXPECT_EQ(12u, p.header.originalSize);
    EXPECT_EQ(ReferenceCrc16(ToBytes("hello, world")), p.header.dataCrc);
    EXPECT_EQ(22 + 9, p.header.headerSize);
    EXPECT_EQ(1274103942u, p.header.timeStamp); // 2010-05-17 13:45:42 UTC
    EXPECT_EQ(static_cast<int32_t>(bytes.size() - 12), p.dataOffset);
}

TEST_F(MemberHeaderLevels, DosTimeIgnoresDaylightSaving) {
    setenv("TZ", "GMT0BST,M3.5.0/1,M10.5.0", 1);
    tzset();
    MemberLayout layout = StoredMember("A", ToBytes("a"), 1);
    layout.rawTime = (45u << 25) | (7u << 21) | (1u << 16) | (12u << 11); // 2025-07-01 12:00:00
    Parsed p = Parse(BuildMember(layout));
    ASSERT_EQ(0, p.result);
    EXPECT_EQ(1751371200u, p.header.timeStamp); // taken as 12:00 GMT, not BST
}

uint32_t DosTime(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                 unsigned second) {
    return (year - 1980) << 25 | month << 21 | day << 16 | hour << 11 | minute << 5 | second / 2;
}

struct DosTimeCase {
    const char* what;
    uint32_t dosTime;
    bool known;
    uint32_t timeStamp;
};

class DosTimes : public UtcZone, public ::testing::WithParamInterface<DosTimeCase> {};

TEST_P(DosTimes, ConvertOnlyWhenAClockShowsThem) {
    const DosTimeCase& c = GetParam();
    MemberLayout layout = StoredMember("T", ToBytes("t"), 1);
    layout.rawTime = c.dosTime;
    Parsed p = Parse(BuildMember(layout));
    ASSERT_EQ(0, p.result) << c.what;
    EXPECT_EQ(c.known, p.header.timeStampKnown) << c.what;
    if (c.known) {
        EXPECT_EQ(c.timeStamp, p.header.timeStamp) << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, DosTimes,
    ::testing::Values(DosTimeCase{"first", DosTime(1980, 1, 1, 0, 0, 0), true, 315532800u},
                      DosTimeCase{"leap day", DosTime(2000, 2, 29, 23, 59, 58), true, 951868798u},
                      DosTimeCase{"last in 32 bits", DosTime(2106, 2, 7, 6, 28, 14), true, 0xFFFFFFFEu},
                      DosTimeCase{"past 32 bits", DosTime(2106, 2, 7, 6, 28, 16), false, 0},
                      DosTimeCase{"month 0", DosTime(2010, 0, 17, 12, 0, 0), false, 0},
                      DosTimeCase{"month 13", DosTime(2010, 13, 17, 12, 0, 0), false, 0},
                      DosTimeCase{"day 0", DosTime(2010, 5, 0, 12, 0, 0), false, 0},
                      DosTimeCase{"31 April", DosTime(2010, 4, 31, 12, 0, 0), false, 0},
                      DosTimeCase{"29 February 2100", DosTime(2100, 2, 29, 12, 0, 0), false, 0},
                      DosTimeCase{"hour 24", DosTime(2010, 5, 17, 24, 0, 0), false, 0},
                      DosTimeCase{"minute 60", DosTime(2010, 5, 17, 12, 60, 0), false, 0},
                      DosTimeCase{"second 60", DosTime(2010, 5, 17, 12, 0, 60), false, 0}));

TEST(MemberHeader, LevelOneWithDirectoryAndSkippedExtensions) {
    MemberLayout layout = StoredMember("bsd.txt", ToBytes("0123456789"), 1);
    layout.directory = "sub\xFF" "d ir\xFF";
    layout.extensions = {{0x00, {0x12, 0x34}}, {0x41, Bytes(24, 0xEE)}};
    Bytes bytes = BuildMember(layout);
    Parsed p = Parse(bytes);
    ASSERT_EQ(0, p.result);
    EXPECT_EQ(1, p.header.level);
    EXPECT_STREQ("bsd.txt", p.header.fileName);
    EXPECT_STREQ("sub\\d_ir\\", p.header.directory);
    // The data and every extended header after the first size field.
    EXPECT_EQ(10u + 12 + 5 + 27 + 2 - 2, p.header.packedSize);
    EXPECT_EQ(static_cast<int32_t>(bytes.size() - 10), p.dataOffset);
}

TEST(MemberHeader, LevelTwoTakesTheTimeStampAsIs) {
    MemberLayout layout = StoredMember("QUORIN32.TXT", ToBytes("x"), 2);
    layout.rawTime = 0x87654321u;
    layout.extensions = {{0x00, {0xAA, 0xBB}}};
    Bytes bytes = BuildMember(layout);
    Parsed p = Parse(bytes);
    ASSERT_EQ(0, p.result);
    EXPECT_EQ(2, p.header.level);
    EXPECT_EQ(0x87654321u, p.header.timeStamp);
    EXPECT_STREQ("QUORIN32.TXT", p.header.fileName);
    EXPECT_EQ(static_cast<int>(bytes.size() - 1), p.header.headerSize);
    EXPECT_EQ(static_cast<int32_t>(bytes.size() - 1), p.dataOffset);
}

TEST(MemberHeader, LevelTwoWithoutNameExtensionHasEmptyName) {
    MemberLayout layout = StoredMember("", Bytes(), 2);
    layout.nameExtension = false;
    Parsed p = Parse(BuildMember(layout));
    ASSERT_EQ(0, p.result);
    EXPECT_STREQ("", p.header.fileName);
}

TEST(MemberHeader, LevelTwoDataFollowsTheWholeDeclaredHeader) {
    MemberLayout layout = StoredMember("padded", ToBytes("DATA"), 2);
    layout.padding = 1; // as an archiver pads a header that would be 256 bytes long
    Bytes bytes = BuildMember(layout);
    Parsed p = Parse(bytes);
    ASSERT_EQ(0, p.result);
    EXPECT_EQ(static_cast<int32_t>(bytes.size() - 4), p.dataOffset);

    layout.padding = 0;
    layout.declaredLengthDelta = -2; // OS-9 LHa leaves the last size field out
    bytes = BuildMember(layout);
    p = Parse(bytes);
    ASSERT_EQ(0, p.result);
    EXPECT_EQ(static_cast<int32_t>(bytes.size() - 4), p.dataOffset);
    EXPECT_EQ(bytes.size() - 4, p.header.headerLength);
}

struct LengthCase {
    const char* what;
    int level;
    size_t nameLength;
    size_t directoryLength;
    bool directoryExtension;
    int expected;
};

class MemberHeaderLimits : public ::testing::TestWithParam<LengthCase> {};

TEST_P(MemberHeaderLimits, AcceptsUpToTheLimitOnly) {
    const LengthCase& c = GetParam();
    MemberLayout layout = StoredMember(std::string(c.nameLength, 'n'), ToBytes("z"), c.level);
    layout.directory = std::string(c.directoryLength, 'd');
    layout.directoryExtension = c.directoryExtension;
    Parsed p = Parse(BuildMember(layout));
    EXPECT_EQ(c.expected, p.result) << c.what;
    if (c.expected == 0) {
        EXPECT_EQ(c.nameLength, strlen(p.header.fileName)) << c.what;
        EXPECT_EQ(c.directoryLength, strlen(p.header.directory)) << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, MemberHeaderLimits,
    ::testing::Values(LengthCase{"base name 101", 0, 101, 0, false, 0},
                      LengthCase{"base name 102", 0, 102, 0, false, 2},
                      LengthCase{"level 1 base name 102", 1, 102, 0, false, 2},
                      LengthCase{"extended name 100", 2, 100, 0, false, 0},
                      LengthCase{"extended name 101", 2, 101, 0, false, 2},
                      LengthCase{"directory 200", 2, 5, 200, false, 0},
                      LengthCase{"directory 201", 2, 5, 201, false, 2},
                      LengthCase{"empty directory", 2, 5, 0, true, 2}));

TEST(MemberHeader, NameBytesAtOrBelowSpaceBecomeUnderscores) {
    MemberLayout layout = StoredMember(std::string("a b\x01" "c\x7F", 6), ToBytes("z"), 0);
    Parsed p = Parse(BuildMember(layout));
    ASSERT_EQ(0, p.result);
    EXPECT_STREQ("a_b_c\x7F", p.header.fileName);
}

TEST(MemberHeader, DirectoryConversionStopsAtAControlByte) {
    MemberLayout layout = StoredMember("f", ToBytes("z"), 2);
    layout.directory = std::string("a b\xFF\x05 \xFF", 7);
    Parsed p = Parse(BuildMember(layout));
    ASSERT_EQ(0, p.result);
    EXPECT_EQ(std::string("a_b\\\x05 \xFF", 7), std::string(p.header.directory));
}

TEST(MemberHeader, EndMarkerLevelThreeAndTruncation) {
    EXPECT_EQ(3, Parse(Bytes{0x00, 0x12, 0x34}).result);
    MemberLayout layout = StoredMember("level3", ToBytes("abc"), 2);
    Bytes bytes = BuildMember(layout);
    bytes[20] = 3;
    EXPECT_EQ(4, Parse(bytes).result);

    Bytes whole = BuildMember(StoredMember("truncated.txt", ToBytes("abc"), 1));
    for (size_t cut = 0; cut < whole.size() - 3; ++cut) {
        Bytes part(whole.begin(), whole.begin() + static_cast<long>(cut));
        int expected = cut < 7 ? -1 : 2; // inside the method identifier, or later
        if (cut == 0)
            expected = -1;
        EXPECT_EQ(expected, Parse(part).result) << "cut at " << cut;
    }
}

TEST(MemberHeader, ExtendedChainThatWrapsIsMalformed) {
    // Size fields that add up to 64 KB would lead the walk back onto itself.
    MemberLayout layout = StoredMember("loop", ToBytes("z"), 1);
    Bytes bytes = BuildMember(layout);
    // Turn the terminating zero size into 0xFFFF and make the next one 1.
    size_t chainEnd = bytes.size() - 1 - 2;
    bytes[chainEnd] = 0xFF;
    bytes[chainEnd + 1] = 0xFF;
    bytes.resize(bytes.size() + 70000, 0x01);
    EXPECT_EQ(2, Parse(bytes).result);
}

TEST(FindNextMember, ScanBudgetIs2048BytesThatAreNotDashes) {
    Bytes member = BuildMember(StoredMember("x", ToBytes("x"), 0));
    for (size_t junk : {0u, 100u, 2045u}) {
        Bytes bytes = Concat({Bytes(junk, 'j'), member});
        ArchiveStream stream(bytes.data(), static_cast<int32_t>(bytes.size()));
        ASSERT_TRUE(FindNextMember(stream, 0)) << junk;
        EXPECT_EQ(static_cast<int32_t>(junk), stream.Tell()) << junk;
    }
    // 2046 junk bytes and the header's first two bytes use up the budget.
    Bytes bytes = Concat({Bytes(2046, 'j'), member});
    ArchiveStream stream(bytes.data(), static_cast<int32_t>(bytes.size()));
    EXPECT_FALSE(FindNextMember(stream, 0));
    // Dashes cost nothing.
    Bytes dashes = Concat({Bytes(3000, '-'), member});
    ArchiveStream dashed(dashes.data(), static_cast<int32_t>(dashes.size()));
    ASSERT_TRUE(FindNextMember(dashed, 0));
    EXPECT_EQ(3000, dashed.Tell());
}

TEST(FindNextMember, ZeroEndsOnlyAsTheFirstByte) {
    Bytes member = BuildMember(StoredMember("x", ToBytes("x"), 0));
    Bytes leading = Concat({Bytes{0}, member});
    ArchiveStream atOnce(leading.data(), static_cast<int32_t>(leading.size()));
    EXPECT_FALSE(FindNextMember(atOnce, 0));
    Bytes later = Concat({Bytes{'j', 0}, member});
    ArchiveStream scanned(later.data(), static_cast<int32_t>(later.size()));
    ASSERT_TRUE(FindNextMember(scanned, 0));
    EXPECT_EQ(2, scanned.Tell());
}

TEST(FindNextMember, MatchesLzAndLhIdentifiersOnly) {
    struct Case {
        const char* text;
        bool found;
    } cases[] = {{"..-lh5-", true}, {"..-lzs-", true}, {"..-lhX-", true},
                 {"..-lx5-", false}, {"..-lh5_", false}, {"..-Lh5-", false}};
    for (const Case& c : cases) {
        Bytes bytes = ToBytes(c.text);
        ArchiveStream stream(bytes.data(), static_cast<int32_t>(bytes.size()));
        EXPECT_EQ(c.found, FindNextMember(stream, 0)) << c.text;
        if (c.found) {
            EXPECT_EQ(0, stream.Tell()) << c.text;
        }
    }
}

TEST(NextMemberPoint, ResumesTwoBytesPastTheData) {
    MemberHeader header;
    memset(&header, 0, sizeof header);
    header.level = 1;
    header.headerSize = 40;
    header.packedSize = 1000;
    EXPECT_EQ(10 + 40 + 1000 + 2, NextMemberPoint(header, 10));
    header.level = 2;
    header.headerSize = 0x04;
    header.headerLength = 0x0104; // 260 bytes: the low byte alone would land in the data
    EXPECT_EQ(10 + 260 + 1000 + 2, NextMemberPoint(header, 10));
    header.packedSize = 0xFFFFFFFFu;
    EXPECT_EQ(INT32_MAX, NextMemberPoint(header, 10));
}

TEST(CreateDecoder, OnlyLh5GetsADecoder) {
    unsigned char none = 0;
    ArchiveStream stream(&none, 0);
    int result = -1;
    LhaDecoder* decoder = CreateDecoder("-lh5-", stream, &result);
    ASSERT_NE(nullptr, decoder);
    EXPECT_EQ(0, result);
    EXPECT_EQ(13, decoder->dictionaryBits);
    EXPECT_EQ(253, decoder->lengthBias);
    EXPECT_EQ(14, decoder->distanceSymbols);
    EXPECT_EQ(4, decoder->distanceCountBits);
    delete decoder;
    for (const char* method : {"-lh0-", "-lh4-", "-lh6-", "-lzs-", "-lz5-", "-lz4-", "-LH5-", "-lhd-"}) {
        result = -1;
        EXPECT_EQ(nullptr, CreateDecoder(method, stream, &result)) << method;
        EXPECT_EQ(0, result) << method;
    }
}

} // namespace
