// The clean-up after the file removal, on the prefix's real registry and Start menu:
// class backup, association, program group and links, uninstall entry.
#include <gtest/gtest.h>

#include "support/WineBench.h"
#include "shell/SetupState.h"
#include "uninstall/Uninstall.h"

#include <algorithm>
#include <string.h>
#include <string>
#include <vector>

namespace {

const char* const ProductPath = "SOFTWARE\\Brastelo\\くおりん";
const char* const BackupPath = "SOFTWARE\\Brastelo\\くおりん\\ofxBackup";
const char* const EntryPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\くおりん";
const char* const ShellFoldersPath =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* const ProgId = "QuorinPG.Document";
const char* const OtherClass = "Bench.OtherClass";
const char* const GroupName = "くおりん検査";
const char* const LinkNames[] = {"くおりん", "ヘルプ", "案内", "ホームページ"};
const DWORD NtVersion = 0x0a280105;    // XP
const DWORD NineXVersion = 0xc0000a04; // 98

std::string Text(const std::string& text) {
    return text + std::string(1, '\0');
}

std::string ShellFolder(HKEY root, const char* name) {
    bench::RegValue value = bench::ReadRegValue(root, ShellFoldersPath, name);
    return value.exists ? std::string(value.data.c_str()) : std::string();
}

void SetRawValue(HKEY root, const std::string& path, const char* name, DWORD type,
                 const std::string& bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
}

// The group folder with its four links, and the desktop link, of one variant.
struct StartMenu {
    std::string group;
    std::string desktopLink;

    StartMenu(HKEY root, bool allUsers) {
        group = ShellFolder(root, allUsers ? "Common Programs" : "Programs") + "\\" + GroupName;
        desktopLink = ShellFolder(root, allUsers ? "Common Desktop" : "Desktop") + "\\くおりん.lnk";
    }
    void Create() const {
        CreateDirectoryA(group.c_str(), nullptr);
        for (const char* name : LinkNames)
            bench::WriteFileBytes(group + "\\" + name + ".lnk", "L");
        bench::WriteFileBytes(desktopLink, "L");
    }
    void Remove() const {
        bench::RemoveTree(group);
        DeleteFileA(desktopLink.c_str());
    }
};

class CleanupTest : public testing::Test {
protected:
    void SetUp() override {
        savedVersion = OsVersion;
        ResetSetupState();
        OsVersion = NtVersion;
        NewShell = 1;
        strcpy(InstallDir, folder.path().c_str());
        perUser.Remove();
        allUsers.Remove();
    }
    void TearDown() override {
        perUser.Remove();
        allUsers.Remove();
        OsVersion = savedVersion;
    }

    // The product key as an installation leaves it, with a backup key.
    void WriteProductKey() {
        bench::SetRegString(HKEY_CURRENT_USER, ProductPath, "InstallLocation", folder.path(),
                            REG_EXPAND_SZ);
        bench::SetRegString(HKEY_CURRENT_USER, ProductPath, "CommonMode", "0", REG_EXPAND_SZ);
    }
    // The association as the install registers it.
    void WriteAssociation() {
        bench::SetRegString(HKEY_CLASSES_ROOT, ProgId, nullptr, "家計簿,出納簿くおりん");
        bench::SetRegString(HKEY_CLASSES_ROOT, std::string(ProgId) + "\\shell\\open\\command",
                            nullptr, "C:\\QUORIN~1\\QUORIN32.EXE /n %1");
        bench::SetRegString(HKEY_CLASSES_ROOT, ".QRB", nullptr, ProgId);
    }
    // An extension key the association cannot remove: a subkey whose name starts
    // with "." is left in place, so the class key then stays as well.
    void MakeExtensionUndeletable() {
        bench::SetRegString(HKEY_CLASSES_ROOT, ".QRB", nullptr, ProgId);
        bench::SetRegString(HKEY_CLASSES_ROOT, ".QRB\\.keep", nullptr, "x");
    }
    void WriteEntry(HKEY root) {
        bench::SetRegString(root, EntryPath, "DisplayName", "くおりん");
        bench::SetRegString(root, EntryPath, "ProgGroup", GroupName);
    }

