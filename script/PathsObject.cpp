#include "script/PathsObject.h"

#include "foundation/Exceptions.h"

namespace {

bool GetFolderPath(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    auto* pPaths = JSThisNative<CPathsObject>(cx, args, PathsClassRecord());
    return pPaths && ScriptGetFolderPath(cx, args, "getFolderPath", pPaths->GetPaths());
}

const JSFunctionSpec kPathsMethods[] = {JS_FN("getFolderPath", GetFolderPath, 1, 0), JS_FS_END};
const CJSClassRecord g_pathsClass("Paths", kPathsMethods, nullptr, nullptr, false);

}  // namespace

const CJSClassRecord& PathsClassRecord()
{
    return g_pathsClass;
}

bool ScriptGetFolderPath(JSContext* cx, const JS::CallArgs& args, const char* pszName, CFolderPaths& paths)
{
    if (!JSCheckArgCount(cx, args, pszName, 1, false))
        return false;
    const std::string key = JSValueToText(cx, args[0]);
    std::string path;
    try {
        path = paths.GetFolder(key);
    } catch (CBaseException* e) {
        const std::string text = e->GetText();
        e->Delete();
        return JSFail(cx, "%s", text.c_str());
    }
    JSString* str = JSNewText(cx, path);
    if (!str)
        return false;
    args.rval().setString(str);
    return true;
}
