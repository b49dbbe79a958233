// A temporary installation for the upgrader's tests: an app folder with the upgrader and the
// installed folder table, the user's folders under home/ and the runtime folder run/; and the
// helpers that start its programs and read its logs.
#pragma once
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <utility>

#include "foundation/CRC.h"
#include "foundation/CompressedFile.h"
#include "foundation/LightXML.h"
#include "platform/File.h"
#include "platform/Instance.h"
#include "platform/Names.h"
#include "platform/Process.h"
#include "tests/common/LogLines.h"

extern char** environ;

namespace upgrader_test {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const plat::FileTime kEntryTime = plat::UnixToFileTime(1577934245);   // 2020-01-02 03:04:05 UTC

inline bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    const auto end = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// The exit code of a child, or -1 when it did not end in time (it is then killed) or was
// killed by a signal.
inline int WaitForExit(pid_t pid, std::chrono::seconds limit)
{
    int status = 0;
    const bool ended = WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, limit);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Entry {
    std::string hashName, extractName, extractFolder;
    std::string content;              // what the download holds
    int64_t bytes = -1;               // the listed size; -1: the content's
    int64_t crc = -1;                 // the listed CRC; -1: the content's
};

// An installation in a fresh temporary folder: app/ with the upgrader, the installed folder
// table and a stand-in launcher; home/ for the user's folders; run/ for the runtime folder.
class Installation {
public:
    Installation()
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        m_root = fs::temp_directory_path() / ("qvl-upgrader-" + std::string(test->name()) + "-" +
                                              std::to_string(plat::GetCurrentProcessId()));
        fs::remove_all(m_root);
        fs::create_directories(m_root / "app");
        fs::create_directories(m_root / "run");
        fs::copy_file(QVL_APP_DIR "/QuilvoLiteUpgrader", m_root / "app/QuilvoLiteUpgrader");
        fs::copy_file(QVL_APP_DIR "/paths.dat", m_root / "app/paths.dat");
        WriteLauncher("app/QuilvoLite", "old");
    }
    ~Installation() { fs::remove_all(m_root); }

    std::string Path(const std::string& relative) const { return (m_root / relative).string(); }
    std::string App() const { return Path("app/"); }
    std::string Data(const std::string& relative) const { return Path("home/.local/share/QuilvoLite/" + relative); }
    std::string Updates() const { return Data("updates/"); }

