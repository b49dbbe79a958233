// The program running a theme: QuilvoLite started from the app folder, headless, with its home
// and runtime folders in a fresh temporary folder and its themes folder pointing at the test
// themes. What the theme script sees comes back through the lines it logs with debugOut.
#include <gtest/gtest.h>

#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "platform/Instance.h"
#include "platform/Names.h"
#include "platform/Process.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char* const kLogPath = "home/.local/share/QuilvoLite/logs/QuilvoLite.log";
const char* const kSettingsPath = "home/.local/share/QuilvoLite/settings/settings.dat";

class ThemeRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (plat::SingleInstanceLock::IsTaken(plat::kSingleInstanceName))
            GTEST_SKIP() << "another QuilvoLite of this user is running";
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        m_folder = fs::temp_directory_path() /
                   ("qvl-themerun-" + std::string(test->name()) + "-" + std::to_string(plat::GetCurrentProcessId()));
        fs::remove_all(m_folder);
        fs::create_directories(m_folder / "run");
        Write("home/.local/share/QuilvoLite/settings/user-paths.dat",
              "<paths><folder name=\"themes-folder\" path=\"" + ThemesFolder() + "\" type=\"1\" /></paths>");
    }
    void TearDown() override { fs::remove_all(m_folder); }

    static std::string ThemesFolder() { return QVL_TEST_DATA "/themes/"; }
    std::string Path(const std::string& relative) const { return (m_folder / relative).string(); }

    void Write(const std::string& relative, const std::string& text) const
    {
        fs::create_directories((m_folder / relative).parent_path());
        std::ofstream(m_folder / relative, std::ios::binary) << text;
    }
    std::string Read(const std::string& relative) const
    {
        std::ifstream in(m_folder / relative, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Settings: the log at level 2, so that debugOut lines reach it, and the theme to run.
    void WriteSettings(const std::string& theme, const std::string& more = "") const
    {
        Write(kSettingsPath, "<ApplicationSettings>"
                             "<setting name=\"log-verbose-level\" type=\"uint\" value=\"2\"/>"
                             "<setting name=\"user-selected-theme\" type=\"string\" value=\"" + theme + "\"/>" +
                                 more + "</ApplicationSettings>");
    }

    // Runs QuilvoLite with the arguments until it exits; answers its exit code (-1 when it had
    // to be killed). Its standard error goes to the file "stderr".
    int RunProgram(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (entry.rfind("HOME=", 0) != 0 && entry.rfind("XDG_", 0) != 0 && entry.rfind("QVL_PLATFORM=", 0) != 0 &&
                entry.rfind("LC_", 0) != 0 && entry.rfind("LANG", 0) != 0 && entry.rfind("LSAN_OPTIONS=", 0) != 0)
                env.push_back(entry);
        }
        env.push_back("HOME=" + Path("home"));
        env.push_back("XDG_RUNTIME_DIR=" + Path("run"));
        env.push_back("QVL_PLATFORM=headless");
        env.push_back("LC_ALL=C");
        // LeakSanitizer misreads the dynamic thread-local blocks of the libraries that the
        // launcher loads at run time, and its scan of them can crash; the program's leak check
        // leaves thread-local data out.
        env.push_back("LSAN_OPTIONS=" + plat::GetEnv("LSAN_OPTIONS") + ":use_tls=0");
        std::vector<char*> envp;
        for (std::string& entry : env)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::vector<std::string> args = {QVL_APP_DIR "/QuilvoLite"};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, Path("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = 0;
        const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            return -1;
        const auto end = Clock::now() + std::chrono::seconds(60);
        while (Clock::now() < end) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid)
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return -1;
    }

    // The texts of the log's lines (after the date, time, process and thread columns).
    std::vector<std::string> LogTexts() const
    {
        static const std::regex line(R"(\d\d-\d\d-\d{4}\t\d\d:\d\d:\d\d\t\d+\t\d+\t(.*))");
        std::vector<std::string> texts;
        std::istringstream log(Read(kLogPath));
        for (std::string text; std::getline(log, text);) {
            if (!text.empty() && text.back() == '\r')
                text.pop_back();
            std::smatch match;
            texts.push_back(std::regex_match(text, match, line) ? match[1].str() : text);
        }
        return texts;
    }

    // The lines the script logged with debugOut, without their "\t\tDEBUG: " mark.
    std::vector<std::string> ScriptLines() const
    {
        std::vector<std::string> lines;
        for (const std::string& text : LogTexts())
            if (text.rfind("\t\tDEBUG: ", 0) == 0)
                lines.push_back(text.substr(9));
        return lines;
    }

    // The log ends with the whole shut-down sequence, in order, after everything the script
    // logged (the subsystems may add lines of their own between the steps).
    void ExpectShutDownAtEnd() const
    {
        const std::vector<std::string> shutdown = {
            "...application shutting down", "Cleanup listing update", "Shutdown basic systems",
            "Shutting down categories",     "Shutting down channels", "Shutting down listings",
            "Shutting down graphics",       "Recreating file associations", "Bye!"};
        const std::vector<std::string> texts = LogTexts();
        const auto start = std::find(texts.begin(), texts.end(), shutdown.front());
        ASSERT_NE(start, texts.end()) << Read(kLogPath);
        EXPECT_TRUE(std::none_of(start, texts.end(), [](const std::string& text) {
            return text.rfind("\t\tDEBUG: ", 0) == 0;
        })) << Read(kLogPath);
        auto next = start;
        for (const std::string& step : shutdown) {
            next = std::find(next, texts.end(), step);
            EXPECT_NE(next, texts.end()) << "missing or out of order: " << step << "\n" << Read(kLogPath);
        }
        EXPECT_EQ(texts.back(), "Bye!") << Read(kLogPath);
    }

    fs::path m_folder;
};

