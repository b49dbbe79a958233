// qvl db over a database in a temporary folder: update files written byte by byte are absorbed
// and listed back.
#include <gtest/gtest.h>

#include <cstdio>

#include "DatabaseFixture.h"
#include "tests/common/RunCommand.h"
#include "listings/DateTime.h"
#include "platform/Clock.h"

namespace {

constexpr uint32_t k2000 = 1954958400;   // 2031-12-13T20:00:00Z
constexpr uint32_t kMinute = 60;

using Output = CommandOutput;

class QvlDb : public DatabaseTest {
protected:
    // Runs qvl db with the folders of the test after the other arguments.
    Output Db(const std::string& arguments)
    {
        const std::string command = "env -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME='" + (m_root / "home").string() +
                                    "' '" QVL_APP_DIR "/qvl' db " + arguments + " --schedule-folder '" + Schedules() +
                                    "' --pending-folder '" + Pending() + "' --app-folder '" + App() + "' 2>/dev/null";
        return RunCommand(command);
    }
    std::string Put(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        WriteFile(Pending() + name, bytes);
        return "'" + Pending() + name + "'";
    }
};

TEST_F(QvlDb, AbsorbedFilesListBackMerged)
{
    const uint32_t old = uint32_t(plat::NowUnix()) - 3 * 86400;
    const std::vector<TestChannel> ninth = {{101,
                                             {{old, 60, "Old", 1, "", {}, 1},
                                              {k2000, 30, "A", 1, "", {4}, 1000},
                                              {k2000 + 30 * kMinute, 30, "B", 2, "", {}, 1001},
                                              {k2000 + 60 * kMinute, 30, "C", 3, "", {}, 1002},
                                              {k2000 + 90 * kMinute, 30, "D", 4, "", {}, 1003}}}};
    const std::vector<TestChannel> tenth = {{101,
                                             {{k2000, 30, "A again", 5, "Now &amp; then<br>", {}, 2000},
                                              {k2000 + 75 * kMinute, 30, "N", 6, "", {}, 2001}}}};
    const std::vector<TestChannel> other = {{102, {{k2000, 60, "E", 7, "", {1, 2}, 99}}}};
    const std::vector<TestChannel> third = {{103, {{k2000 + 15 * kMinute, 45, "F", 8, "", {}, 3000}}}};
    // Given out of order: the channel's updates still go in update-id order.
    const std::string files = Put("101-10.up", UpdateFile(Payload(tenth, 3), 2, true)) + " " +
                              Put("101-9.up", UpdateFile(Payload(ninth, 8), 8, true)) + " " +
                              Put("102-1.up", UpdateFile(Payload(other, 2), 2, false)) + " " +
                              Put("103-1.up", UpdateFile(Payload(third, 8), 8, false)) + " " +
                              Put("104-1.up", {0, 0, 0, 0, 8, 0, 0, 0, 1, 0xAB, 0xCD}) + " " +
                              Put("readme.txt", {'h', 'i'});
    Output out = Db("absorb " + files);
    EXPECT_EQ(out.code, 1);
    EXPECT_EQ(out.text,
              "101-9.up: absorbed\n101-10.up: absorbed\n102-1.up: absorbed\n103-1.up: absorbed\n"
              "104-1.up: File is corrupt\nreadme.txt: not an update file, left in place\n");
    EXPECT_FALSE(Exists(Pending() + "104-1.up"));
    EXPECT_FALSE(Exists(Pending() + "101-9.up"));
    EXPECT_TRUE(Exists(Pending() + "readme.txt"));

    out = Db("list 2031-12-13T20:00:00Z 2031-12-14T00:00Z");
    EXPECT_EQ(out.code, 0);
    EXPECT_EQ(out.text,
              "101\t2031-12-13T20:00:00Z\t2031-12-13T20:30:00Z\tA again\t5\t2000\n"
              "101\t2031-12-13T20:30:00Z\t2031-12-13T21:00:00Z\tB\t2\t1001\n"
              "101\t2031-12-13T21:15:00Z\t2031-12-13T21:45:00Z\tN\t6\t2001\n"
              "102\t2031-12-13T20:00:00Z\t2031-12-13T21:00:00Z\tE\t7\t0\n"
              "103\t2031-12-13T20:15:00Z\t2031-12-13T21:00:00Z\tF\t8\t3000\n");
    // The stored programme that ended days ago went with the second update.
    EXPECT_EQ(Db("list now-5d now --channel 101").text, "");

    // On now and next at the present time.
    const uint32_t minute = uint32_t(plat::NowUnix()) / 60 * 60;
    const std::vector<TestChannel> current = {
        {105, {{minute - 10 * kMinute, 30, "Current", 1, "", {}, 1}, {minute + 20 * kMinute, 30, "Next", 1, "", {}, 2}}}};
    EXPECT_EQ(Db("absorb " + Put("105-1.up", UpdateFile(Payload(current, 8), 8, true))).code, 0);
    out = Db("now --channel 105 --channel 102");
    EXPECT_EQ(out.text, "105\t" + CDateTime(minute - 600).GetISO8601() + "\t" + CDateTime(minute + 1200).GetISO8601() +
                            "\tCurrent\t1\t1\n105\t" + CDateTime(minute + 1200).GetISO8601() + "\t" +
                            CDateTime(minute + 3000).GetISO8601() + "\tNext\t1\t2\n"
                            "102\t2031-12-13T20:00:00Z\t2031-12-13T21:00:00Z\tE\t7\t0\n");

    out = Db("span");
    EXPECT_EQ(out.code, 0);
    EXPECT_NE(out.text.find("\t2031-12-13T21:45:00Z\n"), std::string::npos) << out.text;
    EXPECT_TRUE(Exists(Schedules() + kCachedSpanFile));

    EXPECT_EQ(Db("list yesterday now").code, 2);
    EXPECT_EQ(Db("list now").code, 2);
    EXPECT_EQ(Db("absorb").code, 2);
}

}  // namespace
