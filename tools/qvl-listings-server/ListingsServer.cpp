// The listings service over cpp-httplib. Every request looks at the content folder afresh, so
// content can change while the server runs; checksums and compressed copies are cached by
// file size and time.
#include "ListingsServer.h"

#include <httplib.h>
#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <vector>

#include "foundation/CRC.h"
#include "foundation/FileUtils.h"
#include "foundation/LightXML.h"
#include "platform/File.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxRequestBody = 1 << 20;

// One file of the static interface.
struct Listed {
    std::string hashname;
    std::string folderKey;   // written as "" for "app-folder"
    std::string name;        // relative to its folder, "/"-separated
    std::string path;
    uint64_t bytes = 0;
    plat::FileTime time = 0;
    uint32_t crc = 0;
};

bool Gzip(const std::string& in, std::string& out)
{
    z_stream z{};
    if (in.size() > (1u << 30) || deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out.resize(deflateBound(&z, uLong(in.size())));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = uInt(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return rc == Z_STREAM_END;
}

bool ParseNumber(std::string_view text, uint32_t& out)
{
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// "X,Y" as two numbers.
bool ParsePair(std::string_view text, uint32_t& first, uint32_t& second)
{
    const size_t comma = text.find(',');
    return comma != std::string_view::npos && ParseNumber(text.substr(0, comma), first) &&
           ParseNumber(text.substr(comma + 1), second);
}

std::string Hex8(uint32_t value)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

}  // namespace

struct CListingsServer::State {
    std::string content;
    std::function<void(const std::string&)> log;
    httplib::Server server;

    std::mutex lock;
    struct Cached {
        uint64_t bytes = 0;
        plat::FileTime time = 0;
        uint32_t crc = 0;
    };
    std::map<std::string, Cached> checksums;      // by path
    std::map<std::string, std::string> packed;    // gzip copies by hashname

    std::vector<Listed> ScanFiles();
    bool Packed(const Listed& file, std::string& out);
    std::string FileList(const std::vector<Listed>& files);
    // Update numbers and sizes of every update file of each channel, ascending.
    std::map<uint32_t, std::map<uint32_t, uint64_t>> ScanUpdates();

    void ServeStatic(const httplib::Request& rq, httplib::Response& r);
    void ServeQuery(const httplib::Request& rq, httplib::Response& r);
    void ServeUpdate(const httplib::Request& rq, httplib::Response& r);
};

std::vector<Listed> CListingsServer::State::ScanFiles()
{
    std::vector<Listed> files;
    std::error_code ec;
    for (const auto& folder : fs::directory_iterator(content + "files", ec)) {
        if (!folder.is_directory())
            continue;
        const std::string key = folder.path().filename().string();
        for (auto it = fs::recursive_directory_iterator(folder.path(), ec);
             it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (ec || !it->is_regular_file())
                continue;
            Listed f;
            f.folderKey = key == "app-folder" ? "" : key;
            f.name = fs::relative(it->path(), folder.path()).generic_string();
            f.path = it->path().string();
            plat::FileInfo info;
            if (!plat::GetFileInfo(f.path, info))
                continue;
            f.bytes = info.size;
            f.time = info.lastWrite;
            {
                std::lock_guard<std::mutex> g(lock);
                Cached& c = checksums[f.path];
                if (c.bytes != f.bytes || c.time != f.time || c.crc == 0) {
                    if (!GetFileCRC(f.path, c.crc))
                        continue;
                    c.bytes = f.bytes;
                    c.time = f.time;
                }
                f.crc = c.crc;
            }
            const std::string place = key + "/" + f.name;
            f.hashname = Hex8(CalculateCRC(place.data(), place.size())) + Hex8(f.crc);
            files.push_back(std::move(f));
        }
    }
    std::sort(files.begin(), files.end(),
              [](const Listed& a, const Listed& b) { return a.path < b.path; });
    return files;
}

bool CListingsServer::State::Packed(const Listed& file, std::string& out)
{
    {
        std::lock_guard<std::mutex> g(lock);
        auto it = packed.find(file.hashname);
        if (it != packed.end()) {
            out = it->second;
            return true;
        }
    }
    std::string plain;
    if (!ReadWholeFile(file.path, plain) || !Gzip(plain, out))
        return false;
    std::lock_guard<std::mutex> g(lock);
    packed[file.hashname] = out;
    return true;
}

std::string CListingsServer::State::FileList(const std::vector<Listed>& files)
{
    LightXML::CElementPtr root(new CLightElement(""));
    CLightElement* list = root->AddChild("files");
    for (const Listed& f : files) {
        CLightElement* e = list->AddChild("file");
        e->SetAttribute("hashname", f.hashname);
        e->SetAttribute("extractname", f.name);
        e->SetAttribute("extractfolder", f.folderKey);
        e->SetAttributeInt("bytes", uint32_t(f.bytes));
        e->SetAttributeInt("ft-high", uint32_t(f.time >> 32));
        e->SetAttributeInt("ft-low", uint32_t(f.time));
        e->SetAttributeInt("CRC", f.crc);
    }
    std::string xml;
    root->WriteChildren(xml, xmlIndented, true);
    return xml;
}

std::map<uint32_t, std::map<uint32_t, uint64_t>> CListingsServer::State::ScanUpdates()
{
    std::map<uint32_t, std::map<uint32_t, uint64_t>> channels;
    for (const plat::FileInfo& f : plat::FindFiles(content + "updates/*.up")) {
        uint32_t channel = 0, update = 0;
        const std::string stem = f.name.substr(0, f.name.size() - 3);
        const size_t dash = stem.find('-');
        if (f.isDirectory || dash == std::string::npos ||
            !ParseNumber(std::string_view(stem).substr(0, dash), channel) ||
            !ParseNumber(std::string_view(stem).substr(dash + 1), update))
            continue;
        channels[channel][update] = f.size;
    }
    return channels;
}

void CListingsServer::State::ServeStatic(const httplib::Request& rq, httplib::Response& r)
{
    const std::string name = rq.matches[1];
    const std::vector<Listed> files = ScanFiles();
    std::string body;
    if (name == "filelist.dat") {
        if (!Gzip(FileList(files), body)) {
            r.status = 500;
            return;
        }
    } else {
        auto it = std::find_if(files.begin(), files.end(),
                               [&](const Listed& f) { return f.hashname == name; });
        if (it == files.end()) {
            r.status = 404;
            return;
        }
        if (!Packed(*it, body)) {
            r.status = 500;
            return;
        }
    }
    r.set_content(std::move(body), "application/octet-stream");
}

// "a=q&b=CHANNEL,LAST&b=...": for each channel asked about, a record (channel, update number,
// size; three little-endian 32-bit numbers) per update file newer than the one it has.
void CListingsServer::State::ServeQuery(const httplib::Request& rq, httplib::Response& r)
{
    std::string_view body = rq.body;
    std::vector<std::pair<uint32_t, uint32_t>> asked;
    bool query = false;
    for (size_t start = 0; start <= body.size();) {
        size_t end = body.find('&', start);
        if (end == std::string_view::npos)
            end = body.size();
        const std::string_view part = body.substr(start, end - start);
        uint32_t channel = 0, last = 0;
        if (part == "a=q")
            query = true;
        else if (part.substr(0, 2) == "b=" && ParsePair(part.substr(2), channel, last))
            asked.emplace_back(channel, last);
        start = end + 1;
    }
    if (!query) {
        r.status = 400;
        return;
    }
    const auto channels = ScanUpdates();
    std::string records;
    for (auto [channel, last] : asked) {
        auto it = channels.find(channel);
        if (it == channels.end())
            continue;
        for (auto [update, bytes] : it->second) {
            if (update <= last)
                continue;
            for (uint32_t v : {channel, update, uint32_t(bytes)})
                for (int shift = 0; shift < 32; shift += 8)
                    records.push_back(char((v >> shift) & 0xFF));
        }
    }
    r.set_content(std::move(records), "application/octet-stream");
}

// "?a=g&b=CHANNEL,UPDATE": that update file as it is.
void CListingsServer::State::ServeUpdate(const httplib::Request& rq, httplib::Response& r)
{
    uint32_t channel = 0, update = 0;
    if (rq.get_param_value("a") != "g" || !ParsePair(rq.get_param_value("b"), channel, update)) {
        r.status = 400;
        return;
    }
    std::string body;
    const std::string path = content + "updates/" + std::to_string(channel) + "-" + std::to_string(update) + ".up";
    if (!plat::FileExists(path)) {
        r.status = 404;
        return;
    }
    if (!ReadWholeFile(path, body)) {
        r.status = 500;
        return;
    }
    r.set_content(std::move(body), "application/octet-stream");
}

CListingsServer::CListingsServer(std::string contentFolder, std::function<void(const std::string&)> log)
    : m_state(std::make_unique<State>())
{
    State& s = *m_state;
    if (!contentFolder.empty() && contentFolder.back() != '/')
        contentFolder += '/';
    s.content = std::move(contentFolder);
    s.log = std::move(log);
    s.server.set_payload_max_length(kMaxRequestBody);
    s.server.Get(std::string(kStaticPrefix) + "([^/]+)",
                 [&s](const httplib::Request& rq, httplib::Response& r) { s.ServeStatic(rq, r); });
    s.server.Post(kDynamicPath,
                  [&s](const httplib::Request& rq, httplib::Response& r) { s.ServeQuery(rq, r); });
    s.server.Get(kDynamicPath,
                 [&s](const httplib::Request& rq, httplib::Response& r) { s.ServeUpdate(rq, r); });
    if (s.log) {
        s.server.set_logger([&s](const httplib::Request& rq, const httplib::Response& r) {
            s.log(rq.method + " " + rq.target + " " + std::to_string(r.status) + " " +
                  std::to_string(r.body.size()));
        });
    }
}

CListingsServer::~CListingsServer()
{
    Stop();
}

int CListingsServer::Bind(const std::string& host, int port)
{
    if (port == 0)
        return m_state->server.bind_to_any_port(host);
    return m_state->server.bind_to_port(host, port) ? port : -1;
}

bool CListingsServer::Run()
{
    return m_state->server.listen_after_bind();
}

void CListingsServer::Stop()
{
    m_state->server.stop();
}
