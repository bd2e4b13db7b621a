#include "ShellBench.h"
#include "WineBench.h"

#include <objbase.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <stdio.h>

namespace bench {

LinkInfo ReadShellLink(const std::string& linkPath) {
    LinkInfo info;
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link)))) {
        return info;
    }
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, wide, MAX_PATH);
        if (SUCCEEDED(file->Load(wide, STGM_READ))) {
            info.loaded = true;
            char buffer[1024];
            buffer[0] = '\0';
            link->GetPath(buffer, sizeof buffer, nullptr, SLGP_RAWPATH);
            info.target = buffer;
            buffer[0] = '\0';
            link->GetDescription(buffer, sizeof buffer);
            info.description = buffer;
            buffer[0] = '\0';
            link->GetWorkingDirectory(buffer, sizeof buffer);
            info.workingDir = buffer;
            buffer[0] = '\0';
            link->GetArguments(buffer, sizeof buffer);
            info.arguments = buffer;
            buffer[0] = '\0';
            int index = -1;
            link->GetIconLocation(buffer, sizeof buffer, &index);
            info.iconPath = buffer;
            info.iconIndex = index;
        }
        file->Release();
    }
    link->Release();
    return info;
}

std::string ShellFolderPath(int csidl) {
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::string ShellFoldersValue(bool allUsers, const char* name) {
    RegValue value =
        ReadRegValue(allUsers ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                     "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", name);
    if (!value.exists)
        return std::string();
    return std::string(value.data.c_str());
}

void DisableMenuBuilder() {
    static bool done = false;
    if (done)
        return;
    done = true;
    SetRegString(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", "winemenubuilder.exe", "");
}

static HDDEDATA CALLBACK IgnoreDde(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    return nullptr;
}

DdeClient::DdeClient() {
    if (DdeInitializeA(&instance_, IgnoreDde, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
        instance_ = 0;
    }
}

DdeClient::~DdeClient() {
    if (instance_ != 0)
        DdeUninitialize(instance_);
}

bool ProgmanAvailable() {
    DdeClient client;
    if (client.instance() == 0)
        return false;
    HSZ name = DdeCreateStringHandleA(client.instance(), "PROGMAN", CP_WINANSI);
    HCONV conversation = DdeConnect(client.instance(), name, name, nullptr);
    if (conversation)
        DdeDisconnect(conversation);
    DdeFreeStringHandle(client.instance(), name);
    return conversation != nullptr;
}

ProgmanServer::ProgmanServer() {
    std::string program = BuildFile("tests\\peers\\progman-peer.exe");
    // The server opens folder windows in processes of its own, which inherit its
    // standard handles: they must not hold the test runner's output pipe open.
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE nul =
        CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inheritable, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
    PROCESS_INFORMATION started = {};
    std::string line = "\"" + program + "\"";
    const BOOL created = CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &started);
    if (nul != INVALID_HANDLE_VALUE)
        CloseHandle(nul);
    if (!created)
        return;
    CloseHandle(started.hThread);
    process_ = started.hProcess;
    ready_ = WaitUntil([] { return ProgmanAvailable(); }, 20000);
}

// The shell's DDE server shows every group it creates in a folder window of a
// new explorer process, started from the server before the command returns.
// That process would outlive the server and, under Wine, keep the test runner's
// stderr open: it is ended with the server (and anything it started in turn).
static void EndChildrenOf(DWORD parentId, int depth = 0) {
    if (depth > 4)
        return;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    std::vector<DWORD> children;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID == parentId && entry.th32ProcessID != parentId) {
            children.push_back(entry.th32ProcessID);
        }
    }
    CloseHandle(snapshot);
    for (DWORD child : children) {
        EndChildrenOf(child, depth + 1);
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, child);
        if (process) {
            TerminateProcess(process, 0);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
}

// Wine's Program Manager opens a folder window for each group it makes, in an explorer
// process of its own. They end with the server; the desktop's own explorer stays (the
// desktop holder keeps it for the whole session, see peers/DesktopHolder.cpp).
static void EndExplorerProcesses() {
    DWORD desktopProcess = 0;
    GetWindowThreadProcessId(GetDesktopWindow(), &desktopProcess);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, "explorer.exe") != 0 ||
            entry.th32ProcessID == desktopProcess)
            continue;
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (process) {
            TerminateProcess(process, 0);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
    CloseHandle(snapshot);
}

