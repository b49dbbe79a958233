// TEA, the Tiny Encryption Algorithm (32 cycles, delta 0x9E3779B9, 128-bit key), with which the
// program scrambles setting values, theme archive entries, schedule records and listings update
// files. Keys are in foundation/DeploymentKeys.h.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

using TeaKey = std::array<uint32_t, 4>;

// One block of two words, in place.
void TeaEncipher(uint32_t v[2], const TeaKey& key);
void TeaDecipher(uint32_t v[2], const TeaKey& key);

// One 8-byte block in place: the first word from its first four bytes, the second from the
// next four, each least significant byte first.
void TeaEncipherBlock(uint8_t* pBlock, const TeaKey& key);
void TeaDecipherBlock(uint8_t* pBlock, const TeaKey& key);

// The block mode of whole buffers. Fewer than 8 bytes stay as they are. Enciphering does every
// whole 8-byte block from the start, then, when the length is not a multiple of 8, the last 8
// bytes (overlapping the last whole block) once more. Deciphering does the reverse.
void TeaEncipherBuffer(uint8_t* pBuffer, size_t nLength, const TeaKey& key);
void TeaDecipherBuffer(uint8_t* pBuffer, size_t nLength, const TeaKey& key);