    DWORD savedVersion = 0;
    bench::TempFolder folder{"cleanup"};
    bench::RegistryKeyGuard product{HKEY_CURRENT_USER, ProductPath};
    bench::RegistryKeyGuard extension{HKEY_CLASSES_ROOT, ".QRB"};
    bench::RegistryKeyGuard progId{HKEY_CLASSES_ROOT, ProgId};
    bench::RegistryKeyGuard other{HKEY_CLASSES_ROOT, OtherClass};
    bench::RegistryKeyGuard machineEntry{HKEY_LOCAL_MACHINE, EntryPath};
    bench::RegistryKeyGuard userEntry{HKEY_CURRENT_USER, EntryPath};
    StartMenu perUser{HKEY_CURRENT_USER, false};
    StartMenu allUsers{HKEY_LOCAL_MACHINE, true};
};

TEST_F(CleanupTest, BackupTextBecomesTheClassDefault) {
    WriteProductKey();
    WriteAssociation();
    MakeExtensionUndeletable(); // so that the class key survives and can be read
    bench::SetRegString(HKEY_CURRENT_USER, BackupPath, ProgId, "元の文書");
    RemoveUninstallIntegration();
    EXPECT_EQ(Text("元の文書"), bench::ReadRegValue(HKEY_CLASSES_ROOT, ProgId, nullptr).data);
    EXPECT_EQ(REG_SZ, bench::ReadRegValue(HKEY_CLASSES_ROOT, ProgId, nullptr).type);
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, BackupPath));
}

TEST_F(CleanupTest, RestoreComesBeforeTheAssociationIsRemoved) {
    // Restored after the removal, the class key would be there again.
    WriteProductKey();
    WriteAssociation();
    bench::SetRegString(HKEY_CURRENT_USER, BackupPath, ProgId, "元の文書");
    RemoveUninstallIntegration();
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CLASSES_ROOT, ProgId));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CLASSES_ROOT, ".QRB"));
}

struct EmptyBackup {
    const char* what;
    DWORD type;
    std::string bytes;
};

TEST_F(CleanupTest, EmptyOrUnusableBackupDataDeletesTheClassKey) {
    const EmptyBackup cases[] = {
        {"empty text", REG_SZ, std::string(1, '\0')},
        {"zero bytes", REG_SZ, std::string()},
        {"too long for 260 bytes", REG_SZ, Text(std::string(300, 'x'))},
        {"a number", REG_DWORD, std::string("\x01\x00\x00\x00", 4)},
    };
    for (const EmptyBackup& c : cases) {
        bench::DeleteRegTree(HKEY_CLASSES_ROOT, ProgId);
        bench::DeleteRegTree(HKEY_CURRENT_USER, BackupPath);
        WriteProductKey();
        MakeExtensionUndeletable(); // the association alone would not remove the class key
        bench::SetRegString(HKEY_CLASSES_ROOT, ProgId, nullptr, "今の説明");
        SetRawValue(HKEY_CURRENT_USER, BackupPath, ProgId, c.type, c.bytes);
        RemoveUninstallIntegration();
        EXPECT_FALSE(bench::RegKeyExists(HKEY_CLASSES_ROOT, ProgId)) << c.what;
    }
}

