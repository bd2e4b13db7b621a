// The .QRB document type and the uninstall entry.
#pragma once
#include <windows.h>

void RegisterDocumentType(const char* installDir, const char* const* fileList,
                          const char* progId, const char* description, const char* extension);
void UnregisterDocumentType(const char* progId);
int WriteUninstallEntry(const char* displayName, const char* installDir,
                        const char* groupValueName, const char* entryParentPath,
                        const char* groupName, const char* helpLink, const char* updateInfoUrl,
                        const char* publisher, int machineWide);
