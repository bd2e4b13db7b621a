// The payload: resource 19 of the program's own image, read in place.
#include "ExtractPayload.h"
#include "ArchiveResult.h"
#include "ExtractArchive.h"

namespace {

// The locked bytes of resource 19, or the code that says why there are none.
int LockPayload(HINSTANCE instance, const unsigned char** data, long* size) {
    const WORD kPayloadResource = 19;
    HRSRC resource = FindResourceA(instance, MAKEINTRESOURCEA(kPayloadResource),
                                   MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    if (!resource)
        return kArchiveNotFound;
    HGLOBAL loaded = LoadResource(instance, resource);
    if (!loaded)
        return kArchiveNotFound;
    const void* locked = LockResource(loaded);
    if (!locked)
        return kArchiveMemoryError;
    *data = static_cast<const unsigned char*>(locked);
    *size = static_cast<long>(SizeofResource(instance, resource));
    return kArchiveOk;
}

} // namespace

int StagePayload(HINSTANCE instance, StagedFiles& staged, const char* const* names, int nameCount,
                 MemberReport report, void* context) {
    const unsigned char* data = nullptr;
    long size = 0;
    const int locked = LockPayload(instance, &data, &size);
    return locked != kArchiveOk
               ? locked
               : StagePayloadArchive(data, size, names, nameCount, staged, report, context);
}

uint64_t PayloadRoom(HINSTANCE instance, uint32_t clusterBytes) {
    const unsigned char* data = nullptr;
    long size = 0;
    return LockPayload(instance, &data, &size) == kArchiveOk
               ? PayloadArchiveRoom(data, size, clusterBytes)
               : 0;
}