TEST_F(CleanupTest, OtherBackupValuesAreLeftAloneAndGoWithTheBackupKey) {
    WriteProductKey();
    bench::SetRegString(HKEY_CLASSES_ROOT, OtherClass, nullptr, "mine");
    bench::SetRegString(HKEY_CURRENT_USER, BackupPath, OtherClass, "replaced");
    bench::SetRegString(HKEY_CURRENT_USER, BackupPath, "quorinpg.document", "other case");
    bench::SetRegString(HKEY_CURRENT_USER, BackupPath + std::string("\\sub"), "v", "x");
    MakeExtensionUndeletable();
    bench::SetRegString(HKEY_CLASSES_ROOT, ProgId, nullptr, "今の説明");
    RemoveUninstallIntegration();
    EXPECT_EQ(Text("mine"), bench::ReadRegValue(HKEY_CLASSES_ROOT, OtherClass, nullptr).data);
    // The name is compared with its case: "quorinpg.document" is not the class's backup.
    EXPECT_EQ(Text("今の説明"), bench::ReadRegValue(HKEY_CLASSES_ROOT, ProgId, nullptr).data);
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, BackupPath));
    // The product key and its two values stay.
    EXPECT_EQ(Text(folder.path()),
              bench::ReadRegValue(HKEY_CURRENT_USER, ProductPath, "InstallLocation").data);
    EXPECT_EQ(Text("0"), bench::ReadRegValue(HKEY_CURRENT_USER, ProductPath, "CommonMode").data);
    EXPECT_EQ(std::string(ProductPath), ProductKey);
}

TEST_F(CleanupTest, RestoreWalksPastAValueTooLongForItsBuffer) {
    bench::SetRegString(HKEY_CURRENT_USER, BackupPath, "Bench.Long", std::string(1000, 'y'));
    bench::SetRegString(HKEY_CURRENT_USER, BackupPath, ProgId, "元の文書");
    bench::SetRegString(HKEY_CURRENT_USER, BackupPath, "Bench.After", "z");
    HKEY backup = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, BackupPath, 0, KEY_ALL_ACCESS, &backup));
    RestoreClassBackup(backup);
    RegCloseKey(backup);
    EXPECT_EQ(Text("元の文書"), bench::ReadRegValue(HKEY_CLASSES_ROOT, ProgId, nullptr).data);
    // The restored value is used up; the others are not touched.
    // (Both names sort before the class's, so the long value is met first in stored
    // order and in name order alike.)
    std::vector<std::string> left = bench::RegValueNames(HKEY_CURRENT_USER, BackupPath);
    std::sort(left.begin(), left.end());
    EXPECT_EQ((std::vector<std::string>{"Bench.After", "Bench.Long"}), left);
}

TEST_F(CleanupTest, PerUserRemovesGroupLinksDesktopLinkAndTheUserEntry) {
    WriteProductKey();
    WriteEntry(HKEY_CURRENT_USER);
    WriteEntry(HKEY_LOCAL_MACHINE);
    perUser.Create();
    CommonMode = 0; // "/R"
    RemoveUninstallIntegration();
    EXPECT_FALSE(bench::FolderExists(perUser.group));
    EXPECT_FALSE(bench::FileExists(perUser.desktopLink));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, EntryPath));
    EXPECT_TRUE(bench::RegKeyExists(HKEY_LOCAL_MACHINE, EntryPath));
}

TEST_F(CleanupTest, AllUsersRemovesTheCommonGroupAndTheMachineEntry) {
    WriteProductKey();
    WriteEntry(HKEY_CURRENT_USER);
    WriteEntry(HKEY_LOCAL_MACHINE);
    allUsers.Create();
    perUser.Create();
    CommonMode = 1; // "/r"
    RemoveUninstallIntegration();
    EXPECT_FALSE(bench::FolderExists(allUsers.group));
    EXPECT_FALSE(bench::FileExists(allUsers.desktopLink));
    EXPECT_TRUE(bench::FolderExists(perUser.group));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_LOCAL_MACHINE, EntryPath));
    EXPECT_TRUE(bench::RegKeyExists(HKEY_CURRENT_USER, EntryPath));
}

