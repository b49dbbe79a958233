// The script class `Window`.
#include "script/WindowObject.h"

#include <js/CallAndConstruct.h>
#include <js/Object.h>

#include <set>

#include "platform/Input.h"
#include "platform/WindowMessages.h"
#include "script/AppObject.h"
#include "script/GeometryObjects.h"
#include "script/ImageObject.h"
#include "ui/WindowSection.h"

namespace {

// Every live script window, so that they can all be let go before the engine goes.
std::set<CJSWindow*>& LiveWindows()
{
    static std::set<CJSWindow*> windows;
    return windows;
}

CJSWindow* ThisWindow(JSContext* cx, const JS::CallArgs& args)
{
    return JSThisNative<CJSWindow>(cx, args, CJSWindow::ClassRecord());
}

CJSObject* MakeWindow(JSContext* cx, const JS::CallArgs& args)
{
    // Any argument but a Window is ignored; a Window without its native object is refused.
    CJSWindow* pParent = nullptr;
    if (args.length() > 0 && CJSWindow::FromValue(cx, args[0], pParent) && !pParent)
        return nullptr;
    auto* pWindow = new CJSWindow(pParent);
    if (!pWindow->GetWindowSection()) {
        JSReport(cx, "%s", "Window: this program cannot make windows");
        delete pWindow;
        return nullptr;
    }
    return pWindow;
}

template <bool (CJSWindow::*Method)(JSContext*, const JS::CallArgs&)>
bool CallMethod(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CJSWindow* pWindow = ThisWindow(cx, args);
    return pWindow && (pWindow->*Method)(cx, args);
}

bool Show(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CJSWindow* pWindow = ThisWindow(cx, args);
    if (!pWindow)
        return false;
    pWindow->GetWindowSection()->Show(plat::SW_SHOW);
    args.rval().setUndefined();
    return true;
}

// Nothing is painted yet: a redraw has nothing to repaint.
bool Redraw(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!ThisWindow(cx, args))
        return false;
    args.rval().setUndefined();
    return true;
}

bool Destroy(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CJSWindow* pWindow = ThisWindow(cx, args);
    if (!pWindow || !JSCheckArgCount(cx, args, "destroy", 0, true))
        return false;
    pWindow->GetWindowSection()->Close();
    args.rval().setUndefined();
    return true;
}

bool GetWindowHandle(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CJSWindow* pWindow = ThisWindow(cx, args);
    if (!pWindow || !JSCheckArgCount(cx, args, "getWindowHandle", 0, true))
        return false;
    args.rval().setNumber(pWindow->GetWindowSection()->GetHWND());
    return true;
}

// setWindowIcon(image, [large]): a value that is not an Image is reported and nothing changes.
bool SetWindowIcon(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CJSWindow* pWindow = ThisWindow(cx, args);
    if (!pWindow || !JSCheckArgCount(cx, args, "setWindowIcon", 1, false))
        return false;
    args.rval().setUndefined();
    if (CImagePtr pIcon = GetImageFromValue(cx, args[0]))
        pWindow->GetWindowSection()->SetWindowIcon(pIcon, args.length() < 2 || JSValueToBool(cx, args[1]));
    return true;
}

bool SetTrayIcon(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CJSWindow* pWindow = ThisWindow(cx, args);
    if (!pWindow || !JSCheckArgCount(cx, args, "setTrayIcon", 2, false))
        return false;
    args.rval().setUndefined();
    if (CImagePtr pIcon = GetImageFromValue(cx, args[0]))
        pWindow->GetWindowSection()->SetTrayIcon(pIcon, JSValueToText(cx, args[1]));
    return true;
}

bool RemoveTrayIcon(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CJSWindow* pWindow = ThisWindow(cx, args);
    if (!pWindow || !JSCheckArgCount(cx, args, "removeTrayIcon", 0, true))
        return false;
    pWindow->GetWindowSection()->RemoveTrayIcon();
    args.rval().setUndefined();
    return true;
}

