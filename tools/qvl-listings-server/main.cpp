// qvl-listings-server: serves a content folder as a listings service.
//   qvl-listings-server --content DIR [--listen HOST:PORT]
// Port 0 (the default) takes any free port. The address served is printed first, then one line
// per request.
#include <cstdio>
#include <string>

#include "ListingsServer.h"

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: qvl-listings-server --content DIR [--listen HOST:PORT]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string content, host = "127.0.0.1";
    int port = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            return Usage();
        const std::string value = argv[++i];
        if (arg == "--content") {
            content = value;
        } else if (arg == "--listen") {
            const size_t colon = value.rfind(':');
            if (colon == std::string::npos)
                return Usage();
            host = value.substr(0, colon);
            try {
                port = std::stoi(value.substr(colon + 1));
            } catch (...) {
                return Usage();
            }
            if (port < 0 || port > 65535)
                return Usage();
        } else {
            return Usage();
        }
    }
    if (content.empty())
        return Usage();

    CListingsServer server(content, [](const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    });
    port = server.Bind(host, port);
    if (port <= 0) {
        std::fprintf(stderr, "qvl-listings-server: cannot listen on %s\n", host.c_str());
        return 1;
    }
    std::printf("listening on http://%s:%d/\n", host.c_str(), port);
    std::fflush(stdout);
    return server.Run() ? 0 : 1;
}
