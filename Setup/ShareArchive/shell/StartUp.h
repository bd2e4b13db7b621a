// Start-up and mode selection.
#pragma once
#include <windows.h>

enum SetupMode { InstallMode, UninstallAllUsersMode, UninstallCurrentUserMode };

// The whole run; returns the process exit code (always 0).
int SetupMain(HINSTANCE instance);

// The steps of start-up, in the order SetupMain runs them.
void RestrictDllSearch();
SetupMode ModeFromArgument(const char* argument1);
void ReadSetupFolders();             // SetupDir, WindowsDir
void BuildDefaultFolder(char* folder); // 260 bytes
void ReadStoredLocation(const char* defaultFolder, char* candidate); // ProductKey, InstallLocation, CommonMode
void ProbeInstallFolder(char* candidate);
// The folder Quorin32 at the root of the candidate's drive; a location without a
// drive letter (a network path) takes the drive of the Windows directory.
void BuildFallbackFolder(const char* candidate, char* folder); // 260 bytes
void ApplyFamilyRule();
void OfferSettingsMigration();
// A carried-over settings file that could not be copied yet because the install
// folder did not exist is copied here into InstallDir once it does. Runs after the
// wizard; the install step may call it as soon as the folder exists (idempotent).
void CompleteSettingsMigration();
void LaunchApplication();
