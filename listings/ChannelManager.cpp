#include "listings/ChannelManager.h"

#include <algorithm>

#include "foundation/Exceptions.h"
#include "foundation/FileUtils.h"
#include "foundation/FolderPaths.h"
#include "foundation/KRXML.h"
#include "foundation/Log.h"
#include "foundation/NameHash.h"
#include "listings/ListingsFileReader.h"
#include "platform/File.h"

namespace {

// Channels files up to this version embed each channel's logo.
constexpr uint32_t kLastVersionWithImages = 4;

std::mutex g_processLock;
const CFolderPaths* g_pFolderPaths = nullptr;
std::shared_ptr<CChannelManager> g_pProcessManager;

struct ChannelDetails {
    std::string strShortName;
    std::string strLiveURL;
    std::string strCategory;
};

// The extra text of a channel entry: an "i" element with "short-name", "live-url" and
// "category", or, when it is not XML, the short name itself.
ChannelDetails ParseExtra(const std::string& strExtra)
{
    ChannelDetails details;
    KRXML::CElement* pParsed = nullptr;
    if (!KRXML::ParseText(strExtra.data(), static_cast<ptrdiff_t>(strExtra.size()), false, pParsed)) {
        details.strShortName = strExtra;
        return details;
    }
    KRXML::CElementPtr pRoot(pParsed);
    if (KRXML::CElement* pItem = pRoot->FindChild("i")) {
        const auto text = [&](const char* name) {
            const KRXML::CElement* pChild = pItem->FindChild(name);
            return pChild ? pChild->m_strValue : std::string();
        };
        details.strShortName = text("short-name");
        details.strLiveURL = text("live-url");
        details.strCategory = text("category");
    }
    return details;
}

}  // namespace

CChannelManager::CChannelManager(Folders folders) : m_folders(std::move(folders)) {}

std::vector<CChannelManager::Entry> CChannelManager::ReadChannelsFile()
{
    if (m_folders.strChannels.empty())
        throw new CExtraInfoException(14, "there is no channels folder");
    CListingsFileReader file(m_folders.strChannels + "channels");
    const uint32_t nCount = file.ReadU32();
    const uint32_t uVersion = nCount ? file.ReadU32() : 0;
    const bool bImages = uVersion <= kLastVersionWithImages;
    file.CheckCount(nCount, bImages ? 16 : 12);
    std::vector<Entry> entries;
    entries.reserve(nCount);
    for (uint32_t i = 0; i < nCount; ++i) {
        Entry entry;
        entry.uID = file.ReadU32();
        entry.strName = file.ReadString();
        entry.strExtra = file.ReadString();
        if (bImages) {
            const std::vector<uint8_t> image = file.ReadBytes(file.ReadU32());
            const std::string strImage = m_folders.strImages + std::to_string(entry.uID) + ".ch";
            if (!image.empty() && !m_folders.strImages.empty() && !(CreateFolderChain(m_folders.strImages) &&
                                    plat::WriteFileReplacing(strImage, image.data(), image.size())))
                LogWarning("Couldn't write the image of channel %u to %s because %s", entry.uID, strImage.c_str(),
                           FormatLastError().c_str());
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

// Logos once lived in another folder: copy each into the images folder, and delete the old
// one only once its copy is in place somewhere else.
void CChannelManager::MoveOldImages()
{
    if (m_folders.strOldImages.empty() || m_folders.strImages.empty())
        return;
    for (const plat::FileInfo& info : plat::FindFiles(m_folders.strOldImages + "*.ch")) {
        if (info.isDirectory)
            continue;
        const std::string strFrom = m_folders.strOldImages + info.name;
        const std::string strTo = m_folders.strImages + info.name;
        if (plat::IsSameFile(strFrom, strTo))
            continue;
        if (CreateFolderChain(m_folders.strImages) && CopyFileReplacing(strFrom, strTo))
            plat::DeleteFile(strFrom);
        else
            LogWarning("Couldn't move channel image %s to %s because %s", strFrom.c_str(), strTo.c_str(),
                       FormatLastError().c_str());
    }
}

void CChannelManager::Load()
{
    std::vector<Entry> entries;
    LogInfo("Loading channels");
    try {
        entries = ReadChannelsFile();
        LogInfo("%d channels loaded", static_cast<int>(entries.size()));
        LogInfo("Loading channels - done");
    } catch (CBaseException* e) {
        LogWarning("failed to load channels file because; %s", OneLineText(e->GetText()).c_str());
        e->Delete();
        entries.clear();
    }
    MoveOldImages();

    std::vector<CChannelPtr> channels;
    std::unordered_map<uint32_t, CChannelPtr> byID;
    for (Entry& entry : entries) {
        ChannelDetails details = ParseExtra(entry.strExtra);
        auto pChannel = std::make_shared<CChannel>(entry.uID, std::move(entry.strName), std::move(details.strShortName),
                                                   std::move(details.strLiveURL), std::move(details.strCategory),
                                                   m_folders.strImages);
        byID[pChannel->GetID()] = pChannel;
        channels.push_back(std::move(pChannel));
    }
    LogInfo("Available %d channels ", static_cast<int>(channels.size()));
    std::lock_guard<std::mutex> lock(m_lock);
    m_channels = std::move(channels);
    m_byID = std::move(byID);
}

CChannelPtr CChannelManager::GetChannel(uint32_t uID) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    const auto it = m_byID.find(uID);
    return it != m_byID.end() ? it->second : nullptr;
}

CChannelPtr CChannelManager::GetChannelByName(std::string_view name) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    for (const CChannelPtr& pChannel : m_channels)
        if (NamesEqual(pChannel->GetName(), name))
            return pChannel;
    return nullptr;
}

std::vector<CChannelPtr> CChannelManager::GetChannels() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_channels;
}

