// The HTTP client over libcurl's multi interface. Callers' threads only queue work under the
// client's lock; the I/O thread owns every curl handle. Finished requests become events that
// Poll hands to the callback, or that the I/O thread hands over itself. A cancel bumps the
// generation number: anything of an older generation is dropped without a word.
#include "update/HttpClient.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

enum class Method { Get, Head, Post };

class CHttpClient;

struct Transfer : std::enable_shared_from_this<Transfer> {
    CHttpClient* client = nullptr;
    int id = 0;
    std::string address;
    Method method = Method::Get;
    std::string body;
    bool noCache = false;
    uint64_t generation = 0;

    // Filled on the I/O thread.
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    std::string reply;
    bool tooLarge = false;
    long status = 0;
    int errorCode = 0;   // 0 on success

    // Progress, shared with the polling thread under the client's lock.
    uint64_t total = 0;
    uint64_t received = 0;
    bool progressQueued = false;
};

struct PendingEvent {
    bool finished = false;   // false: a progress report
    std::shared_ptr<Transfer> transfer;
};

void InitCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

class CHttpClient final : public IHttpClient {
public:
    CHttpClient(IHttpCallback* callback, int connections, const std::string& proxyServer,
                int proxyPort, const std::string& user, const std::string& password,
                bool deliverInPoll)
        : m_callback(callback), m_proxyServer(proxyServer), m_proxyPort(proxyPort), m_user(user),
          m_password(password), m_deliverInPoll(deliverInPoll)
    {
        InitCurlOnce();
        m_multi = curl_multi_init();
        const long n = std::clamp(connections, 1, 16);
        curl_multi_setopt(m_multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, n);
        curl_multi_setopt(m_multi, CURLMOPT_MAX_HOST_CONNECTIONS, n);
        m_io = std::thread([this] { RunIO(); });
    }

    bool Poll() override
    {
        if (m_deliverInPoll) {
            for (;;) {
                PendingEvent event;
                uint64_t total = 0, received = 0;
                {
                    std::lock_guard<std::mutex> lock(m_lock);
                    if (m_events.empty())
                        break;
                    event = std::move(m_events.front());
                    m_events.pop_front();
                    if (!event.finished) {
                        event.transfer->progressQueued = false;
                        total = event.transfer->total;
                        received = event.transfer->received;
                    }
                }
                if (event.finished)
                    Deliver(*event.transfer);
                else
                    m_callback->OnRequestProgress(event.transfer->id, total, received);
            }
        }
        std::lock_guard<std::mutex> lock(m_lock);
        return m_pending == 0;
    }

    void Get(const std::string& address, int id, bool noCache) override
    {
        Start(address, id, Method::Get, {}, noCache);
    }

    void Head(const std::string& address, int id) override
    {
        Start(address, id, Method::Head, {}, false);
    }

    void Post(const std::string& address, const char* data, size_t length, int id,
              bool noCache) override
    {
        Start(address, id, Method::Post, std::string(data, length), noCache);
    }

    void CancelAll() override
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            ++m_generation;
            for (const PendingEvent& e : m_events)
                if (e.finished)
                    --m_pending;
            m_events.clear();
            m_pending -= m_queued.size();
            m_queued.clear();
        }
        m_changed.notify_all();
        curl_multi_wakeup(m_multi);
    }

    void SetTimeout(uint32_t seconds) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_timeout = seconds;
    }

    void SetUserAgent(const std::string& text) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_userAgent = text;
    }

    void Destroy() override
    {
        CancelAll();
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_stop = true;
        }
        curl_multi_wakeup(m_multi);
        m_io.join();
        curl_multi_cleanup(m_multi);
        delete this;
    }

    // Waits until something may have changed for Poll, or the time is up.
    void WaitForChange(uint32_t milliseconds)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                           [this] { return m_pending == 0 || !m_events.empty(); });
    }

