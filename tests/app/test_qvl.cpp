// qvl from the app folder, over a user's installation in a temporary home.
#include <gtest/gtest.h>

#include <cstdio>

#include "TempFolder.h"
#include "tests/common/RunCommand.h"

namespace {

using Output = CommandOutput;

// Runs qvl with HOME in the temporary folder; the arguments are quoted by the caller.
Output Qvl(const TempFolder& temp, const std::string& arguments)
{
    const std::string command = "env -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME='" + (temp / "home") +
                                "' '" QVL_APP_DIR "/qvl' " + arguments + " 2>/dev/null";
    return RunCommand(command);
}

TEST(Qvl, CrcPrintsTheChecksumOfEachFile)
{
    TempFolder temp;
    temp.Write("abc", "abc");
    temp.Write("empty", "");
    Output out = Qvl(temp, "crc '" + (temp / "abc") + "' '" + (temp / "empty") + "'");
    EXPECT_EQ(out.code, 0);
    EXPECT_EQ(out.text, "bc7ddb53 " + (temp / "abc") + "\nffffffff " + (temp / "empty") + "\n");

    out = Qvl(temp, "crc '" + (temp / "missing") + "' '" + (temp / "abc") + "'");
    EXPECT_EQ(out.code, 1);
    EXPECT_EQ(out.text, "bc7ddb53 " + (temp / "abc") + "\n");
    EXPECT_EQ(Qvl(temp, "crc").code, 2);
}

TEST(Qvl, SettingsRoundTripThroughTheUsersFile)
{
    TempFolder temp;
    const std::string file = "home/.local/share/QuilvoLite/settings/settings.dat";
    EXPECT_EQ(Qvl(temp, "settings set pin abc --type string-enc").code, 0);
    EXPECT_EQ(Qvl(temp, "settings set log-verbose-level 3 --type uint").code, 0);
    EXPECT_EQ(Qvl(temp, "settings set log-verbose-level 2").code, 0);   // keeps its type
    EXPECT_EQ(Qvl(temp, "settings set log-verbose-level -1").code, 2);
    EXPECT_EQ(Qvl(temp, "settings set log-show-console yes --type bool").code, 0);
    EXPECT_EQ(Qvl(temp, "settings set theme 'my theme'").code, 0);

    EXPECT_EQ(Qvl(temp, "settings get pin").text, "abc\n");
    EXPECT_EQ(Qvl(temp, "settings get LOG-VERBOSE-LEVEL").text, "2\n");
    EXPECT_EQ(Qvl(temp, "settings get missing").code, 1);
    EXPECT_EQ(Qvl(temp, "settings list").text,
              "log-show-console\tbool\t1\nlog-verbose-level\tuint\t2\npin\tstring-enc\tabc\ntheme\tstring\tmy theme\n");

    const std::string saved = temp.Read(file);
    EXPECT_EQ(saved.find("abc"), std::string::npos) << saved;
    EXPECT_NE(saved.find("type=\"string-enc\""), std::string::npos) << saved;
}

TEST(Qvl, PathsShowsTheInstalledTableWithTheUsersOverrides)
{
    TempFolder temp;
    temp.Write("home/.local/share/QuilvoLite/settings/user-paths.dat",
               "<paths><f name=\"log-folder\" path=\"" + (temp / "mylogs") + "\" type=\"1\"/></paths>");
    Output one = Qvl(temp, "paths LOG-FOLDER");
    EXPECT_EQ(one.code, 0);
    EXPECT_EQ(one.text, (temp / "mylogs") + "/\n");
    EXPECT_TRUE(std::filesystem::is_directory(temp / "mylogs"));

    Output all = Qvl(temp, "paths");
    EXPECT_EQ(all.code, 0);
    EXPECT_NE(all.text.find("app-folder\t" QVL_APP_DIR "/\n"), std::string::npos) << all.text;
    EXPECT_NE(all.text.find("schedule-folder\t" + (temp / "home/.local/share/QuilvoLite/schedules/") + "\n"),
              std::string::npos)
        << all.text;
    EXPECT_EQ(Qvl(temp, "paths no-such-key").code, 1);
}

}  // namespace
