#include "ShellBench.h"
#include "WineBench.h"

#include <objbase.h>
#include <shlobj.h>

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
    if (!value.exists) return std::string();
    return std::string(value.data.c_str());
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
    if (instance_ != 0) DdeUninitialize(instance_);
}

bool ProgmanAvailable() {
    DdeClient client;
    if (client.instance() == 0) return false;
    HSZ name = DdeCreateStringHandleA(client.instance(), "PROGMAN", CP_WINANSI);
    HCONV conversation = DdeConnect(client.instance(), name, name, nullptr);
    if (conversation) DdeDisconnect(conversation);
    DdeFreeStringHandle(client.instance(), name);
    return conversation != nullptr;
}

ProgmanServer::ProgmanServer() {
    std::string program = BuildFile("tests\\peers\\progman-peer.exe");
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    std::string line = "\"" + program + "\"";
    if (!CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
        return;
    }
    CloseHandle(started.hThread);
    process_ = started.hProcess;
    ready_ = WaitUntil([] { return ProgmanAvailable(); }, 20000);
}

ProgmanServer::~ProgmanServer() {
    if (process_ == nullptr) return;
    TerminateProcess(process_, 0);
    WaitForSingleObject(process_, 5000);
    CloseHandle(process_);
    // The service is gone only once the server's windows are.
    WaitUntil([] { return !ProgmanAvailable(); }, 5000);
}

const char* const kInstallFileNames[9] = {
    "QUORIN32.EXE", "QUORIN32.HLP", "QUORIN32.TXT", "QUORIN32.DLL", "QUORIN32.CNT",
    "TIPS.TXT",     "SETUP.EXE",    "HISTORY.TXT",  "quorin.url",
};

std::string StandInContent(const std::string& name) { return "stand-in content of " + name + "\r\n"; }

void WriteStandInFiles(const std::string& folder) {
    for (const char* name : kInstallFileNames) {
        WriteFileBytes(folder + "\\" + name, StandInContent(name));
    }
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
