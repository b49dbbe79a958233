#include "script/TestObjects.h"

#include <atomic>

namespace {

std::atomic<int> g_nLive{0};

// Counts the native objects that script objects own.
class CCounted : public CJSObject {
public:
    CCounted() { ++g_nLive; }
    ~CCounted() override { --g_nLive; }
};

int32_t IntArg(JSContext* cx, const JS::CallArgs& args, unsigned nIndex)
{
    return nIndex < args.length() ? JSValueToInt(cx, args[nIndex]) : 0;
}

// ---- TestPoint ------------------------------------------------------------------------------

class CTestPoint : public CCounted {
public:
    enum { kX = 1, kY = 2 };
    int32_t m_nX = 0, m_nY = 0;

    bool GetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp) override
    {
        if (nTinyId != kX && nTinyId != kY)
            return CJSObject::GetProperty(cx, obj, nTinyId, vp);
        vp.setInt32(nTinyId == kX ? m_nX : m_nY);
        return true;
    }
    bool SetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp) override
    {
        if (nTinyId != kX && nTinyId != kY)
            return CJSObject::SetProperty(cx, obj, nTinyId, vp);
        (nTinyId == kX ? m_nX : m_nY) = JSValueToInt(cx, vp);
        return true;
    }

    static CJSObject* Create(JSContext* cx, const JS::CallArgs& args)
    {
        auto* pPoint = new CTestPoint;
        pPoint->m_nX = IntArg(cx, args, 0);
        pPoint->m_nY = IntArg(cx, args, 1);
        return pPoint;
    }
};

const CJSPropertySpec kPointProperties[] = {
    {"x", CTestPoint::kX, false}, {"y", CTestPoint::kY, false}, {nullptr, 0, false}};
const CJSClassRecord g_pointClass("TestPoint", nullptr, kPointProperties, CTestPoint::Create, true);

// ---- TestRect -------------------------------------------------------------------------------

class CTestRect : public CCounted {
public:
    enum { kLeft = 1, kTop, kRight, kBottom, kWidth };
    int32_t m_anSides[4] = {0, 0, 0, 0};

    bool GetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp) override
    {
        if (nTinyId == kWidth)
            vp.setInt32(m_anSides[2] - m_anSides[0]);
        else if (nTinyId >= kLeft && nTinyId <= kBottom)
            vp.setInt32(m_anSides[nTinyId - kLeft]);
        else
            return CJSObject::GetProperty(cx, obj, nTinyId, vp);
        return true;
    }
    bool SetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp) override
    {
        if (nTinyId < kLeft || nTinyId > kBottom)
            return CJSObject::SetProperty(cx, obj, nTinyId, vp);
        m_anSides[nTinyId - kLeft] = JSValueToInt(cx, vp);
        return true;
    }

    static CJSObject* Create(JSContext* cx, const JS::CallArgs& args)
    {
        if (!JSCheckArgCount(cx, args, "TestRect", 4, true))
            return nullptr;
        auto* pRect = new CTestRect;
        for (unsigned i = 0; i < 4; ++i)
            pRect->m_anSides[i] = IntArg(cx, args, i);
        return pRect;
    }

    static bool Contains(JSContext* cx, unsigned argc, JS::Value* vp);
    static bool Offset(JSContext* cx, unsigned argc, JS::Value* vp);
};

const JSFunctionSpec kRectMethods[] = {JS_FN("contains", CTestRect::Contains, 1, 0),
                                       JS_FN("offset", CTestRect::Offset, 2, 0), JS_FS_END};
const CJSPropertySpec kRectProperties[] = {
    {"left", CTestRect::kLeft, false},     {"top", CTestRect::kTop, false},
    {"right", CTestRect::kRight, false},   {"bottom", CTestRect::kBottom, false},
    {"width", CTestRect::kWidth, true},    {nullptr, 0, false}};
const CJSClassRecord g_rectClass("TestRect", kRectMethods, kRectProperties, CTestRect::Create, true);

bool CTestRect::Contains(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    auto* pRect = JSThisNative<CTestRect>(cx, args, g_rectClass);
    if (!pRect || !JSCheckArgCount(cx, args, "contains", 1, false))
        return false;
    auto* pPoint = JSValueToNative<CTestPoint>(cx, args[0], g_pointClass);
    if (!pPoint)
        return false;
    const int32_t* s = pRect->m_anSides;
    args.rval().setBoolean(pPoint->m_nX >= s[0] && pPoint->m_nX < s[2] && pPoint->m_nY >= s[1] &&
                           pPoint->m_nY < s[3]);
    return true;
}

bool CTestRect::Offset(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    auto* pRect = JSThisNative<CTestRect>(cx, args, g_rectClass);
    if (!pRect || !JSCheckArgCount(cx, args, "offset", 2, true))
        return false;
    int32_t nDX = JSValueToInt(cx, args[0]), nDY = JSValueToInt(cx, args[1]);
    pRect->m_anSides[0] += nDX;
    pRect->m_anSides[2] += nDX;
    pRect->m_anSides[1] += nDY;
    pRect->m_anSides[3] += nDY;
    args.rval().setUndefined();
    return true;
}

// ---- TestImage ------------------------------------------------------------------------------

class CTestImage : public CCounted {
public:
    enum { kWidth = 1, kTag = 2 };
    int32_t m_nWidth = 0;

