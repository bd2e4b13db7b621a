// Extraction of the setup program's payload archive (RCDATA resource 19).
// Result codes: ArchiveResult.h; the caller shows string 3000 + code.
#pragma once
#ifdef _WIN32
#include <windows.h>
#endif

#ifdef _WIN32
// Writes every member of resource 19 of instance into destinationFolder, which
// must exist. The resource is read in place.
int ExtractPayload(HINSTANCE instance, const char* destinationFolder);
// Reads resource 19 whole as the extraction will and checks it (CheckPayloadArchive)
// with the names the install writes, before anything is written. 0 when it is sound.
int CheckPayload(HINSTANCE instance, const char* const* names, int nameCount);
#endif

// The extraction loop over an archive image in memory: every member is written
// into destinationFolder until the archive ends or a member fails.
int ExtractArchive(const unsigned char* data, long size, const char* destinationFolder);
