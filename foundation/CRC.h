// The program's file checksum, as listed by the update service for every program file:
// CRC-32 with the polynomial 0x04C11DB7 and a register that starts at 0xFFFFFFFF and shifts
// towards its top bit, each byte's bits taken from the least significant up, no final inversion.
// "abc" gives 0xBC7DDB53; no bytes give 0xFFFFFFFF.
#pragma once
#include <cstddef>
#include <cstdint>

inline constexpr uint32_t kCRCStart = 0xFFFFFFFF;

uint32_t CalculateCRC(const void* pBuffer, size_t nLength);

// The same over data that comes in pieces: start from kCRCStart and feed the pieces in order.
uint32_t ContinueCRC(uint32_t uCRC, const void* pBuffer, size_t nLength);
