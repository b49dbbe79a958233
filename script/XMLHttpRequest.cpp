#include "script/XMLHttpRequest.h"

#include <set>

#include "script/AppObject.h"
#include "update/HttpClient.h"

namespace {

// Requests kept rooted for a fetch; script thread only.
std::set<CXMLHttpRequest*> g_setActive;

CJSObject* Create(JSContext*, const JS::CallArgs&)
{
    return new CXMLHttpRequest;
}

CXMLHttpRequest* ThisRequest(JSContext* cx, const JS::CallArgs& args)
{
    return JSThisNative<CXMLHttpRequest>(cx, args, CXMLHttpRequest::ClassRecord());
}

bool OpenNative(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CXMLHttpRequest* pRequest = ThisRequest(cx, args);
    return pRequest && pRequest->Open(cx, args);
}

bool SendNative(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CXMLHttpRequest* pRequest = ThisRequest(cx, args);
    if (!pRequest || !JSCheckArgCount(cx, args, "send", 1, false))
        return false;
    args.rval().setUndefined();
    return pRequest->Send(cx);
}

bool AbortNative(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!ThisRequest(cx, args) || !JSCheckArgCount(cx, args, "abort", 1, false))
        return false;
    args.rval().setUndefined();
    return true;
}

const JSFunctionSpec kMethods[] = {JS_FN("open", OpenNative, 2, 0), JS_FN("send", SendNative, 1, 0),
                                   JS_FN("abort", AbortNative, 1, 0), JS_FS_END};
const CJSPropertySpec kProperties[] = {
    {"readyState", CXMLHttpRequest::kReadyState, true},   {"responseText", CXMLHttpRequest::kResponseText, true},
    {"responseXML", CXMLHttpRequest::kResponseXML, true}, {"status", CXMLHttpRequest::kStatus, true},
    {"statusText", CXMLHttpRequest::kStatusText, true},   {nullptr, 0, false}};
const CJSClassRecord g_requestClass("XMLHttpRequest", kMethods, kProperties, Create, true);

}  // namespace

// A change queued for the script thread: it runs only if its request still exists and has not
// started another fetch since.
class CXMLHttpRequest::CStateChange : public CQueuedCallback {
public:
    CStateChange(const CJSObject::CRef& target, unsigned generation, int readyState, std::string body,
                 bool hasBody, int errorCode, bool last)
        : m_target(target), m_nGeneration(generation), m_nReadyState(readyState), m_strBody(std::move(body)),
          m_bHasBody(hasBody), m_nErrorCode(errorCode), m_bLast(last) {}

    void Run() override
    {
        if (auto* pRequest = static_cast<CXMLHttpRequest*>(m_target.Get()))
            pRequest->ApplyChange(m_nGeneration, m_nReadyState, m_bHasBody ? &m_strBody : nullptr, m_nErrorCode,
                                  m_bLast);
    }

private:
    CJSObject::CRef m_target;
    unsigned m_nGeneration;
    int m_nReadyState;
    std::string m_strBody;
    bool m_bHasBody;
    int m_nErrorCode;
    bool m_bLast;
};

// Hears the transport, on its I/O thread (or, for a synchronous fetch, on the script thread),
// and only queues changes: it touches nothing of the request itself.
class CXMLHttpRequest::CReceiver : public IHttpCallback {
public:
    CReceiver(CScriptEngine& engine, const CJSObject::CRef& target, unsigned generation)
        : m_engine(engine), m_target(target), m_nGeneration(generation) {}

    bool OnGotFile(int, long, const char* data, size_t length) override
    {
        m_engine.QueueCallback(new CStateChange(m_target, m_nGeneration, 2, {}, false, 0, false));
        m_engine.QueueCallback(new CStateChange(m_target, m_nGeneration, 4, std::string(data, length), true, 0, true));
        return true;
    }
    bool OnRequestError(int, const std::string&, int code) override
    {
        m_engine.QueueCallback(new CStateChange(m_target, m_nGeneration, 1, {}, false, code, true));
        return true;
    }
    bool OnRequestProgress(int, uint64_t, uint64_t) override { return true; }

private:
    CScriptEngine& m_engine;
    CJSObject::CRef m_target;
    unsigned m_nGeneration;
};

