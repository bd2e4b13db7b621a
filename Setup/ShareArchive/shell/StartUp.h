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
// ProductKey, then InstallLocation (into the 260-byte candidate) and CommonMode.
void ReadStoredLocation(const char* defaultFolder, char* candidate);
void ProbeInstallFolder(char* candidate);
// Uninstall mode: the folder the uninstall entry of the mode recorded (HKEY_LOCAL_MACHINE
// for "/r", HKEY_CURRENT_USER for "/R") replaces the candidate; without one it stays.
void ReadEntryLocation(SetupMode mode, char* candidate);
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
