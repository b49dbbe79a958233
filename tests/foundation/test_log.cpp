// The process-wide log: line format, levels, trimming, console copy and concurrent writers.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "foundation/FileUtils.h"
#include "foundation/Log.h"
#include "platform/Clock.h"
#include "platform/File.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "platform/Sync.h"

namespace {

class Logging : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = plat::TempFolder() + "qvl-log-" + std::to_string(plat::GetCurrentProcessId()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
        ASSERT_TRUE(CreateFolderChain(m_folder));
        m_path = m_folder + "test.log";
        plat::SetClock(&m_clock);
    }
    void TearDown() override
    {
        InitLogging("", "", "", 0, false);
        SetMaxLogSize(0);
        plat::SetClock(nullptr);
        plat::DeleteFile(m_path);
        plat::RemoveDirectory(m_folder);
    }
    std::string Contents() const
    {
        std::string text;
        ReadWholeFile(m_path, text);
        return text;
    }
    static std::string Prefix(const char* dateAndTime)
    {
        return std::string(dateAndTime) + "\t" + std::to_string(plat::GetCurrentProcessId()) + "\t" +
               std::to_string(plat::GetCurrentThreadId()) + "\t";
    }

    plat::FakeClock m_clock{1709674207};   // Tuesday 5 March 2024, 21:30:07 UTC
    std::string m_folder;
    std::string m_path;
};

TEST_F(Logging, LinesCarryUtcTimeDayFirst)
{
    const std::string zone = plat::GetEnv("TZ", "UTC0");
    plat::SetTimeZone("XST-2");   // two hours ahead of UTC: local time is 23:30
    InitLogging("Quilvo Lite", "", m_path, 1, false);
    LogInfo("plain %d%% of %s", 50, "it");
    LogWarning("careful");
    plat::SetTimeZone(zone);

    const std::string prefix = Prefix("05-03-2024\t21:30:07");
    EXPECT_EQ(Contents(), prefix + "plain 50% of it\r\n" + prefix + "WARNING: careful\r\n");
}

TEST_F(Logging, LevelsChooseTheLinesWritten)
{
    const struct {
        unsigned level;
        const char* expected;
    } cases[] = {
        {0, nullptr}, {1, "info|warning|"}, {2, "info|detail|warning|"}, {3, "info|detail|trace|warning|"},
    };
    for (const auto& c : cases) {
        plat::DeleteFile(m_path);
        InitLogging("Quilvo Lite", "", m_path, c.level, false);
        LogInfo("info");
        LogDetail("detail");
        LogTrace("trace");
        LogWarning("warning");
        if (!c.expected) {
            EXPECT_FALSE(plat::FileExists(m_path)) << "level 0 creates no file";
            continue;
        }
        std::string seen;
        std::smatch match;
        const std::string text = Contents();
        for (auto it = text.cbegin(); std::regex_search(it, text.cend(), match, std::regex("\t(?:WARNING: )?(\\w+)\r\n"));
             it = match[0].second)
            seen += match[1].str() + "|";
        EXPECT_EQ(seen, c.expected) << "level " << c.level;
    }
}

TEST_F(Logging, FilePastTheLimitKeepsItsNewestLines)
{
    // A file of exactly the limit grows; the next line finds it past the limit and trims it to
    // the newest two thirds of the limit, starting at a line.
    std::string old;
    for (int i = 0; old.size() < 1024; ++i)
        old += "old line " + std::to_string(i) + " with some padding text\r\n";
    old.resize(1022);
    old += "\r\n";
    ASSERT_TRUE(WriteTextFile(m_path, old));
    InitLogging("Quilvo Lite", "", m_path, 1, false);
    SetMaxLogSize(1);

    LogInfo("first");
    const std::string first = Prefix("05-03-2024\t21:30:07") + "first\r\n";
    ASSERT_EQ(Contents(), old + first);

    m_clock.Advance(3600);
    LogInfo("second");
    const std::string second = Prefix("05-03-2024\t22:30:07") + "second\r\n";
    const std::string text = Contents();
    ASSERT_GE(text.size(), second.size());
    EXPECT_EQ(text.substr(text.size() - second.size()), second);
    const std::string kept = text.substr(0, text.size() - second.size());
    EXPECT_LE(kept.size(), 1024u - 1024u / 3);
    EXPECT_GT(kept.size(), 1024u / 3);
    EXPECT_EQ((old + first).substr(old.size() + first.size() - kept.size()), kept) << "the newest text";
    EXPECT_TRUE(kept.rfind("old line ", 0) == 0) << "starts at a whole line: " << kept.substr(0, 20);

    // A kept block without any line break is dropped whole.
    ASSERT_TRUE(WriteTextFile(m_path, std::string(3000, 'x')));
    LogInfo("third");
    EXPECT_EQ(Contents(), Prefix("05-03-2024\t22:30:07") + "third\r\n");
}

