// CRC-16/ARC (reflected polynomial 0xA001, initial 0, no final XOR), the data
// check of every LHA member.
#pragma once
#include <stddef.h>
#include <stdint.h>

// The classic 256-entry table.
void BuildCrcTable(uint16_t table[256]);

// Continues crc over count bytes (eight bytes per step).
uint16_t UpdateCrc16(uint16_t crc, const unsigned char* data, size_t count);
