// The whole self-update on one machine: an installation of the real program, fed by a local
// listings server, downloads a newer main library and a listings update while it runs, hands
// over to the upgrader and comes back as the newer version with the new listings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "tests/common/RunCommand.h"
#include "tests/upgrader/Installation.h"

namespace {

using namespace upgrader_test;
namespace fs = std::filesystem;

// Quotes a text for the shell.
std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The listings server over a content folder, for as long as the object lives.
class ListingsServer {
public:
    ListingsServer(const Installation& in, const std::string& content) : m_output(in.Path("server.out"))
    {
        const std::string command = "exec " + Quoted(QVL_APP_DIR "/qvl-listings-server") + " --content " +
                                    Quoted(content) + " --listen 127.0.0.1:0 > " + Quoted(m_output) + " 2>&1";
        char* argv[] = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"), const_cast<char*>(command.c_str()), nullptr};
        EXPECT_EQ(posix_spawn(&m_pid, "/bin/sh", nullptr, nullptr, argv, environ), 0);
        WaitFor([&] { return !Address().empty(); }, std::chrono::seconds(20));
    }
    ~ListingsServer()
    {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
    // "127.0.0.1:PORT" once the server listens, else "".
    std::string Address() const
    {
        std::ifstream in(m_output);
        std::string line;
        std::getline(in, line);
        const std::string head = "listening on http://";
        if (line.rfind(head, 0) != 0 || line.back() != '/')
            return "";
        return line.substr(head.size(), line.size() - head.size() - 1);
    }
    std::string Requests() const
    {
        std::ifstream in(m_output);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::string m_output;
    pid_t m_pid = 0;
};

class SelfUpdate : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(QVL_APP_DIR "/QuilvoLite") || !fs::exists(QVL_NEXT_LIBRARY))
            GTEST_SKIP() << "the program and the newer library are not built";
        if (plat::SingleInstanceLock::IsTaken(plat::kSingleInstanceName))
            GTEST_SKIP() << "a QuilvoLite of this user is running";
    }

    // Runs qvl of the installation as its user, answering its exit code; its output goes to
    // "qvl.out" in the temporary folder.
    int Qvl(const std::string& arguments)
    {
        const std::string command = "HOME=" + Quoted(in.Path("home")) + " XDG_RUNTIME_DIR=" + Quoted(in.Path("run")) +
                                    " XDG_DATA_HOME= XDG_CONFIG_HOME= " + Quoted(in.App() + "qvl") + " " + arguments +
                                    " >> " + Quoted(in.Path("qvl.out")) + " 2>&1";
        return RunCommand(command).code;
    }

    // An installation of the build's program with the test's theme, a user with six days of
    // listings of the demo region, and a listings server that now offers the seventh day and
    // the newer main library.
    void Prepare()
    {
        // The installation: the program, qvl, the data files beside them, and the test's theme.
        in.InstallProgram();
        for (const char* name : {"qvl", "connection-errors.dat"})
            fs::copy_file(fs::path(QVL_APP_DIR) / name, in.App() + name, fs::copy_options::overwrite_existing);
        fs::copy(QVL_TEST_DATA "/themes/selfupdate", in.App() + "themes/selfupdate", fs::copy_options::recursive);
        oldLibrary = in.Read(in.App() + "libquilvolite.so");
        newLibrary = in.Read(QVL_NEXT_LIBRARY);
        ASSERT_NE(oldLibrary, newLibrary);

        // The service's content: the demo region and a week of listings, of which the last
        // day is held back for the second run.
        const std::string content = in.Path("content/");
        ASSERT_EQ(RunCommand(Quoted(QVL_APP_DIR "/qvl-demo-content") + " " + Quoted(content)).code, 0);
        fs::create_directories(in.Path("later"));
        for (const auto& item : fs::directory_iterator(content + "updates")) {
            const std::string name = item.path().filename().string();
            if (name.size() > 5 && name.compare(name.size() - 5, 5, "-7.up") == 0) {
                fs::rename(item.path(), in.Path("later/" + name));
                heldBack.push_back(name);
            }
        }
        ASSERT_FALSE(heldBack.empty());
        server = std::make_unique<ListingsServer>(in, content);
        ASSERT_FALSE(server->Address().empty()) << server->Requests();
        in.Write(in.App() + "nodial", server->Address() + "\n");

        // The user: the demo region and six days of listings from a first update, which
        // installs the region file in the default theme; the test's theme carries a copy.
        ASSERT_EQ(Qvl("settings set user-selected-region-id 1 --type uint"), 0) << in.Read(in.Path("qvl.out"));
        ASSERT_EQ(Qvl("settings set log-verbose-level 2 --type uint"), 0) << in.Read(in.Path("qvl.out"));
        ASSERT_EQ(Qvl("update --server " + server->Address()), 0) << in.Read(in.Path("qvl.out"));
        fs::copy_file(in.App() + "themes/default/region.dat", in.App() + "themes/selfupdate/region.dat");
        ASSERT_EQ(Qvl("settings set user-selected-theme selfupdate --type string"), 0) << in.Read(in.Path("qvl.out"));

        // Then the service offers the last day and the newer library.
        for (const std::string& name : heldBack)
            fs::rename(in.Path("later/" + name), content + "updates/" + name);
        in.Write(content + "files/app-folder/libquilvolite.so", newLibrary);
    }

    Installation in;
    std::unique_ptr<ListingsServer> server;
    std::string oldLibrary, newLibrary;
    std::vector<std::string> heldBack;   // the listings update files of the last day
};

