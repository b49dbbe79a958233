// The program as the user starts it: QuilvoLite from the app folder, with its home and runtime
// folders in a fresh temporary folder, ended by a signal or by another copy's exit broadcast.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <thread>

#include "TempFolder.h"
#include "platform/Instance.h"
#include "platform/Names.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

class Program {
public:
    // Starts QuilvoLite with HOME and the XDG folders inside the given folder.
    explicit Program(const TempFolder& temp)
    {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            std::string entry = *e;
            if (entry.rfind("HOME=", 0) != 0 && entry.rfind("XDG_", 0) != 0 && entry.rfind("QVL_PLATFORM=", 0) != 0)
                env.push_back(entry);
        }
        env.push_back("HOME=" + (temp / "home"));
        env.push_back("XDG_RUNTIME_DIR=" + (temp / "run"));
        env.push_back("QVL_PLATFORM=headless");
        std::vector<char*> envp;
        for (std::string& entry : env)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::string path = QVL_APP_DIR "/QuilvoLite";
        char* argv[] = {path.data(), nullptr};
        EXPECT_EQ(posix_spawn(&m_pid, path.c_str(), nullptr, nullptr, argv, envp.data()), 0);
    }
    ~Program()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }

    // The exit code, or -1 when it has not ended within the time (or ended by a signal).
    int Wait(std::chrono::seconds limit)
    {
        const auto end = Clock::now() + limit;
        while (Clock::now() < end) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }
    void Signal(int signal) { kill(m_pid, signal); }

private:
    pid_t m_pid = 0;
};

bool WaitFor(const std::function<bool()>& condition, std::chrono::seconds limit)
{
    const auto end = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// The texts of the log's lines, after checking each line's prefix: UTC date and time, process
// and thread ids, tab-separated.
std::vector<std::string> LogTexts(const std::string& log)
{
    static const std::regex line(R"((\d\d)-(\d\d)-(\d{4})\t\d\d:\d\d:\d\d\t(\d+)\t(\d+)\t(.*?)\r?)");
    std::vector<std::string> texts;
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        std::string text = log.substr(start, end - start);
        start = end == std::string::npos ? log.size() : end + 1;
        std::smatch match;
        EXPECT_TRUE(std::regex_match(text, match, line)) << text;
        texts.push_back(match.size() > 6 ? match[6].str() : text);
    }
    return texts;
}

const char* const kLogPath = "home/.local/share/QuilvoLite/logs/QuilvoLite.log";

// Every way of ending a run shuts down in order: the log holds the start-up lines then the
// shut-down lines ending with "Bye!", the settings are saved and the exit code is 0. A second
// copy started while the first runs returns at once, leaving the first undisturbed.
TEST(Lifecycle, StartsAndShutsDownInOrder)
{
    if (plat::SingleInstanceLock::IsTaken(plat::kSingleInstanceName))
        GTEST_SKIP() << "another QuilvoLite of this user is running";

    enum End { byTerm, byInterrupt, byBroadcast };
    for (End end : {byTerm, byInterrupt, byBroadcast}) {
        SCOPED_TRACE(end);
        TempFolder temp;
        std::filesystem::create_directories(temp / "run");
        // An old installation's hot-key setting, carried over at start-up.
        temp.Write("home/.local/share/QuilvoLite/settings/settings.dat",
                   "<ApplicationSettings><setting name=\"movies-hotkey-vk\" type=\"uint\" value=\"65\"/>"
                   "</ApplicationSettings>");

        Program first(temp);
        ASSERT_TRUE(WaitFor([&] { return temp.Read(kLogPath).find("Time Zone") != std::string::npos ||
                                         temp.Read(kLogPath).find("Couldn't get time zone") != std::string::npos; },
                            std::chrono::seconds(30)))
            << temp.Read(kLogPath);
        if (end == byTerm) {
            const auto started = Clock::now();
            Program second(temp);
            EXPECT_EQ(second.Wait(std::chrono::seconds(30)), 0);
            EXPECT_LT(Clock::now() - started, std::chrono::seconds(10));
            EXPECT_EQ(first.Wait(std::chrono::seconds(0)), -1) << "the first copy ended";
        }

        if (end == byBroadcast) {
            setenv("XDG_RUNTIME_DIR", (temp / "run").c_str(), 1);
            EXPECT_EQ(plat::BroadcastMessage(plat::kExitMessageName), 1);
        } else {
            first.Signal(end == byTerm ? SIGTERM : SIGINT);
        }
        EXPECT_EQ(first.Wait(std::chrono::seconds(30)), 0);

        std::vector<std::string> texts = LogTexts(temp.Read(kLogPath));
        ASSERT_GE(texts.size(), 4u);
        EXPECT_EQ(texts[0], "Application starting up...");
        EXPECT_TRUE(std::regex_match(texts[1], std::regex(R"(Quilvo Lite version \d+\.\d+\.\d+, build number .+)")))
            << texts[1];
        EXPECT_TRUE(std::regex_match(texts[2], std::regex(R"(Quilvo Lite was built on \w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4})")))
            << texts[2];
        EXPECT_TRUE(std::regex_match(texts[3], std::regex(
                        R"(Time Zone '.*', daylight saving time '.*', standard bias '-?\d+', daylight saving bias '-?\d+')")))
            << texts[3];
        const std::vector<std::string> shutdown = {
            "...application shutting down", "Cleanup listing update", "Shutdown basic systems",
            "Shutting down categories",     "Shutting down channels", "Shutting down listings",
            "Programme database closing down", "Database closing down", "Database closed",
            "Programme database closed",    "Shutting down graphics", "Recreating file associations", "Bye!"};
        ASSERT_GE(texts.size(), 4 + shutdown.size());
        EXPECT_EQ(std::vector<std::string>(texts.end() - shutdown.size(), texts.end()), shutdown);

        const std::string settings = temp.Read("home/.local/share/QuilvoLite/settings/settings.dat");
        EXPECT_NE(settings.find("name=\"view-1-hotkey-vk\""), std::string::npos) << settings;
        EXPECT_NE(settings.find("value=\"65\""), std::string::npos) << settings;
        EXPECT_EQ(settings.find("movies-hotkey-vk"), std::string::npos) << settings;
    }
}

// Without libquilvolite.so beside it the launcher says so and still exits 0.
TEST(Lifecycle, TheLauncherReportsAMissingLibrary)
{
    TempFolder temp;
    std::filesystem::copy_file(QVL_APP_DIR "/QuilvoLite", temp / "QuilvoLite");
    std::string command = "QVL_PLATFORM=headless '" + (temp / "QuilvoLite") + "' 2>'" + (temp / "err") + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_NE(temp.Read("err").find("Sorry, Quilvo Lite failed to load libquilvolite.so"), std::string::npos)
        << temp.Read("err");
}

}  // namespace
