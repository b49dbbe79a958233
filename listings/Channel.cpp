#include "listings/Channel.h"

#include "foundation/DeploymentKeys.h"

namespace {

// The information service's page about a channel.
std::string LookupAddress(uint32_t uID)
{
    return std::string("https://") + kInformationHost + "/qvlookup.asp?c=" + std::to_string(uID);
}

}  // namespace

CChannel::CChannel(uint32_t uID, std::string strName, std::string strShortName, std::string strLiveURL,
                   std::string strCategory, const std::string& strImageFolder)
    : m_uID(uID), m_strName(std::move(strName)), m_strShortName(std::move(strShortName)),
      m_strLiveURL(std::move(strLiveURL)), m_strCategory(std::move(strCategory)),
      m_strWebAddress(m_strLiveURL.empty() ? LookupAddress(uID) : m_strLiveURL),
      m_strImageFileName(strImageFolder + std::to_string(uID) + ".ch")
{
}