ProgmanServer::~ProgmanServer() {
    if (process_ == nullptr)
        return;
    EndChildrenOf(GetProcessId(process_));
    TerminateProcess(process_, 0);
    WaitForSingleObject(process_, 5000);
    CloseHandle(process_);
    // The service is gone only once the server's windows are.
    WaitUntil([] { return !ProgmanAvailable(); }, 5000);
    EndExplorerProcesses();
}

const char* const kInstallFileNames[9] = {
    "QUORIN32.EXE", "QUORIN32.HLP", "QUORIN32.TXT", "QUORIN32.DLL", "QUORIN32.CNT",
    "TIPS.TXT",     "SETUP.EXE",    "HISTORY.TXT",  "quorin.url",
};

std::string StandInContent(const std::string& name) {
    return "stand-in content of " + name + "\r\n";
}

void WriteStandInFiles(const std::string& folder) {
    for (const char* name : kInstallFileNames) {
        WriteFileBytes(folder + "\\" + name, StandInContent(name));
    }
}

void ExpectUninstallEntryDetails(HKEY root, const std::string& entryKey, const std::string& installDir,
                                 const std::string& version) {
    const RegValue icon = ReadRegValue(root, entryKey, "DisplayIcon");
    EXPECT_EQ(icon.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(Hex(icon.data), Hex(installDir + "\\QUORIN32.EXE,0" + std::string(1, '\0')));
    const RegValue shown = ReadRegValue(root, entryKey, "DisplayVersion");
    EXPECT_EQ(shown.exists, !version.empty());
    if (!version.empty()) {
        EXPECT_EQ(shown.type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(shown.data, version + std::string(1, '\0'));
    }
    unsigned long long bytes = 0;
    for (const char* name : kInstallFileNames) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA((installDir + "\\" + name).c_str(), GetFileExInfoStandard, &data))
            bytes += data.nFileSizeLow;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    char today[16];
    snprintf(today, sizeof today, "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
    struct DwordExpect {
        const char* name;
        DWORD value;
    };
    const DwordExpect numbers[] = {{"EstimatedSize", static_cast<DWORD>((bytes + 1023) / 1024)},
                                   {"NoModify", 1},
                                   {"NoRepair", 1}};
    for (const DwordExpect& n : numbers) {
        const RegValue got = ReadRegValue(root, entryKey, n.name);
        EXPECT_EQ(got.type, static_cast<DWORD>(REG_DWORD)) << n.name;
        EXPECT_EQ(Hex(got.data), Hex(std::string(reinterpret_cast<const char*>(&n.value), 4))) << n.name;
    }
    const RegValue date = ReadRegValue(root, entryKey, "InstallDate");
    EXPECT_EQ(date.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(date.data, today + std::string(1, '\0'));
    const RegValue quiet = ReadRegValue(root, entryKey, "QuietUninstallString");
    EXPECT_EQ(quiet.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(quiet.data, "\"" + installDir + "\\setup.exe\" " +
                              (root == HKEY_LOCAL_MACHINE ? "/r" : "/R") + " /S" + std::string(1, '\0'));
}

RegistryValueGuard::RegistryValueGuard(HKEY root, std::string path, std::vector<std::string> names)
    : root_(root), path_(std::move(path)) {
    for (const std::string& name : names) {
        RegValue value = ReadRegValue(root_, path_, name.c_str());
        saved_.push_back({name, value.exists, value.type, value.data});
    }
}

RegistryValueGuard::~RegistryValueGuard() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    for (const Saved& saved : saved_) {
        if (saved.exists) {
            RegSetValueExA(key, saved.name.c_str(), 0, saved.type,
                           reinterpret_cast<const BYTE*>(saved.data.data()),
                           static_cast<DWORD>(saved.data.size()));
        } else {
            RegDeleteValueA(key, saved.name.c_str());
        }
    }
    RegCloseKey(key);
}

} // namespace bench
