#include "script/DrawContextObject.h"

#include "script/GeometryObjects.h"
#include "script/ParseColour.h"

namespace {

class CJSDrawContext : public CJSObject {
public:
    explicit CJSDrawContext(CDrawDC* pDC = nullptr) : m_pDC(pDC) {}
    CDrawDC* m_pDC;   // not owned; null: draws and measures nothing
};

CJSObject* CreateDrawContext(JSContext*, const JS::CallArgs&) { return new CJSDrawContext; }

bool DrawText(JSContext* cx, unsigned argc, JS::Value* vp);
bool SelectFont(JSContext* cx, unsigned argc, JS::Value* vp);
bool FillRect(JSContext* cx, unsigned argc, JS::Value* vp);
bool GetCurrentFontHeight(JSContext* cx, unsigned argc, JS::Value* vp);
bool MeasureText(JSContext* cx, unsigned argc, JS::Value* vp);

const JSFunctionSpec kDrawContextMethods[] = {
    JS_FN("drawText", DrawText, 4, 0),
    JS_FN("selectFont", SelectFont, 5, 0),
    JS_FN("fillRect", FillRect, 2, 0),
    JS_FN("getCurrentFontHeight", GetCurrentFontHeight, 0, 0),
    JS_FN("measureText", MeasureText, 1, 0),
    JS_FS_END};

const CJSClassRecord g_drawContextClass("DrawContext", kDrawContextMethods, nullptr, CreateDrawContext, true);

// The native object of "this" after the count check; null after a failure.
CJSDrawContext* ThisContext(JSContext* cx, const JS::CallArgs& args, const char* pszName, unsigned nNeeded,
                            bool bExactly)
{
    auto* pContext = JSThisNative<CJSDrawContext>(cx, args, g_drawContextClass);
    if (!pContext || !JSCheckArgCount(cx, args, pszName, nNeeded, bExactly))
        return nullptr;
    return pContext;
}

uint32_t ColourArg(JSContext* cx, JS::HandleValue value)
{
    return ParseColour(JSValueToText(cx, value), 0);
}

bool DrawText(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CJSDrawContext* pContext = ThisContext(cx, args, "drawText", 4, false);
    if (!pContext)
        return false;
    const int32_t x = JSValueToInt(cx, args[0]);
    const int32_t y = JSValueToInt(cx, args[1]);
    const std::string text = JSValueToText(cx, args[2]);
    const uint32_t colour = ColourArg(cx, args[3]);
    if (pContext->m_pDC)
        pContext->m_pDC->DrawText(x, y, text, colour);
    args.rval().setUndefined();
    return true;
}

bool SelectFont(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CJSDrawContext* pContext = ThisContext(cx, args, "selectFont", 5, false);
    if (!pContext)
        return false;
    const std::string face = JSValueToText(cx, args[0]);
    const int32_t size = JSValueToInt(cx, args[1]);
    const bool bold = JSValueToBool(cx, args[2]);
    const bool italic = JSValueToBool(cx, args[3]);
    const bool underline = JSValueToBool(cx, args[4]);
    args.rval().setBoolean(pContext->m_pDC &&
                           pContext->m_pDC->SelectFontByName(face.c_str(), size, bold, italic, underline));
    return true;
}

// fillRect(rect, colour) or fillRect(left, top, right, bottom, colour).
bool FillRect(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    const bool bRectForm = args.length() == 2;
    CJSDrawContext* pContext = ThisContext(cx, args, "fillRect", bRectForm ? 2 : 5, bRectForm);
    if (!pContext)
        return false;
    args.rval().setUndefined();
    plat::Rect rect;
    if (bRectForm) {
        if (!GetRectFromValue(cx, args[0], rect))
            return true;   // draws nothing
    } else {
        rect = {JSValueToInt(cx, args[0]), JSValueToInt(cx, args[1]), JSValueToInt(cx, args[2]),
                JSValueToInt(cx, args[3])};
    }
    const uint32_t colour = ColourArg(cx, args[bRectForm ? 1 : 4]);
    if (pContext->m_pDC)
        pContext->m_pDC->FillRect(rect, colour);
    return true;
}

bool GetCurrentFontHeight(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CJSDrawContext* pContext = ThisContext(cx, args, "getCurrentFontHeight", 0, true);
    if (!pContext)
        return false;
    args.rval().setInt32(pContext->m_pDC ? pContext->m_pDC->GetLineHeight() : 0);
    return true;
}

bool MeasureText(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CJSDrawContext* pContext = ThisContext(cx, args, "measureText", 1, false);
    if (!pContext)
        return false;
    const std::string text = JSValueToText(cx, args[0]);
    JSObject* size = NewSizeObject(cx, pContext->m_pDC ? pContext->m_pDC->MeasureText(text) : plat::Size{});
    if (!size)
        return false;
    args.rval().setObject(*size);
    return true;
}

}  // namespace

bool DefineDrawContextClass(CScriptEngine& engine)
{
    return DefineClass(engine, g_drawContextClass) != nullptr;
}

const CJSClassRecord& DrawContextClassRecord() { return g_drawContextClass; }

bool GetDrawDCFromValue(JSContext* cx, JS::HandleValue value, CDrawDC*& pDC)
{
    auto* pContext = JSValueToNative<CJSDrawContext>(cx, value, g_drawContextClass);
    if (!pContext)
        return false;
    pDC = pContext->m_pDC;
    return true;
}

CScriptDrawContext::CScriptDrawContext(JSContext* cx, CDrawDC* pDC)
{
    CScriptEngine* pEngine = CScriptEngine::FromContext(cx);
    if (!pEngine)
        return;
    auto* pContext = new CJSDrawContext(pDC);
    if (NewInstance(*pEngine, g_drawContextClass, pContext))
        m_object = pContext->GetRef();
}

CScriptDrawContext::~CScriptDrawContext()
{
    if (auto* pContext = static_cast<CJSDrawContext*>(m_object.Get()))
        pContext->m_pDC = nullptr;
}

JSObject* CScriptDrawContext::GetObject() const
{
    CJSObject* pContext = m_object.Get();
    return pContext ? pContext->GetScriptObject() : nullptr;
}
