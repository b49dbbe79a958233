#include "script/theme/Theme.h"

#include "foundation/DeploymentKeys.h"
#include "foundation/Exceptions.h"
#include "foundation/Log.h"
#include "platform/StandardIcons.h"

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
    m_imageCache.clear();
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

bool CTheme::GetThemeImage(const std::string& strName, CImagePtr& pImage, bool bWarning)
{
    CFileSourcePtr pPackage;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (auto it = m_imageCache.find(strName); it != m_imageCache.end()) {
            pImage = it->second;
            return true;
        }
        pPackage = m_pPackage;
    }
    std::vector<uint8_t> data;
    if (!pPackage || !pPackage->LoadFile(strName, data))
        return false;
    auto pDecoded = std::make_shared<CImage>();
    CImageReader reader(data.data(), data.size());
    if (!pDecoded->Load(reader)) {
        if (!bWarning)
            return false;
        pDecoded = CImage::FromIcon(plat::WarningIcon());
    }
    std::lock_guard<std::mutex> lock(m_lock);
    if (pPackage != m_pPackage) {
        pImage = std::move(pDecoded);   // another theme came meanwhile: not its image to keep
        return true;
    }
    pImage = m_imageCache.emplace(strName, std::move(pDecoded)).first->second;   // first one in wins
    return true;
}

ImageSources ThemeImageSources()
{
    ImageSources sources;
    sources.readPackageFile = [](const std::string& strPackage, const std::string& strFile,
                                 std::vector<uint8_t>& data) {
        CFileSourcePtr pPackage;
        return OpenFileSource(strPackage, pPackage, false, TeaKey{}) && pPackage->LoadFile(strFile, data);
    };
    sources.themeImage = [](const std::string& strName) {
        CImagePtr pImage;
        return CTheme::Instance().GetThemeImage(strName, pImage, false) ? pImage : nullptr;
    };
    return sources;
}
