// The document association under HKEY_CLASSES_ROOT and the uninstall entry,
// checked byte for byte with the terminating zeros.
#include <gtest/gtest.h>

#include "support/ShellBench.h"
#include "support/WineBench.h"
#include "integration/Association.h"
#include "shell/SetupState.h"

#include <shlobj.h>

#include <algorithm>
#include <string>

namespace {

std::vector<std::string> SortedNoCase(std::vector<std::string> names) {
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return lstrcmpiA(a.c_str(), b.c_str()) < 0;
    });
    return names;
}

const char kParent[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kEntry[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\くおりん";

std::string Z(const std::string& text) {
    return text + std::string(1, '\0');
}

std::string Default(const char* key) {
    bench::RegValue value = bench::ReadRegValue(HKEY_CLASSES_ROOT, key, nullptr);
    EXPECT_TRUE(value.exists) << key;
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ)) << key;
    return value.data;
}

class Association : public testing::Test {
  protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean() {
        bench::DeleteRegTree(HKEY_CLASSES_ROOT, ".QRB");
        bench::DeleteRegTree(HKEY_CLASSES_ROOT, "QuorinPG.Document");
    }
    void Register(const std::string& installDir) {
        RegisterDocumentType(installDir.c_str(), InstallFiles, "QuorinPG.Document",
                             "家計簿,出納簿くおりん", ".QRB");
    }
    bench::TempFolder folder_{"as"};
};

TEST_F(Association, WritesTheFourDefaultValuesWithTheShortPath) {
    const std::string dir = folder_ / "Program Files\\Quorin32";
    CreateDirectoryA((folder_ / "Program Files").c_str(), nullptr);
    CreateDirectoryA(dir.c_str(), nullptr);
    bench::WriteFileBytes(dir + "\\QUORIN32.EXE", "program");
    char shortPath[MAX_PATH] = "";
    ASSERT_NE(GetShortPathNameA((dir + "\\QUORIN32.EXE").c_str(), shortPath, sizeof shortPath), 0u);
    ASSERT_EQ(std::string(shortPath).find(' '), std::string::npos);
    bench::SetRegString(HKEY_CLASSES_ROOT, "QuorinPG.Document\\shell\\open\\ddeexec", nullptr,
                        "[open]");
    bench::SetRegString(HKEY_CLASSES_ROOT, "QuorinPG.Document\\shell\\open\\ddeexec\\Topic",
                        nullptr, "t");

    Register(dir);

    EXPECT_EQ(bench::Hex(Default("QuorinPG.Document")), bench::Hex(Z("家計簿,出納簿くおりん")));
    EXPECT_EQ(bench::Hex(Default("QuorinPG.Document\\DefaultIcon")),
              bench::Hex(Z(std::string(shortPath) + ",1")));
    EXPECT_EQ(bench::Hex(Default("QuorinPG.Document\\shell\\open\\command")),
              bench::Hex(Z(std::string(shortPath) + " /n %1")));
    EXPECT_EQ(bench::Hex(Default(".QRB")), bench::Hex(Z("QuorinPG.Document")));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CLASSES_ROOT, "QuorinPG.Document\\shell\\open\\ddeexec"));
}

struct LongPathCase {
    const char* sub;
    bool quoted;
};
const LongPathCase kLongPathCases[] = {{"No Such Folder", true}, {"NoSuchFolder", false}};

// Without the program file there is no 8.3 form: the long path is taken,
// in quotes when it holds a blank.
TEST_F(Association, MissingProgramGivesTheLongPath) {
    for (const LongPathCase& c : kLongPathCases) {
        Clean();
        const std::string dir = folder_ / c.sub;
        Register(dir);
        const std::string program = dir + "\\QUORIN32.EXE";
        const std::string named = c.quoted ? "\"" + program + "\"" : program;
        EXPECT_EQ(Default("QuorinPG.Document\\DefaultIcon"), Z(named + ",1")) << c.sub;
        EXPECT_EQ(Default("QuorinPG.Document\\shell\\open\\command"), Z(named + " /n %1")) << c.sub;
        EXPECT_EQ(Default(".QRB"), Z("QuorinPG.Document"));
    }
}

TEST_F(Association, UnregisterRemovesBothKeys) {
    Register(folder_.path());
    UnregisterDocumentType("QuorinPG.Document");
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CLASSES_ROOT, ".QRB"));
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CLASSES_ROOT, "QuorinPG.Document"));
}

TEST_F(Association, UnregisterWithoutExtensionKeyStillRemovesTheProgId) {
    Register(folder_.path());
    bench::DeleteRegTree(HKEY_CLASSES_ROOT, ".QRB");
    UnregisterDocumentType("QuorinPG.Document");
    EXPECT_FALSE(bench::RegKeyExists(HKEY_CLASSES_ROOT, "QuorinPG.Document"));
}

struct NotifyCall {
    LONG event;
    UINT flags;
    LPCVOID item1;
    LPCVOID item2;
};
std::vector<NotifyCall> notified;
void WINAPI RecordNotify(LONG event, UINT flags, LPCVOID item1, LPCVOID item2) {
    notified.push_back({event, flags, item1, item2});
}