    void Write(const std::string& path, const std::string& text) const
    {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    }
    std::string Read(const std::string& path) const
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // A launcher that appends its tag to "launched" in the temporary folder.
    void WriteLauncher(const std::string& relative, const std::string& tag) const
    {
        Write(Path(relative), LauncherScript(tag));
        fs::permissions(Path(relative), fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    }
    std::string LauncherScript(const std::string& tag) const
    {
        return "#!/bin/sh\necho " + tag + " >> '" + Path("launched") + "'\n";
    }
    // The tags of the launchers started so far, once the first has had time to run.
    std::string Launched() const
    {
        WaitFor([&] { return fs::exists(Path("launched")); }, std::chrono::seconds(10));
        return Read(Path("launched"));
    }

    // The real program of the build in place of the stand-in launcher: the launcher, the
    // libraries, the themes and the images.
    void InstallProgram() const
    {
        for (const auto& item : fs::directory_iterator(QVL_APP_DIR)) {
            const std::string name = item.path().filename().string();
            const bool library = plat::IsProgramFile(name) && !plat::IsExecutableName(name);
            if (name == plat::kLauncherName || library || name == "themes" || name == "images")
                fs::copy(item.path(), App() + name, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        }
    }
    // The process id of each "Application starting up..." line of the program's log.
    std::vector<std::string> ProgramStarts() const
    {
        std::vector<std::string> pids;
        std::istringstream lines(Read(Data("logs/QuilvoLite.log")));
        for (std::string line; std::getline(lines, line);) {
            std::vector<std::string> fields;
            std::istringstream split(line);
            for (std::string field; std::getline(split, field, '\t');)
                fields.push_back(field);
            if (fields.size() == 5 && fields[4].rfind("Application starting up...", 0) == 0)
                pids.push_back(fields[2]);
        }
        return pids;
    }

    // Puts each entry's download in the updates folder and lists them all in "filelist.dat",
    // with "check.dat" beside it.
    void Download(const std::vector<Entry>& entries) const
    {
        auto root = LightXML::CElementPtr(new CLightElement);
        CLightElement* files = root->AddChild("files");
        for (const Entry& e : entries) {
            Write(Updates() + e.hashName, e.content);
            CLightElement* file = files->AddChild("file");
            file->SetAttribute("hashname", e.hashName);
            file->SetAttribute("extractname", e.extractName);
            file->SetAttribute("extractfolder", e.extractFolder);
            file->SetAttributeInt("bytes", e.bytes >= 0 ? uint32_t(e.bytes) : uint32_t(e.content.size()));
            file->SetAttributeInt("ft-high", uint32_t(kEntryTime >> 32));
            file->SetAttributeInt("ft-low", uint32_t(kEntryTime));
            file->SetAttributeInt("CRC", e.crc >= 0 ? uint32_t(e.crc) : CalculateCRC(e.content.data(), e.content.size()));
        }
        std::string xml;
        root->WriteChildren(xml, xmlIndented, true);
        WriteList(xml);
        Write(Updates() + "check.dat", Updates() + "check.dat");
    }
    void WriteList(const std::string& xml) const
    {
        fs::create_directories(Updates());
        CCompressedFile list(Updates() + "filelist.dat", storeWrite);
        list.Write(xml.data(), uint32_t(xml.size()));
        list.Close();
    }

    // Starts a program of the app folder as the user's programs start: no arguments,
    // headless, the user's environment pointed into the temporary folder, standard error kept
    // in a file of that name.
    pid_t Spawn(const std::string& name) const
    {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (entry.rfind("HOME=", 0) != 0 && entry.rfind("XDG_", 0) != 0 && entry.rfind("QVL_PLATFORM=", 0) != 0)
                env.push_back(entry);
        }
        env.push_back("HOME=" + Path("home"));
        env.push_back("XDG_RUNTIME_DIR=" + Path("run"));
        env.push_back("QVL_PLATFORM=headless");
        std::vector<char*> envp;
        for (std::string& entry : env)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::string program = App() + name;
        char* argv[] = {program.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, Path(name + ".stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = 0;
        EXPECT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }
    void Start() { m_pid = Spawn("QuilvoLiteUpgrader"); }
    std::string Stderr() const { return Read(Path("QuilvoLiteUpgrader.stderr")); }
    int Wait(std::chrono::seconds limit = std::chrono::seconds(60)) { return WaitForExit(std::exchange(m_pid, 0), limit); }
    int Run()
    {
        Start();
        return Wait();
    }

    // The texts of the log's lines (which end in CR LF), each checked for its date, time and ids.
    std::vector<std::string> Log() const
    {
        std::vector<std::string> malformed;
        std::vector<std::string> texts = ReadLogTexts(Data("logs/QuilvoLiteUpgrade.log"), &malformed);
        EXPECT_EQ(malformed, std::vector<std::string>());
        return texts;
    }
    // The texts of the program's log lines.
    std::vector<std::string> ProgramLog() const { return ReadLogTexts(Data("logs/QuilvoLite.log")); }

    // Plain files left in the updates folder.
    std::vector<std::string> LeftInUpdates() const
    {
        std::vector<std::string> left;
        if (fs::exists(Updates()))
            for (const auto& item : fs::directory_iterator(Updates()))
                if (!item.is_directory())
                    left.push_back(item.path().filename().string());
        return left;
    }

private:
    fs::path m_root;
    pid_t m_pid = 0;
};

// Each expected line appears, in this order, among the log's lines.
inline void ExpectInOrder(const std::vector<std::string>& log, const std::vector<std::string>& expected)
{
    size_t at = 0;
    for (const std::string& line : expected) {
        while (at < log.size() && log[at] != line)
            ++at;
        ASSERT_LT(at, log.size()) << "missing or out of order: " << line << "\n" << ::testing::PrintToString(log);
        ++at;
    }
}

inline int Count(const std::vector<std::string>& log, const std::string& line)
{
    return int(std::count(log.begin(), log.end(), line));
}

inline int CountWarnings(const std::vector<std::string>& log)
{
    return int(std::count_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind("WARNING: ", 0) == 0; }));
}

}  // namespace upgrader_test
