#include "MemberPath.h"
#include "ArchivePlatform.h"
#include "Cp932.h"
#include <string.h>

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// CON, NUL, COM1 ... name devices in every folder, with or without an extension.
bool IsDeviceName(const char* name, size_t length) {
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    size_t base = 0;
    while (base < length && name[base] != '.')
        ++base;
    char upper[8];
    if (base >= sizeof upper)
        return false;
    for (size_t i = 0; i < base; ++i)
        upper[i] = Upper(name[i]);
    upper[base] = 0;
    for (const char* device : kDevices)
        if (strcmp(upper, device) == 0)
            return true;
    return base == 4 && (memcmp(upper, "COM", 3) == 0 || memcmp(upper, "LPT", 3) == 0) &&
           upper[3] >= '1' && upper[3] <= '9';
}

// A component of dots only ("..", "...") leaves the folder or is not a name.
bool IsDotsOnly(const char* name, size_t length) {
    if (length < 2)
        return false;
    for (size_t i = 0; i < length; ++i)
        if (name[i] != '.')
            return false;
    return true;
}

bool ComponentIsSafe(const char* name, size_t length) {
    return !IsDotsOnly(name, length) && !IsDeviceName(name, length);
}

// A member directory is relative to the destination even when it starts with a
// separator, as some archivers write it. Separators are single bytes, and the
// first byte of a text is never a trail byte.
const char* RelativeDirectory(const char* directory) {
    while (IsSeparator(*directory))
        ++directory;
    return directory;
}

} // namespace

bool MemberPathIsSafe(const char* directory, const char* fileName) {
    directory = RelativeDirectory(directory);
    if (IsSeparator(fileName[0]))
        return false;
    char joined[512];
    size_t directoryLength = strlen(directory);
    size_t nameLength = strlen(fileName);
    if (directoryLength + nameLength >= sizeof joined)
        return false;
    memcpy(joined, directory, directoryLength);
    memcpy(joined + directoryLength, fileName, nameLength + 1);

    const char* component = joined;
    for (const char* p = joined;; p = Cp932Next(p)) {
        if (*p == ':')
            return false; // a drive ("C:") or a stream of another file
        if (*p == 0 || (!Cp932IsLeadByte(*p) && IsSeparator(*p))) {
            if (!ComponentIsSafe(component, static_cast<size_t>(p - component)))
                return false;
            if (*p == 0)
                return true;
            component = p + 1;
        }
    }
}

bool BuildDestination(char* destination, size_t capacity, const char* folder) {
    size_t length = strlen(folder);
    if (length + 2 > capacity)
        return false;
    memcpy(destination, folder, length + 1);
    const char* last = nullptr;
    for (const char* p = folder; *p; p = Cp932Next(p))
        last = p;
    if (last && !(IsSeparator(*last) && last[1] == 0)) {
        destination[length] = kArchivePathSeparator;
        destination[length + 1] = 0;
    }
    return true;
}

bool BuildTargetPath(char* target, size_t capacity, const char* destination, const char* directory,
                     const char* fileName) {
    directory = RelativeDirectory(directory);
    size_t destinationLength = strlen(destination);
    size_t directoryLength = strlen(directory);
    size_t nameLength = strlen(fileName);
    if (destinationLength + directoryLength + nameLength + 1 > capacity)
        return false;
    memcpy(target, destination, destinationLength);
    memcpy(target + destinationLength, directory, directoryLength);
    memcpy(target + destinationLength + directoryLength, fileName, nameLength + 1);
    return ArchiveAdaptMemberPath(target + destinationLength);
}
