// The script class `XMLHttpRequest`: web fetches for the theme script, asynchronous through the
// HTTP transport's own thread or synchronous. Every change of the request reaches the script
// object on the script thread, through the engine's callback queue.
#pragma once
#include <memory>
#include <string>

#include "script/JSObject.h"

class IHttpClient;

class CXMLHttpRequest : public CJSObject {
public:
    enum { kReadyState = 2, kResponseText = 3, kResponseXML = 4, kStatus = 5, kStatusText = 6 };

    ~CXMLHttpRequest() override;

    static const CJSClassRecord& ClassRecord();
    // Stops every fetch still running and lets go of the objects kept for them. Called before
    // the engine is deleted.
    static void StopAll();

    bool GetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp) override;

    // The natives behind open and send.
    bool Open(JSContext* cx, const JS::CallArgs& args);
    bool Send(JSContext* cx);

private:
    class CReceiver;
    class CStateChange;

    // On the script thread: a change that a fetch brought.
    void ApplyChange(unsigned generation, int readyState, const std::string* pBody, int errorCode, bool last);
    void StopFetch();
    void Release();

    std::string m_strMethod = "GET";
    std::string m_strAddress;
    std::string m_strUser;
    std::string m_strPassword;
    bool m_bAsynchronous = true;

    int m_nReadyState = 0;
    std::string m_strResponseText;

    // The fetch under way: its client, the receiver of the client's calls and a number that
    // tells the changes of this fetch from those of an earlier one.
    IHttpClient* m_pClient = nullptr;
    std::unique_ptr<CReceiver> m_pReceiver;
    unsigned m_nGeneration = 0;
    // Keeps the script object from being collected from send until the fetch's last queued
    // change has run, so that no queued change outlives its object.
    std::unique_ptr<JS::PersistentRootedObject> m_pRoot;
};
