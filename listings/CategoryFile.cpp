#include "listings/CategoryFile.h"

#include "foundation/Exceptions.h"
#include "foundation/Log.h"
#include "listings/ListingsFileReader.h"

namespace {

std::vector<CCategoryPtr> ReadCategoryFile(const std::string& strPath)
{
    CListingsFileReader file(strPath);
    const uint32_t nCount = file.ReadU32();
    if (nCount)
        file.ReadU32();   // the archive version; every version has the same entries
    file.CheckCount(nCount, 16);
    std::vector<CCategoryPtr> categories;
    categories.reserve(nCount);
    for (uint32_t i = 0; i < nCount; ++i) {
        const uint32_t uID = file.ReadU32();
        std::string strName = file.ReadString();
        file.ReadU32();                     // not used
        file.ReadBytes(file.ReadU32());     // not used
        categories.push_back(std::make_shared<const CCategory>(uID, std::move(strName)));
    }
    return categories;
}

}  // namespace

bool LoadCategories(const std::string& strPath, CCategoryList& list)
{
    LogInfo("Loading categories");
    bool bLoaded = true;
    try {
        list.SetCategories(ReadCategoryFile(strPath));
    } catch (CBaseException* e) {
        LogWarning("Failed to load categories with error %s", OneLineText(e->GetText()).c_str());
        e->Delete();
        list.SetCategories({});
        bLoaded = false;
    }
    LogInfo("Finished loading categories");
    return bLoaded;
}
