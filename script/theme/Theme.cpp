#include "script/theme/Theme.h"

#include "foundation/DeploymentKeys.h"
#include "foundation/Exceptions.h"
#include "foundation/Log.h"

CTheme& CTheme::Instance()
{
    static CTheme theme;
    return theme;
}

bool CTheme::LoadTheme(const std::string& strPath)
{
    LogInfo("Loading theme '%s'", strPath.c_str());
    CFileSourcePtr pPackage;
    if (!OpenFileSource(strPath, pPackage, true, kThemeArchiveKey) &&
        !OpenFileSource(strPath + ".qvltheme", pPackage, true, kThemeArchiveKey))
        throw new CExtraInfoException(14, "Theme does not exist");
    if (!pPackage->HasFile("theme.velasc"))
        throw new CExtraInfoException(14, "Theme.velasc does not exist in the theme");
    std::lock_guard<std::mutex> lock(m_lock);
    m_pPackage = std::move(pPackage);
    return true;
}

bool CTheme::ReadText(const std::string& strName, std::string& strText) const
{
    const CFileSourcePtr pPackage = GetPackage();
    std::vector<uint8_t> data;
    if (!pPackage || !pPackage->LoadFile(strName, data))
        return false;
    strText.assign(data.begin(), data.end());
    return true;
}

CFileSourcePtr CTheme::GetPackage() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_pPackage;
}
