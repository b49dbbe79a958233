// The request manager: server lists, picking, sending, writing and retrying.
#include "update/RequestManager.h"

#include <algorithm>
#include <mutex>
#include <random>
#include <unordered_map>

#include "app/ApplicationServices.h"
#include "foundation/DeploymentKeys.h"
#include "foundation/Exceptions.h"
#include "foundation/FileStore.h"
#include "foundation/FileUtils.h"
#include "foundation/Log.h"
#include "foundation/NameHash.h"
#include "foundation/SettingsStore.h"
#include "platform/File.h"
#include "platform/Process.h"

namespace {

constexpr char kStaticSubdir[] = "/sl/static-qvl-10/";
constexpr char kDynamicSubdir[] = "/sl/sl.dll";


std::string Trim(std::string_view text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

void ReplaceAll(std::string& text, std::string_view what, std::string_view with)
{
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

uint32_t DefaultRandom()
{
    thread_local std::minstd_rand generator{std::random_device{}()};
    return generator();
}

}  // namespace

CRequestManager::CRequestManager(const CLightElement* servers, const CSettingsStore& settings,
                                 const std::string& userAgent)
    : m_random(DefaultRandom)
{
    LoadQVServersInfo(servers);

    uint32_t connections = 1;
    settings.GetUInt("update-concurrent-connections", connections, 1);
    m_nConnections = std::clamp<uint32_t>(connections, 1, 16);
    uint32_t timeout = 30;
    settings.GetUInt("connection-timeout", timeout, 30);

    bool proxyEnabled = false;
    uint32_t proxyPort = 0;
    std::string proxyServer, proxyUser, proxyPassword;
    const std::string userSettings = GetServicesFolder("user-settings");
    CSettingsStore proxy;
    if (!userSettings.empty() && proxy.Load(userSettings + "proxy_settings.dat")) {
        proxy.GetBool("connection-proxy-enabled", proxyEnabled, false);
        proxy.GetUInt("connection-proxy-port", proxyPort, 0);
        proxy.GetString("connection-proxy-server-name", proxyServer, "");
        proxy.GetString("connection-proxy-user", proxyUser, "");
        proxy.GetString("connection-proxy-password", proxyPassword, "");
    }
    if (proxyEnabled && !proxyServer.empty() && proxyPort != 0) {
        LogInfo("Using proxy \"%s\" : \"%u\"", proxyServer.c_str(), proxyPort);
        m_pClient = CreateHttpClient(this, int(m_nConnections), proxyServer, int(proxyPort),
                                     proxyUser, proxyPassword, true);
    } else {
        LogInfo("NOT using proxy");
        m_pClient = CreateHttpClient(this, int(m_nConnections), {}, 0, {}, {}, true);
    }
    m_pClient->SetTimeout(timeout);
    m_pClient->SetUserAgent(userAgent);
}

CRequestManager::~CRequestManager()
{
    CancelAllRequests();
    while (!m_pClient->Poll())
        plat::Sleep(50);
    m_pClient->Destroy();
}

void CRequestManager::LoadQVServersInfo(const CLightElement* servers)
{
    LogInfo("LoadQVServersInfo");
    const std::string appFolder = GetServicesFolder("app-folder");
    const std::string noDial = appFolder.empty() ? std::string() : appFolder + "nodial";
    if (!noDial.empty() && plat::FileExists(noDial)) {
        std::vector<std::string> hosts;
        std::string text;
        if (ReadWholeFile(noDial, text)) {
            for (size_t start = 0; start <= text.size();) {
                size_t end = text.find('\n', start);
                if (end == std::string::npos)
                    end = text.size();
                std::string host = Trim(std::string_view(text).substr(start, end - start));
                if (!host.empty())
                    hosts.push_back(std::move(host));
                start = end + 1;
            }
        }
        if (hosts.empty())
            hosts.push_back(kDefaultListingsHost);
        m_staticServers.clear();
        m_dynamicServers.clear();
        for (const std::string& host : hosts) {
            m_staticServers.push_back({CServerInfo::typeStatic, host, host, kStaticSubdir});
            m_dynamicServers.push_back({CServerInfo::typeDynamic, host, host, kDynamicSubdir});
        }
        return;
    }
    try {
        FillList(m_staticServers, servers, CServerInfo::typeStatic);
        FillList(m_dynamicServers, servers, CServerInfo::typeDynamic);
    } catch (CBaseException* e) {
        LogWarning("CRequestManager::LoadQVServersInfo - Something failed whilst trying to load servers: %s",
                   e->GetText());
        e->Delete();
    }
}

void CRequestManager::FillList(std::vector<CServerInfo>& list, const CLightElement* servers,
                               int wantedType)
{
    list.clear();
    if (!servers)
        return;
    for (const CLightElement* child : servers->GetChildren()) {
        const char* name = child->GetAttribute("name");
        const char* url = child->GetAttribute("url");
        if (!name || !url)
            continue;
        const char* typeText = child->GetAttribute("type");
        int type;
        if (typeText && NamesEqual(typeText, "static"))
            type = CServerInfo::typeStatic;
        else if (typeText && NamesEqual(typeText, "dynamic"))
            type = CServerInfo::typeDynamic;
        else if (typeText && NamesEqual(typeText, "zipcode"))
            type = CServerInfo::typeZipcode;
        else
            continue;   // a server of no known kind serves nothing of ours
        if (type != wantedType)
            continue;
        const char* subdir = child->GetAttribute("subdir");
        CServerInfo info{type, name, url, subdir ? subdir : ""};
        ReplaceAll(info.m_strURL, "$version$", "1");
        ReplaceAll(info.m_strSubdir, "$version$", "1");
        LogInfo("Adding server '%s%sto the list of available servers", info.m_strURL.c_str(),
                info.m_strSubdir.c_str());
        list.push_back(std::move(info));
    }
}

bool CRequestManager::PickServer(bool bStatic)
{
    const std::vector<CServerInfo>& list = List(bStatic);
    if (list.empty()) {
        LogWarning("Failed to pick a new server from the list");
        return false;
    }
    Picked(bStatic) = m_random() % list.size();
    LogInfo(bStatic ? "Picked static server %s" : "Picked dynamic server %s",
            list[Picked(bStatic)].m_strName.c_str());
    return true;
}

void CRequestManager::MakeRequests(const std::vector<CUpdateRequest>& requests)
{
    m_pending.clear();
    m_retries.clear();
    m_nFinished = 0;
    PickServer(true);
    PickServer(false);
    m_pending.reserve(requests.size());
    for (const CUpdateRequest& request : requests) {
        m_pending.push_back(request);
        m_retries.push_back(0);
        MakeSingleRequest(m_pending.back(), int(m_pending.size() - 1));
    }
}

void CRequestManager::MakeSingleRequest(CUpdateRequest& request, int id)
{
    if (!request.m_strURL.empty() || !request.m_bUseServers) {
        Send(request, request.m_strURL + request.m_strPath, id);
        return;
    }
    const std::vector<CServerInfo>& list = List(request.m_bStatic);
    if (list.empty()) {
        // The request keeps its place (ids are indexes) and counts as finished.
        if (m_pOwner)
            m_pOwner->OnRequestFailed(id, kAllServersFailed, 0);
        Finish(id);
        return;
    }
    const CServerInfo& server = list[Picked(request.m_bStatic)];
    const std::string address = server.m_strURL + server.m_strSubdir + request.m_strPath;
    request.m_strServer = server.m_strURL;
    if (request.m_bStatic) {
        LogInfo("CRequestManager::MakeSingleRequest Static %s", address.c_str());
        request.m_nMethod = CUpdateRequest::methodGet;   // static files are only ever fetched
        m_pClient->Get(address, id, request.m_bNoCache);
        return;
    }
    const std::string plain = request.m_strURL + request.m_strPath;
    switch (request.m_nMethod) {
    case CUpdateRequest::methodHead:
        LogInfo("CRequestManager::MakeSingleRequest Dynamic HEAD %s", plain.c_str());
        break;
    case CUpdateRequest::methodGet:
        LogInfo("CRequestManager::MakeSingleRequest Dynamic GET %s", plain.c_str());
        break;
    case CUpdateRequest::methodPost:
        LogInfo("CRequestManager::MakeSingleRequest Dynamic POST %s", address.c_str());
        break;
    }
    Send(request, address, id);
}

void CRequestManager::Send(const CUpdateRequest& request, const std::string& address, int id)
{
    switch (request.m_nMethod) {
    case CUpdateRequest::methodHead:
        m_pClient->Head(address, id);
        break;
    case CUpdateRequest::methodGet:
        m_pClient->Get(address, id, request.m_bNoCache);
        break;
    case CUpdateRequest::methodPost:
        m_pClient->Post(address, request.m_Body.data(), request.m_Body.size(), id,
                        request.m_bNoCache);
        break;
    default:
        LogWarning("CRequestManager::MakeSingleRequest - request %d has no method", id);
        if (m_pOwner)
            m_pOwner->OnRequestFailed(id, "Request has no method", 0);
        Finish(id);
        break;
    }
}

void CRequestManager::CancelAllRequests()
{
    m_pClient->CancelAll();
}

bool CRequestManager::IsTransportIdle()
{
    return m_pClient->Poll();
}

void CRequestManager::Finish(int id)
{
    CUpdateRequest& request = m_pending[size_t(id)];
    if (request.m_nMethod != CUpdateRequest::methodNone) {
        request.m_nMethod = CUpdateRequest::methodNone;
        ++m_nFinished;
    }
}

bool CRequestManager::OnGotFile(int id, long status, const char* data, size_t length)
{
    if (id < 0 || size_t(id) >= m_pending.size())
        return true;
    CUpdateRequest& request = m_pending[size_t(id)];
    const std::string plain = request.m_strURL + request.m_strPath;
    if (request.m_nMethod == CUpdateRequest::methodHead)
        LogInfo("CRequestManager::OnGotFile HEAD %s", plain.c_str());
    else
        LogInfo("CRequestManager::OnGotFile %s bytes:%zu", plain.c_str(), length);

    if (!(m_pOwner && m_pOwner->OnGotData(id, data, length)) && request.m_bSaveToFile) {
        try {
            CFileStore file(request.m_strDestination, storeWrite);
            file.Write(data, uint32_t(length));
            file.Close();
        } catch (CBaseException* e) {
            const std::string text = "Failed to write " + request.m_strDestination + " because " + e->GetText();
            LogWarning("%s", text.c_str());
            e->Delete();
            plat::DeleteFile(request.m_strDestination);   // never leave a partial file behind
            if (m_pOwner)
                m_pOwner->OnRequestFailed(id, text, 0);
            Finish(id);
            return true;
        }
        if (m_pOwner)
            m_pOwner->OnFileWritten(id);
    }
    Finish(id);
    return true;
}

bool CRequestManager::OnRequestError(int id, const std::string& address, int code)
{
    const std::string codeText = std::to_string(code);
    LogWarning("Failed to get file %s because of error: (%d) %s", address.c_str(), code,
               ConnectionErrorText(code).c_str());
    if (id < 0 || size_t(id) >= m_pending.size())
        return true;
    CUpdateRequest& request = m_pending[size_t(id)];
    if (request.m_nMethod == CUpdateRequest::methodNone)
        return true;

    int32_t value = 0;
    std::string failure = codeText;
    if (request.m_bUseServers && request.m_nKind != 2) {
        value = request.m_nUserValue;
        const bool bStatic = request.m_bStatic;
        const bool explicitAddress = !request.m_strURL.empty();
        if (explicitAddress) {
            // Sent again to the same address, a bounded number of times.
            if (m_retries[size_t(id)] < kMaxAddressRetries && !List(bStatic).empty()) {
                ++m_retries[size_t(id)];
                LogInfo("\t... retrying on file %s because of error", address.c_str());
                if (m_pOwner)
                    m_pOwner->OnRetry(id, request.m_nUserValue);
                MakeSingleRequest(request, id);
                return true;
            }
        } else {
            std::vector<CServerInfo>& list = List(bStatic);
            LogInfo("Trying to remove %s", request.m_strServer.c_str());
            auto it = std::find_if(list.begin(), list.end(), [&](const CServerInfo& s) {
                return s.m_strURL == request.m_strServer;
            });
            if (it != list.end()) {
                LogInfo(bStatic ? "Removing static server %s because of error; %s"
                                : "Removing dynamic server %s because of error; %s",
                        it->m_strURL.c_str(), codeText.c_str());
                list.erase(it);
            }
            if (PickServer(bStatic)) {
                LogInfo("\t... retrying on file %s because of error", address.c_str());
                if (m_pOwner)
                    m_pOwner->OnRetry(id, request.m_nUserValue);
                MakeSingleRequest(request, id);
                return true;
            }
            failure = kAllServersFailed;
        }
    }
    if (m_pOwner)
        m_pOwner->OnRequestFailed(id, failure, value);
    Finish(id);
    return true;
}

bool CRequestManager::OnRequestProgress(int id, uint64_t total, uint64_t received)
{
    if (m_pOwner)
        m_pOwner->OnProgress(id, received);
    return true;
}

std::string ConnectionErrorText(int code)
{
    static std::mutex lock;
    static bool loaded = false;
    static std::unordered_map<int, std::string> texts;

    std::lock_guard<std::mutex> guard(lock);
    if (!loaded) {
        const std::string appFolder = GetServicesFolder("app-folder");
        if (!appFolder.empty()) {
            loaded = true;
            LightXML::CElementPtr root(LightXML::ParseFile(appFolder + "connection-errors.dat"));
            if (CLightElement* errors = root ? root->FindPath("errors") : nullptr) {
                for (const CLightElement* child : errors->GetChildren()) {
                    int32_t id = 0;
                    const char* message = child->GetAttribute("message");
                    if (message && child->GetAttributeInt("id", id) && id != 0)
                        texts.emplace(id, message);
                }
            }
        }
    }
    auto it = texts.find(code);
    return it != texts.end() ? it->second : "Unknown error " + std::to_string(code);
}
