// The update run's view of this program: the line-up of the channel groups, the programme
// database of the database manager and its absorber, and the reloads of the category list, the
// keyword list, the image cache, the region line-up and the folder table. Each of those owners
// builds its new contents apart and swaps them in under its own lock, so the calls are safe from
// the update worker thread.
#pragma once
#include <functional>

#include "update/AbsorbTarget.h"

class CDatabaseAbsorbTarget : public IAbsorbTarget {
public:
    // reloadFolders reads the folder table again; it belongs to the table's owner.
    explicit CDatabaseAbsorbTarget(std::function<void()> reloadFolders = {})
        : m_reloadFolders(std::move(reloadFolders)) {}

    std::vector<uint32_t> GetUserChannels() override;
    uint32_t GetChannelLastUpdateID(uint32_t channel) override;
    bool IsUpdateFileQueued(uint32_t channel, uint32_t update) override;
    void AbsorbFile(const std::string& path) override;
    void ReloadCategories() override;
    void ReloadKeywords() override;
    void ClearImageCache() override;
    void ReapplyRegion(uint32_t regionID, bool includeDigital) override;
    void ReloadFolderPaths() override;

private:
    std::function<void()> m_reloadFolders;
};
