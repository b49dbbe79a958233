// The loaded theme: the package holding "theme.velasc", the scripts it includes, the colour
// scheme, images and data files such as "region.dat". One per process, loaded at start-up.
#pragma once
#include <mutex>
#include <string>
#include <unordered_map>

#include "images/Image.h"
#include "script/theme/FileSource.h"

class CTheme {
public:
    // The process's theme.
    static CTheme& Instance();

    // Opens the theme at the path: a folder, or an archive at the path or at the path with
    // ".qvltheme" (so a folder of the theme's name wins over an archive of that name).
    // Throws CExtraInfoException (code 14) with "Theme does not exist" or "Theme.velasc does
    // not exist in the theme"; the theme loaded before, if any, then stays.
    bool LoadTheme(const std::string& strPath);

    // All the bytes of a file of the theme; false when there is no theme or no such file.
    bool ReadText(const std::string& strName, std::string& strText) const;

    // The package of the loaded theme; null before the first load.
    CFileSourcePtr GetPackage() const;

    // The decoded image of a theme file, shared with the theme's image cache, where each name
    // (without regard to case) is decoded once per theme load. A file that is not a picture
    // gives the warning icon when bWarning is set (and then keeps giving it for that name),
    // else false; a missing file gives false.
    bool GetThemeImage(const std::string& strName, CImagePtr& pImage, bool bWarning);

private:
    mutable std::mutex m_lock;   // guards the package pointer and the image cache
    CFileSourcePtr m_pPackage;
    std::unordered_map<std::string, CImagePtr, NameHashFn, NameEqualFn> m_imageCache{kNameTableBuckets};
};

// Where the image library finds package ("qvimglib") names and, through this theme, "THEMEIMG:"
// names and plain names that are no image file: for SetImageSources once the theme is loaded.
ImageSources ThemeImageSources();
