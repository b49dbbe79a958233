#include "script/SettingsObject.h"

#include <js/Conversions.h>

namespace {

const CJSClassRecord& Record();

// The store of "this", after the argument count check.
CSettingsStore* Store(JSContext* cx, const JS::CallArgs& args, const char* pszName, unsigned nNeeded)
{
    auto* pSettings = JSThisNative<CSettingsObject>(cx, args, Record());
    if (!pSettings || !JSCheckArgCount(cx, args, pszName, nNeeded, nNeeded == 0))
        return nullptr;
    return &pSettings->GetStore();
}

bool GetString(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CSettingsStore* pStore = Store(cx, args, "getString", 1);
    if (!pStore)
        return false;
    std::string value;
    if (!pStore->GetString(JSValueToText(cx, args[0]), value) && args.length() > 1)
        value = JSValueToText(cx, args[1]);
    JSString* str = JSNewText(cx, value);
    if (!str)
        return false;
    args.rval().setString(str);
    return true;
}

bool GetInt(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CSettingsStore* pStore = Store(cx, args, "getInt", 1);
    if (!pStore)
        return false;
    uint32_t value = 0;
    if (!pStore->GetUInt(JSValueToText(cx, args[0]), value, 0) && args.length() > 1)
        value = static_cast<uint32_t>(JSValueToInt(cx, args[1]));
    args.rval().setInt32(static_cast<int32_t>(value));
    return true;
}

bool GetBool(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CSettingsStore* pStore = Store(cx, args, "getBool", 1);
    if (!pStore)
        return false;
    bool value = false;
    if (!pStore->GetBool(JSValueToText(cx, args[0]), value, false) && args.length() > 1)
        value = JSValueToBool(cx, args[1]);
    args.rval().setBoolean(value);
    return true;
}

bool SetString(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CSettingsStore* pStore = Store(cx, args, "setString", 2);
    if (!pStore)
        return false;
    const bool scramble = args.length() > 2 && JS::ToBoolean(args[2]);
    pStore->SetString(JSValueToText(cx, args[0]), JSValueToText(cx, args[1]), scramble);
    args.rval().setUndefined();
    return true;
}

bool SetInt(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CSettingsStore* pStore = Store(cx, args, "setInt", 2);
    if (!pStore)
        return false;
    pStore->SetUInt(JSValueToText(cx, args[0]), static_cast<uint32_t>(JSValueToInt(cx, args[1])));
    args.rval().setUndefined();
    return true;
}

bool SetBool(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CSettingsStore* pStore = Store(cx, args, "setBool", 2);
    if (!pStore)
        return false;
    pStore->SetBool(JSValueToText(cx, args[0]), JSValueToBool(cx, args[1]));
    args.rval().setUndefined();
    return true;
}

bool SetDaysToKeep(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CSettingsStore* pStore = Store(cx, args, "setDaysToKeep", 1);
    if (!pStore)
        return false;
    pStore->SetDaysToKeep(static_cast<unsigned>(JSValueToInt(cx, args[0])));
    args.rval().setUndefined();
    return true;
}

bool Save(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CSettingsStore* pStore = Store(cx, args, "save", 0);
    if (!pStore)
        return false;
    pStore->Save();
    args.rval().setUndefined();
    return true;
}

const JSFunctionSpec kSettingsMethods[] = {
    JS_FN("getString", GetString, 1, 0),   JS_FN("getInt", GetInt, 1, 0),
    JS_FN("getBool", GetBool, 1, 0),       JS_FN("setString", SetString, 2, 0),
    JS_FN("setInt", SetInt, 2, 0),         JS_FN("setBool", SetBool, 2, 0),
    JS_FN("setDaysToKeep", SetDaysToKeep, 1, 0), JS_FN("save", Save, 0, 0),
    JS_FS_END};

const CJSClassRecord g_settingsClass("Settings", kSettingsMethods, nullptr, nullptr, false);

const CJSClassRecord& Record()
{
    return g_settingsClass;
}

}  // namespace

const CJSClassRecord& SettingsClassRecord()
{
    return g_settingsClass;
}
