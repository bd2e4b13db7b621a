// Read-only byte stream over a memory block it does not own (the locked
// resource, or a file image loaded by the host tool).
#pragma once
#include <stdint.h>

class ArchiveStream final {
public:
    ArchiveStream(const unsigned char* data, int32_t dataSize);

    // origin 0: from the start, 1: from the current position, 2: from the end.
    // No bound is enforced; reads outside the block report end of data.
    virtual int32_t Seek(int32_t offset, int origin);

    int ReadByte(); // 0..255, or -1 (and status 10) at end of data
    unsigned ReadWord();
    uint32_t ReadDword();
    int32_t ReadBytes(unsigned char* buffer, int32_t count); // missing bytes read as 0xFF
    int32_t Tell() const { return size - remaining; }

    // Bytes that can still be read from the current position (0 outside the block).
    int32_t Available() const { return InBlock() ? remaining : 0; }

    int32_t status;    // 0, or kStreamEndOfData once a read found no byte
    int32_t remaining; // size - position; may leave 0..size after a seek
    int32_t size;
    const unsigned char* base;
    // Next byte to read. It is kept inside the block (clamped) so that no pointer
    // ever leaves it; the exact position is carried by remaining.
    const unsigned char* current;

private:
    bool InBlock() const { return remaining > 0 && remaining <= size; }
    void SetPosition(int64_t position);
};
