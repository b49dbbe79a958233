#include "script/AppObject.h"

#include "foundation/DeploymentKeys.h"
#include "foundation/Log.h"
#include "platform/Error.h"
#include "platform/Input.h"
#include "platform/MessageQueue.h"
#include "script/GlobalFunctions.h"
#include "script/ListingsObjects.h"
#include "script/PathsObject.h"
#include "script/SettingsObject.h"
#include "script/WindowObject.h"
#include "ui/WindowSection.h"

namespace {

CAppObject* g_pApplication = nullptr;

CAppObject* ThisApp(JSContext* cx, const JS::CallArgs& args)
{
    return JSThisNative<CAppObject>(cx, args, CAppObject::ClassRecord());
}

bool Run(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CAppObject* pApp = ThisApp(cx, args);
    if (!pApp)
        return false;
    pApp->RunUntilQuit();
    args.rval().setUndefined();
    return true;
}

bool Quit(JSContext*, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    plat::PostQuitMessage(0);
    args.rval().setUndefined();
    return true;
}

bool SetMainWindowHandle(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CAppObject* pApp = ThisApp(cx, args);
    if (!pApp || !JSCheckArgCount(cx, args, "setMainWindowHandle", 1, false))
        return false;
    pApp->SetMainWindowHandle(static_cast<uint32_t>(JSValueToInt(cx, args[0])));
    args.rval().setUndefined();
    return true;
}

// The listings service's root domain: the default listings host without its first label.
bool GetRootDomainName(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, "getRootDomainName", 0, true))
        return false;
    const std::string host = kDefaultListingsHost;
    const size_t dot = host.find('.');
    JSString* text = JSNewText(cx, dot == std::string::npos ? host : host.substr(dot + 1));
    if (!text)
        return false;
    args.rval().setString(text);
    return true;
}

// getListingsManager and getChannelManager: the object made on the first call, every time.
template <bool (*Get)(CScriptEngine&, JS::HandleObject, JS::MutableHandleValue)>
bool GetManager(JSContext* cx, unsigned argc, JS::Value* vp, const char* pszName)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CAppObject* pApp = ThisApp(cx, args);
    if (!pApp || !JSCheckArgCount(cx, args, pszName, 0, true))
        return false;
    CScriptEngine* pEngine = CScriptEngine::FromContext(cx);
    JS::RootedObject app(cx, pApp->GetScriptObject());
    return pEngine && Get(*pEngine, app, args.rval());
}

bool GetListingsManager(JSContext* cx, unsigned argc, JS::Value* vp)
{
    return GetManager<GetListingsManagerObject>(cx, argc, vp, "getListingsManager");
}

bool GetChannelManager(JSContext* cx, unsigned argc, JS::Value* vp)
{
    return GetManager<GetChannelManagerObject>(cx, argc, vp, "getChannelManager");
}

bool IsUpdating(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CAppObject* pApp = ThisApp(cx, args);
    if (!pApp)
        return false;
    args.rval().setBoolean(pApp->IsUpdating());
    return true;
}

bool StopUpdating(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CAppObject* pApp = ThisApp(cx, args);
    if (!pApp)
        return false;
    pApp->StopUpdating();
    args.rval().setUndefined();
    return true;
}

// The `Window` of a function's first argument. False (answer no value) when the argument is not
// a `Window`; true with a null window after the report when it has no native object.
bool WindowArgument(JSContext* cx, const JS::CallArgs& args, CJSWindow*& pWindow)
{
    args.rval().setUndefined();
    return CJSWindow::FromValue(cx, args[0], pWindow);
}

bool UpdateListings(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CAppObject* pApp = ThisApp(cx, args);
    if (!pApp || !JSCheckArgCount(cx, args, "updateListings", 1, false))
        return false;
    CJSWindow* pWindow = nullptr;
    if (WindowArgument(cx, args, pWindow) && pWindow)
        pApp->UpdateListings(pWindow->GetWindowSection()->GetHWND());
    return true;
}

// The hot-key control's modifier bits (1 Shift, 2 Ctrl, 4 Alt) as the system's.
uint32_t SystemHotKeyModifiers(uint32_t uControlBits)
{
    uint32_t uSystemBits = 0;
    if (uControlBits & 1)
        uSystemBits |= plat::MOD_SHIFT;
    if (uControlBits & 2)
        uSystemBits |= plat::MOD_CONTROL;
    if (uControlBits & 4)
        uSystemBits |= plat::MOD_ALT;
    return uSystemBits;
}

bool RegisterHotKey(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!ThisApp(cx, args) || !JSCheckArgCount(cx, args, "registerHotKey", 4, false))
        return false;
    CJSWindow* pWindow = nullptr;
    if (!WindowArgument(cx, args, pWindow))
        return true;
    if (!pWindow) {
        args.rval().setBoolean(false);
        return true;
    }
    const int32_t nId = JSValueToInt(cx, args[1]);
    const uint32_t uModifiers = SystemHotKeyModifiers(uint32_t(JSValueToInt(cx, args[2])));
    const uint32_t uKey = uint32_t(JSValueToInt(cx, args[3]));   // 0 also when it did not convert
    if (uKey == 0)
        return true;
    if (plat::RegisterHotKey(pWindow->GetWindowSection()->GetHWND(), nId, uModifiers, uKey)) {
        args.rval().setBoolean(true);
        return true;
    }
    LogWarning("JavaScript registerHotKey for ID #%d failed because: %s", nId,
               plat::SystemErrorMessage(plat::GetLastError()).c_str());
    args.rval().setBoolean(false);
    return true;
}

