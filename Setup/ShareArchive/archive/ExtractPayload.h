// The setup program's payload archive (RCDATA resource 19), read in place.
// Result codes: ArchiveResult.h; the caller shows string 3000 + code.
#pragma once
#include "ExtractArchive.h"
#include <stdint.h>
#ifdef _WIN32
#include <windows.h>
#endif

#ifdef _WIN32
// Decodes every member of resource 19 of instance once into a temporary file of staged,
// under the payload's rules with the names the install writes (StagePayloadArchive).
// report (may be null) hears about every member.
int StagePayload(HINSTANCE instance, StagedFiles& staged, const char* const* names, int nameCount,
                 MemberReport report = nullptr, void* context = nullptr);
// The room the members of resource 19 take once written (PayloadArchiveRoom); 0 without it.
uint64_t PayloadRoom(HINSTANCE instance, uint32_t clusterBytes);
#endif

// The extraction loop over an archive image in memory: every member is written
// into destinationFolder until the archive ends or a member fails.
int ExtractArchive(const unsigned char* data, long size, const char* destinationFolder,
                   MemberReport report = nullptr, void* context = nullptr);
