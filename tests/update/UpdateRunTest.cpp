// Whole update runs against listings servers on 127.0.0.1: the in-process listings service for
// the ordinary cases, and hand-made peers for failing and hostile servers.
#include "ListingsServer.h"

#include "TestServer.h"
#include "TestServices.h"
#include "foundation/FileUtils.h"
#include "foundation/SettingsStore.h"
#include "platform/File.h"
#include "platform/MessageQueue.h"
#include "listings/ProgrammeDB.h"
#include "listings/ProgrammeDBManager.h"
#include "update/AbsorbIntoDatabase.h"
#include "update/CheckForUpdates.h"
#include "tests/common/RunCommand.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// The rest of the program as an update run sees it.
class FakeTarget : public IAbsorbTarget {
public:
    std::vector<uint32_t> GetUserChannels() override { return channels; }
    uint32_t GetChannelLastUpdateID(uint32_t channel) override { return lastUpdate[channel]; }
    bool IsUpdateFileQueued(uint32_t, uint32_t) override { return false; }
    void AbsorbFile(const std::string& path) override
    {
        absorbed.push_back(fs::path(path).filename().string());
        EXPECT_TRUE(fs::exists(path)) << path;
    }
    void ReloadCategories() override { ++categories; }
    void ReloadKeywords() override { ++keywords; }
    void ClearImageCache() override { ++images; }
    void ReapplyRegion(uint32_t, bool) override { ++regions; }
    void ReloadFolderPaths() override { ++paths; }

    std::vector<uint32_t> channels;
    std::map<uint32_t, uint32_t> lastUpdate;
    std::vector<std::string> absorbed;
    int categories = 0, keywords = 0, images = 0, regions = 0, paths = 0;
};

class UpdateRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::path(services.folders["app-folder"]).parent_path().parent_path().string() + "/";
        for (const char* key : {"pending-schedules-folder", "backup-files-folder", "channel-images-folder"}) {
            fs::create_directories(root + key);
            services.folders[key] = root + key + "/";
        }
        content = root + "content/";
    }
    void TearDown() override
    {
        if (listings) {
            listings->Stop();
            thread.join();
        }
    }

    // Content of the in-process listings service.
    void Put(const std::string& relative, const std::string& bytes)
    {
        fs::create_directories(fs::path(content + relative).parent_path());
        std::ofstream(content + relative, std::ios::binary) << bytes;
    }
    void StartListings()
    {
        listings = std::make_unique<CListingsServer>(content, [this](const std::string& line) {
            std::lock_guard<std::mutex> g(lock);
            requests.push_back(line);
        });
        port = listings->Bind("127.0.0.1", 0);
        ASSERT_GT(port, 0);
        thread = std::thread([this] { listings->Run(); });
        services.Write("app-folder", "nodial", "127.0.0.1:" + std::to_string(port));
    }
    // One whole run; the reports it sent.
    std::vector<std::string> Run()
    {
        std::vector<std::string> reports;
        CCheckForUpdates checker(target, settings, "test");
        checker.SetRandomSource([] { return 0u; });
        checker.SetErrorSink([&](int32_t, const std::string& text) { reports.push_back(text); });
        EXPECT_TRUE(checker.StartUpdate());
        EXPECT_TRUE(checker.WaitUntilFinished(60000));
        EXPECT_FALSE(services.IsUpdating());
        failed = checker.Failed();
        handedOver = checker.HandedOver();
        return reports;
    }
    std::vector<std::string> Requests()
    {
        std::lock_guard<std::mutex> g(lock);
        return std::exchange(requests, {});
    }
    std::vector<std::string> UpdatesLeft()
    {
        std::vector<std::string> names;
        for (const auto& f : plat::FindFiles(services.folders["updates-folder"] + "*"))
            names.push_back(f.name);
        return names;
    }

    TestServices services;
    CSettingsStore settings;
    FakeTarget target;
    std::string root, content;
    int port = 0;
    std::unique_ptr<CListingsServer> listings;
    std::thread thread;
    std::mutex lock;
    std::vector<std::string> requests;
    bool failed = false, handedOver = false;
};