// A theme that uses the application, its settings and folders, the command line, date texts,
// theme files, message boxes, a request to a local web server and the idle calls, then quits.
TEST_F(ThemeRun, ScriptSeesTheApplication)
{
    httplib::Server server;
    server.Get("/hello", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("Hello from the test server", "text/plain");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    std::thread serving([&] { server.listen_after_bind(); });

    WriteSettings("scriptcheck", "<setting name=\"test-text\" type=\"string\" value=\"some words\"/>");
    // The service's channel list: a count, the format version 5, then id, name and extra text.
    std::string channels;
    auto u32 = [&](uint32_t value) {
        for (int i = 0; i < 4; ++i)
            channels += static_cast<char>(value >> (8 * i));
    };
    auto text = [&](const std::string& value) {
        u32(static_cast<uint32_t>(value.size()));
        channels += value;
    };
    u32(2);
    u32(5);
    u32(7), text("Channel Seven"), text("");
    u32(9), text("Nine"), text("");
    Write("home/.local/share/QuilvoLite/channels/channels", channels);
    const int exitCode = RunProgram({"-theme=\"a b\"", "/Debug", "-xhr=http://127.0.0.1:" + std::to_string(port) + "/hello"});
    server.stop();
    serving.join();
    EXPECT_EQ(exitCode, 0) << Read("stderr");

    const std::vector<std::string> lines = ScriptLines();
    const std::string all = Read(kLogPath);
    auto has = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
    const std::string expected[] = {
        "name 5 string 4 version",
        "percent 100% and %s %d",
        "setting-text some words 77 true",   // a text setting read as a number gives the default
        "setting-stored 42 hidden true not-text",
        "folders " + Path("home") + "/.local/share/QuilvoLite/logs/ " + ThemesFolder() + " []",
        "arguments a b true false []",
        "dates 18:05 | 03/03/09 | Tuesday, March 03, 2009",   // the C locale's forms
        "theme-file Notes of the test theme",
        "theme-missing Theme file 'absent.txt' not found",
        "message-box true 36 768 10",
        "open-error XMLHttpRequest::OnOpen incorrect number of arguments",
        "count-error getRootDomainName - Incorrect number of arguments (needed: 0, got: 1)",
        "root-domain quilvolite.net false",
        "listings true apart true 0 17 4",
        "channels 2 7 Channel Seven Nine Nine 7 null null null false false",
        "manager-error class 'ListingsManager' failed to create it's object",
        "xhr-before 0 undefined",
        "xhr-answer Hello from the test server",
        "sync-answer Hello from the test server",
        "idle 0,1,2,3",
    };
    for (const std::string& line : expected)
        EXPECT_TRUE(has(line)) << "missing: " << line << "\n" << all;

    // The request reports every state, in order, once each.
    std::vector<std::string> states;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(states),
                 [](const std::string& line) { return line.rfind("xhr-state", 0) == 0; });
    EXPECT_EQ(states, (std::vector<std::string>{"xhr-state 1", "xhr-state 2", "xhr-state 4"})) << all;
    states.clear();
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(states),
                 [](const std::string& line) { return line.rfind("sync-state", 0) == 0; });
    EXPECT_EQ(states, (std::vector<std::string>{"sync-state 1", "sync-state 2", "sync-state 4"})) << all;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "refused-state 1"), 1) << all;
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.rfind("refused-state", 0) == 0; }),
              1)
        << all;
    const std::vector<std::string> texts = LogTexts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "class 'XMLHttpRequest' failed with code '1007'"), 1) << all;

    // app.onQuit runs once, after the loop and before app.run() returns to the script.
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "quit-called"), 1) << all;
    EXPECT_EQ(std::vector<std::string>(lines.end() - 2, lines.end()),
              (std::vector<std::string>{"quit-called", "after-run"})) << all;
    ExpectShutDownAtEnd();
    EXPECT_NE(all.find("Error: ListingsManager objects cannot be created within script"), std::string::npos) << all;
    EXPECT_NE(all.find("Variable is not an int, was (string)"), std::string::npos) << all;   // getChannelFromID("x")

    // The message boxes were shown with the script's caption, and alert's with app.name.
    EXPECT_NE(Read("stderr").find("Question: Go on?"), std::string::npos) << Read("stderr");
    EXPECT_NE(Read("stderr").find("5: Hello from the alert"), std::string::npos) << Read("stderr");
    // The settings the script stored were saved at shut-down, the secret one scrambled.
    const std::string settings = Read(kSettingsPath);
    EXPECT_TRUE(std::regex_search(settings, std::regex(R"(type="uint" name="test-number" value="42")"))) << settings;
    EXPECT_TRUE(std::regex_search(settings, std::regex(R"(type="string-enc" name="test-secret")"))) << settings;
    EXPECT_EQ(settings.find("hidden"), std::string::npos) << settings;
}

// A main script that never enters the loop runs once; the program then shuts down in order.
TEST_F(ThemeRun, TopLevelScriptOnly)
{
    WriteSettings("toplevel");
    ASSERT_EQ(RunProgram({}), 0) << Read("stderr");
    EXPECT_EQ(ScriptLines(), std::vector<std::string>{"top-level-only"}) << Read(kLogPath);
    ExpectShutDownAtEnd();
}

// A theme that is not there ends start-up with the fatal error; no script runs.
TEST_F(ThemeRun, MissingThemeIsFatal)
{
    WriteSettings("absent");
    ASSERT_EQ(RunProgram({}), 0) << Read("stderr");
    EXPECT_NE(Read("stderr").find("Quilvo Lite encountered the following fatal error:\n\n'Theme does not exist'"),
              std::string::npos)
        << Read("stderr");
    EXPECT_TRUE(ScriptLines().empty()) << Read(kLogPath);
    ExpectShutDownAtEnd();
}

}  // namespace
