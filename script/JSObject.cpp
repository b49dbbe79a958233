#include "script/JSObject.h"

#include <js/Conversions.h>
#include <js/Object.h>
#include <jsfriendapi.h>

#include <cstdarg>
#include <cstring>

namespace {

// Reserved slots of the accessor functions of tiny-id properties, and of class constructors.
constexpr size_t kSlotTinyId = 0;
constexpr size_t kSlotRecord = 1;
// Reserved slot of a bound script object that holds its native object.
constexpr size_t kSlotNative = 0;

const CJSClassRecord* RecordOf(JSObject* function)
{
    return static_cast<const CJSClassRecord*>(js::GetFunctionNativeReserved(function, kSlotRecord).toPrivate());
}

const char* TypeName(JSContext* cx, JS::HandleValue value)
{
    switch (JS_TypeOfValue(cx, value)) {
    case JSTYPE_UNDEFINED: return "undefined";
    case JSTYPE_OBJECT: return "object";
    case JSTYPE_FUNCTION: return "function";
    case JSTYPE_STRING: return "string";
    case JSTYPE_NUMBER: return "number";
    case JSTYPE_BOOLEAN: return "boolean";
    case JSTYPE_SYMBOL: return "symbol";
    case JSTYPE_BIGINT: return "bigint";
    default: return "unknown";
    }
}

// The native object of an object of exactly this class.
CJSObject* NativeOfClass(JSObject* obj, const CJSClassRecord& record)
{
    return (obj && JS::GetClass(obj) == record.GetClass()) ? CJSObject::FromObject(obj) : nullptr;
}

JSObject* NewAccessor(JSContext* cx, JSNative native, unsigned nArgs, const char* pszName,
                      int nTinyId, const CJSClassRecord& record)
{
    JSFunction* function = js::NewFunctionWithReserved(cx, native, nArgs, 0, pszName);
    if (!function)
        return nullptr;
    JSObject* obj = JS_GetFunctionObject(function);
    js::SetFunctionNativeReserved(obj, kSlotTinyId, JS::Int32Value(nTinyId));
    js::SetFunctionNativeReserved(obj, kSlotRecord, JS::PrivateValue(const_cast<CJSClassRecord*>(&record)));
    return obj;
}

}  // namespace

// The hooks that every bound class shares.
struct CJSObjectHooks {
    static void Finalize(JS::GCContext*, JSObject* obj)
    {
        CJSObject* pNative = JS::GetMaybePtrFromReservedSlot<CJSObject>(obj, kSlotNative);
        if (!pNative)
            return;
        pNative->m_pScriptObject = nullptr;
        if (pNative->m_bOwnedByScript)
            pNative->Delete();
        else
            pNative->m_pEngine = nullptr;
    }

    static size_t Moved(JSObject* obj, JSObject*)
    {
        if (CJSObject* pNative = JS::GetMaybePtrFromReservedSlot<CJSObject>(obj, kSlotNative))
            pNative->m_pScriptObject = obj;
        return 0;
    }

    // new Name(...)
    static bool Construct(JSContext* cx, unsigned argc, JS::Value* vp)
    {
        JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
        const CJSClassRecord& record = *RecordOf(&args.callee());
        if (!args.isConstructing())
            return JSFail(cx, "class '%s' constructor cannot be called like a function", record.GetName());
        if (!record.IsCreatedByScript())
            return JSFail(cx, "%s objects cannot be created in script", record.GetName());
        JS::RootedObject obj(cx, JS_NewObjectForConstructor(cx, record.GetClass(), args));
        if (!obj)
            return false;
        CJSObject* pNative = record.GetFactory() ? record.GetFactory()(cx, args) : nullptr;
        if (!pNative) {
            if (CScriptEngine* pEngine = CScriptEngine::FromContext(cx))
                pEngine->ReportPendingException();   // the factory's own reason comes first
            return JSFail(cx, "class '%s' failed to create it's object", record.GetName());
        }
        Bind(pNative, obj, cx);
        args.rval().setObject(*obj);
        return true;
    }

