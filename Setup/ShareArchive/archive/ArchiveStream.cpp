#include "ArchiveStream.h"
#include "ArchiveResult.h"
#include <string.h>

ArchiveStream::ArchiveStream(const unsigned char* data, int32_t dataSize)
    : status(0), remaining(dataSize < 0 ? 0 : dataSize), size(dataSize < 0 ? 0 : dataSize),
      base(data), current(data) {}

void ArchiveStream::SetPosition(int64_t position) {
    // Keep remaining (= size - position) representable.
    if (position < static_cast<int64_t>(size) - INT32_MAX)
        position = static_cast<int64_t>(size) - INT32_MAX;
    if (position > INT32_MAX)
        position = INT32_MAX;
    remaining = static_cast<int32_t>(size - position);
    int64_t inside = position < 0 ? 0 : (position > size ? size : position);
    current = base + inside;
}

int32_t ArchiveStream::Seek(int32_t offset, int origin) {
    switch (origin) {
    case 0:
        SetPosition(offset);
        return offset;
    case 1:
        SetPosition(static_cast<int64_t>(Tell()) + offset);
        return offset;
    case 2:
        SetPosition(static_cast<int64_t>(size) + offset);
        return -offset;
    default:
        return origin - 2;
    }
}

int ArchiveStream::ReadByte() {
    if (!InBlock()) {
        status = kStreamEndOfData;
        return -1;
    }
    --remaining;
    return *current++;
}

unsigned ArchiveStream::ReadWord() {
    unsigned low = static_cast<unsigned>(ReadByte()) & 0xFF;
    unsigned high = static_cast<unsigned>(ReadByte()) & 0xFF;
    return low | high << 8;
}

uint32_t ArchiveStream::ReadDword() {
    uint32_t low = ReadWord();
    uint32_t high = ReadWord();
    return low | high << 16;
}

int32_t ArchiveStream::ReadBytes(unsigned char* buffer, int32_t count) {
    if (count <= 0)
        return count;
    int32_t present = Available();
    if (present > count)
        present = count;
    if (present > 0) {
        memcpy(buffer, current, static_cast<size_t>(present));
        current += present;
        remaining -= present;
    }
    if (present < count) {
        memset(buffer + present, 0xFF, static_cast<size_t>(count - present));
        status = kStreamEndOfData;
    }
    return count;
}
