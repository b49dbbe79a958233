// A channel of the listings service: its id, display and short names, live web address and
// category, as the channels file describes it.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class CChannel {
public:
    // strImageFolder: the folder of channel images ("channel-images-folder"), ending in "/".
    CChannel(uint32_t uID, std::string strName, std::string strShortName, std::string strLiveURL,
             std::string strCategory, const std::string& strImageFolder);

    uint32_t GetID() const { return m_uID; }
    const std::string& GetName() const { return m_strName; }
    const std::string& GetShortName() const { return m_strShortName; }
    const std::string& GetLiveURL() const { return m_strLiveURL; }
    const std::string& GetCategory() const { return m_strCategory; }
    // The live address, or the information service's lookup page for the channel.
    const std::string& GetWebAddress() const { return m_strWebAddress; }
    // The channel's logo: "<image folder><id>.ch".
    const std::string& GetImageFileName() const { return m_strImageFileName; }

    // Set for channels that the latest listings brought in for the first time.
    bool IsNew() const { return m_bNew; }
    void SetNew(bool bNew) { m_bNew = bNew; }

private:
    uint32_t m_uID = 0;
    std::string m_strName;
    std::string m_strShortName;
    std::string m_strLiveURL;
    std::string m_strCategory;
    std::string m_strWebAddress;
    std::string m_strImageFileName;
    std::atomic<bool> m_bNew{false};
};

using CChannelPtr = std::shared_ptr<CChannel>;
