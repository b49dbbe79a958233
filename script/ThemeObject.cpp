#include "script/ThemeObject.h"

#include <algorithm>

#include "script/ImageObject.h"
#include "script/JSObject.h"
#include "script/theme/Theme.h"

namespace {

// The text of a theme file, up to its first zero byte; a missing file ends the calling script.
bool GetFile(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, "getFile", 1, false))
        return false;
    const std::string name = JSValueToText(cx, args[0]);
    std::string text;
    if (!CTheme::Instance().ReadText(name, text))
        return JSFail(cx, "Theme file '%s' not found", name.c_str());
    text.resize(std::min(text.size(), text.find('\0')));
    JSString* str = JSNewText(cx, text);
    if (!str)
        return false;
    args.rval().setString(str);
    return true;
}

// An Image of a theme file; a file that is no picture gives the warning icon. A missing file is
// reported and answers no value, and the script goes on.
bool GetImageObject(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, "getImage", 1, false))
        return false;
    const std::string name = JSValueToText(cx, args[0]);
    args.rval().setUndefined();
    CImagePtr pImage;
    if (!CTheme::Instance().GetThemeImage(name, pImage, true)) {
        JSReport(cx, "Theme file '%s' not found", name.c_str());
        return true;
    }
    JSObject* image = NewImageObject(cx, std::move(pImage));
    if (!image)
        return false;
    args.rval().setObject(*image);
    return true;
}

const JSFunctionSpec kThemeMethods[] = {JS_FN("getFile", GetFile, 1, 0), JS_FN("getImage", GetImageObject, 1, 0),
                                        JS_FS_END};
const CJSClassRecord g_themeClass("Theme", kThemeMethods, nullptr, nullptr, false);

}  // namespace

bool DefineThemeObject(CScriptEngine& engine)
{
    return DefineStaticObject(engine, engine.GetGlobalObject(), "theme", g_themeClass, nullptr) != nullptr;
}