size_t CountStarting(const std::vector<std::string>& lines, const std::string& start)
{
    return size_t(std::count_if(lines.begin(), lines.end(),
                                [&](const std::string& l) { return l.rfind(start, 0) == 0; }));
}

TEST_F(UpdateRunTest, FreshInstallationGetsItsFilesAndListingsThenNothingNew)
{
    Put("files/app-folder/category", "category list");
    Put("files/app-folder/keywords", "keyword list");
    Put("files/channel-images-folder/5.ch", "logo five");
    Put("files/channel-images-folder/9.ch", "logo nine");   // not one of the user's channels
    Put("updates/5-1.up", "five one");
    Put("updates/5-2.up", "five two");
    Put("updates/7-1.up", "seven one");
    Put("updates/9-1.up", "nine one");
    Put("files/app-folder/notes.txt", "new notes");             // replaces a file, keeping a backup
    Put("files/app-folder/docs/guide/a.txt", "guide");          // into folders that do not exist yet
    services.Write("app-folder", "notes.txt", "old notes");
    // With "nodial" the run compares times: the installed copy is older than the served one.
    fs::last_write_time(services.folders["app-folder"] + "notes.txt",
                        fs::last_write_time(content + "files/app-folder/notes.txt") - std::chrono::hours(24));
    StartListings();
    target.channels = {5, 7, 5};

    EXPECT_TRUE(Run().empty());
    EXPECT_FALSE(failed);
    const std::string app = services.folders["app-folder"];
    const std::string images = services.folders["channel-images-folder"];
    EXPECT_EQ(services.Read(app + "category"), "category list");
    EXPECT_EQ(services.Read(app + "keywords"), "keyword list");
    EXPECT_EQ(services.Read(images + "5.ch"), "logo five");
    EXPECT_FALSE(fs::exists(images + "9.ch"));
    EXPECT_EQ(target.categories, 1);
    EXPECT_EQ(target.keywords, 1);
    EXPECT_EQ(target.images, 1);
    EXPECT_EQ(services.Read(app + "notes.txt"), "new notes");
    EXPECT_EQ(services.Read(services.folders["backup-files-folder"] + "notes.txt"), "old notes");
    EXPECT_EQ(services.Read(app + "docs/guide/a.txt"), "guide");
    EXPECT_FALSE(fs::exists(services.folders["backup-files-folder"] + "docs/guide/a.txt"));
    // The installed copy carries the service's time, so a by-time check finds it current.
    plat::FileInfo installed, served;
    ASSERT_TRUE(plat::GetFileInfo(app + "keywords", installed));
    ASSERT_TRUE(plat::GetFileInfo(content + "files/app-folder/keywords", served));
    EXPECT_EQ(installed.lastWrite / 10000000, served.lastWrite / 10000000);

    // Each channel's updates in order, and only the channels asked about.
    std::vector<std::string> fives, sevens;
    for (const std::string& name : target.absorbed)
        (name[0] == '5' ? fives : sevens).push_back(name);
    EXPECT_EQ(fives, (std::vector<std::string>{"5-1.up", "5-2.up"}));
    EXPECT_EQ(sevens, (std::vector<std::string>{"7-1.up"}));
    EXPECT_EQ(target.absorbed.size(), 3u);
    EXPECT_EQ(services.Read(services.folders["pending-schedules-folder"] + "5-2.up"), "five two");
    // Only the run's markers stay behind; the next run starts by removing them.
    EXPECT_EQ(UpdatesLeft(), (std::vector<std::string>{"check.dat", "filelist.dat"}));
    Requests();

    // The second run asks from the last updates on and downloads nothing.
    target.lastUpdate = {{5, 2}, {7, 1}};
    target.absorbed.clear();
    EXPECT_TRUE(Run().empty());
    EXPECT_FALSE(failed);
    const auto second = Requests();
    EXPECT_EQ(second.size(), 2u) << ::testing::PrintToString(second);
    EXPECT_EQ(CountStarting(second, "GET /sl/static-qvl-10/filelist.dat 200"), 1u);
    EXPECT_EQ(CountStarting(second, "POST /sl/sl.dll 200"), 1u);
    EXPECT_TRUE(target.absorbed.empty());
    EXPECT_EQ(target.keywords, 1);
}