TEST_F(CleanupTest, AGroupFolderHoldingAUsersOwnFileStays) {
    WriteEntry(HKEY_CURRENT_USER);
    perUser.Create();
    bench::WriteFileBytes(perUser.group + "\\メモ.txt", "mine");
    CommonMode = 0;
    RemoveUninstallIntegration();
    EXPECT_EQ(std::vector<std::string>{"メモ.txt"}, bench::ListFolder(perUser.group));
    EXPECT_FALSE(bench::FileExists(perUser.desktopLink));
}

TEST_F(CleanupTest, On9xTheUsersGroupGoesEvenForAllUsers) {
    OsVersion = NineXVersion;
    WriteEntry(HKEY_LOCAL_MACHINE);
    perUser.Create();
    allUsers.Create();
    CommonMode = 1; // "/r", as every 95/98/Me installation registers
    RemoveUninstallIntegration();
    EXPECT_FALSE(bench::FolderExists(perUser.group));
    EXPECT_TRUE(bench::FolderExists(allUsers.group));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_LOCAL_MACHINE, EntryPath));
}

// A key another program put below the class, named in characters outside code page
// 932: the ANSI walk sees "?", which it cannot open. The clean-up must still end (it
// runs on a thread here, so that a walk that loops fails the test instead of hanging it).
const wchar_t* const ForeignKey = L"QuorinPG.Document\\shell\\\uD55C\uAE00";

struct ForeignKeyGuard { // the bench's guards walk in ANSI as well
    ~ForeignKeyGuard() { RegDeleteKeyW(HKEY_CLASSES_ROOT, ForeignKey); }
};

DWORD WINAPI RunCleanup(void*) {
    RemoveUninstallIntegration();
    return 0;
}

TEST_F(CleanupTest, ASubkeyTheWalkCannotOpenIsPassedOverAndTheRestGoes) {
    ForeignKeyGuard foreignGuard;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, ForeignKey, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
    WriteProductKey();
    bench::SetRegString(HKEY_CURRENT_USER, BackupPath + std::string("\\sub"), "v", "x");
    WriteAssociation();
    bench::SetRegString(HKEY_CLASSES_ROOT, std::string(ProgId) + "\\DefaultIcon", nullptr, "i");
    WriteEntry(HKEY_CURRENT_USER);
    perUser.Create();
    CommonMode = 0;

    HANDLE worker = CreateThread(nullptr, 0, RunCleanup, nullptr, 0, nullptr);
    ASSERT_NE(nullptr, worker);
    const DWORD waited = WaitForSingleObject(worker, 30000);
    if (waited != WAIT_OBJECT_0)
        TerminateThread(worker, 1);
    CloseHandle(worker);
    ASSERT_EQ(WAIT_OBJECT_0, waited) << "the clean-up did not end";

    EXPECT_FALSE(bench::RegKeyExists(HKEY_CLASSES_ROOT, ".QRB"));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CLASSES_ROOT, std::string(ProgId) + "\\shell\\open"));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CLASSES_ROOT, std::string(ProgId) + "\\DefaultIcon"));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, BackupPath));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, EntryPath));
    EXPECT_FALSE(bench::FolderExists(perUser.group));
    // The key it could not open stays, and so do the keys above it.
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, ForeignKey, 0, KEY_READ, &key));
    RegCloseKey(key);
    EXPECT_TRUE(bench::RegKeyExists(HKEY_CLASSES_ROOT, ProgId));
}

TEST_F(CleanupTest, WithoutAProductKeyTheRestIsStillRemoved) {
    WriteAssociation();
    WriteEntry(HKEY_CURRENT_USER);
    perUser.Create();
    CommonMode = 0;
    RemoveUninstallIntegration();
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CLASSES_ROOT, ProgId));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CLASSES_ROOT, ".QRB"));
    EXPECT_FALSE(bench::FolderExists(perUser.group));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, EntryPath));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CURRENT_USER, ProductPath));
}

} // namespace
