// A listings service over HTTP that serves a content folder: the static interface (the file
// list and every listed file, gzip-compressed) and the dynamic one (which listings updates a
// channel has, and each update file). docs/listings-server.md describes the folder.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CListingsServer {
public:
    // Each request handled is reported to the log as "METHOD TARGET STATUS BYTES".
    explicit CListingsServer(std::string contentFolder,
                             std::function<void(const std::string&)> log = {});
    ~CListingsServer();
    CListingsServer(const CListingsServer&) = delete;
    CListingsServer& operator=(const CListingsServer&) = delete;

    // Binds to the address (port 0: any free one); the port bound, or -1.
    int Bind(const std::string& host, int port);
    // Serves until Stop; false when it could not serve at all.
    bool Run();
    void Stop();

    // The paths of the two interfaces.
    static constexpr const char* kStaticPrefix = "/sl/static-qvl-10/";
    static constexpr const char* kDynamicPath = "/sl/sl.dll";

private:
    struct State;
    std::unique_ptr<State> m_state;
};
