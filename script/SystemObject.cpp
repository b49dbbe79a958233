#include "script/SystemObject.h"

#include "foundation/Exceptions.h"
#include "images/Image.h"
#include "platform/Clock.h"
#include "platform/Process.h"
#include "script/AppObject.h"
#include "script/ImageObject.h"
#include "script/PathsObject.h"

namespace {

// The desktop's "open" action for files and web addresses.
constexpr char kOpenProgram[] = "/usr/bin/xdg-open";

bool ShellExecute(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, "shellExecute", 1, false))
        return false;
    const std::string file = JSValueToText(cx, args[0]);
    const std::string parameters = args.length() > 1 ? JSValueToText(cx, args[1]) : std::string();
    if (!plat::SpawnDetached(kOpenProgram, {file.empty() ? parameters : file})) {
        JSReport(cx, "Failed to ShellExecute: %s - %s", file.c_str(), parameters.c_str());
        args.rval().setInt32(0);
        return true;
    }
    args.rval().setInt32(1);
    return true;
}

bool GetCountryCode(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, "getCountryCode", 0, true))
        return false;
    JSString* str = JSNewText(cx, plat::GetLocaleTexts().countryCode);
    if (!str)
        return false;
    args.rval().setString(str);
    return true;
}

bool GetFolderPath(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CAppObject* pApp = CAppObject::Get();
    if (!pApp)
        return JSFail(cx, "%s", "getFolderPath - no application");
    return ScriptGetFolderPath(cx, args, "getFolderPath", pApp->GetPaths());
}

bool DoesImageExist(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, "doesImageExist", 1, false))
        return false;
    args.rval().setBoolean(GetImage(JSValueToText(cx, args[0])) != nullptr);
    return true;
}

// An Image for the image library's image of that name. A call with exactly two arguments, and
// a name that loads nothing, end the calling script without a message.
bool GetImageObject(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, "getImage", 1, false))
        return false;
    if (args.length() == 2)
        return false;
    CImagePtr pImage = GetImage(JSValueToText(cx, args[0]));
    JSObject* image = pImage ? NewImageObject(cx, std::move(pImage)) : nullptr;
    if (!image)
        return false;
    args.rval().setObject(*image);
    return true;
}

bool IsInternetAvailable(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, "isInternetAvailable", 0, true))
        return false;
    CAppObject* pApp = CAppObject::Get();
    args.rval().setBoolean(pApp && pApp->IsInternetAvailable());
    return true;
}

const JSFunctionSpec kSystemMethods[] = {
    JS_FN("shellExecute", ShellExecute, 1, 0),
    JS_FN("getCountryCode", GetCountryCode, 0, 0),
    JS_FN("getFolderPath", GetFolderPath, 1, 0),
    JS_FN("getImage", GetImageObject, 1, 0),
    JS_FN("doesImageExist", DoesImageExist, 1, 0),
    JS_FN("isInternetAvailable", IsInternetAvailable, 0, 0),
    JS_FS_END};

const CJSClassRecord g_systemClass("System", kSystemMethods, nullptr, nullptr, false);

}  // namespace

bool DefineSystemObject(CScriptEngine& engine)
{
    return DefineStaticObject(engine, engine.GetGlobalObject(), "system", g_systemClass, nullptr) != nullptr;
}