// setTrayBalloon(title, text, [timeout ms = 60000], [icon flag = none])
bool SetTrayBalloon(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CJSWindow* pWindow = ThisWindow(cx, args);
    if (!pWindow || !JSCheckArgCount(cx, args, "setTrayBalloon", 2, false))
        return false;
    const std::string strTitle = JSValueToText(cx, args[0]);
    const std::string strText = JSValueToText(cx, args[1]);
    const int32_t nTimeout = args.length() > 2 ? JSValueToInt(cx, args[2]) : 60000;
    const int32_t nFlags = args.length() > 3 ? JSValueToInt(cx, args[3]) : 0;
    pWindow->GetWindowSection()->SetTrayBalloon(strTitle, strText, uint32_t(nTimeout), uint32_t(nFlags));
    args.rval().setUndefined();
    return true;
}

const JSFunctionSpec kWindowMethods[] = {
    JS_FN("create", CallMethod<&CJSWindow::Create>, 1, 0),
    JS_FN("show", Show, 0, 0),
    JS_FN("redraw", Redraw, 0, 0),
    JS_FN("timerStart", CallMethod<&CJSWindow::TimerStart>, 2, 0),
    JS_FN("timerStop", CallMethod<&CJSWindow::TimerStop>, 1, 0),
    JS_FN("getRect", CallMethod<&CJSWindow::GetRect>, 0, 0),
    JS_FN("getClientCursorPosition", CallMethod<&CJSWindow::GetClientCursorPosition>, 0, 0),
    JS_FN("setWindowIcon", SetWindowIcon, 1, 0),
    JS_FN("setTrayIcon", SetTrayIcon, 2, 0),
    JS_FN("removeTrayIcon", RemoveTrayIcon, 0, 0),
    JS_FN("setTrayBalloon", SetTrayBalloon, 2, 0),
    JS_FN("destroy", Destroy, 0, 0),
    JS_FN("getWindowHandle", GetWindowHandle, 0, 0),
    JS_FS_END};

const CJSPropertySpec kWindowProperties[] = {
    {"caption", CJSWindow::kCaption, false},
    {"cursor", CJSWindow::kCursor, false},
    {nullptr, 0, false}};

const CJSConstantSpec kWindowConstants[] = {
    {1, "knArrow"},          {2, "knHand"},           {3, "knHandStop"},      {4, "knWait"},
    {5, "knHorizontalDrag"}, {6, "knVerticalDrag"},   {7, "knSlideLeft"},     {8, "knSlideRight"},
    {9, "knSlideUp"},        {10, "knSlideDown"},     {0, "knTrayIconNone"},  {1, "knTrayIconInfo"},
    {2, "knTrayIconWarning"}, {3, "knTrayIconError"}, {0, nullptr}};

const CJSClassRecord g_windowClass("Window", kWindowMethods, kWindowProperties, MakeWindow, true);

}  // namespace

CJSWindow::CJSWindow(CJSWindow* pParent)
{
    if (pParent)
        m_parent = pParent->GetRef();
    if (CAppObject* pApp = CAppObject::Get())
        m_pSection.reset(pApp->CreateWindowSection(*this));
    LiveWindows().insert(this);
}

CJSWindow::~CJSWindow()
{
    LiveWindows().erase(this);
    m_pSection.reset();   // destroys the window, whose destroy events still look at the timers
}

const CJSClassRecord& CJSWindow::ClassRecord()
{
    return g_windowClass;
}

bool CJSWindow::DefineWindowClass(CScriptEngine& engine)
{
    if (!DefineClass(engine, g_windowClass))
        return false;
    CScriptEngine::CEnter enter(engine);
    return DefineConstants(engine.GetContext(), engine.GetGlobalObject(), kWindowConstants);
}

void CJSWindow::DestroyAll()
{
    for (CJSWindow* pWindow : std::set<CJSWindow*>(LiveWindows())) {
        if (pWindow->m_pSection)
            pWindow->m_pSection->Close();
        pWindow->m_mapTimers.clear();
    }
}

bool CJSWindow::FromValue(JSContext* cx, JS::HandleValue value, CJSWindow*& pNative)
{
    pNative = nullptr;
    if (!value.isObject() || JS::GetClass(&value.toObject()) != g_windowClass.GetClass())
        return false;
    pNative = static_cast<CJSWindow*>(CJSObject::FromObject(&value.toObject()));
    if (!pNative)
        JSReport(cx, "%s", "Variable passed is not a CJSWindow object");
    return true;
}

