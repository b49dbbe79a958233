#include "foundation/Tea.h"

namespace {

constexpr uint32_t kDelta = 0x9E3779B9;
constexpr int kCycles = 32;

uint32_t LoadWord(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}

void StoreWord(uint8_t* p, uint32_t w)
{
    p[0] = uint8_t(w);
    p[1] = uint8_t(w >> 8);
    p[2] = uint8_t(w >> 16);
    p[3] = uint8_t(w >> 24);
}

template <void (*Cipher)(uint32_t*, const TeaKey&)>
void CipherBlock(uint8_t* pBlock, const TeaKey& key)
{
    uint32_t v[2] = {LoadWord(pBlock), LoadWord(pBlock + 4)};
    Cipher(v, key);
    StoreWord(pBlock, v[0]);
    StoreWord(pBlock + 4, v[1]);
}

}  // namespace

void TeaEncipher(uint32_t v[2], const TeaKey& k)
{
    uint32_t y = v[0], z = v[1], sum = 0;
    for (int i = 0; i < kCycles; ++i) {
        sum += kDelta;
        y += ((z << 4) + k[0]) ^ (z + sum) ^ ((z >> 5) + k[1]);
        z += ((y << 4) + k[2]) ^ (y + sum) ^ ((y >> 5) + k[3]);
    }
    v[0] = y;
    v[1] = z;
}

void TeaDecipher(uint32_t v[2], const TeaKey& k)
{
    uint32_t y = v[0], z = v[1], sum = kDelta * kCycles;
    for (int i = 0; i < kCycles; ++i) {
        z -= ((y << 4) + k[2]) ^ (y + sum) ^ ((y >> 5) + k[3]);
        y -= ((z << 4) + k[0]) ^ (z + sum) ^ ((z >> 5) + k[1]);
        sum -= kDelta;
    }
    v[0] = y;
    v[1] = z;
}

void TeaEncipherBlock(uint8_t* pBlock, const TeaKey& key)
{
    CipherBlock<TeaEncipher>(pBlock, key);
}

void TeaDecipherBlock(uint8_t* pBlock, const TeaKey& key)
{
    CipherBlock<TeaDecipher>(pBlock, key);
}

void TeaEncipherBuffer(uint8_t* pBuffer, size_t nLength, const TeaKey& key)
{
    if (nLength < 8)
        return;
    for (size_t i = 0; i + 8 <= nLength; i += 8)
        TeaEncipherBlock(pBuffer + i, key);
    if (nLength % 8)
        TeaEncipherBlock(pBuffer + nLength - 8, key);
}

void TeaDecipherBuffer(uint8_t* pBuffer, size_t nLength, const TeaKey& key)
{
    if (nLength < 8)
        return;
    if (nLength % 8)
        TeaDecipherBlock(pBuffer + nLength - 8, key);
    for (size_t i = 0; i + 8 <= nLength; i += 8)
        TeaDecipherBlock(pBuffer + i, key);
}
