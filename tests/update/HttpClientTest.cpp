// The HTTP client against servers of the test on 127.0.0.1.
#include "update/HttpClient.h"

#include "TestServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <vector>

using namespace std::chrono_literals;

namespace {

struct Outcome {
    int id = 0;
    bool ok = false;
    long status = 0;
    std::string body;
    int code = 0;
    std::string address;
    std::thread::id thread;
    bool insidePoll = false;
};

// Records what the client reports. insidePoll is raised by the test around its Poll calls.
class Recorder : public IHttpCallback {
public:
    std::atomic<bool> insidePoll{false};
    std::function<void(const Outcome&)> onOutcome;   // runs inside the callback

    bool OnGotFile(int id, long status, const char* data, size_t length) override
    {
        Outcome o{id, true, status, std::string(data, length), 0, {}, std::this_thread::get_id(),
                  insidePoll};
        return Add(o);
    }
    bool OnRequestError(int id, const std::string& address, int code) override
    {
        Outcome o{id, false, 0, {}, code, address, std::this_thread::get_id(), insidePoll};
        return Add(o);
    }
    bool OnRequestProgress(int id, uint64_t total, uint64_t received) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        lastProgress[id] = {total, received};
        return true;
    }

    std::vector<Outcome> Outcomes()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_outcomes;
    }
    Outcome ById(int id)
    {
        for (const Outcome& o : Outcomes())
            if (o.id == id)
                return o;
        ADD_FAILURE() << "no outcome for request " << id;
        return {};
    }

    std::map<int, std::pair<uint64_t, uint64_t>> lastProgress;

private:
    bool Add(const Outcome& o)
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_outcomes.push_back(o);
        }
        if (onOutcome)
            onOutcome(o);
        return true;
    }
    std::mutex m_lock;
    std::vector<Outcome> m_outcomes;
};

// Polls until the client is idle; false when that takes longer than the limit.
bool PollUntilIdle(IHttpClient* client, Recorder& rec, std::chrono::milliseconds limit = 10s)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        rec.insidePoll = true;
        bool idle = client->Poll();
        rec.insidePoll = false;
        if (idle)
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(5ms);
    }
}

struct ClientDeleter {
    void operator()(IHttpClient* c) const { c->Destroy(); }
};
using ClientPtr = std::unique_ptr<IHttpClient, ClientDeleter>;

ClientPtr MakeClient(Recorder& rec, int connections = 4, bool deliverInPoll = true,
                     const std::string& proxy = {}, int proxyPort = 0,
                     const std::string& user = {}, const std::string& password = {})
{
    return ClientPtr(
        CreateHttpClient(&rec, connections, proxy, proxyPort, user, password, deliverInPoll));
}

// A gzip stream with a zero byte in it, as a listings server delivers its files.
const std::string kGzipBytes("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03\x01\x00\x00", 13);

class HttpClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto& s = web.server;
        s.Get("/hello", [](const httplib::Request& rq, httplib::Response& r) {
            r.set_content("hello " + rq.get_header_value("User-Agent") + "|" +
                              rq.get_header_value("Cache-Control"),
                          "text/plain");
        });
        s.Get("/file.gz", [](const httplib::Request&, httplib::Response& r) {
            r.set_header("Content-Encoding", "gzip");
            r.set_content(kGzipBytes, "application/octet-stream");
        });
        s.Get("/big", [](const httplib::Request&, httplib::Response& r) {
            r.set_content(std::string(1 << 20, 'x'), "application/octet-stream");
        });
        s.Post("/echo", [](const httplib::Request& rq, httplib::Response& r) {
            r.set_content("got " + rq.body, "text/plain");
        });
        s.Get("/missing", [](const httplib::Request&, httplib::Response& r) { r.status = 404; });
        s.Get("/broken", [](const httplib::Request&, httplib::Response& r) { r.status = 500; });
        s.Get("/moved", [](const httplib::Request&, httplib::Response& r) {
            r.set_redirect("/hello");
        });
        s.Get("/loop", [](const httplib::Request&, httplib::Response& r) {
            r.set_redirect("/loop");
        });
        s.Get("/stall", [this](const httplib::Request&, httplib::Response& r) {
            gate.Wait();
            r.set_content("late", "text/plain");
        });
        s.Get("/hold", [this](const httplib::Request&, httplib::Response& r) {
            int now = ++inFlight;
            int peak = maxInFlight.load();
            while (now > peak && !maxInFlight.compare_exchange_weak(peak, now)) {
            }
            std::this_thread::sleep_for(300ms);
            --inFlight;
            r.set_content("held", "text/plain");
        });
        web.Start();
    }
    void TearDown() override
    {
        gate.Open();
        web.Stop();
    }

    TestServer web;
    Gate gate;
    std::atomic<int> inFlight{0}, maxInFlight{0};
};

