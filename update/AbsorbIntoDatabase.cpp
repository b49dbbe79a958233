// The update run over the programme database and the shared lists it refreshes.
#include "update/AbsorbIntoDatabase.h"

#include <algorithm>

#include "app/ApplicationServices.h"
#include "foundation/Exceptions.h"
#include "foundation/Log.h"
#include "images/Image.h"
#include "listings/CategoryFile.h"
#include "listings/ChannelGroups.h"
#include "listings/ProgrammeDBManager.h"
#include "listings/Regions.h"

std::vector<uint32_t> CDatabaseAbsorbTarget::GetUserChannels()
{
    CChannelAssignmentList list;
    CChannelGroups::Instance().FillAssignmentList(list);
    std::vector<uint32_t> channels;
    for (size_t i = 0; i < list.GetCount(); ++i) {
        const uint32_t channel = list.GetAt(i)->GetChannelID();
        if (std::find(channels.begin(), channels.end(), channel) == channels.end())
            channels.push_back(channel);
    }
    return channels;
}

uint32_t CDatabaseAbsorbTarget::GetChannelLastUpdateID(uint32_t channel)
{
    CProgrammeDBFlat* database = CProgrammeDBManager::Instance().GetDatabase();
    return database ? database->GetChannelLastUpdateID(channel) : 0;
}

bool CDatabaseAbsorbTarget::IsUpdateFileQueued(uint32_t channel, uint32_t update)
{
    CProgrammeDBFlat* database = CProgrammeDBManager::Instance().GetDatabase();
    return database && database->IsUpdateFileQueued(channel, update);
}

void CDatabaseAbsorbTarget::AbsorbFile(const std::string& path)
{
    if (CProgrammeDBFlat* database = CProgrammeDBManager::Instance().GetDatabase())
        database->AbsorbFile(path);
    else
        LogWarning("QV No programme database to absorb %s; it waits in the pending folder", path.c_str());
}

void CDatabaseAbsorbTarget::ReloadCategories()
{
    CApplicationServices* services = GetApplicationServices();
    if (services && !LoadCategories(services->GetFolder("app-folder") + "category"))
        LogWarning("QV Failed to reload the categories");
}

void CDatabaseAbsorbTarget::ReloadKeywords()
{
    CProgrammeDBManager::Instance().ReloadKeywords();
}

void CDatabaseAbsorbTarget::ClearImageCache()
{
    ::ClearImageCache();
}

void CDatabaseAbsorbTarget::ReapplyRegion(uint32_t regionID, bool includeDigital)
{
    // The region file that was just installed is read afresh; without it nothing changes.
    CRegions regions;
    if (regions.LoadRegionXML())
        regions.ResetRegion(regionID, includeDigital);
}

void CDatabaseAbsorbTarget::ReloadFolderPaths()
{
    if (m_reloadFolders)
        m_reloadFolders();
}
