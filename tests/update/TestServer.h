// Test peers: a cpp-httplib server on 127.0.0.1 with an ephemeral port, serving on its own
// thread for the length of a test, and a gate that holds handlers back until it is opened.
#pragma once
#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class TestServer {
public:
    httplib::Server server;   // add routes before Start

    ~TestServer() { Stop(); }

    void Start()
    {
        m_port = server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    void Stop()
    {
        if (!m_thread.joinable())
            return;
        server.stop();
        m_thread.join();
    }

    int Port() const { return m_port; }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(m_port); }

private:
    int m_port = 0;
    std::thread m_thread;
};

// Handlers call Wait to stall; the test opens the gate before its servers stop.
class Gate {
public:
    void Wait(std::chrono::milliseconds limit = std::chrono::seconds(20))
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_cv.wait_for(lock, limit, [this] { return m_open; });
    }
    void Open()
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_open = true;
        }
        m_cv.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_cv;
    bool m_open = false;
};

// A port on 127.0.0.1 that refuses connections: that of a server that has stopped again.
inline int ClosedPort()
{
    TestServer s;
    s.Start();
    s.Stop();
    return s.Port();
}
