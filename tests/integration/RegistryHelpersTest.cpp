// The registry helpers on a private key of their own, removed before and after each test.
#include <gtest/gtest.h>

#include "integration/Registry.h"
#include "shell/SetupState.h"
#include "support/WineBench.h"

#include <string.h>

#include <string>

namespace {

// Test names by position: the values themselves hold backslashes and CP932 bytes.
const auto CaseName = [](const auto& info) { return "Case" + std::to_string(info.index); };

const char* const TestRoot = "Software\\QuorinSetupTests\\Registry";

class RegistryHelpers : public ::testing::Test {
  protected:
    bench::RegistryKeyGuard guard_{HKEY_CURRENT_USER, TestRoot};

    static std::string Path(const std::string& relative) {
        return relative.empty() ? std::string(TestRoot) : std::string(TestRoot) + "\\" + relative;
    }
    static void MakeKey(const std::string& relative) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(HKEY_CURRENT_USER, Path(relative).c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr));
        RegCloseKey(key);
    }
    static void SetRawValue(const char* name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, TestRoot, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
        RegCloseKey(key);
    }
    // Reads through OpenKeyForRead and ReadStringValue as start-up does.
    static std::string Read(const char* name, const char* fallback, DWORD capacity,
                            DWORD* storedSize = nullptr) {
        HKEY key = nullptr;
        OpenKeyForRead(HKEY_CURRENT_USER, &key, TestRoot);
        char buffer[PathCapacity + 8];
        memset(buffer, 'Z', sizeof buffer);
        DWORD size = capacity;
        const char* result = ReadStringValue(key, name, buffer, fallback, &size);
        if (key != nullptr)
            RegCloseKey(key);
        EXPECT_EQ(buffer, result);
        // Nothing may be written past the capacity given.
        for (size_t i = capacity; i < sizeof buffer; ++i) {
            EXPECT_EQ('Z', buffer[i]) << "byte " << i << " written past the capacity " << capacity;
        }
        if (storedSize != nullptr)
            *storedSize = size;
        return std::string(buffer, strnlen(buffer, capacity));
    }
};

TEST_F(RegistryHelpers, OpenKeyForReadGivesAHandleThatCanOnlyQuery) {
    bench::SetRegString(HKEY_CURRENT_USER, TestRoot, "v", "x");
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, OpenKeyForRead(HKEY_CURRENT_USER, &key, TestRoot));
    ASSERT_NE(nullptr, key);
    const char text[] = "y";
    EXPECT_NE(ERROR_SUCCESS,
              RegSetValueExA(key, "w", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 2))
        << "the handle must have query-value access only";
    RegCloseKey(key);
}

TEST_F(RegistryHelpers, OpenKeyForReadOnAMissingKeyLeavesTheHandleAlone) {
    HKEY key = reinterpret_cast<HKEY>(static_cast<INT_PTR>(0x1234));
    const LONG status = OpenKeyForRead(HKEY_CURRENT_USER, &key, (Path("missing")).c_str());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, status);
    EXPECT_EQ(reinterpret_cast<HKEY>(static_cast<INT_PTR>(0x1234)), key);
}

struct StringCase {
    const char* label;
    DWORD type;
    const char* data; // null: no value at all
    DWORD size;       // bytes stored
    DWORD capacity;
    const char* expected;
};

class ReadStringValueCases : public RegistryHelpers,
                             public ::testing::WithParamInterface<StringCase> {};

TEST_P(ReadStringValueCases, GivesTheStoredTextOrTheDefault) {
    const StringCase& c = GetParam();
    bench::SetRegString(HKEY_CURRENT_USER, TestRoot, "other", "unrelated");
    if (c.data != nullptr)
        SetRawValue("value", c.type, c.data, c.size);
    EXPECT_EQ(std::string(c.expected), Read("value", "default", c.capacity)) << c.label;
}

