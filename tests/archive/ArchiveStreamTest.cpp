#include "ArchiveResult.h"
#include "ArchiveStream.h"
#include <gtest/gtest.h>

namespace {

const unsigned char kData[] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};

TEST(ArchiveStream, ReadsLittleEndianWordsAndDwords) {
    ArchiveStream stream(kData, 8);
    EXPECT_EQ(0x11, stream.ReadByte());
    EXPECT_EQ(0x3322u, stream.ReadWord());
    EXPECT_EQ(0x77665544u, stream.ReadDword());
    EXPECT_EQ(7, stream.Tell());
    EXPECT_EQ(1, stream.remaining);
    EXPECT_EQ(0, stream.status);
}

TEST(ArchiveStream, EndOfDataIsMinusOneAndStaysAfterSeek) {
    ArchiveStream stream(kData, 2);
    stream.ReadWord();
    EXPECT_EQ(-1, stream.ReadByte());
    EXPECT_EQ(kStreamEndOfData, stream.status);
    EXPECT_EQ(2, stream.Tell()); // a failed read does not move
    stream.Seek(0, 0);
    EXPECT_EQ(0x11, stream.ReadByte()); // reading works again ...
    EXPECT_EQ(kStreamEndOfData, stream.status); // ... but the status is never reset
}

TEST(ArchiveStream, ReadBytesFillsMissingBytesWithFF) {
    ArchiveStream stream(kData, 8);
    stream.Seek(6, 0);
    unsigned char buffer[5] = {0, 0, 0, 0, 0};
    EXPECT_EQ(5, stream.ReadBytes(buffer, 5));
    const unsigned char expected[5] = {0x77, 0x88, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(0, memcmp(expected, buffer, 5));
    EXPECT_EQ(kStreamEndOfData, stream.status);
    EXPECT_EQ(8, stream.Tell());
}

struct SeekCase {
    int32_t offset;
    int origin;
    int32_t result;
    int32_t tell;
    int32_t remaining;
};

class ArchiveStreamSeek : public ::testing::TestWithParam<SeekCase> {};

TEST_P(ArchiveStreamSeek, SetsPositionAndReturnsDocumentedValue) {
    const SeekCase& c = GetParam();
    ArchiveStream stream(kData, 8);
    stream.ReadWord(); // stands at 2
    EXPECT_EQ(c.result, stream.Seek(c.offset, c.origin));
    EXPECT_EQ(c.tell, stream.Tell());
    EXPECT_EQ(c.remaining, stream.remaining);
}

INSTANTIATE_TEST_SUITE_P(Origins, ArchiveStreamSeek,
                         ::testing::Values(SeekCase{5, 0, 5, 5, 3},      // from the start
                                           SeekCase{3, 1, 3, 5, 3},      // from the current byte
                                           SeekCase{-3, 2, 3, 5, 3},     // from the end: -offset
                                           SeekCase{12, 0, 12, 12, -4},  // past the end
                                           SeekCase{1, 7, 5, 2, 6}));    // unknown origin: no move

TEST(ArchiveStream, PositionsOutsideTheBlockReadNothing) {
    ArchiveStream stream(kData + 4, 4);
    for (int32_t position : {-3, -1, 4, 9}) {
        stream.Seek(position, 0);
        EXPECT_EQ(-1, stream.ReadByte()) << "position " << position;
        unsigned char buffer[2] = {0, 0};
        stream.ReadBytes(buffer, 2);
        EXPECT_EQ(0xFF, buffer[0]) << "position " << position;
        EXPECT_EQ(0, stream.Available());
    }
    stream.Seek(INT32_MAX, 1); // no overflow of the position
    EXPECT_EQ(-1, stream.ReadByte());
}

} // namespace
