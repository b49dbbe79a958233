// Feeds arbitrary bytes to the listings update-file decoder: the first byte picks the whole
// file as downloaded, or the rest compressed and scrambled behind a version-8 header (so that
// the payload reader is reached through inflation). Nothing may crash, leak or read out of
// bounds; whatever decodes must respect the limits.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "foundation/DeploymentKeys.h"
#include "foundation/Exceptions.h"
#include "foundation/Tea.h"
#include "listings/UpdateFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    std::vector<uint8_t> file;
    if (data[0] & 1) {
        file.assign(data + 1, data + size);
    } else {
        uLongf packed = compressBound(uLong(size - 1));
        file.resize(9 + packed);
        file[4] = 8;
        file[8] = 1;
        if (compress2(file.data() + 9, &packed, data + 1, uLong(size - 1), 1) != Z_OK)
            return 0;
        file.resize(9 + packed);
        TeaEncipherBuffer(file.data() + 9, packed, kUpdateFileKey);
    }
    try {
        for (const ChannelPlan& channel : DecodeUpdateFile(std::move(file)))
            for (const PlannedProgramme& programme : channel.programmes)
                if (programme.keywords.size() > 65535)
                    std::abort();
    } catch (CBaseException* e) {
        e->Delete();
    }
    return 0;
}