const DWORD Dword1 = 1;
INSTANTIATE_TEST_SUITE_P(
    Table, ReadStringValueCases,
    ::testing::Values(StringCase{"plain text", REG_SZ, "C:\\App", 7, 260, "C:\\App"},
                      StringCase{"expandable text kept unexpanded", REG_EXPAND_SZ, "%WINDIR%\\x",
                                 11, 260, "%WINDIR%\\x"},
                      StringCase{"empty text", REG_SZ, "", 1, 260, "default"},
                      StringCase{"no data at all", REG_SZ, "", 0, 260, "default"},
                      StringCase{"a number", REG_DWORD, reinterpret_cast<const char*>(&Dword1), 4,
                                 260, "default"},
                      StringCase{"binary", REG_BINARY, "ab", 3, 260, "default"},
                      StringCase{"missing value", REG_SZ, nullptr, 0, 260, "default"},
                      StringCase{"longer than the buffer", REG_SZ, "00", 3, 2, "d"},
                      StringCase{"fits the buffer exactly", REG_SZ, "0", 2, 2, "0"},
                      StringCase{"stored without its zero", REG_SZ, "ab", 2, 260, "ab"},
                      StringCase{"without its zero, filling the buffer", REG_SZ, "ab", 2, 2, "d"},
                      StringCase{"Japanese text", REG_SZ, "家計簿ソ表", 11, 260, "家計簿ソ表"}),
    CaseName);

TEST_F(RegistryHelpers, ReadStringValueOnANullKeyGivesTheDefault) {
    char buffer[16] = "garbage";
    DWORD size = sizeof buffer;
    EXPECT_STREQ("1", ReadStringValue(nullptr, "CommonMode", buffer, "1", &size));
}

TEST_F(RegistryHelpers, ReadStringValueCutsALongDefaultOnAWholeCharacter) {
    // "ソ" is 83 5C: a default that does not fit must not end in half of it.
    EXPECT_EQ("a", Read("missing", "aソ", 3));
    EXPECT_EQ("aソ", Read("missing", "aソ", 4));
}

TEST_F(RegistryHelpers, ReadStringValueReportsTheStoredSize) {
    bench::SetRegString(HKEY_CURRENT_USER, TestRoot, "value", "abc");
    DWORD stored = 0;
    EXPECT_EQ("abc", Read("value", "default", 260, &stored));
    EXPECT_EQ(4u, stored);
}

TEST_F(RegistryHelpers, WriteStringValueCountsTheTerminatingZero) {
    MakeKey("");
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, TestRoot, 0, KEY_SET_VALUE, &key));
    EXPECT_EQ(ERROR_SUCCESS, WriteStringValue(key, "InstallLocation", REG_EXPAND_SZ, "C:\\表"));
    EXPECT_EQ(ERROR_SUCCESS, WriteStringValue(key, "Plain", REG_SZ, ""));
    RegCloseKey(key);

    bench::RegValue location = bench::ReadRegValue(HKEY_CURRENT_USER, TestRoot, "InstallLocation");
    ASSERT_TRUE(location.exists);
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), location.type);
    EXPECT_EQ(std::string("C:\\\x95\x5C", 5) + std::string(1, '\0'), location.data)
        << bench::Hex(location.data);
    bench::RegValue plain = bench::ReadRegValue(HKEY_CURRENT_USER, TestRoot, "Plain");
    ASSERT_TRUE(plain.exists);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), plain.type);
    EXPECT_EQ(std::string(1, '\0'), plain.data) << bench::Hex(plain.data);
}

TEST_F(RegistryHelpers, DeleteKeyTreeOnAMissingKeyReturnsZero) {
    EXPECT_EQ(0, DeleteKeyTree(HKEY_CURRENT_USER, Path("missing").c_str()));
}

TEST_F(RegistryHelpers, DeleteKeyTreeRemovesThreeLevels) {
    MakeKey("tree\\a\\b\\c");
    MakeKey("tree\\a\\b2");
    MakeKey("tree\\z");
    bench::SetRegString(HKEY_CURRENT_USER, Path("tree\\a\\b\\c"), "v", "deep");
    bench::SetRegString(HKEY_CURRENT_USER, Path("tree"), nullptr, "top");
    MakeKey("sibling");

    EXPECT_EQ(0, DeleteKeyTree(HKEY_CURRENT_USER, Path("tree").c_str()));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, Path("tree")));
    EXPECT_TRUE(bench::RegKeyExists(HKEY_CURRENT_USER, Path("sibling")));
}

