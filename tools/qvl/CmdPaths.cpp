// qvl paths [KEY]: the folder table of the installation.
#include <cstdio>

#include "foundation/FolderPaths.h"
#include "tools/qvl/Command.h"
#include "tools/qvl/Installation.h"

namespace {

int Run(const qvl::Arguments& args)
{
    if (args.size() > 1)
        return qvl::UsageError(*qvl::FindCommand("paths"));
    CFolderPaths paths;
    if (!qvl::LoadFolders(paths))
        return qvl::kExitFailure;
    if (args.size() == 1) {
        const std::string folder = qvl::FolderOf(paths, args[0]);
        if (folder.empty())
            return qvl::kExitFailure;
        std::printf("%s\n", folder.c_str());
        return qvl::kExitOk;
    }
    for (const auto& [key, folder] : paths.ListFolders())
        std::printf("%s\t%s\n", key.c_str(), folder.c_str());
    return qvl::kExitOk;
}

const qvl::Command kCommand{
    "paths", "[KEY]", "prints the folder of a folder key, or every key and its folder",
    "The table is paths.dat beside qvl with the user's user-paths.dat over it, as the program\n"
    "reads them. Asking for one key makes its folder when it is missing, as the program does.",
    Run};
const qvl::CommandRegistration kRegistration(kCommand);

}  // namespace
