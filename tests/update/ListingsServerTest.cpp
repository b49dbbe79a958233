// The listings server run in-process, asked through the request manager as an update run asks.
#include "ListingsServer.h"

#include "TestServices.h"
#include "foundation/FileUtils.h"
#include "foundation/SettingsStore.h"
#include "update/RequestManager.h"

#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;

namespace {

class Collect : public IRequestCallback {
public:
    std::map<int, std::string> data, failed;
    std::map<int, int> written;
    bool OnGotData(int id, const char* bytes, size_t length) override
    {
        data[id] = std::string(bytes, length);
        return true;
    }
    void OnRequestFailed(int id, const std::string& text, int32_t) override { failed[id] = text; }
};

uint32_t Le32(const std::string& s, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | uint8_t(s[at + size_t(i)]);
    return v;
}

class ListingsServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        content = services.folders["app-folder"] + "content/";
        Put("files/app-folder/category", "categories");
        Put("files/channel-images-folder/5.ch", std::string("\x89PNG\0logo", 9));
        Put("files/themes-folder/Default/theme.velasc", "app.run();");
        Put("updates/5-1.up", "five one");
        Put("updates/5-2.up", "five two!");
        Put("updates/7-1.up", "seven");
        Put("updates/readme.txt", "not an update");

        server = std::make_unique<CListingsServer>(content, [this](const std::string& line) {
            std::lock_guard<std::mutex> g(lock);
            log.push_back(line);
        });
        port = server->Bind("127.0.0.1", 0);
        ASSERT_GT(port, 0);
        thread = std::thread([this] { server->Run(); });
        services.Write("app-folder", "nodial", "127.0.0.1:" + std::to_string(port));
        manager = std::make_unique<CRequestManager>(nullptr, settings, "test");
        manager->SetCallback(&owner);
    }
    void TearDown() override
    {
        manager.reset();
        server->Stop();
        if (thread.joinable())
            thread.join();
    }

    void Put(const std::string& relative, const std::string& bytes)
    {
        std::filesystem::create_directories(std::filesystem::path(content + relative).parent_path());
        std::ofstream(content + relative, std::ios::binary) << bytes;
    }

    void Run(const std::vector<CUpdateRequest>& requests)
    {
        owner.data.clear();
        owner.failed.clear();
        manager->MakeRequests(requests);
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (!manager->IsTransportIdle() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(5ms);
    }

    // The bytes of a gzip download, unpacked the way the update run unpacks them.
    std::string Unpack(const std::string& packed)
    {
        const std::string path = services.folders["updates-folder"] + "x.cmp";
        std::ofstream(path, std::ios::binary) << packed;
        std::string plain;
        EXPECT_TRUE(DecompressFile(path, path + ".out"));
        EXPECT_TRUE(ReadWholeFile(path + ".out", plain));
        return plain;
    }

    static CUpdateRequest Request(bool bStatic, int method, const std::string& path,
                                  const std::string& body = {})
    {
        CUpdateRequest r;
        r.m_bStatic = bStatic;
        r.m_nMethod = method;
        r.m_strPath = path;
        r.m_Body = body;
        return r;
    }

    TestServices services;
    CSettingsStore settings;
    Collect owner;
    std::string content;
    std::unique_ptr<CListingsServer> server;
    int port = 0;
    std::thread thread;
    std::unique_ptr<CRequestManager> manager;
    std::mutex lock;
    std::vector<std::string> log;
};

