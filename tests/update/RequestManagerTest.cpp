// The request manager against listings servers of the test on 127.0.0.1.
#include "update/RequestManager.h"

#include "TestServer.h"
#include "TestServices.h"
#include "foundation/SettingsStore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>

using namespace std::chrono_literals;

namespace {

// Records what the manager tells its owner; optionally consumes data itself.
class Owner : public IRequestCallback {
public:
    bool consume = false;
    std::map<int, std::string> consumed, failed;
    std::map<int, int> failures, written, retries;

    bool OnGotData(int id, const char* data, size_t length) override
    {
        if (consume)
            consumed[id] = std::string(data, length);
        return consume;
    }
    void OnFileWritten(int id) override { ++written[id]; }
    void OnRequestFailed(int id, const std::string& text, int32_t) override
    {
        failed[id] = text;
        ++failures[id];
    }
    void OnRetry(int id, int32_t) override { ++retries[id]; }
};

// A listings server: records every request line and answers from a table of statuses.
class Listings {
public:
    explicit Listings(int status = 200) : m_status(status)
    {
        auto handler = [this](const httplib::Request& rq, httplib::Response& r) {
            {
                std::lock_guard<std::mutex> g(m_lock);
                m_seen.push_back(rq.method + " " + rq.target + (rq.body.empty() ? "" : " " + rq.body));
            }
            r.status = m_status;
            if (m_status == 200)
                r.set_content("data for " + rq.target, "application/octet-stream");
        };
        web.server.Get(".*", handler);
        web.server.Post(".*", handler);
        web.Start();
    }
    std::vector<std::string> Seen()
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_seen;
    }
    std::string Url() const { return web.Base(); }
    std::string HostPort() const { return "127.0.0.1:" + std::to_string(web.Port()); }

    TestServer web;

private:
    const int m_status;
    std::mutex m_lock;
    std::vector<std::string> m_seen;
};

LightXML::CElementPtr ServerList(const std::string& xml)
{
    LightXML::CElementPtr root(LightXML::ParseText(xml.data(), xml.size()));
    CLightElement* servers = root->FindPath("servers");
    servers->AddRef();   // outlives the root
    return LightXML::CElementPtr(servers);
}

std::string ServerElement(const char* type, const std::string& url)
{
    return "<server type=\"" + std::string(type) + "\" name=\"" + url + "\" url=\"" + url + "\"" +
           (std::string(type) == "static" ? " subdir=\"/sl/static-qvl-10/\"" : " subdir=\"/sl/sl.dll\"") +
           " />";
}

CUpdateRequest Static(const std::string& path, const std::string& destination = {})
{
    CUpdateRequest r;
    r.m_strPath = path;
    r.m_strDestination = destination;
    r.m_nMethod = CUpdateRequest::methodGet;
    return r;
}

CUpdateRequest DynamicPost(const std::string& body)
{
    CUpdateRequest r;
    r.m_bStatic = false;
    r.m_nMethod = CUpdateRequest::methodPost;
    r.m_Body = body;
    r.m_bSaveToFile = false;
    return r;
}

bool PollUntilIdle(CRequestManager& manager, std::chrono::milliseconds limit = 15s)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!manager.IsTransportIdle()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class RequestManagerTest : public ::testing::Test {
protected:
    std::unique_ptr<CRequestManager> Make(const LightXML::CElementPtr& servers = {})
    {
        auto m = std::make_unique<CRequestManager>(servers.get(), settings,
                                                   ListingsUserAgent("Quilvo Lite", "1.0", "29"));
        m->SetCallback(&owner);
        m->SetRandomSource([this] { return pick; });
        return m;
    }

    TestServices services;
    CSettingsStore settings;
    Owner owner;
    uint32_t pick = 0;   // what the random source answers
};

TEST_F(RequestManagerTest, ServerListsFromElement)
{
    auto list = ServerList(
        "<servers>"
        "<server type='Static' name='s1' url='http://a/$version$/' subdir='/x$version$/' />"
        "<server type='DYNAMIC' name='d1' url='http://b' subdir='/sl/sl.dll' />"
        "<server type='zipcode' name='z' url='http://c' />"
        "<server type='static' url='http://no-name' />"
        "<server type='static' name='no-url' />"
        "<server name='no-type' url='http://d' />"
        "<server type='static' name='s2' url='http://e' />"
        "</servers>");
    auto m = Make(list);
    ASSERT_EQ(m->GetStaticServers().size(), 2u);
    EXPECT_EQ(m->GetStaticServers()[0].m_strName, "s1");
    EXPECT_EQ(m->GetStaticServers()[0].m_strURL, "http://a/1/");
    EXPECT_EQ(m->GetStaticServers()[0].m_strSubdir, "/x1/");
    EXPECT_EQ(m->GetStaticServers()[1].m_strURL, "http://e");
    ASSERT_EQ(m->GetDynamicServers().size(), 1u);
    EXPECT_EQ(m->GetDynamicServers()[0].m_strURL, "http://b");
}