TEST_F(UpdateRunTest, RequestsMoveToTheServerThatAnswersAndFailOnceWhenNoneDoes)
{
    Put("files/app-folder/category", "category list");
    Put("updates/5-1.up", "five one");
    StartListings();
    fs::remove(services.folders["app-folder"] + "nodial");
    target.channels = {5};
    auto serversXml = [&](const std::vector<int>& ports) {
        std::string xml = "<servers>";
        for (int p : ports) {
            const std::string host = "http://127.0.0.1:" + std::to_string(p);
            xml += "<server type='static' name='s' url='" + host + "' subdir='/sl/static-qvl-10/'/>";
            xml += "<server type='dynamic' name='d' url='" + host + "' subdir='/sl/sl.dll'/>";
        }
        services.Write("app-folder", "servers.xml", xml + "</servers>");
    };

    // Without "nodial" files are compared by CRC: an older copy with the listed CRC is current.
    Put("files/app-folder/same.txt", "same");
    services.Write("app-folder", "same.txt", "same");
    fs::last_write_time(services.folders["app-folder"] + "same.txt",
                        fs::last_write_time(content + "files/app-folder/same.txt") - std::chrono::hours(24));

    serversXml({ClosedPort(), port});   // the first server is picked first
    EXPECT_TRUE(Run().empty());
    EXPECT_FALSE(failed);
    EXPECT_EQ(services.Read(services.folders["app-folder"] + "category"), "category list");
    const auto served = Requests();
    EXPECT_EQ(std::count_if(served.begin(), served.end(),
                            [](const std::string& l) { return l.rfind("GET /sl/static-qvl-10/", 0) == 0; }),
              2) << ::testing::PrintToString(served);   // the file list and the category file
    EXPECT_EQ(target.absorbed, (std::vector<std::string>{"5-1.up"}));

    fs::remove(services.folders["app-folder"] + "category");
    serversXml({ClosedPort(), ClosedPort()});
    const auto reports = Run();
    EXPECT_TRUE(failed);
    ASSERT_FALSE(reports.empty());
    EXPECT_LE(reports.size(), 2u);   // one per request at most
    for (const std::string& text : reports)
        EXPECT_EQ(text, kAllServersFailed);
    EXPECT_FALSE(fs::exists(services.folders["app-folder"] + "category"));
    EXPECT_TRUE(UpdatesLeft().empty());
}

// A peer of the test's own making: the file list and files it is given, an update list of
// fixed records, and update files whose handlers may hold back.
class Peer {
public:
    struct File {
        std::string body;
        Gate* stall = nullptr;
    };
    std::map<std::string, File> files;                       // by hashname
    std::map<std::string, std::function<std::string()>> updates;   // by "channel,update"
    std::string updateList;

    Peer()
    {
        server.server.Get(R"(/sl/static-qvl-10/(.+))", [this](const httplib::Request& rq, httplib::Response& r) {
            auto it = files.find(rq.matches[1].str());
            if (it == files.end()) {
                r.status = 404;
                return;
            }
            if (it->second.stall)
                it->second.stall->Wait();
            r.set_content(it->second.body, "application/octet-stream");
        });
        server.server.Post("/sl/sl.dll", [this](const httplib::Request&, httplib::Response& r) {
            r.set_content(updateList, "application/octet-stream");
        });
        server.server.Get("/sl/sl.dll", [this](const httplib::Request& rq, httplib::Response& r) {
            auto it = updates.find(rq.get_param_value("b"));
            if (it == updates.end())
                r.status = 404;
            else
                r.set_content(it->second(), "application/octet-stream");
        });
        server.Start();
    }
    std::string Host() const { return "127.0.0.1:" + std::to_string(server.Port()); }

    TestServer server;
};

struct Entry {
    std::string hashname, extractname, folder;
    std::string content;   // the file as installed
};