TEST_F(ListingsServerTest, StaticInterfaceListsAndServesEveryFileCompressed)
{
    Run({Request(true, CUpdateRequest::methodGet, "filelist.dat")});
    ASSERT_EQ(owner.data.count(0), 1u) << owner.failed[0];
    const std::string xml = Unpack(owner.data[0]);
    LightXML::CElementPtr root(LightXML::ParseText(xml.data(), xml.size()));
    CLightElement* files = root->FindPath("files");
    ASSERT_NE(files, nullptr) << xml;
    ASSERT_EQ(files->GetChildren().size(), 3u);

    struct Expect {
        const char* folder;
        const char* name;
        const char* source;
    } expected[] = {{"", "category", "files/app-folder/category"},
                    {"channel-images-folder", "5.ch", "files/channel-images-folder/5.ch"},
                    {"themes-folder", "Default/theme.velasc", "files/themes-folder/Default/theme.velasc"}};
    std::vector<CUpdateRequest> downloads;
    for (size_t i = 0; i < 3; ++i) {
        const CLightElement* e = files->GetChildren()[i];
        const Expect& x = expected[i];
        const std::string source = content + x.source;
        EXPECT_STREQ(e->GetAttribute("extractfolder"), x.folder);
        EXPECT_STREQ(e->GetAttribute("extractname"), x.name);
        uint32_t bytes = 0, crc = 0, high = 0, low = 0, fileCrc = 0;
        ASSERT_TRUE(e->GetAttributeInt("bytes", bytes) && e->GetAttributeInt("CRC", crc) &&
                    e->GetAttributeInt("ft-high", high) && e->GetAttributeInt("ft-low", low));
        ASSERT_TRUE(GetFileCRC(source, fileCrc));
        EXPECT_EQ(crc, fileCrc) << x.name;
        EXPECT_EQ(bytes, std::filesystem::file_size(source)) << x.name;
        plat::FileInfo info;
        ASSERT_TRUE(plat::GetFileInfo(source, info));
        EXPECT_EQ((uint64_t(high) << 32) | low, info.lastWrite) << x.name;
        const std::string hashname = e->GetAttribute("hashname");
        EXPECT_EQ(hashname.find_first_of("/\\."), std::string::npos) << hashname;
        downloads.push_back(Request(true, CUpdateRequest::methodGet, hashname));
    }
    downloads.push_back(Request(true, CUpdateRequest::methodGet, "0000000000000000"));

    Run(downloads);
    for (size_t i = 0; i < 3; ++i) {
        std::string plain;
        ASSERT_TRUE(ReadWholeFile(content + expected[i].source, plain));
        EXPECT_EQ(Unpack(owner.data[int(i)]), plain) << expected[i].name;
    }
    // The only server answered 404: it is dropped and the request fails.
    EXPECT_EQ(owner.failed[3], kAllServersFailed);
}

TEST_F(ListingsServerTest, DynamicInterfaceAnswersNewerUpdatesAndServesThem)
{
    Run({Request(false, CUpdateRequest::methodPost, "", "a=q&b=5,1&b=7,0&b=9,0&b=x,1")});
    ASSERT_EQ(owner.data.count(0), 1u) << owner.failed[0];
    const std::string& records = owner.data[0];
    ASSERT_EQ(records.size(), 24u);
    EXPECT_EQ((std::array{Le32(records, 0), Le32(records, 4), Le32(records, 8)}),
              (std::array<uint32_t, 3>{5, 2, 9}));
    EXPECT_EQ((std::array{Le32(records, 12), Le32(records, 16), Le32(records, 20)}),
              (std::array<uint32_t, 3>{7, 1, 5}));

    Run({Request(false, CUpdateRequest::methodGet, "?a=g&b=5,2"),
         Request(false, CUpdateRequest::methodGet, "?a=g&b=7,1")});
    EXPECT_EQ(owner.data[0], "five two!");
    EXPECT_EQ(owner.data[1], "seven");

    Run({Request(false, CUpdateRequest::methodPost, "", "a=q&b=5,2&b=7,1")});
    EXPECT_EQ(owner.data[0], "");   // nothing newer

    Run({Request(false, CUpdateRequest::methodGet, "?a=g&b=5,9")});
    EXPECT_EQ(owner.failed[0], kAllServersFailed);
    // The server logs a request once its answer has gone, so the line may come a moment later.
    const auto end = std::chrono::steady_clock::now() + 5s;
    std::string last;
    do {
        std::this_thread::sleep_for(5ms);
        std::lock_guard<std::mutex> g(lock);
        last = log.back();
    } while (last != "GET /sl/sl.dll?a=g&b=5,9 404 0" && std::chrono::steady_clock::now() < end);
    EXPECT_EQ(last, "GET /sl/sl.dll?a=g&b=5,9 404 0");
}

}  // namespace