bool CJSWindow::CallTimerFunction(uintptr_t uTimerId)
{
    auto it = m_mapTimers.find(uTimerId);
    CScriptEngine* pEngine = GetEngine();
    if (it == m_mapTimers.end() || !pEngine || !GetScriptObject())
        return false;
    CScriptEngine::CEnter enter(*pEngine);
    JSContext* cx = pEngine->GetContext();
    JS::RootedObject self(cx, GetScriptObject());
    JS::RootedValue function(cx, *it->second);   // the function may stop its own timer
    return pEngine->CallFunction(self, function, nullptr, JS::HandleValueArray::empty());
}

bool CJSWindow::CallWindowFunction(const char* pszName, const JS::HandleValueArray& args)
{
    CScriptEngine* pEngine = GetEngine();
    if (!pEngine || !GetScriptObject())
        return false;
    CScriptEngine::CEnter enter(*pEngine);
    JS::RootedObject self(pEngine->GetContext(), GetScriptObject());
    return pEngine->CallFunction(self, pszName, nullptr, args);
}

bool CJSWindow::Create(JSContext* cx, const JS::CallArgs& args)
{
    if (!JSCheckArgCount(cx, args, "create", 1, false))
        return false;
    plat::Rect rect;
    if (!GetRectFromValue(cx, args[0], rect))
        return JSFail(cx, "%s", "window.create needs a Rect");
    plat::HWND hwndParent = 0;
    if (auto* pParent = static_cast<CJSWindow*>(m_parent.Get()))
        hwndParent = pParent->m_pSection->GetHWND();
    args.rval().setBoolean(m_pSection->Create(rect, hwndParent));
    return true;
}

bool CJSWindow::TimerStart(JSContext* cx, const JS::CallArgs& args)
{
    if (!JSCheckArgCount(cx, args, "timerStart", 2, false))
        return false;
    const int32_t nInterval = JSValueToInt(cx, args[0]);
    if (!args[1].isObject() || !JS::IsCallable(&args[1].toObject()))
        return JSFail(cx, "%s", "window.timerStart: Parameter incorrect, needs function");
    const uintptr_t uTimerId = m_pSection->StartTimer(nInterval < 0 ? 0 : uint32_t(nInterval));
    if (uTimerId)
        m_mapTimers[uTimerId] = std::make_unique<JS::PersistentRootedValue>(cx, args[1]);
    args.rval().setNumber(double(uTimerId));
    return true;
}

bool CJSWindow::TimerStop(JSContext* cx, const JS::CallArgs& args)
{
    if (!JSCheckArgCount(cx, args, "timerStop", 1, false))
        return false;
    const uintptr_t uTimerId = uintptr_t(uint32_t(JSValueToInt(cx, args[0])));
    m_mapTimers.erase(uTimerId);
    m_pSection->StopTimer(uTimerId);
    args.rval().setUndefined();
    return true;
}

bool CJSWindow::GetRect(JSContext* cx, const JS::CallArgs& args)
{
    JSObject* rect = NewRectObject(cx, m_pSection->GetClientRect());
    if (!rect)
        return false;
    args.rval().setObject(*rect);
    return true;
}

bool CJSWindow::GetClientCursorPosition(JSContext* cx, const JS::CallArgs& args)
{
    const plat::Point cursor = plat::GetCursorPos();
    const plat::Rect& window = m_pSection->GetWindowRect();
    JSObject* point = NewPointObject(cx, {cursor.x - window.left, cursor.y - window.top});
    if (!point)
        return false;
    args.rval().setObject(*point);
    return true;
}

bool CJSWindow::GetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp)
{
    switch (nTinyId) {
    case kCaption: {
        JSString* text = JSNewText(cx, m_pSection->GetCaption());
        if (!text)
            return false;
        vp.setString(text);
        return true;
    }
    case kCursor:
        vp.setInt32(m_pSection->GetCursor());
        return true;
    default:
        return CJSObject::GetProperty(cx, obj, nTinyId, vp);
    }
}

bool CJSWindow::SetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp)
{
    switch (nTinyId) {
    case kCaption:
        m_pSection->SetCaption(JSValueToText(cx, vp));
        return true;
    case kCursor:
        m_pSection->SetCursor(JSValueToInt(cx, vp));
        return true;
    default:
        return CJSObject::SetProperty(cx, obj, nTinyId, vp);
    }
}