std::string Gzip(const std::string& folder, const std::string& bytes)
{
    const std::string path = folder + "gzip.tmp";
    std::ofstream(path, std::ios::binary) << bytes;
    EXPECT_TRUE(CompressFile(path));
    std::ifstream in(path, std::ios::binary);
    std::string out((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    fs::remove(path);
    return out;
}

std::string FileListXml(const std::vector<Entry>& entries)
{
    std::string xml = "<files>";
    for (const Entry& e : entries)
        xml += "<file hashname=\"" + e.hashname + "\" extractname=\"" + e.extractname + "\" extractfolder=\"" +
               e.folder + "\" bytes=\"" + std::to_string(e.content.size()) + "\" CRC=\"" +
               std::to_string(CalculateCRC(e.content.data(), e.content.size())) +
               "\" ft-high=\"0\" ft-low=\"0\"/>";
    return xml + "</files>";
}

void WriteUInt32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out += char((v >> (8 * i)) & 0xFF);
}

TEST_F(UpdateRunTest, HostileServersInstallNothingOutsideTheirFolderAndNothingCorrupt)
{
    settings.SetUInt("connection-timeout", 1);
    const std::string app = services.folders["app-folder"];
    const std::string payload = "payload";
    struct Case {
        const char* what;
        Entry entry;
        std::string served;   // empty: the entry's content, gzip-compressed
        bool stall = false;
        bool installs = false;
    };
    const std::string good = Gzip(root, payload);
    const std::vector<Case> cases = {
        {"a sound file", {"h1", "data", "", payload}, "", false, true},
        {"hashname outside the folder", {"../x", "data", "", payload}, ""},
        {"extractname outside the folder", {"h1", "../../x", "", payload}, ""},
        {"HTML instead of gzip", {"h1", "data", "", payload}, "<html><body>Moved</body></html>"},
        {"truncated gzip", {"h1", "data", "", payload}, good.substr(0, good.size() - 6)},
        {"CRC mismatch", {"h1", "data", "", payload}, Gzip(root, "paylaod")},
        {"stall past the time-out", {"h1", "data", "", payload}, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Gate gate;
        Peer peer;
        peer.files["filelist.dat"].body = Gzip(root, FileListXml({c.entry}));
        peer.files[c.entry.hashname] = {c.served.empty() ? good : c.served, c.stall ? &gate : nullptr};
        services.Write("app-folder", "nodial", peer.Host());

        const auto reports = Run();
        gate.Open();
        EXPECT_EQ(failed, !c.installs);
        EXPECT_EQ(reports.empty(), c.installs);
        EXPECT_EQ(fs::exists(app + "data"), c.installs);
        if (c.installs) {
            EXPECT_EQ(services.Read(app + "data"), payload);
        }
        EXPECT_FALSE(fs::exists(root + "x"));
        EXPECT_FALSE(fs::exists(fs::path(root).parent_path().parent_path() / "x"));
        for (const std::string& left : UpdatesLeft())
            EXPECT_TRUE(left == "check.dat" || left == "filelist.dat") << left;
        fs::remove(app + "data");
    }
}

TEST_F(UpdateRunTest, UpdatesOfAChannelArrivingOutOfOrderAreAbsorbedInOrder)
{
    // Update 2 arrives first, then 3, then 1: both wait, and both follow 1 in order.
    settings.SetUInt("update-concurrent-connections", 3);
    Peer peer;
    Gate second, third;
    peer.files["filelist.dat"].body = Gzip(root, "<files></files>");
    for (uint32_t update : {1u, 2u, 3u}) {
        WriteUInt32(peer.updateList, 5);
        WriteUInt32(peer.updateList, update);
        WriteUInt32(peer.updateList, 6);
    }
    peer.updates["5,2"] = [&] { second.Open(); return std::string("five 2"); };
    peer.updates["5,3"] = [&] {
        second.Wait();
        std::this_thread::sleep_for(150ms);
        third.Open();
        return std::string("five 3");
    };
    peer.updates["5,1"] = [&] {
        third.Wait();
        std::this_thread::sleep_for(150ms);
        return std::string("five 1");
    };
    services.Write("app-folder", "nodial", peer.Host());
    target.channels = {5};

    EXPECT_TRUE(Run().empty());
    second.Open();
    third.Open();
    EXPECT_FALSE(failed);
    EXPECT_EQ(target.absorbed, (std::vector<std::string>{"5-1.up", "5-2.up", "5-3.up"}));
}

TEST_F(UpdateRunTest, ProgramFilesInstallTheNewUpgraderAndHandOver)
{
    Put("files/app-folder/QuilvoLiteUpgrader", "new upgrader");
    Put("files/app-folder/libquilvolite.so", "new library");
    Put("files/app-folder/category", "category list");
    Put("updates/5-1.up", "five one");
    StartListings();
    target.channels = {5};

    EXPECT_TRUE(Run().empty());
    EXPECT_TRUE(handedOver);
    EXPECT_EQ(services.upgrades, 1);
    const std::string app = services.folders["app-folder"];
    const std::string updates = services.folders["updates-folder"];
    EXPECT_EQ(services.Read(app + "QuilvoLiteUpgrader"), "new upgrader");
    EXPECT_NE(fs::status(app + "QuilvoLiteUpgrader").permissions() & fs::perms::owner_exec, fs::perms::none);
    // Nothing else is put to use: the upgrader does that once the program has gone.
    EXPECT_FALSE(fs::exists(app + "libquilvolite.so"));
    EXPECT_FALSE(fs::exists(app + "category"));
    EXPECT_EQ(target.categories, 0);
    EXPECT_TRUE(target.absorbed.empty());
    EXPECT_EQ(services.Read(updates + "check.dat"), updates + "check.dat");
    EXPECT_EQ(UpdatesLeft().size(), 5u) << ::testing::PrintToString(UpdatesLeft());
}

std::atomic<int> g_reports{0};
std::atomic<int32_t> g_code{-1};

plat::LRESULT RecordUpdateError(plat::HWND, uint32_t message, plat::WPARAM values, plat::LPARAM)
{
    if (message == MSG_UPDATE_ERROR) {
        g_code = reinterpret_cast<const int32_t*>(values)[0];
        ++g_reports;
    }
    return 0;
}

TEST_F(UpdateRunTest, StoppingWhileTheRunWaitsOnItsReportToTheMainWindowEnds)
{
    services.Write("app-folder", "nodial", "127.0.0.1:" + std::to_string(ClosedPort()));
    target.channels = {5};
    g_reports = 0;
    g_code = -1;
    const plat::HWND hwnd = plat::CreateWindowRecord(RecordUpdateError);
    services.SetMainWindowHandle(hwnd);
    {
        CCheckForUpdates checker(target, settings, "test");
        ASSERT_TRUE(checker.StartUpdate());
        // The worker fails at once and waits in its report to this thread, which is not looking.
        std::this_thread::sleep_for(1s);
        EXPECT_EQ(g_reports, 0);
        checker.StopUpdate();
        EXPECT_EQ(g_reports, 1);   // answered while joining; nothing is sent once stopping
        EXPECT_EQ(g_code, 0);      // the text is a message, not a failure code
        EXPECT_TRUE(checker.Failed());
    }
    EXPECT_FALSE(services.IsUpdating());
    services.SetMainWindowHandle(0);
    plat::DestroyWindowRecord(hwnd);
}
// The program's own target over the programme database; only the line-up is the test's, a few
// channels of the demo region.
class DemoLineUp : public CDatabaseAbsorbTarget {
public:
    std::vector<uint32_t> GetUserChannels() override { return {101, 102, 103}; }
};

std::string Output(const std::string& command)
{
    return RunCommand(command).text;
}

TEST_F(UpdateRunTest, DemoListingsAreAbsorbedIntoTheDatabaseAndListed)
{
    ASSERT_EQ(std::system(("'" QVL_APP_DIR "/qvl-demo-content' '" + content + "' > /dev/null").c_str()), 0);
    for (const char* key : {"channels-folder", "default-theme-folder", "schedule-folder"}) {
        fs::create_directories(root + key);
        services.folders[key] = root + key + "/";
    }
    const std::string schedules = services.folders["schedule-folder"];
    const std::string pending = services.folders["pending-schedules-folder"];
    const std::string app = services.folders["app-folder"];
    StartListings();
    CProgrammeDBManager& manager = CProgrammeDBManager::Instance();
    manager.Start(schedules, pending, app);
    DemoLineUp lineUp;
    auto runAndAbsorb = [&] {
        std::vector<std::string> reports;
        CCheckForUpdates checker(lineUp, settings, "test");
        checker.SetErrorSink([&](int32_t, const std::string& text) { reports.push_back(text); });
        EXPECT_TRUE(checker.StartUpdate());
        EXPECT_TRUE(checker.WaitUntilFinished(60000));
        EXPECT_FALSE(checker.Failed());
        while (manager.GetDatabase()->IsAbsorberBusy())
            std::this_thread::sleep_for(20ms);
        return reports;
    };

    EXPECT_TRUE(runAndAbsorb().empty());
    for (uint32_t channel : lineUp.GetUserChannels())
        EXPECT_EQ(manager.GetDatabase()->GetChannelLastUpdateID(channel), 7u) << channel;
    EXPECT_EQ(manager.GetDatabase()->GetChannelLastUpdateID(104), 0u);
    EXPECT_TRUE(fs::exists(services.folders["channel-images-folder"] + "101.ch"));
    EXPECT_FALSE(fs::exists(services.folders["channel-images-folder"] + "104.ch"));
    EXPECT_TRUE(fs::exists(services.folders["default-theme-folder"] + "region.dat"));
    EXPECT_TRUE(fs::exists(services.folders["channels-folder"] + "channels"));
    const auto first = Requests();
    EXPECT_EQ(std::count_if(first.begin(), first.end(),
                            [](const std::string& l) { return l.find("a=g") != std::string::npos; }),
              21);

    // The second run is told the last updates and fetches no listings.
    EXPECT_TRUE(runAndAbsorb().empty());
    const auto second = Requests();
    EXPECT_EQ(second.size(), 2u) << ::testing::PrintToString(second);
    manager.Close();

    // What is on today, as qvl lists it from the schedule files.
    const std::string listed = Output("HOME='" + root + "' XDG_DATA_HOME='" + root + "' '" QVL_APP_DIR
                                      "/qvl' db list now-1h now+1h --channel 101 --schedule-folder '" +
                                      schedules + "' --pending-folder '" + pending + "' --app-folder '" + app +
                                      "' 2>/dev/null");
    EXPECT_NE(listed.find("101\t"), std::string::npos) << listed;
}

TEST_F(UpdateRunTest, QvlUpdateFetchesTheRegionThenItsListingsAndFailsWithoutAServer)
{
    // qvl updates the installation beside it: a copy of the app folder, with the user's folders
    // under the test's own home.
    ASSERT_EQ(std::system(("'" QVL_APP_DIR "/qvl-demo-content' '" + content + "' > /dev/null").c_str()), 0);
    StartListings();
    const std::string app = root + "qvl-app/";
    fs::create_directories(app + "themes/default");
    for (const char* name : {"qvl", "libkrdcagg.so", "paths.dat", "themes/default/theme.velasc"})
        fs::copy_file(std::string(QVL_APP_DIR "/") + name, app + name);
    const std::string qvl = "HOME='" + root + "' XDG_DATA_HOME='" + root + "data' '" + app + "qvl' ";
    ASSERT_EQ(std::system((qvl + "settings set user-selected-region-id 1 --type uint > /dev/null").c_str()), 0);

    const std::string out = Output(qvl + "update --server 127.0.0.1:" + std::to_string(port) + " 2>&1; echo rc=$?");
    EXPECT_NE(out.find("the line-up changed"), std::string::npos) << out;
    size_t absorbed = 0;
    for (size_t at = out.find(": absorbed"); at != std::string::npos; at = out.find(": absorbed", at + 1))
        ++absorbed;
    EXPECT_EQ(absorbed, 20u * 7u);   // the region's 16 channels and its 4 extra ones, a week each
    EXPECT_NE(out.find("rc=0"), std::string::npos) << out;
    EXPECT_NE(Output(qvl + "db now").find("101\t"), std::string::npos);

    const std::string failed = Output(qvl + "update --server 127.0.0.1:" + std::to_string(ClosedPort()) +
                                      " 2>&1; echo rc=$?");
    EXPECT_NE(failed.find(kAllServersFailed), std::string::npos) << failed;
    EXPECT_NE(failed.find("rc=1"), std::string::npos) << failed;
}

}  // namespace