CXMLHttpRequest::~CXMLHttpRequest()
{
    g_setActive.erase(this);
    StopFetch();
}

const CJSClassRecord& CXMLHttpRequest::ClassRecord()
{
    return g_requestClass;
}

void CXMLHttpRequest::StopAll()
{
    const std::set<CXMLHttpRequest*> active = std::move(g_setActive);
    g_setActive.clear();
    for (CXMLHttpRequest* pRequest : active) {
        pRequest->StopFetch();
        pRequest->m_pRoot.reset();
    }
}

bool CXMLHttpRequest::GetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp)
{
    switch (nTinyId) {
    case kReadyState:
        vp.setInt32(m_nReadyState);
        return true;
    case kResponseText: {
        JSString* str = JSNewText(cx, m_strResponseText);
        if (!str)
            return false;
        vp.setString(str);
        return true;
    }
    case kResponseXML:
    case kStatus:
    case kStatusText:
        vp.setUndefined();
        return true;
    default:
        return CJSObject::GetProperty(cx, obj, nTinyId, vp);
    }
}

bool CXMLHttpRequest::Open(JSContext* cx, const JS::CallArgs& args)
{
    if (args.length() < 2 || args.length() > 5)
        return JSFail(cx, "%s", "XMLHttpRequest::OnOpen incorrect number of arguments");
    m_strMethod = args[0].isUndefined() ? "GET" : JSValueToText(cx, args[0]);
    m_strAddress = JSValueToText(cx, args[1]);
    m_bAsynchronous = args.length() > 2 ? JSValueToBool(cx, args[2]) : true;
    m_strUser = args.length() > 3 ? JSValueToText(cx, args[3]) : std::string();
    m_strPassword = args.length() > 4 ? JSValueToText(cx, args[4]) : std::string();
    args.rval().setUndefined();
    return true;
}

bool CXMLHttpRequest::Send(JSContext* cx)
{
    CScriptEngine* pEngine = GetEngine();
    if (!pEngine || !GetScriptObject())
        return JSFail(cx, "%s", "XMLHttpRequest::OnSend the request has no script object");
    StopFetch();
    ++m_nGeneration;
    m_strResponseText.clear();
    m_nReadyState = 1;
    if (!m_pRoot)
        m_pRoot = std::make_unique<JS::PersistentRootedObject>(cx, GetScriptObject());
    g_setActive.insert(this);
    pEngine->QueueCallback(new CStateChange(GetRef(), m_nGeneration, 1, {}, false, 0, false));

    // Every fetch is a plain GET of the address, whatever the method.
    m_pReceiver = std::make_unique<CReceiver>(*pEngine, GetRef(), m_nGeneration);
    if (m_bAsynchronous) {
        m_pClient = CreateHttpClient(m_pReceiver.get(), 1, "", 0, m_strUser, m_strPassword, false);
        m_pClient->Get(m_strAddress, 1, false);
    } else {
        FetchOnce(m_strAddress, m_pReceiver.get());
    }
    return true;
}

void CXMLHttpRequest::ApplyChange(unsigned generation, int readyState, const std::string* pBody, int errorCode,
                                  bool last)
{
    if (generation != m_nGeneration)
        return;
    CScriptEngine* pEngine = GetEngine();
    if (errorCode) {
        if (CAppObject* pApp = CAppObject::Get())
            pApp->ReportText(FormatScriptText("class '%s' failed with code '%d'", "XMLHttpRequest", errorCode));
    } else {
        m_nReadyState = readyState;
        if (pBody)
            m_strResponseText = *pBody;
        if (pEngine && GetScriptObject()) {
            JS::RootedObject obj(pEngine->GetContext(), GetScriptObject());
            pEngine->CallFunction(obj, "onreadystatechange", nullptr, JS::HandleValueArray::empty());
        }
    }
    if (last && generation == m_nGeneration)
        Release();
}

void CXMLHttpRequest::StopFetch()
{
    if (m_pClient) {
        m_pClient->Destroy();
        m_pClient = nullptr;
    }
    m_pReceiver.reset();
}

// The fetch is over: stop its client and let the collector have the object again.
void CXMLHttpRequest::Release()
{
    StopFetch();
    g_setActive.erase(this);
    m_pRoot.reset();
}
