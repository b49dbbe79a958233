// Theme runs of the program: the application, its settings, folders, requests and idle calls as
// the theme script sees them, and the start-up and shut-down around the script.
#include "tests/themerun/ThemeRunFixture.h"

#include <httplib.h>

namespace {

using namespace themerun;

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