TEST_F(RegistryHelpers, DeleteKeyTreeLeavesADotSubkeyAndItsParents) {
    MakeKey("tree\\a");
    MakeKey("tree\\.keep\\inner");
    MakeKey("tree\\m\\.also");
    MakeKey("tree\\z");

    const LONG status = DeleteKeyTree(HKEY_CURRENT_USER, Path("tree").c_str());
    EXPECT_NE(0, status);
    EXPECT_TRUE(bench::RegKeyExists(HKEY_CURRENT_USER, Path("tree")));
    EXPECT_TRUE(bench::RegKeyExists(HKEY_CURRENT_USER, Path("tree\\.keep\\inner")));
    EXPECT_TRUE(bench::RegKeyExists(HKEY_CURRENT_USER, Path("tree\\m\\.also")));
    // Everything else went, including the subkeys after the kept ones.
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, Path("tree\\a")));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, Path("tree\\z")));
}

TEST_F(RegistryHelpers, DeleteKeyTreeOfJapaneseNamesWithBackslashTrailBytes) {
    MakeKey("表\\能\\ソ");
    EXPECT_EQ(0, DeleteKeyTree(HKEY_CURRENT_USER, Path("表").c_str()));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, Path("表")));
}

TEST_F(RegistryHelpers, DeleteSubkeyDeletesOnlyTheNamedKey) {
    MakeKey("parent\\child");
    MakeKey("parent\\other");
    EXPECT_EQ(0, DeleteSubkey("child", Path("parent").c_str(), 0));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, Path("parent\\child")));
    EXPECT_TRUE(bench::RegKeyExists(HKEY_CURRENT_USER, Path("parent\\other")));
}

TEST_F(RegistryHelpers, DeleteSubkeyOnAMissingParentReturnsTheOpenError) {
    MakeKey("parent\\child");
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, DeleteSubkey("child", Path("nowhere").c_str(), 0));
    EXPECT_TRUE(bench::RegKeyExists(HKEY_CURRENT_USER, Path("parent\\child")));
}

TEST_F(RegistryHelpers, DeleteSubkeyOfAMissingNameFails) {
    MakeKey("parent");
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, DeleteSubkey("none", Path("parent").c_str(), 0));
}

TEST_F(RegistryHelpers, DeleteSubkeyMachineWideLooksUnderTheLocalMachine) {
    // The same path exists only per user: machine-wide it is missing.
    MakeKey("parent\\child");
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, DeleteSubkey("child", Path("parent").c_str(), 1));
    EXPECT_TRUE(bench::RegKeyExists(HKEY_CURRENT_USER, Path("parent\\child")));

    bench::RegistryKeyGuard machine(HKEY_LOCAL_MACHINE, TestRoot);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, Path("parent\\child").c_str(), 0,
                                             nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
    EXPECT_EQ(0, DeleteSubkey("child", Path("parent").c_str(), 1));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_LOCAL_MACHINE, Path("parent\\child")));
    EXPECT_TRUE(bench::RegKeyExists(HKEY_CURRENT_USER, Path("parent\\child")));
}

TEST(PathExistsTest, WindowsFolderIsAFolderNotAFile) {
    const std::string windows = bench::WindowsDirectory();
    EXPECT_EQ(1, PathExists(windows.c_str(), 1));
    EXPECT_EQ(0, PathExists(windows.c_str(), 0));
}

TEST(PathExistsTest, FileIsAFileNotAFolder) {
    bench::TempFolder folder("exists");
    const std::string file = folder / "能.txt";
    bench::WriteFileBytes(file, "x");
    EXPECT_EQ(1, PathExists(file.c_str(), 0));
    EXPECT_EQ(0, PathExists(file.c_str(), 1));
}

TEST(PathExistsTest, MissingPathIsNeither) {
    bench::TempFolder folder("exists");
    const std::string missing = folder / "missing";
    EXPECT_EQ(0, PathExists(missing.c_str(), 0));
    EXPECT_EQ(0, PathExists(missing.c_str(), 1));
}

} // namespace
