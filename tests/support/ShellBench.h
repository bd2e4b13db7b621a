// Shell-side facilities of the test bench: shell links read back through the
// shell-link component, the shell folders, a DDE client and the Program Manager
// peer, and a folder of stand-in application files.
#pragma once
#include <windows.h>
#include <ddeml.h>

#include <string>
#include <vector>

namespace bench {

struct LinkInfo {
    bool loaded = false;
    std::string target;
    std::string description;
    std::string workingDir;
    std::string arguments;
    std::string iconPath;
    int iconIndex = -1;
};
// Loads the .lnk file with IShellLinkA/IPersistFile (COM must be initialised).
LinkInfo ReadShellLink(const std::string& linkPath);

// The platform's own idea of a shell folder (SHGetFolderPathA), e.g. CSIDL_PROGRAMS.
std::string ShellFolderPath(int csidl);
// A value of the Explorer "Shell Folders" key (per user, or HKLM when allUsers).
std::string ShellFoldersValue(bool allUsers, const char* name);

// Checks the values that follow the uninstall entry's first seven, byte for byte:
// DisplayIcon, DisplayVersion (version empty: there must be none), EstimatedSize (the nine
// files of installDir in KiB, rounded up), InstallDate (today), NoModify, NoRepair and
// QuietUninstallString ("<dir>\setup.exe" with /r /S under HKEY_LOCAL_MACHINE, else /R /S).
void ExpectUninstallEntryDetails(HKEY root, const std::string& entryKey, const std::string& installDir,
                                 const std::string& version);

// Wine's shell starts winemenubuilder for every link saved in the Start menu or
// on the desktop; it copies them into the Linux desktop's menus and holds the
// files meanwhile. Disabled for the prefix (a DLL override), once per process.
void DisableMenuBuilder();

// A DDE client instance for the calling thread, released with the object.
class DdeClient {
  public:
    DdeClient();
    ~DdeClient();
    DdeClient(const DdeClient&) = delete;
    DdeClient& operator=(const DdeClient&) = delete;
    DWORD instance() const { return instance_; }

  private:
    DWORD instance_ = 0;
};

// Whether a DDE conversation with service and topic PROGMAN can be made now.
bool ProgmanAvailable();

// The Program Manager DDE server of the platform's shell, served by our peer
// process (tests/support/peers) for as long as the object lives.
class ProgmanServer {
  public:
    ProgmanServer();
    ~ProgmanServer();
    ProgmanServer(const ProgmanServer&) = delete;
    ProgmanServer& operator=(const ProgmanServer&) = delete;
    bool ready() const { return ready_; }

  private:
    HANDLE process_ = nullptr;
    bool ready_ = false;
};

// The nine installed file names and distinct stand-in contents for each.
extern const char* const kInstallFileNames[9];
std::string StandInContent(const std::string& name);
// Writes the nine stand-in files into folder.
void WriteStandInFiles(const std::string& folder);

// Saves a set of registry values and puts them back afterwards.
class RegistryValueGuard {
  public:
    RegistryValueGuard(HKEY root, std::string path, std::vector<std::string> names);
    ~RegistryValueGuard();
    RegistryValueGuard(const RegistryValueGuard&) = delete;
    RegistryValueGuard& operator=(const RegistryValueGuard&) = delete;

  private:
    struct Saved {
        std::string name;
        bool exists;
        DWORD type;
        std::string data;
    };
    HKEY root_;
    std::string path_;
    std::vector<Saved> saved_;
};

} // namespace bench