    bool GetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp) override
    {
        if (nTinyId != kWidth)
            return CJSObject::GetProperty(cx, obj, nTinyId, vp);
        vp.setInt32(m_nWidth);
        return true;
    }
};

const CJSPropertySpec kImageProperties[] = {
    {"width", CTestImage::kWidth, true}, {"tag", CTestImage::kTag, false}, {nullptr, 0, false}};
const CJSClassRecord g_imageClass("TestImage", nullptr, kImageProperties, nullptr, false);

// ---- TestApp and testApp --------------------------------------------------------------------

class CTestApp : public CJSObject {
public:
    enum { kName = 1, kLiveObjects = 2, kMissing = 3 };
    std::string m_strName = "No name set";

    CTestApp() : CJSObject(false) {}

    bool GetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp) override
    {
        if (nTinyId == kLiveObjects) {
            vp.setInt32(LiveTestObjects());
            return true;
        }
        if (nTinyId != kName)
            return CJSObject::GetProperty(cx, obj, nTinyId, vp);
        JSString* str = JSNewText(cx, m_strName);
        if (!str)
            return false;
        vp.setString(str);
        return true;
    }
    bool SetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp) override
    {
        if (nTinyId != kName)
            return CJSObject::SetProperty(cx, obj, nTinyId, vp);
        m_strName = JSValueToText(cx, vp);
        return true;
    }

    static CJSObject* Create(JSContext*, const JS::CallArgs&) { return nullptr; }

    static bool MakeImage(JSContext* cx, unsigned argc, JS::Value* vp);
    static bool Area(JSContext* cx, unsigned argc, JS::Value* vp);
    static bool EchoText(JSContext* cx, unsigned argc, JS::Value* vp);
    static bool EchoInt(JSContext* cx, unsigned argc, JS::Value* vp);
    static bool EchoBool(JSContext* cx, unsigned argc, JS::Value* vp);
    static bool Collect(JSContext* cx, unsigned argc, JS::Value* vp);
};

const JSFunctionSpec kAppMethods[] = {
    JS_FN("makeImage", CTestApp::MakeImage, 1, 0), JS_FN("area", CTestApp::Area, 1, 0),
    JS_FN("echoText", CTestApp::EchoText, 1, 0),   JS_FN("echoInt", CTestApp::EchoInt, 1, 0),
    JS_FN("echoBool", CTestApp::EchoBool, 1, 0),   JS_FN("collect", CTestApp::Collect, 0, 0),
    JS_FS_END};
const CJSPropertySpec kAppProperties[] = {{"name", CTestApp::kName, false},
                                          {"liveObjects", CTestApp::kLiveObjects, true},
                                          {"missing", CTestApp::kMissing, true},
                                          {nullptr, 0, false}};
const CJSClassRecord g_appClass("TestApp", kAppMethods, kAppProperties, CTestApp::Create, true);

bool CTestApp::MakeImage(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CScriptEngine* pEngine = CScriptEngine::FromContext(cx);
    if (!JSCheckArgCount(cx, args, "makeImage", 1, false) || !pEngine)
        return false;
    auto* pImage = new CTestImage;
    pImage->m_nWidth = JSValueToInt(cx, args[0]);
    JSObject* obj = NewInstance(*pEngine, g_imageClass, pImage);
    if (!obj)
        return false;
    args.rval().setObject(*obj);
    return true;
}

bool CTestApp::Area(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, "area", 1, false))
        return false;
    auto* pRect = JSValueToNative<CTestRect>(cx, args[0], g_rectClass);
    if (!pRect)
        return false;
    const int32_t* s = pRect->m_anSides;
    args.rval().setNumber(static_cast<double>(s[2] - s[0]) * (s[3] - s[1]));
    return true;
}

bool CTestApp::EchoText(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, "echoText", 1, false))
        return false;
    JSString* str = JSNewText(cx, JSValueToText(cx, args[0]));
    if (!str)
        return false;
    args.rval().setString(str);
    return true;
}

bool CTestApp::EchoInt(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, "echoInt", 1, false))
        return false;
    args.rval().setInt32(JSValueToInt(cx, args[0]));
    return true;
}

bool CTestApp::EchoBool(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, "echoBool", 1, false))
        return false;
    args.rval().setBoolean(JSValueToBool(cx, args[0]));
    return true;
}

bool CTestApp::Collect(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CScriptEngine* pEngine = CScriptEngine::FromContext(cx);
    if (!JSCheckArgCount(cx, args, "collect", 0, true) || !pEngine)
        return false;
    pEngine->CollectGarbage();
    args.rval().setUndefined();
    return true;
}

const CJSConstantSpec kConstants[] = {{1, "knTestOne"}, {0.5, "knTestHalf"}, {0, nullptr}};

}  // namespace

std::unique_ptr<CJSObject> DefineTestObjects(CScriptEngine& engine)
{
    auto pApp = std::make_unique<CTestApp>();
    for (const CJSClassRecord* pRecord : {&g_pointClass, &g_rectClass, &g_imageClass, &g_appClass}) {
        if (!DefineClass(engine, *pRecord))
            return nullptr;
    }
    if (!DefineStaticObject(engine, engine.GetGlobalObject(), "testApp", g_appClass, pApp.get()))
        return nullptr;
    CScriptEngine::CEnter enter(engine);
    if (!DefineConstants(engine.GetContext(), engine.GetGlobalObject(), kConstants))
        return nullptr;
    return pApp;
}

int LiveTestObjects() { return g_nLive; }