// Explorer learns of the registration and of its removal at once, on the new shell;
// the Program Manager shell has no such call.
TEST_F(Association, ExplorerIsToldOfBothChangesOnTheNewShellOnly) {
    const int savedShell = NewShell;
    ShellChangeNotifyHook = RecordNotify;
    for (int shell : {1, 0}) {
        NewShell = shell;
        notified.clear();
        Register(folder_.path());
        EXPECT_EQ(notified.size(), shell ? 1u : 0u) << "after registering, shell " << shell;
        UnregisterDocumentType("QuorinPG.Document");
        ASSERT_EQ(notified.size(), shell ? 2u : 0u) << "after removing, shell " << shell;
        for (const NotifyCall& call : notified) {
            EXPECT_EQ(call.event, SHCNE_ASSOCCHANGED);
            EXPECT_EQ(call.flags, static_cast<UINT>(SHCNF_IDLIST));
            EXPECT_EQ(call.item1, nullptr);
            EXPECT_EQ(call.item2, nullptr);
        }
    }
    ShellChangeNotifyHook = nullptr;
    NewShell = savedShell;
}

TEST_F(Association, ExtensionKeyThatStaysKeepsTheProgId) {
    Register(folder_.path());
    // A subkey whose name begins with "." is never deleted by the tree deletion.
    bench::SetRegString(HKEY_CLASSES_ROOT, ".QRB\\.keep", nullptr, "x");
    UnregisterDocumentType("QuorinPG.Document");
    EXPECT_TRUE(bench::RegKeyExists(HKEY_CLASSES_ROOT, ".QRB\\.keep"));
    EXPECT_TRUE(bench::RegKeyExists(HKEY_CLASSES_ROOT, "QuorinPG.Document\\shell\\open\\command"));
}

struct EntryCase {
    int machineWide;
    HKEY root;
    HKEY other;
    const char* installDir;
    const char* command;
};
const EntryCase kEntryCases[] = {
    {1, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, "C:\\Program Files\\Quorin32",
     "C:\\Program Files\\Quorin32\\setup.exe /r"},
    {0, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, "D:\\Apps\\Quorin32",
     "D:\\Apps\\Quorin32\\setup.exe /R"},
    {0, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, "D:\\", "D:\\\\setup.exe /R"}, // always one "\" more
};

TEST(UninstallEntry, TheValuesUnderTheChosenRoot) {
    for (const EntryCase& c : kEntryCases) {
        bench::RegistryKeyGuard machine(HKEY_LOCAL_MACHINE, kEntry);
        bench::RegistryKeyGuard user(HKEY_CURRENT_USER, kEntry);
        EXPECT_EQ(WriteUninstallEntry("くおりん", c.installDir, "ProgGroup", kParent, "家計簿ソ",
                                      PublisherHomePage, PublisherWhatsNewPage, PublisherName,
                                      c.machineWide),
                  1);
        EXPECT_FALSE(bench::RegKeyExists(c.other, kEntry)) << c.installDir;
        // Wine's registry hands values out sorted by name, not in the order written,
        // so the order shows only in the code; here: exactly these (no program, no version).
        EXPECT_EQ(SortedNoCase(bench::RegValueNames(c.root, kEntry)),
                  SortedNoCase({"DisplayName", "UninstallString", "InstallLocation", "HelpLink",
                                "URLUpdateInfo", "Publisher", "ProgGroup", "DisplayIcon",
                                "EstimatedSize", "InstallDate", "NoModify", "NoRepair",
                                "QuietUninstallString"}));
        struct ValueExpect {
            const char* name;
            DWORD type;
            std::string data;
        };
        const ValueExpect values[] = {
            {"DisplayName", REG_SZ, "くおりん"},
            {"UninstallString", REG_SZ, c.command},
            {"InstallLocation", REG_EXPAND_SZ, c.installDir},
            {"HelpLink", REG_SZ, "http://www.marveno.co.jp/"},
            {"URLUpdateInfo", REG_SZ, "http://www.marveno.co.jp/new.html"},
            {"Publisher", REG_SZ, "Marveno Corporation"},
            {"ProgGroup", REG_SZ, "家計簿ソ"},
        };
        for (const ValueExpect& v : values) {
            bench::RegValue got = bench::ReadRegValue(c.root, kEntry, v.name);
            EXPECT_EQ(got.type, v.type) << v.name;
            EXPECT_EQ(bench::Hex(got.data), bench::Hex(Z(v.data))) << v.name;
        }
    }
}

// The installed program's version record gives DisplayVersion; the size counts the
// nine files present, in KiB rounded up.
TEST(UninstallEntry, DetailsFromTheInstalledFiles) {
    bench::TempFolder folder("ue");
    ASSERT_TRUE(CopyFileA((bench::SampleAppDir() + "\\QUORIN32.EXE").c_str(),
                          (folder / "QUORIN32.EXE").c_str(), FALSE));
    bench::WriteFileBytes(folder / "TIPS.TXT", std::string(1025, 't'));
    bench::WriteFileBytes(folder / "MYDATA.QRB", std::string(4096, 'd')); // not one of the nine
    bench::RegistryKeyGuard user(HKEY_CURRENT_USER, kEntry);
    WriteUninstallEntry("くおりん", folder.path().c_str(), "ProgGroup", kParent, "g", PublisherHomePage,
                        PublisherWhatsNewPage, PublisherName, 0);
    bench::ExpectUninstallEntryDetails(HKEY_CURRENT_USER, kEntry, folder.path(), "1.6.0.0");
}

} // namespace