TEST_F(HttpClientTest, MethodsDeliverBodiesUntouchedInsidePoll)
{
    Recorder rec;
    auto client = MakeClient(rec);
    client->SetUserAgent(ListingsUserAgent("Quilvo Lite", "1.0", "29"));
    const std::string post = "a=q" + std::string(3000, 'b');
    client->Get(web.Base() + "/hello", 1, false);
    client->Get(web.Base() + "/hello", 2, true);
    client->Head(web.Base() + "/hello", 3);
    client->Post(web.Base() + "/echo", post.data(), post.size(), 4, false);
    client->Get(web.Base() + "/file.gz", 5, false);
    client->Get(web.Base() + "/moved", 6, false);
    client->Get(web.Base() + "/big", 7, false);
    ASSERT_TRUE(PollUntilIdle(client.get(), rec));

    ASSERT_EQ(rec.Outcomes().size(), 7u);
    for (const Outcome& o : rec.Outcomes()) {
        EXPECT_TRUE(o.ok) << o.id << " failed with " << o.code;
        EXPECT_EQ(o.status, 200) << o.id;
        EXPECT_TRUE(o.insidePoll) << o.id;
        EXPECT_EQ(o.thread, std::this_thread::get_id()) << o.id;
    }
    EXPECT_EQ(rec.ById(1).body, "hello Quilvo Lite Listings Agent 1.0 (Build 29)|");
    EXPECT_EQ(rec.ById(2).body, "hello Quilvo Lite Listings Agent 1.0 (Build 29)|no-cache");
    EXPECT_EQ(rec.ById(3).body, "");
    EXPECT_EQ(rec.ById(4).body, "got " + post);
    EXPECT_EQ(rec.ById(5).body, kGzipBytes);
    EXPECT_EQ(rec.ById(6).body, "hello Quilvo Lite Listings Agent 1.0 (Build 29)|");
    EXPECT_EQ(rec.ById(7).body.size(), 1u << 20);
    EXPECT_EQ(rec.lastProgress[7], std::make_pair(uint64_t(1) << 20, uint64_t(1) << 20));
}

TEST_F(HttpClientTest, FailuresCarryStableCodes)
{
    const std::string refused = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/x";
    const struct {
        std::string address;
        int code;
    } cases[] = {
        {web.Base() + "/missing", 404},
        {web.Base() + "/broken", 500},
        {web.Base() + "/loop", 1047},   // too many redirects
        {refused, 1007},                // cannot connect
        {"ftp://127.0.0.1/x", 1001},    // protocol not allowed
    };
    Recorder rec;
    auto client = MakeClient(rec);
    int id = 0;
    for (const auto& c : cases)
        client->Get(c.address, id++, false);
    ASSERT_TRUE(PollUntilIdle(client.get(), rec));
    id = 0;
    for (const auto& c : cases) {
        Outcome o = rec.ById(id++);
        EXPECT_FALSE(o.ok) << c.address;
        EXPECT_EQ(o.code, c.code) << c.address;
        EXPECT_EQ(o.address, c.address);
    }
}

TEST_F(HttpClientTest, ConnectionsBoundConcurrency)
{
    for (int connections : {1, 3}) {
        maxInFlight = 0;
        Recorder rec;
        auto client = MakeClient(rec, connections);
        for (int i = 0; i < 6; ++i)
            client->Get(web.Base() + "/hold", i, false);
        ASSERT_TRUE(PollUntilIdle(client.get(), rec));
        EXPECT_EQ(rec.Outcomes().size(), 6u);
        EXPECT_EQ(maxInFlight, connections);
    }
}