TEST_F(SelfUpdate, DownloadsANewerLibraryHandsOverAndComesBackAsTheNewVersion)
{
    ASSERT_NO_FATAL_FAILURE(Prepare());

    // The running program fetches both, hands over to the upgrader and exits; the upgrader
    // installs the library, moves the listings to the pending folder and starts the program
    // again, which absorbs them.
    const pid_t first = in.Spawn(plat::kLauncherName);
    EXPECT_EQ(WaitForExit(first, std::chrono::seconds(90)), 0) << in.Read(in.Path("QuilvoLite.stderr"));
    ASSERT_TRUE(WaitFor([&] { return in.ProgramStarts().size() == 2; }, std::chrono::seconds(60)))
        << in.Read(in.Data("logs/QuilvoLite.log")) << in.Read(in.Data("logs/QuilvoLiteUpgrade.log"));
    const pid_t restarted = pid_t(std::stoi(in.ProgramStarts()[1]));
    // The lines of the newer version, and those of its absorber that took a file from the
    // pending folder.
    const auto newerLines = [&] {
        const std::vector<std::string> log = in.ProgramLog();
        return std::vector<std::string>(std::find_if(log.begin(), log.end(), [](const std::string& line) {
            return line.rfind("Quilvo Lite version " QVL_NEXT_VERSION, 0) == 0;
        }), log.end());
    };
    const auto fromPending = [&](const std::vector<std::string>& lines) {
        const std::string head = "CProgrammesDatabaseBackgroundProcess::Run Processing file - " + in.Data("pending/");
        return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) { return line.rfind(head, 0) == 0; });
    };
    // Each held-back update is absorbed (and deleted) by the newer version, whose channel
    // schedules then hold the last day.
    const auto absorbedLastDay = [&](const std::vector<std::string>& lines) {
        return std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
            const std::string tail = ", update ID 7";
            return line.rfind("CChannelSchedule::SetAllProgrammes channel ", 0) == 0 && line.size() > tail.size() &&
                   line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
        });
    };
    EXPECT_TRUE(WaitFor([&] {
        const std::vector<std::string> lines = newerLines();
        return fromPending(lines) == long(heldBack.size()) && absorbedLastDay(lines) == long(heldBack.size()) &&
               fs::is_empty(in.Data("pending"));
    }, std::chrono::seconds(60))) << in.Read(in.Data("logs/QuilvoLite.log"));
    // The restarted copy is not a child of this test: end it as the user's session would.
    kill(restarted, SIGTERM);
    EXPECT_TRUE(WaitFor([&] { return !plat::ProcessExists(uint32_t(restarted)); }, std::chrono::seconds(30)));

    const std::vector<std::string> log = in.ProgramLog();
    const std::string all = in.Read(in.Data("logs/QuilvoLite.log"));
    // The first copy ran the old version and left through the upgrader; the second is the newer.
    ExpectInOrder(log, {std::string("Quilvo Lite version ") + QVL_VERSION + ", build number " + QVL_BUILD_NUMBER_TEXT,
                        "\t\tDEBUG: self-update: running version " QVL_VERSION, "QV Checking for updates...",
                        "CWindowSectionForJS::OnUnhandledMessage: Received quit message",
                        "\t\tDEBUG: self-update: quitting version " QVL_VERSION, "Bye!",
                        std::string("Quilvo Lite version ") + QVL_NEXT_VERSION + ", build number " + QVL_BUILD_NUMBER_TEXT,
                        "\t\tDEBUG: self-update: running version " QVL_NEXT_VERSION, "Bye!"});
    const std::vector<std::string> upgrade = in.Log();
    EXPECT_EQ(CountWarnings(upgrade), 0) << ::testing::PrintToString(upgrade);
    EXPECT_EQ(std::count_if(upgrade.begin(), upgrade.end(), [](const std::string& line) {
                  return line.rfind("Copying listings update file '", 0) == 0;
              }),
              long(heldBack.size()))
        << ::testing::PrintToString(upgrade);
    ExpectInOrder(upgrade, {"Copying libquilvolite.so to the backup folder",
                            "Starting " + in.App() + "QuilvoLite process", "Bye!"});
    EXPECT_TRUE(in.Read(in.App() + "libquilvolite.so") == newLibrary);
    EXPECT_TRUE(in.Read(in.Data("program-backup/libquilvolite.so")) == oldLibrary);
    EXPECT_EQ(in.LeftInUpdates(), std::vector<std::string>());
}

// Without an upgrader to hand over to, the program does not leave: it says why and goes on
// running the installed version, whose files stay as they were.
TEST_F(SelfUpdate, StaysWhenTheUpgraderCannotBeStarted)
{
    ASSERT_NO_FATAL_FAILURE(Prepare());
    fs::remove(in.App() + plat::kUpgraderName);
    const pid_t program = in.Spawn(plat::kLauncherName);
    const std::string warning = "QV Upgrading: unable to restart '" + in.App() + plat::kUpgraderName +
                                "' because: (2) No such file or directory";
    const auto logged = [&](const std::string& text) {
        return in.Read(in.Data("logs/QuilvoLite.log")).find(text) != std::string::npos;
    };
    EXPECT_TRUE(WaitFor([&] { return logged(warning); }, std::chrono::seconds(90)))
        << in.Read(in.Data("logs/QuilvoLite.log"));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(waitpid(program, nullptr, WNOHANG), 0) << "the program left without an upgrader";
    kill(program, SIGTERM);
    EXPECT_EQ(WaitForExit(program, std::chrono::seconds(30)), 0);

    EXPECT_FALSE(logged("Received quit message"));
    EXPECT_EQ(in.ProgramStarts().size(), 1u);
    EXPECT_TRUE(in.Read(in.App() + "libquilvolite.so") == oldLibrary);
}

}  // namespace
