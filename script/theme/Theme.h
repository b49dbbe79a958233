// The loaded theme: the package holding "theme.velasc", the scripts it includes, the colour
// scheme, images and data files such as "region.dat". One per process, loaded at start-up.
#pragma once
#include <mutex>
#include <string>

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

private:
    mutable std::mutex m_lock;   // guards the pointer only; packages are read-only
    CFileSourcePtr m_pPackage;
};
