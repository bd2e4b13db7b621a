// ExtractPayload: the archive is resource 19 of the program's own image, read in place.
#include "ExtractPayload.h"
#include "ArchiveResult.h"

int ExtractPayload(HINSTANCE instance, const char* destinationFolder) {
    const WORD kPayloadResource = 19;
    HRSRC resource = FindResourceA(instance, MAKEINTRESOURCEA(kPayloadResource),
                                   MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    if (!resource)
        return kArchiveNotFound;
    HGLOBAL loaded = LoadResource(instance, resource);
    if (!loaded)
        return kArchiveNotFound;
    const void* data = LockResource(loaded);
    if (!data)
        return kArchiveMemoryError;
    DWORD size = SizeofResource(instance, resource);
    return ExtractArchive(static_cast<const unsigned char*>(data), static_cast<long>(size),
                          destinationFolder);
}
