// The program running a theme: QuilvoLite started from the app folder, headless, with its home
// and runtime folders in a fresh temporary folder and its themes folder pointing at the test
// themes. What the theme script sees comes back through the lines it logs with debugOut.
#pragma once
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Instance.h"
#include "platform/Names.h"
#include "platform/Process.h"
#include "tests/common/LogLines.h"

extern char** environ;

namespace themerun {

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
    // to be killed). Its standard error goes to the file "stderr". More variables ("TZ=...")
    // may be given; the time zone and the fixed clock are otherwise not passed on.
    int RunProgram(const std::vector<std::string>& arguments, const std::vector<std::string>& moreEnv = {})
    {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (entry.rfind("HOME=", 0) != 0 && entry.rfind("XDG_", 0) != 0 && entry.rfind("QVL_PLATFORM=", 0) != 0 &&
                entry.rfind("LC_", 0) != 0 && entry.rfind("LANG", 0) != 0 && entry.rfind("LSAN_OPTIONS=", 0) != 0 &&
                entry.rfind("TZ=", 0) != 0 && entry.rfind("QVL_FAKE_NOW=", 0) != 0)
                env.push_back(entry);
        }
        env.insert(env.end(), moreEnv.begin(), moreEnv.end());
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
    std::vector<std::string> LogTexts() const { return ReadLogTexts(Path(kLogPath)); }

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

}  // namespace themerun
