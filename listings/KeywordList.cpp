#include "listings/KeywordList.h"

#include "foundation/Exceptions.h"
#include "foundation/Log.h"
#include "listings/ListingsFileReader.h"

bool CKeywordList::Load(const std::string& strPath)
{
    LogInfo("Load keywords");
    bool bLoaded = false;
    try {
        CListingsFileReader file(strPath);
        const uint32_t nCount = file.ReadU32();
        file.CheckCount(nCount, 4);
        std::vector<std::string> words;
        words.reserve(nCount);
        for (uint32_t i = 0; i < nCount; ++i)
            words.push_back(file.ReadString());
        std::lock_guard<std::mutex> lock(m_lock);
        m_words = std::move(words);
        bLoaded = true;
    } catch (CBaseException* e) {
        LogWarning("Failed to load keywords with error %s", OneLineText(e->GetText()).c_str());
        e->Delete();
    }
    LogInfo("Finished loading keywords");
    return bLoaded;
}

std::string CKeywordList::GetKeyword(size_t nIndex) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return nIndex < m_words.size() ? m_words[nIndex] : std::string();
}

size_t CKeywordList::GetCount() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_words.size();
}

void CKeywordList::Clear()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_words.clear();
}