    // The getter (kSet false) and setter of every tiny-id property: the accessor carries its
    // tiny id and class.
    template <bool kSet>
    static bool AccessTinyId(JSContext* cx, unsigned argc, JS::Value* vp)
    {
        JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
        const CJSClassRecord& record = *RecordOf(&args.callee());
        int nTinyId = js::GetFunctionNativeReserved(&args.callee(), kSlotTinyId).toInt32();
        JS::RootedObject obj(cx, args.thisv().isObject() ? &args.thisv().toObject() : nullptr);
        CJSObject* pNative = NativeOfClass(obj, record);
        if (!pNative)
            return JSFail(cx, "class '%s' cannot be a base class", record.GetName());
        if constexpr (kSet) {
            JS::RootedValue value(cx, args.get(0));
            args.rval().setUndefined();
            return pNative->SetProperty(cx, obj, nTinyId, &value);
        } else {
            if (!pNative->GetProperty(cx, obj, nTinyId, args.rval()))
                return JSFail(cx, "class '%s' does not have property %d", record.GetName(), nTinyId);
            return true;
        }
    }

    static constexpr JSClassOps kOps = {nullptr, nullptr, nullptr, nullptr, nullptr,
                                        nullptr, Finalize, nullptr, nullptr, nullptr};
    static constexpr js::ClassExtension kExtension = {Moved};
};

// ---- CJSObject ------------------------------------------------------------------------------

CJSObject::CJSObject(bool bOwnedByScript)
    : m_bOwnedByScript(bOwnedByScript), m_spSelf(std::make_shared<CJSObject*>(this))
{
}

CJSObject::~CJSObject()
{
    *m_spSelf = nullptr;
    if (m_pScriptObject)   // deleted by its owner while the script object lives on
        JS::SetReservedSlot(m_pScriptObject, kSlotNative, JS::UndefinedValue());
}

bool CJSObject::GetProperty(JSContext* cx, JS::HandleObject obj, int, JS::MutableHandleValue)
{
    JSReport(cx, "class '%s' OnGetProperty called but the default has not been overridden",
             JS::GetClass(obj)->name);
    return false;
}

bool CJSObject::SetProperty(JSContext* cx, JS::HandleObject obj, int, JS::MutableHandleValue)
{
    JSReport(cx, "class '%s' OnSetProperty called but the default has not been overridden",
             JS::GetClass(obj)->name);
    return false;
}

void CJSObject::Delete() { delete this; }

JSObject* CJSObject::GetScriptObject() const
{
    if (m_pScriptObject)
        JS::ExposeObjectToActiveJS(m_pScriptObject);
    return m_pScriptObject;
}

CJSObject* CJSObject::FromObject(JSObject* obj)
{
    if (!obj || JS::GetClass(obj)->cOps != &CJSObjectHooks::kOps)
        return nullptr;
    return JS::GetMaybePtrFromReservedSlot<CJSObject>(obj, kSlotNative);
}

CJSObject::CRef CJSObject::GetRef() const
{
    CRef ref;
    ref.m_spObject = m_spSelf;
    return ref;
}

// ---- class records and definitions ----------------------------------------------------------

CJSClassRecord::CJSClassRecord(const char* pszName, const JSFunctionSpec* pMethods,
                               const CJSPropertySpec* pProperties, Factory pfnFactory,
                               bool bCreatedByScript)
    : m_class{pszName, JSCLASS_HAS_RESERVED_SLOTS(1) | JSCLASS_FOREGROUND_FINALIZE,
              &CJSObjectHooks::kOps, nullptr, &CJSObjectHooks::kExtension, nullptr},
      m_pMethods(pMethods),
      m_pProperties(pProperties),
      m_pfnFactory(pfnFactory),
      m_bCreatedByScript(bCreatedByScript)
{
}

void Bind(CJSObject* pNative, JS::HandleObject obj, JSContext* cx)
{
    if (pNative->m_pScriptObject && pNative->m_pScriptObject != obj)
        JS::SetReservedSlot(pNative->m_pScriptObject, kSlotNative, JS::UndefinedValue());
    pNative->m_pScriptObject = obj;
    pNative->m_pEngine = CScriptEngine::FromContext(cx);
    JS::SetReservedSlot(obj, kSlotNative, JS::PrivateValue(pNative));
}

