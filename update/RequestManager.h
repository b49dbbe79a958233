// The request manager of an update run: it sends each request to a listings server picked at
// random from the static or the dynamic server list, writes what arrives to the request's
// destination, moves a request to another server when its server fails, and tells its owner
// how each request ended.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "foundation/LightXML.h"
#include "update/HttpClient.h"

class CSettingsStore;

// One listings server.
struct CServerInfo {
    enum Type { typeDynamic = 0, typeStatic = 1, typeZipcode = 2 };
    int m_nType = typeDynamic;
    std::string m_strName;     // for log lines
    std::string m_strURL;      // the base address: a host name (and port) or an address prefix
    std::string m_strSubdir;   // appended to the url: the path prefix of the server's files
};

// One request of the owner. The address is always the plain concatenation of its parts.
struct CUpdateRequest {
    enum Method { methodNone = 0, methodHead = 1, methodGet = 2, methodPost = 3 };

    std::string m_strURL;            // explicit base address; when set the server lists are not used
    std::string m_strPath;           // path or query appended to the base address
    std::string m_strDestination;    // the file that receives the data
    bool m_bStatic = true;           // static server list rather than dynamic
    std::string m_strServer;         // url of the server the request was last sent to
    uint32_t m_nKind = 0;            // the owner's kind number
    int32_t m_nMethod = methodNone;  // back to methodNone once the request has finished
    uint32_t m_nExpectedBytes = 0;
    bool m_bUseServers = true;       // takes part in server removal and retry
    int32_t m_nUserValue = 0;        // handed back with OnRetry and OnRequestFailed after retries
    uint32_t m_nChannel = 0;         // listings downloads: the channel
    uint32_t m_nUpdateNumber = 0;    // listings downloads: the update number within the channel
    bool m_bSaveToFile = true;       // write the data to the destination unless the owner took it
    bool m_bNoCache = false;         // ask caches on the way for a fresh copy
    std::string m_Body;              // the bytes of a POST
};

// What the owner hears. Every call comes from inside IsTransportIdle, on the polling thread.
class IRequestCallback {
public:
    virtual ~IRequestCallback() = default;
    // True when the owner consumed the data itself (nothing is written then).
    virtual bool OnGotData(int id, const char* data, size_t length) { return false; }
    // The data has been written to the request's destination.
    virtual void OnFileWritten(int id) {}
    // The request failed for good: text is the transport's failure code in decimal, or a message.
    virtual void OnRequestFailed(int id, const std::string& text, int32_t value) {}
    virtual void OnProgress(int id, uint64_t received) {}
    // The request is being sent again, to another server.
    virtual void OnRetry(int id, int32_t value) {}
};

// The message of requests that have no server left to go to.
inline constexpr char kAllServersFailed[] = "All Quilvo servers could not be contacted.";
// How often a request with an explicit address is sent again after failing.
inline constexpr unsigned kMaxAddressRetries = 2;

class CRequestManager : public IHttpCallback {
public:
    // Loads the server lists from the element (see LoadQVServersInfo), reads the connection
    // count and time-out from the settings and the proxy from "proxy_settings.dat" in the folder
    // "user-settings", and creates the transport with the user agent.
    CRequestManager(const CLightElement* servers, const CSettingsStore& settings,
                    const std::string& userAgent);
    // Cancels everything and waits until the transport is idle.
    ~CRequestManager() override;
    CRequestManager(const CRequestManager&) = delete;
    CRequestManager& operator=(const CRequestManager&) = delete;

    void SetCallback(IRequestCallback* owner) { m_pOwner = owner; }
    void ClearCallback() { m_pOwner = nullptr; }
    // The random numbers that pick servers; tests make them predictable.
    void SetRandomSource(std::function<uint32_t()> random) { m_random = std::move(random); }

    // Replaces both lists: from the "nodial" file of the folder "app-folder" when there is one,
    // otherwise from the children of the element ("type", "name", "url", "subdir").
    void LoadQVServersInfo(const CLightElement* servers);
    // Issues every request; a request's id is its index in the list.
    void MakeRequests(const std::vector<CUpdateRequest>& requests);
    // Sends pending request id (again).
    void MakeSingleRequest(CUpdateRequest& request, int id);
    bool PickServer(bool bStatic);
    void CancelAllRequests();
    // Delivers what the transport has finished; true when nothing is pending.
    bool IsTransportIdle();

    const std::vector<CServerInfo>& GetStaticServers() const { return m_staticServers; }
    const std::vector<CServerInfo>& GetDynamicServers() const { return m_dynamicServers; }
    const std::vector<CUpdateRequest>& GetPendingRequests() const { return m_pending; }
    uint32_t GetFinishedCount() const { return m_nFinished; }
    uint32_t GetConnections() const { return m_nConnections; }

    // IHttpCallback
    bool OnGotFile(int id, long status, const char* data, size_t length) override;
    bool OnRequestError(int id, const std::string& address, int code) override;
    bool OnRequestProgress(int id, uint64_t total, uint64_t received) override;

private:
    std::vector<CServerInfo>& List(bool bStatic) { return bStatic ? m_staticServers : m_dynamicServers; }
    size_t& Picked(bool bStatic) { return bStatic ? m_nPickedStatic : m_nPickedDynamic; }
    void FillList(std::vector<CServerInfo>& list, const CLightElement* servers, int wantedType);
    void Finish(int id);
    // Sends the request to the address with its method.
    void Send(const CUpdateRequest& request, const std::string& address, int id);

    IRequestCallback* m_pOwner = nullptr;
    IHttpClient* m_pClient = nullptr;
    std::function<uint32_t()> m_random;
    std::vector<CServerInfo> m_staticServers;
    std::vector<CServerInfo> m_dynamicServers;
    size_t m_nPickedStatic = 0;
    size_t m_nPickedDynamic = 0;
    std::vector<CUpdateRequest> m_pending;
    std::vector<unsigned> m_retries;   // per pending request: resends to its explicit address
    uint32_t m_nFinished = 0;
    uint32_t m_nConnections = 1;
};

// The text for a transport failure code from "connection-errors.dat" in the folder
// "app-folder" (loaded on first use), or "Unknown error <code>".
std::string ConnectionErrorText(int code);