TEST_F(RequestManagerTest, ConnectionCountIsBrought1To16)
{
    for (auto [setting, expected] : {std::pair{0u, 1u}, {1u, 1u}, {7u, 7u}, {40u, 16u}}) {
        settings.SetUInt("update-concurrent-connections", setting);
        EXPECT_EQ(Make()->GetConnections(), expected) << setting;
    }
}

TEST_F(RequestManagerTest, NoDialHostsServeBothKindsOfRequest)
{
    Listings one, two;
    services.Write("app-folder", "nodial", "\r\n " + one.HostPort() + "\r\n\n" + two.HostPort() + "\n");
    auto m = Make();
    ASSERT_EQ(m->GetStaticServers().size(), 2u);
    ASSERT_EQ(m->GetDynamicServers().size(), 2u);
    EXPECT_EQ(m->GetStaticServers()[1].m_strURL, two.HostPort());

    const std::string dest = services.folders["updates-folder"] + "filelist.dat";
    pick = 1;   // the second server of each list
    m->MakeRequests({Static("filelist.dat", dest), DynamicPost("a=q&b=7,3")});
    ASSERT_TRUE(PollUntilIdle(*m));
    EXPECT_TRUE(one.Seen().empty());
    EXPECT_EQ(two.Seen(), (std::vector<std::string>{"GET /sl/static-qvl-10/filelist.dat",
                                                     "POST /sl/sl.dll a=q&b=7,3"}));
    EXPECT_EQ(services.Read(dest), "data for /sl/static-qvl-10/filelist.dat");
    EXPECT_EQ(owner.written[0], 1);
    EXPECT_EQ(m->GetFinishedCount(), 2u);
    EXPECT_TRUE(owner.failed.empty());

    // An empty file falls back to the built-in host.
    services.Write("app-folder", "nodial", "");
    m->LoadQVServersInfo(nullptr);
    ASSERT_EQ(m->GetStaticServers().size(), 1u);
    EXPECT_FALSE(m->GetStaticServers()[0].m_strURL.empty());
}

TEST_F(RequestManagerTest, FailingServerIsDroppedAndRequestMovesOn)
{
    Listings bad(500), good;
    auto list = ServerList("<servers>" + ServerElement("dynamic", bad.Url()) +
                           ServerElement("dynamic", good.Url()) + "</servers>");
    auto m = Make(list);
    owner.consume = true;
    m->MakeRequests({DynamicPost("a=q&b=1,0")});   // pick 0: the bad server first
    ASSERT_TRUE(PollUntilIdle(*m));
    EXPECT_EQ(bad.Seen().size(), 1u);
    EXPECT_EQ(owner.retries[0], 1);
    EXPECT_EQ(owner.consumed[0], "data for /sl/sl.dll");
    EXPECT_TRUE(owner.failed.empty());
    ASSERT_EQ(m->GetDynamicServers().size(), 1u);
    EXPECT_EQ(m->GetDynamicServers()[0].m_strURL, good.Url());
}

TEST_F(RequestManagerTest, EveryServerFailingFailsEachRequestOnce)
{
    Listings bad(500);
    const std::string refused = "http://127.0.0.1:" + std::to_string(ClosedPort());
    auto list = ServerList("<servers>" + ServerElement("static", bad.Url()) +
                           ServerElement("static", refused) + ServerElement("dynamic", refused) +
                           "</servers>");
    settings.SetUInt("update-concurrent-connections", 4);
    auto m = Make(list);
    const std::string dest = services.folders["updates-folder"];
    m->MakeRequests({Static("a", dest + "a"), Static("b", dest + "b"), Static("c", dest + "c"),
                     DynamicPost("a=q")});
    ASSERT_TRUE(PollUntilIdle(*m));
    ASSERT_EQ(owner.failed.size(), 4u);
    for (int id = 0; id < 4; ++id) {
        EXPECT_EQ(owner.failed[id], kAllServersFailed) << id;
        EXPECT_EQ(owner.failures[id], 1) << id;
    }
    EXPECT_TRUE(owner.written.empty());
    EXPECT_TRUE(m->GetStaticServers().empty());
    EXPECT_EQ(m->GetFinishedCount(), 4u);

    // With the lists empty, requests fail at once and keep their ids.
    owner.failed.clear();
    m->MakeRequests({Static("x"), Static("y")});
    EXPECT_EQ(owner.failed, (std::map<int, std::string>{{0, kAllServersFailed}, {1, kAllServersFailed}}));
    EXPECT_TRUE(m->IsTransportIdle());
}