bool DefineMembers(JSContext* cx, JS::HandleObject obj, const CJSClassRecord& record,
                   const JSFunctionSpec* pMethods, const CJSPropertySpec* pProperties)
{
    if (pMethods && !JS_DefineFunctions(cx, obj, pMethods))
        return false;
    for (const CJSPropertySpec* pSpec = pProperties; pSpec && pSpec->pszName; ++pSpec) {
        JS::RootedObject getter(cx, NewAccessor(cx, CJSObjectHooks::AccessTinyId<false>, 0, pSpec->pszName,
                                                pSpec->nTinyId, record));
        JS::RootedObject setter(cx);
        if (!pSpec->bReadOnly)
            setter = NewAccessor(cx, CJSObjectHooks::AccessTinyId<true>, 1, pSpec->pszName, pSpec->nTinyId, record);
        if (!getter || (!pSpec->bReadOnly && !setter) ||
            !JS_DefineProperty(cx, obj, pSpec->pszName, getter, setter, JSPROP_ENUMERATE | JSPROP_PERMANENT))
            return false;
    }
    return true;
}

bool DefineConstants(JSContext* cx, JS::HandleObject obj, const CJSConstantSpec* pConstants)
{
    for (const CJSConstantSpec* pSpec = pConstants; pSpec && pSpec->pszName; ++pSpec) {
        if (!JS_DefineProperty(cx, obj, pSpec->pszName, pSpec->dValue, JSPROP_READONLY | JSPROP_PERMANENT))
            return false;
    }
    return true;
}

JSObject* DefineClass(CScriptEngine& engine, const CJSClassRecord& record)
{
    JSContext* cx = engine.GetContext();
    if (!cx)
        return nullptr;
    CScriptEngine::CEnter enter(engine);
    JS::RootedObject objectPrototype(cx, JS::GetRealmObjectPrototype(cx));
    JS::RootedObject proto(cx, objectPrototype ? JS_NewObjectWithGivenProto(cx, record.GetClass(), objectPrototype)
                                               : nullptr);
    JSFunction* function = proto ? js::NewFunctionWithReserved(cx, CJSObjectHooks::Construct, 0,
                                                                JSFUN_CONSTRUCTOR, record.GetName())
                                 : nullptr;
    JS::RootedObject constructor(cx, function ? JS_GetFunctionObject(function) : nullptr);
    if (constructor)
        js::SetFunctionNativeReserved(constructor, kSlotRecord, JS::PrivateValue(const_cast<CJSClassRecord*>(&record)));
    if (!constructor || !JS_LinkConstructorAndPrototype(cx, constructor, proto) ||
        !JS_DefineProperty(cx, engine.GetGlobalObject(), record.GetName(), constructor, 0) ||
        !DefineMembers(cx, proto, record, record.GetMethods(), record.GetProperties())) {
        engine.ReportPendingException();
        return nullptr;
    }
    engine.SetPrototype(record.GetClass(), proto);
    return proto;
}

JSObject* NewInstance(CScriptEngine& engine, const CJSClassRecord& record, CJSObject* pNative)
{
    JSContext* cx = engine.GetContext();
    JS::RootedObject obj(cx);
    if (cx) {
        CScriptEngine::CEnter enter(engine);
        JS::RootedObject proto(cx, engine.GetPrototype(record.GetClass()));
        if (proto)
            obj = JS_NewObjectWithGivenProto(cx, record.GetClass(), proto);
        if (obj)
            Bind(pNative, obj, cx);
        else
            engine.ReportPendingException();
    }
    if (!obj && pNative->IsOwnedByScript())
        pNative->Delete();
    return obj;
}

JSObject* DefineStaticObject(CScriptEngine& engine, JS::HandleObject parent, const char* pszName,
                             const CJSClassRecord& record, CJSObject* pNative)
{
    JSContext* cx = engine.GetContext();
    if (!cx)
        return nullptr;
    CScriptEngine::CEnter enter(engine);
    JS::RootedObject obj(cx, JS_DefineObject(cx, parent, pszName, record.GetClass(),
                                             JSPROP_ENUMERATE | JSPROP_READONLY | JSPROP_PERMANENT));
    if (!obj) {
        JS_ClearPendingException(cx);
        engine.ReportScriptError(FormatScriptText("Out of memory when trying to define static object '%s'", pszName));
        return nullptr;
    }
    if (pNative) {
        pNative->SetOwnedByScript(false);
        Bind(pNative, obj, cx);
    }
    if (!DefineMembers(cx, obj, record, record.GetMethods(), record.GetProperties())) {
        engine.ReportPendingException();
        return nullptr;
    }
    return obj;
}