CChannelPtr CChannelManager::AddChannel(uint32_t uID, std::string strName, std::string strShortName,
                                        std::string strLiveURL, std::string strCategory)
{
    auto pChannel = std::make_shared<CChannel>(uID, std::move(strName), std::move(strShortName), std::move(strLiveURL),
                                               std::move(strCategory), m_folders.strImages);
    std::lock_guard<std::mutex> lock(m_lock);
    // A channel of the same id gives way in the list too, so no channel is listed twice.
    const auto same = std::find_if(m_channels.begin(), m_channels.end(),
                                   [uID](const CChannelPtr& pOld) { return pOld->GetID() == uID; });
    if (same != m_channels.end())
        *same = pChannel;
    else
        m_channels.push_back(pChannel);
    m_byID[uID] = pChannel;
    return pChannel;
}

void CChannelManager::MarkNewChannels(const std::set<uint32_t>& ids)
{
    std::lock_guard<std::mutex> lock(m_lock);
    LogInfo("%d new channels", static_cast<int>(ids.size()));
    if (ids.empty())
        return;
    LogInfo("New channels...");
    for (const CChannelPtr& pChannel : m_channels) {
        if (ids.count(pChannel->GetID())) {
            LogInfo("%s", pChannel->GetName().c_str());
            pChannel->SetNew(true);
        }
    }
}

void CChannelManager::SetFolderPaths(const CFolderPaths* pPaths)
{
    std::lock_guard<std::mutex> lock(g_processLock);
    g_pFolderPaths = pPaths;
}

std::shared_ptr<CChannelManager> CChannelManager::Get()
{
    std::lock_guard<std::mutex> lock(g_processLock);
    if (!g_pProcessManager) {
        Folders folders;
        if (g_pFolderPaths) {
            try {
                folders.strChannels = g_pFolderPaths->GetFolder("channels-folder");
                folders.strImages = g_pFolderPaths->GetFolder("channel-images-folder");
                folders.strOldImages = g_pFolderPaths->GetFolder("quilvo-folder");
            } catch (CBaseException* e) {
                LogWarning("failed to load channels file because; %s", OneLineText(e->GetText()).c_str());
                e->Delete();
            }
        }
        g_pProcessManager = std::make_shared<CChannelManager>(std::move(folders));
        g_pProcessManager->Load();
    }
    return g_pProcessManager;
}

void CChannelManager::Drop()
{
    std::lock_guard<std::mutex> lock(g_processLock);
    g_pProcessManager.reset();
}
