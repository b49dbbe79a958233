// The user's installation as the program sees it, for commands that read or change it: the
// folder table from "paths.dat" beside qvl and "user-paths.dat" in the user's settings folder.
#pragma once
#include <string>

class CFolderPaths;

namespace qvl {

// Loads the folder table as the program does. False, after saying why on standard error, when
// paths.dat is missing or a folder it names cannot be made.
bool LoadFolders(CFolderPaths& paths);

// The folder of a key, created when missing; "" after saying why on standard error.
std::string FolderOf(CFolderPaths& paths, const std::string& key);

}  // namespace qvl
