// What an update run needs from the rest of the program: the user's channels and how far each
// one's listings go, the absorber queue for listings update files, and the reloads of the data
// files an update replaces. The program's implementation sits over the programme database; the
// calls come from the update worker thread, so each reload must build its new object apart and
// swap it in under the owner's lock (or hand the work to the main thread).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class IAbsorbTarget {
public:
    virtual ~IAbsorbTarget() = default;

    // The distinct channel ids of the user's line-up.
    virtual std::vector<uint32_t> GetUserChannels() = 0;
    // The number of the last listings update absorbed for the channel; 0 for none.
    virtual uint32_t GetChannelLastUpdateID(uint32_t channel) = 0;
    // True when that update file already waits in the absorber's queue.
    virtual bool IsUpdateFileQueued(uint32_t channel, uint32_t update) = 0;
    // Queues a listings update file of the pending folder for the background absorber.
    virtual void AbsorbFile(const std::string& path) = 0;

    virtual void ReloadCategories() = 0;
    virtual void ReloadKeywords() = 0;
    virtual void ClearImageCache() = 0;
    // Applies the region to the user's line-up again.
    virtual void ReapplyRegion(uint32_t regionID, bool includeDigital) = 0;
    virtual void ReloadFolderPaths() = 0;
};
