// The binding of native classes to script. A script class is a class record (name, methods,
// properties addressed by tiny ids, a factory for "new"), and each script object of the class
// carries a CJSObject-derived native object as its private data. The helpers below convert
// arguments and report bad calls with the messages that theme authors know.
//
// Reporting: a native that fails (answers false) does so with JSFail, which raises a script
// error the script may catch and which is reported with its file and line when it is not
// caught. A problem after which the native goes on (a failed conversion) is reported at once
// with JSReport.
#pragma once
#include <memory>
#include <string>

#include "script/ScriptEngine.h"

class CJSClassRecord;

// A property of a class's table: its name, its tiny id and whether scripts may assign it.
struct CJSPropertySpec {
    const char* pszName;   // null ends a table
    int nTinyId;
    bool bReadOnly;
};

// A numeric constant: read only and permanent.
struct CJSConstantSpec {
    double dValue;
    const char* pszName;   // null ends a table
};

// The base of every native object behind a script object.
class CJSObject {
public:
    explicit CJSObject(bool bOwnedByScript = true);
    virtual ~CJSObject();
    CJSObject(const CJSObject&) = delete;
    CJSObject& operator=(const CJSObject&) = delete;

    // The values of the class's tiny-id properties. The defaults report that they were not
    // overridden and answer false.
    virtual bool GetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp);
    virtual bool SetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp);
    virtual void Delete();   // deletes the object

    // The script object this is bound to; null until bound and after it was collected.
    JSObject* GetScriptObject() const;
    CScriptEngine* GetEngine() const { return m_pEngine; }
    // True: deleted when its script object is collected. False: something else owns it.
    bool IsOwnedByScript() const { return m_bOwnedByScript; }
    void SetOwnedByScript(bool bOwned) { m_bOwnedByScript = bOwned; }

    // The native object behind a script object of a bound class; null for prototypes, for
    // objects of other classes and for objects whose native object is gone.
    static CJSObject* FromObject(JSObject* obj);

    // A reference that other threads may hold: it answers null once the object is deleted.
    // Read it on the script thread only.
    class CRef {
    public:
        CRef() = default;
        CJSObject* Get() const { return m_spObject ? *m_spObject : nullptr; }
    private:
        friend class CJSObject;
        std::shared_ptr<CJSObject*> m_spObject;
    };
    CRef GetRef() const;

private:
    friend void Bind(CJSObject* pNative, JS::HandleObject obj, JSContext* cx);
    friend struct CJSObjectHooks;

    JSObject* m_pScriptObject = nullptr;   // weak: kept current when the collector moves it
    CScriptEngine* m_pEngine = nullptr;
    bool m_bOwnedByScript;
    std::shared_ptr<CJSObject*> m_spSelf;
};

// The class record of one script class; one static record per class.
class CJSClassRecord {
public:
    // Makes the native object for "new Name(...)"; null when it cannot (the factory may report
    // why). The object it makes is normally owned by script.
    using Factory = CJSObject* (*)(JSContext* cx, const JS::CallArgs& args);

    CJSClassRecord(const char* pszName, const JSFunctionSpec* pMethods,
                   const CJSPropertySpec* pProperties, Factory pfnFactory, bool bCreatedByScript);

    const char* GetName() const { return m_class.name; }
    const JSClass* GetClass() const { return &m_class; }
    const JSFunctionSpec* GetMethods() const { return m_pMethods; }
    const CJSPropertySpec* GetProperties() const { return m_pProperties; }
    Factory GetFactory() const { return m_pfnFactory; }
    bool IsCreatedByScript() const { return m_bCreatedByScript; }

private:
    JSClass m_class;
    const JSFunctionSpec* m_pMethods;
    const CJSPropertySpec* m_pProperties;
    Factory m_pfnFactory;
    bool m_bCreatedByScript;
};

// Defines the class on the engine's global object: its constructor, and its methods and
// properties on the prototype. Answers the prototype, or null.
JSObject* DefineClass(CScriptEngine& engine, const CJSClassRecord& record);
// A new script object of a defined class bound to the native object, for native code that
// hands objects to script. On failure answers null and deletes a native owned by script.
JSObject* NewInstance(CScriptEngine& engine, const CJSClassRecord& record, CJSObject* pNative);
// Defines the named, read-only property of the parent holding a new object of the class with
// the class's methods and properties, bound to the native object (which stays owned by its
// owner; null for an object without one). Answers the object or, after a report, null.
JSObject* DefineStaticObject(CScriptEngine& engine, JS::HandleObject parent, const char* pszName,
                             const CJSClassRecord& record, CJSObject* pNative);
// Defines the methods and the tiny-id properties of a class on an object.
bool DefineMembers(JSContext* cx, JS::HandleObject obj, const CJSClassRecord& record,
                   const JSFunctionSpec* pMethods, const CJSPropertySpec* pProperties);
bool DefineConstants(JSContext* cx, JS::HandleObject obj, const CJSConstantSpec* pConstants);
// Makes the native object the private data of the script object.
void Bind(CJSObject* pNative, JS::HandleObject obj, JSContext* cx);

// Reports through the engine and goes on.
void JSReport(JSContext* cx, const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));
// Raises the text as a script error and answers false, for "return JSFail(...)".
bool JSFail(JSContext* cx, const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));

// "%s - Incorrect number of arguments (needed: %d, got: %d)" unless the call has exactly (or,
// with bExactly false, at least) that many arguments.
bool JSCheckArgCount(JSContext* cx, const JS::CallArgs& args, const char* pszName, unsigned nNeeded,
                     bool bExactly);

// Argument conversions: each reports a value of the wrong type and answers its fallback.
std::string JSValueToText(JSContext* cx, JS::HandleValue value);   // fallback "undefined"
int32_t JSValueToInt(JSContext* cx, JS::HandleValue value);        // fallback 0
bool JSValueToBool(JSContext* cx, JS::HandleValue value);          // fallback false
// The native object of an object of the class; null (after a report) for anything else.
CJSObject* JSValueToNative(JSContext* cx, JS::HandleValue value, const CJSClassRecord& record);
template <class T>
T* JSValueToNative(JSContext* cx, JS::HandleValue value, const CJSClassRecord& record)
{
    return static_cast<T*>(JSValueToNative(cx, value, record));
}

// The native object of "this" for a method of the class; null after raising an error.
CJSObject* JSThisNative(JSContext* cx, const JS::CallArgs& args, const CJSClassRecord& record);
template <class T>
T* JSThisNative(JSContext* cx, const JS::CallArgs& args, const CJSClassRecord& record)
{
    return static_cast<T*>(JSThisNative(cx, args, record));
}

// A script string of UTF-8 text (malformed sequences become U+FFFD); null on failure.
JSString* JSNewText(JSContext* cx, const std::string& strText);

// The queued callback of XMLHttpRequest and the like: calls the named function of the native
// object's script object with no arguments, unless the object is gone by then.
class CScriptFunctionCallback : public CQueuedCallback {
public:
    CScriptFunctionCallback(const CJSObject::CRef& target, std::string strFunction)
        : m_target(target), m_strFunction(std::move(strFunction)) {}
    void Run() override;

private:
    CJSObject::CRef m_target;
    std::string m_strFunction;
};