TEST_F(RequestManagerTest, UnwritableDestinationFailsTheRequest)
{
    Listings web;
    services.Write("app-folder", "nodial", web.HostPort());
    auto m = Make();
    const std::string dest = services.folders["updates-folder"] + "no-such-folder/file";
    m->MakeRequests({Static("file", dest)});
    ASSERT_TRUE(PollUntilIdle(*m));
    ASSERT_EQ(owner.failures[0], 1);
    EXPECT_EQ(owner.failed[0].rfind("Failed to write " + dest + " because ", 0), 0u) << owner.failed[0];
    EXPECT_TRUE(owner.written.empty());
    EXPECT_EQ(m->GetFinishedCount(), 1u);
}

TEST_F(RequestManagerTest, ExplicitAddressRetriesAreBounded)
{
    Listings missing(404), web;
    services.Write("app-folder", "nodial", web.HostPort());
    auto m = Make();
    CUpdateRequest r = Static("/thing");
    r.m_strURL = missing.Url();
    CUpdateRequest once = r;
    once.m_bUseServers = false;   // never retried
    m->MakeRequests({r, once});
    ASSERT_TRUE(PollUntilIdle(*m));
    EXPECT_EQ(missing.Seen().size(), 1 + kMaxAddressRetries + 1);
    EXPECT_EQ(owner.retries[0], int(kMaxAddressRetries));
    EXPECT_EQ(owner.retries.count(1), 0u);
    EXPECT_EQ(owner.failed, (std::map<int, std::string>{{0, "404"}, {1, "404"}}));
    EXPECT_TRUE(web.Seen().empty());
    EXPECT_EQ(m->GetStaticServers().size(), 1u);   // no server is blamed for an explicit address
}

TEST_F(RequestManagerTest, TimeoutSettingReachesTheTransport)
{
    Gate gate;
    TestServer stall;
    stall.server.Get(".*", [&](const httplib::Request&, httplib::Response& r) { gate.Wait(); });
    stall.Start();
    settings.SetUInt("connection-timeout", 1);
    auto m = Make();
    CUpdateRequest r = Static("/slow");
    r.m_strURL = stall.Base();
    r.m_bUseServers = false;
    m->MakeRequests({r});
    ASSERT_TRUE(PollUntilIdle(*m, 6s));
    EXPECT_EQ(owner.failed[0], "1028");
    gate.Open();
}

TEST_F(RequestManagerTest, ProxySettingsReachTheTransport)
{
    TestServer proxy;
    std::mutex lock;
    std::vector<std::string> seen;
    proxy.server.Get(".*", [&](const httplib::Request& rq, httplib::Response& r) {
        if (!rq.has_header("Proxy-Authorization")) {
            r.status = 407;
            r.set_header("Proxy-Authenticate", "Basic realm=\"test\"");
            return;
        }
        std::lock_guard<std::mutex> g(lock);
        seen.push_back(rq.target + " " + rq.get_header_value("Proxy-Authorization") + " " +
                       rq.get_header_value("User-Agent"));
        r.set_content("ok", "text/plain");
    });
    proxy.Start();
    {
        CSettingsStore file;
        file.Load(services.folders["user-settings"] + "proxy_settings.dat");
        file.SetBool("connection-proxy-enabled", true);
        file.SetUInt("connection-proxy-port", uint32_t(proxy.Port()));
        file.SetString("connection-proxy-server-name", "127.0.0.1");
        file.SetString("connection-proxy-user", "joe");
        file.SetString("connection-proxy-password", "secret", true);
        ASSERT_TRUE(file.Save());
    }
    services.Write("app-folder", "nodial", "listings.invalid");
    owner.consume = true;
    auto m = Make();
    m->MakeRequests({Static("filelist.dat")});
    ASSERT_TRUE(PollUntilIdle(*m));
    EXPECT_EQ(owner.consumed[0], "ok");
    std::lock_guard<std::mutex> g(lock);
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "http://listings.invalid/sl/static-qvl-10/filelist.dat "
                        "Basic am9lOnNlY3JldA== Quilvo Lite Listings Agent 1.0 (Build 29)"}));
}

TEST_F(RequestManagerTest, ErrorTextsComeFromTheShippedTable)
{
    EXPECT_EQ(ConnectionErrorText(404), "The file was not found on the listings server (HTTP 404).");
    EXPECT_EQ(ConnectionErrorText(1028), "The connection timed out.");
    EXPECT_EQ(ConnectionErrorText(77777), "Unknown error 77777");
}

}  // namespace