private:
    void Start(const std::string& address, int id, Method method, std::string body, bool noCache)
    {
        auto t = std::make_shared<Transfer>();
        t->client = this;
        t->id = id;
        t->address = address;
        t->method = method;
        t->body = std::move(body);
        t->noCache = noCache;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            t->generation = m_generation;
            m_queued.push_back(std::move(t));
            ++m_pending;
        }
        curl_multi_wakeup(m_multi);
    }

    void Deliver(const Transfer& t)
    {
        if (t.errorCode == 0)
            m_callback->OnGotFile(t.id, t.status, t.reply.data(), t.reply.size());
        else
            m_callback->OnRequestError(t.id, t.address, t.errorCode);
        {
            std::lock_guard<std::mutex> lock(m_lock);
            --m_pending;
        }
        m_changed.notify_all();
    }

    // --- I/O thread ---

    void RunIO()
    {
        std::vector<std::shared_ptr<Transfer>> running;
        for (;;) {
            std::deque<std::shared_ptr<Transfer>> toStart;
            std::vector<std::shared_ptr<Transfer>> cancelled;
            bool stop;
            {
                std::lock_guard<std::mutex> lock(m_lock);
                stop = m_stop;
                toStart.swap(m_queued);
                // Transfers of an older generation were cancelled.
                auto old = std::stable_partition(running.begin(), running.end(), [&](const auto& t) {
                    return t->generation == m_generation;
                });
                std::move(old, running.end(), std::back_inserter(cancelled));
                running.erase(old, running.end());
            }
            // Removing a handle may call back into curl's callbacks, which take the lock.
            for (auto& t : cancelled)
                Release(*t);
            if (!cancelled.empty()) {
                std::lock_guard<std::mutex> lock(m_lock);
                m_pending -= cancelled.size();
            }
            m_changed.notify_all();
            if (stop)
                break;
            for (auto& t : toStart) {
                Prepare(*t);
                curl_multi_add_handle(m_multi, t->easy);
                running.push_back(std::move(t));
            }

            int stillRunning = 0;
            curl_multi_perform(m_multi, &stillRunning);
            int left = 0;
            while (CURLMsg* msg = curl_multi_info_read(m_multi, &left)) {
                if (msg->msg != CURLMSG_DONE)
                    continue;
                auto it = std::find_if(running.begin(), running.end(),
                                       [&](const auto& t) { return t->easy == msg->easy_handle; });
                if (it == running.end())
                    continue;
                std::shared_ptr<Transfer> t = std::move(*it);
                running.erase(it);
                Finish(*t, msg->data.result);
                Release(*t);
                Complete(std::move(t));
            }
            curl_multi_poll(m_multi, nullptr, 0, 1000, nullptr);
        }
        for (auto& t : running)
            Release(*t);
    }

    void Prepare(Transfer& t)
    {
        CURL* e = curl_easy_init();
        t.easy = e;
        curl_easy_setopt(e, CURLOPT_URL, t.address.c_str());
        curl_easy_setopt(e, CURLOPT_PRIVATE, &t);
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(e, CURLOPT_MAXREDIRS, kHttpMaxRedirects);
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &CHttpClient::OnData);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
        curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &CHttpClient::OnXferInfo);
        curl_easy_setopt(e, CURLOPT_XFERINFODATA, &t);
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (!m_userAgent.empty())
                curl_easy_setopt(e, CURLOPT_USERAGENT, m_userAgent.c_str());
            if (m_timeout != 0) {
                curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, long(m_timeout));
                curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
                curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, long(m_timeout));
            }
        }
        if (!m_proxyServer.empty()) {
            curl_easy_setopt(e, CURLOPT_PROXY, m_proxyServer.c_str());
            curl_easy_setopt(e, CURLOPT_PROXYPORT, long(m_proxyPort));
            if (!m_user.empty()) {
                curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, m_user.c_str());
                curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, m_password.c_str());
                curl_easy_setopt(e, CURLOPT_PROXYAUTH, CURLAUTH_ANY);
            }
        } else if (!m_user.empty()) {
            curl_easy_setopt(e, CURLOPT_USERNAME, m_user.c_str());
            curl_easy_setopt(e, CURLOPT_PASSWORD, m_password.c_str());
            curl_easy_setopt(e, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
        }
        // A body of more than 1 KiB would otherwise wait for "100 Continue" first.
        t.headers = curl_slist_append(t.headers, "Expect:");
        if (t.noCache) {
            t.headers = curl_slist_append(t.headers, "Cache-Control: no-cache");
            t.headers = curl_slist_append(t.headers, "Pragma: no-cache");
        }
        curl_easy_setopt(e, CURLOPT_HTTPHEADER, t.headers);
        switch (t.method) {
        case Method::Get:
            break;
        case Method::Head:
            curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
            break;
        case Method::Post:
            curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(t.body.size()));
            curl_easy_setopt(e, CURLOPT_POSTFIELDS, t.body.data());
            break;
        }
    }

    static void Finish(Transfer& t, CURLcode result)
    {
        curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &t.status);
        if (t.tooLarge)
            t.errorCode = kHttpErrorTooLarge;
        else if (result != CURLE_OK)
            t.errorCode = kHttpCurlErrorBase + int(result);
        else if (t.status == 0)
            t.errorCode = kHttpErrorBadReply;
        else if (t.status < 200 || t.status > 299)
            t.errorCode = int(t.status);
    }

    void Release(Transfer& t)
    {
        curl_multi_remove_handle(m_multi, t.easy);
        curl_easy_cleanup(t.easy);
        curl_slist_free_all(t.headers);
        t.easy = nullptr;
        t.headers = nullptr;
    }

    // Hands a finished transfer on, unless it was cancelled meanwhile.
    void Complete(std::shared_ptr<Transfer> t)
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (t->generation != m_generation) {
                --m_pending;
                m_changed.notify_all();
                return;
            }
            if (m_deliverInPoll) {
                m_events.push_back({true, std::move(t)});
                m_changed.notify_all();
                return;
            }
        }
        Deliver(*t);
    }

    static size_t OnData(char* data, size_t size, size_t count, void* user)
    {
        auto* t = static_cast<Transfer*>(user);
        const size_t bytes = size * count;
        if (bytes > kHttpMaxReplyBytes - t->reply.size()) {
            t->tooLarge = true;
            return 0;   // ends the transfer
        }
        t->reply.append(data, bytes);
        return bytes;
    }

    static int OnXferInfo(void* user, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t, curl_off_t)
    {
        auto* t = static_cast<Transfer*>(user);
        t->client->ReportProgress(*t, uint64_t(std::max<curl_off_t>(dlTotal, 0)),
                                  uint64_t(std::max<curl_off_t>(dlNow, 0)));
        return 0;
    }

    void ReportProgress(Transfer& t, uint64_t total, uint64_t received)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        if (received == t.received || t.generation != m_generation)
            return;
        t.total = total;
        t.received = received;
        if (!m_deliverInPoll) {
            lock.unlock();
            m_callback->OnRequestProgress(t.id, total, received);
        } else if (!t.progressQueued) {
            t.progressQueued = true;
            m_events.push_back({false, t.shared_from_this()});
            lock.unlock();
            m_changed.notify_all();
        }
    }

    IHttpCallback* const m_callback;
    const std::string m_proxyServer;
    const int m_proxyPort;
    const std::string m_user;
    const std::string m_password;
    const bool m_deliverInPoll;

    CURLM* m_multi = nullptr;
    std::thread m_io;

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<std::shared_ptr<Transfer>> m_queued;   // started, not yet seen by the I/O thread
    std::deque<PendingEvent> m_events;                // waiting for Poll
    size_t m_pending = 0;                             // requests not yet reported or dropped
    uint64_t m_generation = 0;
    bool m_stop = false;
    uint32_t m_timeout = 30;
    std::string m_userAgent;
};

}  // namespace

IHttpClient* CreateHttpClient(IHttpCallback* callback, int connections,
                              const std::string& proxyServer, int proxyPort,
                              const std::string& user, const std::string& password,
                              bool deliverInPoll)
{
    return new CHttpClient(callback, connections, proxyServer, proxyPort, user, password,
                           deliverInPoll);
}

void FetchOnce(const std::string& address, IHttpCallback* callback)
{
    auto* client = new CHttpClient(callback, 1, {}, 0, {}, {}, true);
    client->Get(address, 0, false);
    while (!client->Poll())
        client->WaitForChange(1000);
    client->Destroy();
}

std::string ListingsUserAgent(const std::string& appName, const std::string& productVersion,
                              const std::string& privateBuild)
{
    return appName + " Listings Agent " + productVersion + " (Build " + privateBuild + ")";
}