TEST_F(HttpClientTest, StallingServerTimesOut)
{
    Recorder rec;
    auto client = MakeClient(rec);
    client->SetTimeout(1);
    const auto start = std::chrono::steady_clock::now();
    client->Get(web.Base() + "/stall", 1, false);
    ASSERT_TRUE(PollUntilIdle(client.get(), rec));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(rec.ById(1).code, 1028);
}

TEST_F(HttpClientTest, CancelAllDropsEverythingAndClientGoesOn)
{
    Recorder rec;
    auto client = MakeClient(rec);
    for (int i = 0; i < 3; ++i)
        client->Get(web.Base() + "/stall", i, false);
    std::this_thread::sleep_for(100ms);   // let them reach the server
    client->CancelAll();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(PollUntilIdle(client.get(), rec, 2s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_TRUE(rec.Outcomes().empty());

    client->Get(web.Base() + "/hello", 9, false);
    ASSERT_TRUE(PollUntilIdle(client.get(), rec));
    EXPECT_TRUE(rec.ById(9).ok);

    client->Get(web.Base() + "/stall", 10, false);   // destroyed while pending
}

TEST_F(HttpClientTest, CallbacksMayIssueRequests)
{
    // Both modes: the callback sends a follow-up request, as a retry does; the client must not
    // hold its lock while calling back.
    for (bool inPoll : {true, false}) {
        Recorder rec;
        auto client = MakeClient(rec, 2, inPoll);
        rec.onOutcome = [&](const Outcome& o) {
            if (o.id == 1)
                client->Get(web.Base() + "/hello", 2, false);
        };
        client->Get(web.Base() + "/missing", 1, false);
        ASSERT_TRUE(PollUntilIdle(client.get(), rec));
        ASSERT_EQ(rec.Outcomes().size(), 2u);
        EXPECT_TRUE(rec.ById(2).ok);
        for (const Outcome& o : rec.Outcomes()) {
            EXPECT_EQ(o.insidePoll, inPoll);
            EXPECT_EQ(o.thread == std::this_thread::get_id(), inPoll);
        }
    }
}

TEST(HttpClientProxyTest, ProxyGetsRequestAndCredentials)
{
    TestServer proxy;
    std::mutex lock;
    std::vector<std::string> seen;
    proxy.server.Get(".*", [&](const httplib::Request& rq, httplib::Response& r) {
        const std::string auth = rq.get_header_value("Proxy-Authorization");
        {
            std::lock_guard<std::mutex> g(lock);
            seen.push_back(auth);
        }
        if (auth != "Basic am9lOnNlY3JldA==") {   // joe:secret
            r.status = 407;
            r.set_header("Proxy-Authenticate", "Basic realm=\"test\"");
            return;
        }
        r.set_content("via proxy " + rq.path, "text/plain");
    });
    proxy.Start();

    Recorder rec;
    auto client = MakeClient(rec, 1, true, "127.0.0.1", proxy.Port(), "joe", "secret");
    client->Get("http://listings.invalid/sl/static-qvl-10/filelist.dat", 1, false);
    ASSERT_TRUE(PollUntilIdle(client.get(), rec));
    Outcome o = rec.ById(1);
    ASSERT_TRUE(o.ok) << o.code;
    EXPECT_EQ(o.body, "via proxy http://listings.invalid/sl/static-qvl-10/filelist.dat");
    std::lock_guard<std::mutex> g(lock);
    EXPECT_EQ(seen.back(), "Basic am9lOnNlY3JldA==");
}

TEST_F(HttpClientTest, FetchOnceReportsBeforeReturning)
{
    Recorder rec;
    FetchOnce(web.Base() + "/hello", &rec);
    FetchOnce(web.Base() + "/missing", &rec);
    ASSERT_EQ(rec.Outcomes().size(), 2u);
    EXPECT_TRUE(rec.Outcomes()[0].ok);
    EXPECT_EQ(rec.Outcomes()[0].thread, std::this_thread::get_id());
    EXPECT_EQ(rec.Outcomes()[1].code, 404);
}

}  // namespace
