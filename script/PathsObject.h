// The script object `app.paths` (class `Paths`): the folder table for the theme script.
#pragma once
#include "foundation/FolderPaths.h"
#include "script/JSObject.h"

class CPathsObject : public CJSObject {
public:
    explicit CPathsObject(CFolderPaths& paths) : CJSObject(false), m_paths(paths) {}
    CFolderPaths& GetPaths() { return m_paths; }

private:
    CFolderPaths& m_paths;
};

const CJSClassRecord& PathsClassRecord();

// The folder of a key for a script function: the path, "" for a key without a folder; false
// after raising the folder error as a script error.
bool ScriptGetFolderPath(JSContext* cx, const JS::CallArgs& args, const char* pszName,
                         CFolderPaths& paths);