bool UnRegisterHotKey(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!ThisApp(cx, args) || !JSCheckArgCount(cx, args, "unRegisterHotKey", 2, false))
        return false;
    CJSWindow* pWindow = nullptr;
    if (!WindowArgument(cx, args, pWindow))
        return true;
    const int32_t nId = JSValueToInt(cx, args[1]);
    args.rval().setBoolean(pWindow && plat::UnregisterHotKey(pWindow->GetWindowSection()->GetHWND(), nId));
    return true;
}

const JSFunctionSpec kAppMethods[] = {
    JS_FN("run", Run, 0, 0),
    JS_FN("quit", Quit, 0, 0),
    JS_FN("setMainWindowHandle", SetMainWindowHandle, 1, 0),
    JS_FN("getRootDomainName", GetRootDomainName, 0, 0),
    JS_FN("getListingsManager", GetListingsManager, 0, 0),
    JS_FN("getChannelManager", GetChannelManager, 0, 0),
    JS_FS_END};

const JSFunctionSpec kGuideMethods[] = {
    JS_FN("isUpdating", IsUpdating, 0, 0),
    JS_FN("updateListings", UpdateListings, 1, 0),
    JS_FN("stopUpdating", StopUpdating, 0, 0),
    JS_FN("registerHotKey", RegisterHotKey, 4, 0),
    JS_FN("unRegisterHotKey", UnRegisterHotKey, 2, 0),
    JS_FS_END};

const CJSPropertySpec kAppProperties[] = {
    {"name", CAppObject::kName, false},
    {"buildNumber", CAppObject::kBuildNumber, true},
    {"version", CAppObject::kVersion, true},
    {"productID", CAppObject::kProductID, true},
    {nullptr, 0, false}};

const CJSClassRecord g_appClass("App", kAppMethods, kAppProperties, nullptr, false);

}  // namespace

CAppObject::CAppObject() : CJSObject(false)
{
    g_pApplication = this;
}

CAppObject::~CAppObject()
{
    if (g_pApplication == this)
        g_pApplication = nullptr;
}

CAppObject* CAppObject::Get()
{
    return g_pApplication;
}

const CJSClassRecord& CAppObject::ClassRecord()
{
    return g_appClass;
}

bool CAppObject::DefineScriptObjects(CScriptEngine& engine, CJSObject& paths, CJSObject& settings)
{
    JSContext* cx = engine.GetContext();
    if (!cx || !DefineClass(engine, g_appClass))
        return false;
    CScriptEngine::CEnter enter(engine);
    JS::RootedObject app(cx, DefineStaticObject(engine, engine.GetGlobalObject(), "app", g_appClass, this));
    return app && DefineStaticObject(engine, app, "paths", PathsClassRecord(), &paths) &&
           DefineStaticObject(engine, app, "settings", SettingsClassRecord(), &settings);
}

bool CAppObject::DefineGuideFunctions(CScriptEngine& engine)
{
    JSContext* cx = engine.GetContext();
    if (!cx || !GetScriptObject())
        return false;
    CScriptEngine::CEnter enter(engine);
    JS::RootedObject app(cx, GetScriptObject());
    return JS_DefineFunctions(cx, app, kGuideMethods);
}

bool CAppObject::CallOnIdle(uint32_t count)
{
    if (!m_pScriptEngine || !GetScriptObject())
        return false;
    CScriptEngine& engine = *m_pScriptEngine;
    CScriptEngine::CEnter enter(engine);
    JSContext* cx = engine.GetContext();
    JS::RootedObject app(cx, GetScriptObject());
    JS::RootedValueArray<1> argv(cx);
    argv[0].setNumber(count);
    bool result = false;
    if (!engine.CallFunction(app, "onIdle", &result, argv, true))
        LogDetail("CAppObject::OnIdle app.onIdle not handled");
    return result;
}

void CAppObject::RunUntilQuit()
{
    RunMessageLoop();
    if (!m_pScriptEngine || !GetScriptObject())
        return;
    CScriptEngine& engine = *m_pScriptEngine;
    CScriptEngine::CEnter enter(engine);
    JS::RootedObject app(engine.GetContext(), GetScriptObject());
    if (!engine.CallFunction(app, "onQuit", nullptr, JS::HandleValueArray::empty(), true))
        LogDetail("CAppObject::RunUntilQuit app.onQuit not handled");
}

bool CAppObject::GetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp)
{
    std::string text;
    switch (nTinyId) {
    case kName: text = m_strName; break;
    case kBuildNumber: text = GetBuildNumberText(); break;
    case kVersion: text = GetProductVersionText(); break;
    case kProductID: vp.setInt32(kProductNumber); return true;
    default: return CJSObject::GetProperty(cx, obj, nTinyId, vp);
    }
    JSString* str = JSNewText(cx, text);
    if (!str)
        return false;
    vp.setString(str);
    return true;
}

bool CAppObject::SetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp)
{
    if (nTinyId != kName)
        return CJSObject::SetProperty(cx, obj, nTinyId, vp);
    m_strName = ScriptValueText(cx, vp);
    return true;
}
