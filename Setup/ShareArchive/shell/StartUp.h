// Start-up and mode selection.
#pragma once
#include <windows.h>

enum SetupMode { InstallMode, UninstallAllUsersMode, UninstallCurrentUserMode };

// The whole run; returns the process exit code (always 0).
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
// The folder Quorin32 at the root of the candidate's drive; a location without a
// drive letter (a network path) takes the drive of the Windows directory.
void BuildFallbackFolder(const char* candidate, char* folder); // 260 bytes
void ApplyFamilyRule();
void ApplyUninstallSwitch(SetupMode mode); // CommonMode from "/r" or "/R"
void OfferSettingsMigration();
// A carried-over settings file that could not be copied yet because the install
// folder did not exist is copied here into InstallDir once it does. Runs after the
// wizard; the install step may call it as soon as the folder exists (idempotent).
void CompleteSettingsMigration();
void LaunchApplication();
