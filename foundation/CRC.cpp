#include "foundation/CRC.h"

#include <zlib.h>

// zlib's crc32 runs the same register mirrored (reflected polynomial, bits fed from the least
// significant) and inverts it on the way in and out; undo both to get the program's value.
namespace {

uint32_t Reverse(uint32_t x)
{
    x = (x >> 1 & 0x55555555) | (x & 0x55555555) << 1;
    x = (x >> 2 & 0x33333333) | (x & 0x33333333) << 2;
    x = (x >> 4 & 0x0F0F0F0F) | (x & 0x0F0F0F0F) << 4;
    x = (x >> 8 & 0x00FF00FF) | (x & 0x00FF00FF) << 8;
    return x >> 16 | x << 16;
}

}  // namespace

uint32_t ContinueCRC(uint32_t uCRC, const void* pBuffer, size_t nLength)
{
    if (nLength == 0)
        return uCRC;
    uLong z = ~Reverse(uCRC) & 0xFFFFFFFFu;
    z = crc32_z(z, static_cast<const Bytef*>(pBuffer), nLength);
    return Reverse(~static_cast<uint32_t>(z));
}

uint32_t CalculateCRC(const void* pBuffer, size_t nLength)
{
    return ContinueCRC(kCRCStart, pBuffer, nLength);
}
