// ExtractPayload on the real program image: the 64-bit SETUP.EXE's own resource 19.
#include <gtest/gtest.h>

#include "ExtractArchive.h"
#include "ExtractPayload.h"
#include "WineBench.h"

#include <string>
#include <time.h>

namespace {

// The build stamps every member it makes with its fixed time (tools/fixed-time), which it
// keeps in release/fixed-time; the sample application's files are all made by the build.
long long PayloadTime() { return std::stoll(bench::ReadFileBytes(bench::ProgramFile("release\\fixed-time"))); }

const char* const kMembers[] = {"QUORIN32.EXE", "QUORIN32.HLP", "SETUP.EXE",    "QUORIN32.DLL", "QUORIN32.TXT",
                                "TIPS.TXT",     "HISTORY.TXT",  "QUORIN32.CNT", "quorin.url"};

std::string SourceOf(const std::string& name) {
    return name == "SETUP.EXE" ? bench::StubSetupExe() : bench::SampleAppDir() + "\\" + name;
}

long long ModifiedUnixTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        return -1;
    }
    ULARGE_INTEGER t;
    t.LowPart = data.ftLastWriteTime.dwLowDateTime;
    t.HighPart = data.ftLastWriteTime.dwHighDateTime;
    return static_cast<long long>(t.QuadPart / 10000000ULL) - 11644473600LL;
}

class ExtractPayloadOfSetup : public testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryExA(bench::SetupExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module_, nullptr) << bench::SetupExe();
    }
    void TearDown() override { FreeLibrary(module_); }
    HMODULE module_ = nullptr;
};

TEST_F(ExtractPayloadOfSetup, WritesTheNineFilesByteForByteWithTheirTimeStamps) {
    bench::TempFolder folder("payload");
    ASSERT_EQ(ExtractPayload(module_, folder.path().c_str()), 0);
    std::vector<std::string> expected(std::begin(kMembers), std::end(kMembers));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(bench::ListFolder(folder.path()), expected);
    for (const char* name : kMembers) {
        SCOPED_TRACE(name);
        std::string source = bench::ReadFileBytes(SourceOf(name));
        ASSERT_FALSE(source.empty());
        std::string written = bench::ReadFileBytes(folder / name);
        EXPECT_EQ(written.size(), source.size());
        EXPECT_TRUE(written == source) << "contents differ";
        EXPECT_EQ(ModifiedUnixTime(folder / name), PayloadTime());
        EXPECT_EQ(GetFileAttributesA((folder / name).c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    }
}

TEST_F(ExtractPayloadOfSetup, AFolderWithATrailingBackslashGetsNoSecondOne) {
    bench::TempFolder folder("payload");
    ASSERT_EQ(ExtractPayload(module_, (folder.path() + "\\").c_str()), 0);
    EXPECT_TRUE(bench::FileExists(folder / "QUORIN32.EXE"));
    EXPECT_EQ(bench::ListFolder(folder.path()).size(), 9u);
}

TEST_F(ExtractPayloadOfSetup, ReplacesAReadOnlyFileOfTheSameName) {
    bench::TempFolder folder("payload");
    bench::WriteFileBytes(folder / "TIPS.TXT", "an old, read-only copy");
    ASSERT_TRUE(SetFileAttributesA((folder / "TIPS.TXT").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_EQ(ExtractPayload(module_, folder.path().c_str()), 0);
    // (Wine running as root lets the first create through, so the attribute itself may stay.)
    EXPECT_TRUE(bench::ReadFileBytes(folder / "TIPS.TXT") == bench::ReadFileBytes(SourceOf("TIPS.TXT")));
    EXPECT_EQ(ModifiedUnixTime(folder / "TIPS.TXT"), PayloadTime());
}

TEST_F(ExtractPayloadOfSetup, AFolderThatCannotBeWrittenGivesWriteError) {
    std::string folder = bench::ReadOnlyDrive() + "\\mm";
    ASSERT_TRUE(bench::FolderExists(folder));
    EXPECT_EQ(ExtractPayload(module_, folder.c_str()), 8);
    EXPECT_FALSE(bench::FileExists(folder + "\\QUORIN32.EXE"));
}

// A level-0 stored member of one byte with a local MS-DOS date and time.
std::string LevelZeroMember(const std::string& name, DWORD dosTime, unsigned crc) {
    std::string h;
    h += static_cast<char>(22 + name.size()); // header length after its first two bytes
    h += '\0';                                // checksum, not checked
    h += "-lh0-";
    for (DWORD field : {DWORD(1), DWORD(1), dosTime})
        for (int shift = 0; shift < 32; shift += 8)
            h += static_cast<char>(field >> shift);
    h += '\x20';
    h += '\0'; // level
    h += static_cast<char>(name.size());
    h += name;
    h += static_cast<char>(crc);
    h += static_cast<char>(crc >> 8);
    return h + "x";
}

// The Windows layer of the extraction: level-0/1 times through the system's own
// calls, a date no clock shows left unset, a failed member deleted.
TEST(ExtractArchiveOnWindows, LocalDosTimesUnsetDatesAndAFailedMember) {
    bench::TempFolder folder("dostime");
    const DWORD kTime = (30u << 25) | (5u << 21) | (17u << 16) | (13u << 11) | (45u << 5) | 21u;
    const DWORD kMonth13 = (30u << 25) | (13u << 21) | (17u << 16);
    const unsigned kCrcOfX = 0x2200; // CRC-16/ARC of "x"
    std::string archive = LevelZeroMember("DATED.TXT", kTime, kCrcOfX) +
                          LevelZeroMember("UNDATED.TXT", kMonth13, kCrcOfX) +
                          LevelZeroMember("BROKEN.TXT", kTime, kCrcOfX ^ 1) + std::string(1, '\0');
    long long before = static_cast<long long>(time(nullptr));
    EXPECT_EQ(ExtractArchive(reinterpret_cast<const unsigned char*>(archive.data()),
                             static_cast<long>(archive.size()), folder.path().c_str()),
              4);
    EXPECT_EQ(bench::ListFolder(folder.path()), (std::vector<std::string>{"DATED.TXT", "UNDATED.TXT"}));

    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA((folder / "DATED.TXT").c_str(), GetFileExInfoStandard, &data));
    FILETIME local;
    SYSTEMTIME shown;
    ASSERT_TRUE(FileTimeToLocalFileTime(&data.ftLastWriteTime, &local));
    ASSERT_TRUE(FileTimeToSystemTime(&local, &shown));
    EXPECT_EQ(shown.wYear, 2010);
    EXPECT_EQ(shown.wMonth, 5);
    EXPECT_EQ(shown.wDay, 17);
    EXPECT_EQ(shown.wHour, 13);
    EXPECT_EQ(shown.wMinute, 45);
    EXPECT_EQ(shown.wSecond, 42);
    EXPECT_EQ(CompareFileTime(&data.ftLastAccessTime, &data.ftLastWriteTime), 0);

    long long undated = ModifiedUnixTime(folder / "UNDATED.TXT");
    EXPECT_GE(undated, before); // the time it was written, not a made-up date
    EXPECT_LE(undated, static_cast<long long>(time(nullptr)));
}

TEST(ExtractPayloadOfStub, AProgramWithoutResource19GivesArchiveNotFound) {
    HMODULE stub = LoadLibraryExA(bench::StubSetupExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(stub, nullptr);
    bench::TempFolder folder("payload");
    EXPECT_EQ(ExtractPayload(stub, folder.path().c_str()), 2);
    EXPECT_TRUE(bench::ListFolder(folder.path()).empty());
    FreeLibrary(stub);
}

} // namespace
