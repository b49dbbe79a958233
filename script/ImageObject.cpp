#include "script/ImageObject.h"

#include "script/DrawContextObject.h"
#include "script/GeometryObjects.h"

namespace {

class CJSImage : public CJSObject {
public:
    explicit CJSImage(CImagePtr pImage) : m_pImage(std::move(pImage)) {}
    CImagePtr m_pImage;   // never null
};

bool GetSize(JSContext* cx, unsigned argc, JS::Value* vp);
bool GetFrameCount(JSContext* cx, unsigned argc, JS::Value* vp);
bool GetFrameTime(JSContext* cx, unsigned argc, JS::Value* vp);
bool Draw(JSContext* cx, unsigned argc, JS::Value* vp);

const JSFunctionSpec kImageMethods[] = {
    JS_FN("getSize", GetSize, 0, 0),
    JS_FN("getFrameCount", GetFrameCount, 0, 0),
    JS_FN("getFrameTime", GetFrameTime, 1, 0),
    JS_FN("draw", Draw, 3, 0),
    JS_FS_END};

const CJSClassRecord g_imageClass("Image", kImageMethods, nullptr, nullptr, false);

const CImage* ThisImage(JSContext* cx, const JS::CallArgs& args, const char* pszName, unsigned nNeeded,
                        bool bExactly)
{
    auto* pImage = JSThisNative<CJSImage>(cx, args, g_imageClass);
    if (!pImage || !JSCheckArgCount(cx, args, pszName, nNeeded, bExactly))
        return nullptr;
    return pImage->m_pImage.get();
}

bool GetSize(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    const CImage* pImage = ThisImage(cx, args, "getSize", 0, true);
    if (!pImage)
        return false;
    JSObject* size = NewSizeObject(cx, pImage->GetSize());
    if (!size)
        return false;
    args.rval().setObject(*size);
    return true;
}

bool GetFrameCount(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    const CImage* pImage = ThisImage(cx, args, "getFrameCount", 0, true);
    if (!pImage)
        return false;
    args.rval().setInt32(pImage->GetFrameCount());
    return true;
}

bool GetFrameTime(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    const CImage* pImage = ThisImage(cx, args, "getFrameTime", 1, false);
    if (!pImage)
        return false;
    args.rval().setNumber(pImage->GetFrameTime(JSValueToInt(cx, args[0])));
    return true;
}

// draw(frame, context, x, y), draw(frame, context, rect) or
// draw(frame, context, left, top, right, bottom).
bool Draw(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    auto* pThis = JSThisNative<CJSImage>(cx, args, g_imageClass);
    if (!pThis)
        return false;
    const unsigned nArgs = args.length();
    if (nArgs != 3 && nArgs != 4 && nArgs != 6)
        return JSFail(cx, "Incorrect number of arguments given");
    const int32_t frame = JSValueToInt(cx, args[0]);
    CDrawDC* pDC = nullptr;
    if (!GetDrawDCFromValue(cx, args[1], pDC))
        return false;
    plat::Rect rect;
    if (nArgs == 3) {
        if (!GetRectFromValue(cx, args[2], rect))
            return JSFail(cx, "Expected parameter type Rect");
    } else {
        int32_t edges[4] = {};
        for (unsigned i = 2; i < nArgs; ++i)
            edges[i - 2] = JSValueToInt(cx, args[i]);
        rect = {edges[0], edges[1], edges[2], edges[3]};
    }
    args.rval().setUndefined();
    if (!pDC)
        return true;
    if (nArgs == 4)
        pDC->DrawImage(pThis->m_pImage.get(), frame, rect.left, rect.top);
    else
        pDC->DrawImageStretched(pThis->m_pImage.get(), frame, rect.left, rect.top, rect.right, rect.bottom);
    return true;
}

}  // namespace

bool DefineImageClass(CScriptEngine& engine)
{
    return DefineClass(engine, g_imageClass) != nullptr;
}

const CJSClassRecord& ImageClassRecord() { return g_imageClass; }

JSObject* NewImageObject(JSContext* cx, CImagePtr pImage)
{
    CScriptEngine* pEngine = CScriptEngine::FromContext(cx);
    if (!pEngine || !pImage)
        return nullptr;
    return NewInstance(*pEngine, g_imageClass, new CJSImage(std::move(pImage)));
}

CImagePtr GetImageFromValue(JSContext* cx, JS::HandleValue value)
{
    auto* pImage = JSValueToNative<CJSImage>(cx, value, g_imageClass);
    return pImage ? pImage->m_pImage : nullptr;
}