TEST_F(Logging, ConsoleCopyFollowsToggle)
{
    InitLogging("Quilvo Lite", "", "", 1, true);
    ::testing::internal::CaptureStderr();
    LogInfo("shown %s", "here");
    LogWarning("also shown");
    LogDetail("above the level");
    ToggleConsole();
    LogInfo("hidden");
    ToggleConsole();
    LogInfo("back");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "shown here\nWARNING: also shown\nback\n");
    EXPECT_FALSE(plat::FileExists(m_path));
}

TEST_F(Logging, WaitsForAnotherWriterToLetGo)
{
    InitLogging("Quilvo Lite", "", m_path, 1, false);
    FILE* held = plat::OpenFile(m_path, "wb", plat::Share::DenyAll);
    ASSERT_NE(held, nullptr);
    plat::Thread writer([] { LogInfo("after the wait"); });
    plat::Sleep(300);
    std::fputs("held\r\n", held);
    plat::CloseFile(held);
    writer.Join();
    const std::string text = Contents();
    EXPECT_EQ(text.rfind("held\r\n", 0), 0u);
    EXPECT_NE(text.find("\tafter the wait\r\n"), std::string::npos) << text;
}

TEST_F(Logging, UnwritableFileDoesNotStallCallers)
{
    InitLogging("Quilvo Lite", "", m_folder + "missing/test.log", 1, false);
    const uint64_t start = plat::GetTickCount64();
    for (int i = 0; i < 5; ++i)
        LogInfo("lost %d", i);
    EXPECT_LT(plat::GetTickCount64() - start, 1000u) << "no retrying when the folder is missing";
}

TEST_F(Logging, ThreadsWriteWholeLines)
{
    InitLogging("Quilvo Lite", "", m_path, 1, false);
    constexpr int kThreads = 4;
    constexpr int kLines = 150;
    {
        std::vector<plat::Thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([t] {
                for (int i = 0; i < kLines; ++i)
                    LogInfo("thread %d line %d %s", t, i, std::string(40, 'a' + t).c_str());
            });
    }
    const std::string text = Contents();
    const std::regex line("\\d\\d-\\d\\d-\\d{4}\t\\d\\d:\\d\\d:\\d\\d\t\\d+\t\\d+\tthread (\\d) line (\\d+) ([a-z]{40})");
    std::vector<int> next(kThreads, 0);
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::smatch m;
        const std::string one = text.substr(start, end - start);
        ASSERT_TRUE(std::regex_match(one, m, line)) << one;
        const int t = std::stoi(m[1]);
        EXPECT_EQ(std::stoi(m[2]), next[t]++) << "each thread's lines in order";
        EXPECT_EQ(m[3].str(), std::string(40, 'a' + t));
    }
    EXPECT_EQ(start, text.size());
    EXPECT_EQ(next, std::vector<int>(kThreads, kLines));
}

TEST_F(Logging, HeadlessMessageBoxesReachTheLog)
{
    plat::SetEnv("QVL_PLATFORM", "headless");
    InitLogging("Quilvo Lite", "", m_path, 1, false);
    ::testing::internal::CaptureStderr();
    plat::MessageBox(0, "100% sure %s", "Quilvo Lite Error", plat::MB_OK | plat::MB_ICONERROR);
    ::testing::internal::GetCapturedStderr();
    plat::TakeShownMessageBoxes();
    EXPECT_EQ(Contents(), Prefix("05-03-2024\t21:30:07") + "Quilvo Lite Error: 100% sure %s\r\n");
}

}  // namespace
