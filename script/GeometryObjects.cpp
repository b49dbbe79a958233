#include "script/GeometryObjects.h"

#include <array>

namespace {

// Edges move the way 32-bit screen coordinates do: sums wrap around rather than overflow.
int32_t Add(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
int32_t Sub(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// The native object of Point, Size and Rect: the value, whose int fields are the tiny-id
// properties 1 to N in the order of the field list.
template <class T, size_t N>
class CJSShape : public CJSObject {
public:
    using FieldList = std::array<int T::*, N>;

    CJSShape(const FieldList& fields, const T& value) : m_value(value), m_fields(fields) {}

    bool GetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp) override
    {
        if (nTinyId < 1 || nTinyId > static_cast<int>(N))
            return CJSObject::GetProperty(cx, obj, nTinyId, vp);
        vp.setInt32(m_value.*m_fields[nTinyId - 1]);
        return true;
    }
    bool SetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp) override
    {
        if (nTinyId < 1 || nTinyId > static_cast<int>(N))
            return CJSObject::SetProperty(cx, obj, nTinyId, vp);
        m_value.*m_fields[nTinyId - 1] = JSValueToInt(cx, vp);
        return true;
    }

    T m_value;

private:
    const FieldList& m_fields;
};

using CJSPoint = CJSShape<plat::Point, 2>;
using CJSSize = CJSShape<plat::Size, 2>;
using CJSRect = CJSShape<plat::Rect, 4>;

const CJSPoint::FieldList kPointFields{&plat::Point::x, &plat::Point::y};
const CJSSize::FieldList kSizeFields{&plat::Size::cx, &plat::Size::cy};
const CJSRect::FieldList kRectFields{&plat::Rect::left, &plat::Rect::top, &plat::Rect::right,
                                     &plat::Rect::bottom};

const CJSPropertySpec kPointProperties[] = {{"x", 1, false}, {"y", 2, false}, {nullptr, 0, false}};
const CJSPropertySpec kSizeProperties[] = {{"cx", 1, false}, {"cy", 2, false}, {nullptr, 0, false}};
const CJSPropertySpec kRectProperties[] = {
    {"left", 1, false}, {"top", 2, false}, {"right", 3, false}, {"bottom", 4, false}, {nullptr, 0, false}};

// Points and sizes made by script start at (0, 0), whatever the arguments.
CJSObject* CreatePoint(JSContext*, const JS::CallArgs&) { return new CJSPoint(kPointFields, {}); }
CJSObject* CreateSize(JSContext*, const JS::CallArgs&) { return new CJSSize(kSizeFields, {}); }
CJSObject* CreateRect(JSContext* cx, const JS::CallArgs& args);

bool RectWidth(JSContext* cx, unsigned argc, JS::Value* vp);
bool RectHeight(JSContext* cx, unsigned argc, JS::Value* vp);
bool RectInflate(JSContext* cx, unsigned argc, JS::Value* vp);
bool RectOffset(JSContext* cx, unsigned argc, JS::Value* vp);
bool RectMoveTo(JSContext* cx, unsigned argc, JS::Value* vp);
bool RectIsPointInRect(JSContext* cx, unsigned argc, JS::Value* vp);
bool RectGetSize(JSContext* cx, unsigned argc, JS::Value* vp);

const JSFunctionSpec kRectMethods[] = {
    JS_FN("width", RectWidth, 0, 0),     JS_FN("height", RectHeight, 0, 0),
    JS_FN("inflate", RectInflate, 2, 0), JS_FN("offset", RectOffset, 2, 0),
    JS_FN("moveTo", RectMoveTo, 2, 0),   JS_FN("isPointInRect", RectIsPointInRect, 1, 0),
    JS_FN("getSize", RectGetSize, 0, 0), JS_FS_END};

const CJSClassRecord g_pointClass("Point", nullptr, kPointProperties, CreatePoint, true);
const CJSClassRecord g_sizeClass("Size", nullptr, kSizeProperties, CreateSize, true);
const CJSClassRecord g_rectClass("Rect", kRectMethods, kRectProperties, CreateRect, true);

CJSObject* CreateRect(JSContext* cx, const JS::CallArgs& args)
{
    plat::Rect rect;
    if (args.length() == 1) {
        if (!GetRectFromValue(cx, args[0], rect)) {
            JSReport(cx, "Variable passed is not a Rect object");
            return nullptr;
        }
    } else if (args.length() == 4) {
        rect = {JSValueToInt(cx, args[0]), JSValueToInt(cx, args[1]), JSValueToInt(cx, args[2]),
                JSValueToInt(cx, args[3])};
    } else {
        JSReport(cx, "Incorrect number of paramaters given to Rect constructor");
        return nullptr;
    }
    return new CJSRect(kRectFields, rect);
}

// The rectangle of "this" for a Rect method, after the count check; null after a failure.
plat::Rect* ThisRect(JSContext* cx, const JS::CallArgs& args, const char* pszName, unsigned nNeeded,
                     bool bExactly)
{
    auto* pRect = JSThisNative<CJSRect>(cx, args, g_rectClass);
    if (!pRect || !JSCheckArgCount(cx, args, pszName, nNeeded, bExactly))
        return nullptr;
    return &pRect->m_value;
}

bool RectWidth(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    const plat::Rect* pRect = ThisRect(cx, args, "width", 0, false);
    if (!pRect)
        return false;
    args.rval().setInt32(Sub(pRect->right, pRect->left));
    return true;
}

bool RectHeight(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    const plat::Rect* pRect = ThisRect(cx, args, "height", 0, false);
    if (!pRect)
        return false;
    args.rval().setInt32(Sub(pRect->bottom, pRect->top));
    return true;
}

// inflate, offset and moveTo: two numbers, then the change; no value answered.
template <void (*Change)(plat::Rect&, int32_t, int32_t)>
bool RectChange(JSContext* cx, unsigned argc, JS::Value* vp, const char* pszName)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    plat::Rect* pRect = ThisRect(cx, args, pszName, 2, false);
    if (!pRect)
        return false;
    const int32_t a = JSValueToInt(cx, args[0]);
    const int32_t b = JSValueToInt(cx, args[1]);
    Change(*pRect, a, b);
    args.rval().setUndefined();
    return true;
}

