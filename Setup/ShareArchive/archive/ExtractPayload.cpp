// ExtractPayload: the archive is resource 19 of the program's own image, read in place.
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

int ExtractPayload(HINSTANCE instance, const char* destinationFolder) {
    const unsigned char* data = nullptr;
    long size = 0;
    const int locked = LockPayload(instance, &data, &size);
    return locked != kArchiveOk ? locked : ExtractArchive(data, size, destinationFolder);
}

int CheckPayload(HINSTANCE instance, const char* const* names, int nameCount) {
    const unsigned char* data = nullptr;
    long size = 0;
    const int locked = LockPayload(instance, &data, &size);
    return locked != kArchiveOk ? locked
                                : CheckPayloadArchive(data, size, names, nameCount, nullptr, nullptr);
}