// ---- reports, argument checks and conversions -----------------------------------------------

void JSReport(JSContext* cx, const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    std::string strText = FormatScriptTextV(pszFormat, args);
    va_end(args);
    if (CScriptEngine* pEngine = CScriptEngine::FromContext(cx))
        pEngine->ReportScriptError(strText);
}

bool JSFail(JSContext* cx, const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    std::string strText = FormatScriptTextV(pszFormat, args);
    va_end(args);
    JS_ReportErrorUTF8(cx, "%s", strText.c_str());
    return false;
}

bool JSCheckArgCount(JSContext* cx, const JS::CallArgs& args, const char* pszName, unsigned nNeeded,
                     bool bExactly)
{
    if (args.length() == nNeeded || (!bExactly && args.length() > nNeeded))
        return true;
    return JSFail(cx, "%s - Incorrect number of arguments (needed: %d, got: %d)", pszName,
                  static_cast<int>(nNeeded), static_cast<int>(args.length()));
}

std::string JSValueToText(JSContext* cx, JS::HandleValue value)
{
    if (value.isString()) {
        JS::RootedString str(cx, value.toString());
        if (JS::UniqueChars utf8 = JS_EncodeStringToUTF8(cx, str))
            return utf8.get();
        JS_ClearPendingException(cx);
    }
    JSReport(cx, "Variable is not a string, was (%s)", TypeName(cx, value));
    return "undefined";
}

int32_t JSValueToInt(JSContext* cx, JS::HandleValue value)
{
    int32_t nValue = 0;
    if (value.isNumber() && JS::ToInt32(cx, value, &nValue))
        return nValue;
    JSReport(cx, "Variable is not an int, was (%s)", TypeName(cx, value));
    return 0;
}

bool JSValueToBool(JSContext* cx, JS::HandleValue value)
{
    if (value.isBoolean())
        return value.toBoolean();
    JSReport(cx, "Variable is not an boolean, was (%s)", TypeName(cx, value));
    return false;
}

CJSObject* JSValueToNative(JSContext* cx, JS::HandleValue value, const CJSClassRecord& record)
{
    if (!value.isObject()) {
        JSReport(cx, "Object is not an object, expected type '%s'", record.GetName());
        return nullptr;
    }
    JSObject* obj = &value.toObject();
    const char* pszGiven = JS::GetClass(obj)->name;
    if (std::strcmp(pszGiven, record.GetName()) != 0 || JS::GetClass(obj) != record.GetClass()) {
        JSReport(cx, "Object is not expected type '%s', you gave '%s'", record.GetName(), pszGiven);
        return nullptr;
    }
    CJSObject* pNative = CJSObject::FromObject(obj);
    if (!pNative)
        JSReport(cx, "class '%s' cannot be a base class", record.GetName());
    return pNative;
}

CJSObject* JSThisNative(JSContext* cx, const JS::CallArgs& args, const CJSClassRecord& record)
{
    CJSObject* pNative = NativeOfClass(args.thisv().isObject() ? &args.thisv().toObject() : nullptr, record);
    if (!pNative)
        JSFail(cx, "class '%s' cannot be a base class", record.GetName());
    return pNative;
}

JSString* JSNewText(JSContext* cx, const std::string& strText)
{
    JS::UTF8Chars utf8(strText.data(), strText.size());
    if (JSString* str = JS_NewStringCopyUTF8N(cx, utf8))
        return str;
    JS_ClearPendingException(cx);   // malformed: decode it leniently
    size_t nLength = 0;
    JS::UniqueTwoByteChars chars(JS::LossyUTF8CharsToNewTwoByteCharsZ(cx, utf8, &nLength, js::MallocArena).get());
    return chars ? JS_NewUCString(cx, std::move(chars), nLength) : nullptr;
}

// ---- queued calls of script functions -------------------------------------------------------

void CScriptFunctionCallback::Run()
{
    CJSObject* pTarget = m_target.Get();
    CScriptEngine* pEngine = pTarget ? pTarget->GetEngine() : nullptr;
    if (!pEngine || !pTarget->GetScriptObject())
        return;
    JS::RootedObject obj(pEngine->GetContext(), pTarget->GetScriptObject());
    pEngine->CallFunction(obj, m_strFunction.c_str(), nullptr, JS::HandleValueArray::empty());
}