void Inflate(plat::Rect& r, int32_t dx, int32_t dy)
{
    r = {Sub(r.left, dx), Sub(r.top, dy), Add(r.right, dx), Add(r.bottom, dy)};
}
void Offset(plat::Rect& r, int32_t dx, int32_t dy)
{
    r = {Add(r.left, dx), Add(r.top, dy), Add(r.right, dx), Add(r.bottom, dy)};
}
void MoveTo(plat::Rect& r, int32_t x, int32_t y)
{
    Offset(r, Sub(x, r.left), Sub(y, r.top));
}

bool RectInflate(JSContext* cx, unsigned argc, JS::Value* vp) { return RectChange<Inflate>(cx, argc, vp, "inflate"); }
bool RectOffset(JSContext* cx, unsigned argc, JS::Value* vp) { return RectChange<Offset>(cx, argc, vp, "offset"); }
bool RectMoveTo(JSContext* cx, unsigned argc, JS::Value* vp) { return RectChange<MoveTo>(cx, argc, vp, "moveTo"); }

bool RectIsPointInRect(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    const plat::Rect* pRect = ThisRect(cx, args, "isPointInRect", 1, false);
    if (!pRect)
        return false;
    plat::Point point;
    if (!GetPointFromValue(cx, args[0], point))
        return JSFail(cx, "Variable passed is not a Point object");
    args.rval().setBoolean(point.x >= pRect->left && point.x < pRect->right && point.y >= pRect->top &&
                           point.y < pRect->bottom);
    return true;
}

bool RectGetSize(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    const plat::Rect* pRect = ThisRect(cx, args, "getSize", 0, true);
    if (!pRect)
        return false;
    JSObject* obj = NewSizeObject(cx, {Sub(pRect->right, pRect->left), Sub(pRect->bottom, pRect->top)});
    if (!obj)
        return false;
    args.rval().setObject(*obj);
    return true;
}

JSObject* NewObject(JSContext* cx, const CJSClassRecord& record, CJSObject* pNative)
{
    CScriptEngine* pEngine = CScriptEngine::FromContext(cx);
    if (!pEngine) {
        delete pNative;
        return nullptr;
    }
    return NewInstance(*pEngine, record, pNative);
}

template <class TShape, class TValue>
bool GetValue(JSContext* cx, JS::HandleValue value, const CJSClassRecord& record, TValue& out)
{
    auto* pShape = JSValueToNative<TShape>(cx, value, record);
    if (!pShape)
        return false;
    out = pShape->m_value;
    return true;
}

}  // namespace

bool DefineGeometryClasses(CScriptEngine& engine)
{
    for (const CJSClassRecord* pRecord : {&g_pointClass, &g_sizeClass, &g_rectClass})
        if (!DefineClass(engine, *pRecord))
            return false;
    return true;
}

const CJSClassRecord& PointClassRecord() { return g_pointClass; }
const CJSClassRecord& SizeClassRecord() { return g_sizeClass; }
const CJSClassRecord& RectClassRecord() { return g_rectClass; }

JSObject* NewPointObject(JSContext* cx, const plat::Point& point)
{
    return NewObject(cx, g_pointClass, new CJSPoint(kPointFields, point));
}

JSObject* NewSizeObject(JSContext* cx, const plat::Size& size)
{
    return NewObject(cx, g_sizeClass, new CJSSize(kSizeFields, size));
}

JSObject* NewRectObject(JSContext* cx, const plat::Rect& rect)
{
    return NewObject(cx, g_rectClass, new CJSRect(kRectFields, rect));
}

bool GetPointFromValue(JSContext* cx, JS::HandleValue value, plat::Point& point)
{
    return GetValue<CJSPoint>(cx, value, g_pointClass, point);
}

bool GetSizeFromValue(JSContext* cx, JS::HandleValue value, plat::Size& size)
{
    return GetValue<CJSSize>(cx, value, g_sizeClass, size);
}

bool GetRectFromValue(JSContext* cx, JS::HandleValue value, plat::Rect& rect)
{
    return GetValue<CJSRect>(cx, value, g_rectClass, rect);
}
