// The install's extraction on the real program image: SETUP.EXE's own resource 19.
#include <gtest/gtest.h>

#include "ExtractArchive.h"
#include "ExtractPayload.h"
#include "ShellBench.h"
#include "StagedFiles.h"
#include "WineBench.h"
#include "shell/SetupState.h"

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

// As the install step does it: every member into a temporary file of the folder, then all
// put in place (8 when one cannot be), or none.
int InstallPayload(HMODULE module, const std::string& folder) {
    StagedFiles staged;
    int code = staged.Begin(folder.c_str())
                   ? StagePayload(module, staged, InstallFiles, InstallFileCount)
                   : 8;
    if (code == 0 && staged.PlaceAll() >= 0)
        code = 8;
    if (code == 0)
        staged.Commit();
    else
        staged.RollBack(nullptr, nullptr);
    return code;
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
    ASSERT_EQ(InstallPayload(module_, folder.path()), 0);
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
    ASSERT_EQ(InstallPayload(module_, folder.path() + "\\"), 0);
    EXPECT_TRUE(bench::FileExists(folder / "QUORIN32.EXE"));
    EXPECT_EQ(bench::ListFolder(folder.path()).size(), 9u);
}

TEST_F(ExtractPayloadOfSetup, ReplacesAReadOnlyFileOfTheSameName) {
    bench::TempFolder folder("payload");
    bench::WriteFileBytes(folder / "TIPS.TXT", "an old, read-only copy");
    ASSERT_TRUE(SetFileAttributesA((folder / "TIPS.TXT").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_EQ(InstallPayload(module_, folder.path()), 0);
    EXPECT_TRUE(bench::ReadFileBytes(folder / "TIPS.TXT") == bench::ReadFileBytes(SourceOf("TIPS.TXT")));
    EXPECT_EQ(ModifiedUnixTime(folder / "TIPS.TXT"), PayloadTime());
    EXPECT_EQ(GetFileAttributesA((folder / "TIPS.TXT").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(bench::ListFolder(folder.path()).size(), 9u) << "the earlier file was not deleted";
}

TEST_F(ExtractPayloadOfSetup, AFolderThatCannotBeWrittenGivesWriteError) {
    std::string folder = bench::ReadOnlyDrive() + "\\mm";
    ASSERT_TRUE(bench::FolderExists(folder));
    EXPECT_EQ(InstallPayload(module_, folder), 8);
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

// Where member index starts in a payload of level-2 headers laid one after another.
size_t MemberStart(const std::string& a, int index) {
    size_t at = 0;
    for (int i = 0; i < index; ++i) {
        const unsigned char* h = reinterpret_cast<const unsigned char*>(a.data()) + at;
        at += (h[0] | h[1] << 8) + (h[7] | h[8] << 8 | h[9] << 16 | static_cast<size_t>(h[10]) << 24);
    }
    return at;
}

struct DamagedRun {
    const char* label;
    void (*damage)(std::string& archive);
    const char* message;
};

// The real program with a damaged archive: the archive's message comes, a new folder is
// not left behind, and an earlier installation of other content in the chosen folder stays
// exactly as it was (the program that would remove it included), with no temporary file
// beside it and the product key unchanged.
TEST(DamagedPayloadOfSetup, TheMessageComesAndNothingIsWritten) {
    const DamagedRun runs[] = {
        {"member 3's level byte is 3", [](std::string& a) { a[MemberStart(a, 2) + 20] = 3; },
         "未知の形式"},
        {"member 1 packed with -lh6-", [](std::string& a) { a[MemberStart(a, 0) + 5] = '6'; },
         "未知の形式"},
        {"a byte of member 3's data flipped",
         [](std::string& a) { a[MemberStart(a, 3) - 100] ^= 0x55; }, "ファイルが壊れています"},
        {"a byte of the last member's data flipped",
         [](std::string& a) { a[MemberStart(a, 9) - 10] ^= 0x55; }, "ファイルが壊れています"},
    };
    const std::string payload = bench::CarriedPayload();
    ASSERT_FALSE(payload.empty());
    bench::RegistryKeyGuard product(HKEY_CURRENT_USER, "SOFTWARE\\Brastelo\\くおりん");
    bench::TempFolder root("damaged");
    const std::string good = root / "good";
    ASSERT_TRUE(CreateDirectoryA(good.c_str(), nullptr));
    bench::WriteStandInFiles(good);
    bench::SetRegString(HKEY_CURRENT_USER, "SOFTWARE\\Brastelo\\くおりん", "InstallLocation", good,
                        REG_EXPAND_SZ);
    std::vector<std::pair<std::string, long long>> installed;
    for (const std::string& name : bench::ListFolder(good))
        installed.emplace_back(bench::ReadFileBytes(good + "\\" + name), ModifiedUnixTime(good + "\\" + name));
    const std::string fresh = root / "new\\Quorin32";

    for (const DamagedRun& run : runs) {
        SCOPED_TRACE(run.label);
        std::string archive = payload;
        run.damage(archive);
        const std::string program = root / "SETUP.EXE";
        ASSERT_TRUE(bench::WriteSetupCarrying(program, archive));
        bench::Process process("\"" + program + "\"", root.path());
        HWND wizard = bench::WaitForWindow(process.id(), [](HWND w) {
            return bench::WindowText(w) == "家計簿,出納簿くおりんの導入" && !bench::IsMessageBox(w);
        }, 30000, process.handle());
        ASSERT_NE(nullptr, wizard);
        ASSERT_TRUE(bench::WaitUntil([&] { return !bench::Control(wizard, 1009).text.empty(); }));
        for (const std::string& folder : {fresh, good}) {
            bench::SetControlText(wizard, 1000, folder);
            bench::Click(wizard, 1);
            HWND box = bench::WaitForMessageBox(process.id(), 30000, process.handle());
            ASSERT_NE(nullptr, box) << folder;
            const bench::BoxRecord record = bench::ReadMessageBox(box);
            EXPECT_EQ(run.message, record.text) << folder;
            EXPECT_EQ("家計簿,出納簿くおりんの導入", record.caption);
            bench::AnswerMessageBox(box, IDOK);
            ASSERT_TRUE(bench::WaitUntil([&] { return bench::Control(wizard, 1).enabled; }));
            EXPECT_EQ("ｲﾝｽﾄｰﾙ先", bench::Control(wizard, 1001).text) << "not on the folder page";
        }
        bench::Click(wizard, 2);
        EXPECT_EQ(0u, process.Wait(30000));
        EXPECT_FALSE(bench::FolderExists(root / "new")) << "a folder was created";
        const std::vector<std::string> names = bench::ListFolder(good);
        ASSERT_EQ(installed.size(), names.size());
        for (size_t i = 0; i < names.size(); ++i) {
            EXPECT_TRUE(bench::ReadFileBytes(good + "\\" + names[i]) == installed[i].first) << names[i];
            EXPECT_EQ(installed[i].second, ModifiedUnixTime(good + "\\" + names[i])) << names[i];
        }
        EXPECT_EQ(good + std::string(1, '\0'),
                  bench::ReadRegValue(HKEY_CURRENT_USER, "SOFTWARE\\Brastelo\\くおりん",
                                      "InstallLocation").data);
    }
}

TEST(ExtractPayloadOfStub, AProgramWithoutResource19GivesArchiveNotFound) {
    HMODULE stub = LoadLibraryExA(bench::StubSetupExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(stub, nullptr);
    bench::TempFolder folder("payload");
    EXPECT_EQ(InstallPayload(stub, folder.path()), 2);
    EXPECT_TRUE(bench::ListFolder(folder.path()).empty());
    FreeLibrary(stub);
}

} // namespace
