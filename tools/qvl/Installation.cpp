// Loading the user's installation for qvl's commands.
#include "tools/qvl/Installation.h"

#include <cstdio>

#include "foundation/Exceptions.h"
#include "foundation/FolderPaths.h"
#include "platform/Process.h"

namespace qvl {

bool LoadFolders(CFolderPaths& paths)
{
    paths.SetApplicationFolder(plat::ExecutableFolder());
    const std::string table = paths.GetApplicationFolder() + "paths.dat";
    if (!paths.Load(table)) {
        std::fprintf(stderr, "qvl: cannot read the folder table %s\n", table.c_str());
        return false;
    }
    const std::string userSettings = FolderOf(paths, "user-settings");
    if (userSettings.empty())
        return false;
    paths.Load(userSettings + "user-paths.dat");
    return true;
}

std::string FolderOf(CFolderPaths& paths, const std::string& key)
{
    try {
        std::string folder = paths.GetFolder(key);
        if (folder.empty())
            std::fprintf(stderr, "qvl: no folder '%s' in the folder table\n", key.c_str());
        return folder;
    } catch (CBaseException* e) {
        std::fprintf(stderr, "qvl: %s\n", e->GetText());
        e->Delete();
        return std::string();
    }
}

}  // namespace qvl
