// The .QRB document type and the uninstall entry.
#pragma once
#include <windows.h>

// The publisher as the uninstall entry names it.
extern const char* const PublisherName;         // "Marveno Corporation"
extern const char* const PublisherHomePage;     // HelpLink
extern const char* const PublisherWhatsNewPage; // URLUpdateInfo (new.html)

void RegisterDocumentType(const char* installDir, const char* const* fileList, const char* progId,
                          const char* description, const char* extension);
void UnregisterDocumentType(const char* progId);
int WriteUninstallEntry(const char* displayName, const char* installDir, const char* groupValueName,
                        const char* entryParentPath, const char* groupName, const char* helpLink,
                        const char* updateInfoUrl, const char* publisher, int machineWide);

// The program path as the association names it: the 8.3 form of the path, or
// the long path in double quotes when that holds a blank (no 8.3 form to be had).
void DocumentProgramPath(const char* programPath, char* result, size_t capacity);
