// Start-up and mode selection.
#pragma once
#include <windows.h>

enum SetupMode { InstallMode, UninstallAllUsersMode, UninstallCurrentUserMode };

// The whole run; returns the process exit code (0 but for unattended runs that fail).
int SetupMain(HINSTANCE instance);

// The steps of start-up, in the order SetupMain runs them.
void RestrictDllSearch();
void SetShellKind(); // NewShell from the major version
SetupMode ModeFromArgument(const char* argument1);
// Fills the setup state for the mode: folders, product key, InstallDir, CommonMode and
// CommonAllowed (the steps below, from ReadSetupFolders to the uninstall switch).
void PrepareSetupState(SetupMode mode);
void ReadSetupFolders();               // SetupDir, WindowsDir
void BuildDefaultFolder(char* folder); // 260 bytes
// ProductKey, then InstallLocation (into the 260-byte candidate; the default folder when
// none is stored: false) and CommonMode.
bool ReadStoredLocation(const char* defaultFolder, char* candidate);
void ProbeInstallFolder(char* candidate);
// Uninstall mode: the folder the uninstall entry of the switch's root recorded
// (HKEY_LOCAL_MACHINE for "/r", HKEY_CURRENT_USER for "/R") replaces the candidate; without
// one, the stored folder stays, else the program's own folder when it holds the application
// and the other root's entry names it. Returns the mode to remove the installation as: the
// other root's when only its entry names the settled folder.
SetupMode SettleUninstallFolder(SetupMode mode, char* candidate, bool stored);
// InstallLocation of the uninstall entry under root (empty when there is none).
void ReadEntryLocation(HKEY root, char* location);
// The folder holds the application program (QUORIN32.EXE): an installation to remove.
bool HoldsApplication(const char* folder);
// The folder Quorin32 at the root of the candidate's drive; a location without a
// drive letter (a network path) takes the drive of the Windows directory.
void BuildFallbackFolder(const char* candidate, char* folder); // 260 bytes
void ApplyFamilyRule();
void ApplyUninstallSwitch(SetupMode mode); // CommonMode from "/r" or "/R"
// Asks whether to carry over the Windows 3.1 edition's settings and remembers a Yes;
// nothing is copied yet, since the user may still choose another folder.
void OfferSettingsMigration();
// Copies the settings the user agreed to carry over into InstallDir, never overwriting.
// The install step calls it each time it has put the files into a folder. The name of
// the file it added to the folder, or null.
const char* CompleteSettingsMigration();
void ForgetSettingsMigration(); // a new run (tests)
void LaunchApplication();
