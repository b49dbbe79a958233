// QuilvoLiteUpgrader as the program starts it: the real binary run from a temporary app folder,
// with HOME and the runtime folder inside the same temporary folder, and a stand-in QuilvoLite
// script that records each start.
#include <gtest/gtest.h>

#include "tests/upgrader/Installation.h"

namespace {

using namespace upgrader_test;
namespace fs = std::filesystem;

const char* const kBusy = "(16) Device or resource busy";

std::string Hex8(uint32_t value)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

// Every way out ends the same: the updates folder emptied, the launcher started, "Bye!".
void ExpectRestarted(const Installation& in, const std::string& tag)
{
    const std::vector<std::string> log = in.Log();
    ExpectInOrder(log, {"Restarting main application", "Remove old downloaded files",
                        "Starting " + in.App() + "QuilvoLite process", "Bye!"});
    EXPECT_EQ(log.back(), "Bye!");
    EXPECT_EQ(in.LeftInUpdates(), std::vector<std::string>());
    EXPECT_EQ(in.Launched(), tag + "\n");
}

// A whole upgrade: the running program is asked to exit, each listed file is backed up and
// replaced (a read-only one included), a new file is added without a backup, the new launcher
// gets its exec bit and is the one restarted, files get the listed time, a listings file goes
// to the pending folder, a leftover is deleted, and nothing is left in the updates folder.
TEST(Upgrader, InstallsBacksUpAndRestarts)
{
    Installation in;
    in.Write(in.App() + "libquilvolite.so", "old library");
    fs::permissions(in.App() + "libquilvolite.so", fs::perms::owner_read | fs::perms::group_read);
    in.Write(in.App() + "themes/default.qvltheme", "old theme");
    const std::string oldLauncher = in.Read(in.App() + "QuilvoLite");
    in.Download({
        {"a1", "libquilvolite.so", "", "new library"},
        {"a2", "QuilvoLite", "", in.LauncherScript("new")},
        {"a3", "default.qvltheme", "themes-folder", "new theme"},
        {"a4", "libkrdcagg.so", "app-folder", "new drawing library"},
    });
    in.Write(in.Updates() + "12-345.up", "listings");
    in.Write(in.Updates() + "b1.cmp", "never unpacked");
    fs::create_directories(in.Updates() + "folder");

    // The runtime folder of this test, where the upgrader's exit broadcast arrives.
    const std::string savedRuntime = plat::GetEnv("XDG_RUNTIME_DIR");
    plat::SetEnv("XDG_RUNTIME_DIR", in.Path("run"));
    std::atomic<int> exits{0};
    plat::BroadcastListener listener;
    ASSERT_TRUE(listener.Start([&](uint32_t message) {
        exits += message == plat::RegisterWindowMessage(plat::kExitMessageName);
    }));
    const int code = in.Run();
    WaitFor([&] { return exits.load() > 0; }, std::chrono::seconds(5));
    listener.Stop();
    plat::SetEnv("XDG_RUNTIME_DIR", savedRuntime);

    EXPECT_EQ(code, 0) << in.Stderr();
    EXPECT_EQ(exits.load(), 1);
    // Before anything reads the file, which would move its access time.
    plat::FileTimes times;
    ASSERT_TRUE(plat::GetFileTimes(in.App() + "libquilvolite.so", times));
    EXPECT_EQ(times.lastWrite, kEntryTime);
    EXPECT_EQ(times.lastAccess, kEntryTime);

    const std::string u = in.Updates(), app = in.App();
    const std::vector<std::string> log = in.Log();
    ExpectInOrder(log, {
        "Upgrading Quilvo Lite...",
        "Backing up files",
        "Ignoring file 12-345.up",
        "Copying libquilvolite.so to the backup folder",
        "Copying QuilvoLite to the backup folder",
        "Copying default.qvltheme to the backup folder",
        "Upgrading new files...",
        "Copying listings update file '12-345.up' to pending",
        "Copying file '" + u + "a1' to '" + app + "libquilvolite.so'",
        "Copying file '" + u + "a2' to '" + app + "QuilvoLite'",
        "Copying file '" + u + "a3' to '" + app + "themes/default.qvltheme'",
        "Copying file '" + u + "a4' to '" + app + "libkrdcagg.so'",
    });
    EXPECT_EQ(Count(log, "Copying libkrdcagg.so to the backup folder"), 0);
    EXPECT_EQ(CountWarnings(log), 0) << ::testing::PrintToString(log);
    ExpectRestarted(in, "new");

    EXPECT_EQ(in.Read(app + "libquilvolite.so"), "new library");
    EXPECT_EQ(in.Read(app + "themes/default.qvltheme"), "new theme");
    EXPECT_EQ(in.Read(app + "libkrdcagg.so"), "new drawing library");
    EXPECT_FALSE(plat::IsReadOnly(app + "libquilvolite.so"));
    EXPECT_NE(fs::status(app + "QuilvoLite").permissions() & fs::perms::owner_exec, fs::perms::none);
    EXPECT_EQ(fs::status(app + "libquilvolite.so").permissions() & fs::perms::owner_exec, fs::perms::none);

    EXPECT_EQ(in.Read(in.Data("program-backup/libquilvolite.so")), "old library");
    EXPECT_EQ(in.Read(in.Data("program-backup/QuilvoLite")), oldLauncher);
    EXPECT_EQ(in.Read(in.Data("program-backup/themes-folder/default.qvltheme")), "old theme");
    EXPECT_FALSE(fs::exists(in.Data("program-backup/libkrdcagg.so")));
    EXPECT_EQ(in.Read(in.Data("pending/12-345.up")), "listings");
    EXPECT_FALSE(fs::exists(app + "b1.cmp"));
    EXPECT_TRUE(fs::is_directory(in.Updates() + "folder"));
}

// Every way of stopping before the first file is installed: the lines written, nothing
// installed or created, the old program restarted, exit code 1.
TEST(Upgrader, StopsBeforeInstallingAnything)
{
    struct Case {
        const char* name;
        std::function<void(Installation&)> prepare;
        std::function<std::vector<std::string>(const Installation&)> warnings;
    };
    const Entry library{"a1", "libquilvolite.so", "", "new library"};
    const std::vector<Case> cases = {
        {"empty updates folder", [](Installation&) {},
         [](const Installation& in) {
             return std::vector<std::string>{"WARNING: '" + in.Updates() + "check.dat' did not exist so something failed or was cancelled"};
         }},
        {"marker without list",
         [](Installation& in) { in.Write(in.Updates() + "check.dat", ""); },
         [](const Installation&) { return std::vector<std::string>{}; }},
        {"empty list",
         [](Installation& in) {
             in.Download({});
         },
         [](const Installation& in) {
             return std::vector<std::string>{"WARNING: '" + in.Updates() + "filelist.dat' could not be loaded or was empty"};
         }},
        {"cut gzip list",
         [&](Installation& in) {
             in.Download({library});
             const std::string list = in.Read(in.Updates() + "filelist.dat");
             in.Write(in.Updates() + "filelist.dat", list.substr(0, list.size() / 2));
         },
         [](const Installation& in) {
             return std::vector<std::string>{"WARNING: '" + in.Updates() + "filelist.dat' could not be loaded or was empty"};
         }},
        {"file in no list",
         [&](Installation& in) {
             in.Download({library});
             in.Write(in.Updates() + "stray", "?");
         },
         [](const Installation& in) {
             return std::vector<std::string>{
                 "WARNING: Failed to backup file 'stray' because file could not be found in filelist",
                 "WARNING: QV Failed to copy file " + in.Updates() + "stray because it is not in the filelist",
                 "WARNING: Upgrade abandoned before installing anything"};
         }},
        {"CRC differs",
         [&](Installation& in) {
             Entry bad = library;
             bad.crc = 1234;
             in.Download({bad});
         },
         [](const Installation& in) {
             return std::vector<std::string>{
                 "WARNING: '" + in.Updates() + "a1' does not match the filelist: CRC " +
                     Hex8(CalculateCRC("new library", 11)) + ", expected 000004D2",
                 "WARNING: Upgrade abandoned before installing anything"};
         }},
        {"size differs",
         [&](Installation& in) {
             Entry bad = library;
             bad.bytes = 5;
             in.Download({bad});
         },
         [](const Installation& in) {
             return std::vector<std::string>{
                 "WARNING: '" + in.Updates() + "a1' does not match the filelist: 11 bytes, expected 5",
                 "WARNING: Upgrade abandoned before installing anything"};
         }},
        {"name leaving its folder",
         [&](Installation& in) {
             in.Download({library, {"a2", "../escaped", "", "x"}, {"a3", "/tmp/qvl-upgrader-escaped", "", "x"},
                          {"a4", "themes/../../escaped", "", "x"}});
         },
         [](const Installation& in) {
             return std::vector<std::string>{
                 "WARNING: Refusing to install '" + in.Updates() + "a2' because its install name '../escaped' leaves its folder",
                 "WARNING: Refusing to install '" + in.Updates() + "a3' because its install name '/tmp/qvl-upgrader-escaped' leaves its folder",
                 "WARNING: Refusing to install '" + in.Updates() + "a4' because its install name 'themes/../../escaped' leaves its folder",
                 "WARNING: Upgrade abandoned before installing anything"};
         }},
        {"unknown folder",
         [&](Installation& in) {
             in.Download({library, {"a2", "x", "no-such-folder", "x"}, {"a3", "x", "../app-folder", "x"}});
         },
         [](const Installation& in) {
             return std::vector<std::string>{
                 "WARNING: Failed to find folder 'no-such-folder' for file '" + in.Updates() + "a2'",
                 "WARNING: Failed to find folder '../app-folder' for file '" + in.Updates() + "a3'",
                 "WARNING: Upgrade abandoned before installing anything"};
         }},
        {"backup impossible",
         [&](Installation& in) {
             in.Download({library});
             fs::create_directories(in.Data("program-backup/libquilvolite.so"));
         },
         [](const Installation& in) {
             const std::string installed = in.App() + "libquilvolite.so";
             return std::vector<std::string>{
                 "WARNING: Failed to copy file to backup folder " + installed + " to " +
                     in.Data("program-backup/libquilvolite.so") + " because (21) Is a directory",
                 "WARNING: '" + installed + "' has no backup, so it cannot be replaced",
                 "WARNING: Upgrade abandoned before installing anything"};
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Installation in;
        in.Write(in.App() + "libquilvolite.so", "old library");
        c.prepare(in);
        EXPECT_EQ(in.Run(), 1) << in.Stderr();
        const std::vector<std::string> log = in.Log();
        const std::vector<std::string> warnings = c.warnings(in);
        ExpectInOrder(log, warnings);
        EXPECT_EQ(CountWarnings(log), int(warnings.size())) << ::testing::PrintToString(log);
        EXPECT_EQ(Count(log, "Upgrading new files..."), 0);
        ExpectRestarted(in, "old");
        EXPECT_EQ(in.Read(in.App() + "libquilvolite.so"), "old library");
        EXPECT_FALSE(fs::exists(in.Path("escaped")));
        EXPECT_FALSE(fs::exists(in.App() + "x"));
        EXPECT_FALSE(fs::exists("/tmp/qvl-upgrader-escaped"));
    }
}

// A target that stays held: 50 attempts 500 ms apart, then the files this run had already
// replaced or added are put back, the old program restarts and the exit code is 1.
TEST(Upgrader, GivesUpOnAHeldFileAndPutsTheOldFilesBack)
{
    Installation in;
    const std::string app = in.App(), u = in.Updates();
    in.Write(app + "libquilvolite.so", "old library");
    in.Write(app + "libkrdcagg.so", "old drawing library");
    in.Download({
        {"a1", "libquilvolite.so", "", "new library"},
        {"a2", "libextra.so", "", "new extra library"},
        {"a3", "libkrdcagg.so", "", "new drawing library"},
    });
    FILE* held = plat::OpenFile(app + "libkrdcagg.so", "rb", plat::Share::DenyAll);
    ASSERT_NE(held, nullptr);
    const int code = in.Run();
    plat::CloseFile(held);

    EXPECT_EQ(code, 1) << in.Stderr();
    const std::vector<std::string> log = in.Log();
    EXPECT_EQ(Count(log, std::string("\tCopy failed, retrying in 500 ms, because: ") + kBusy), 50);
    ExpectInOrder(log, {
        "Copying file '" + u + "a1' to '" + app + "libquilvolite.so'",
        "Copying file '" + u + "a2' to '" + app + "libextra.so'",
        "Copying file '" + u + "a3' to '" + app + "libkrdcagg.so'",
        "WARNING: QV Failed to copy file " + u + "a3 to " + app + "libkrdcagg.so because " + kBusy,
        "WARNING: Putting back the files this upgrade replaced",
        "Removing '" + app + "libextra.so', which the upgrade added",
        "Restoring '" + app + "libquilvolite.so' from '" + in.Data("program-backup/libquilvolite.so") + "'",
    });
    ExpectRestarted(in, "old");
    EXPECT_EQ(in.Read(app + "libquilvolite.so"), "old library");
    EXPECT_EQ(in.Read(app + "libkrdcagg.so"), "old drawing library");
    EXPECT_FALSE(fs::exists(app + "libextra.so"));
    EXPECT_EQ(in.Read(in.Data("program-backup/libkrdcagg.so")), "old drawing library");
}

// The upgrader touches nothing while the program still holds its single-instance lock, and
// retries a file held by someone else until it is let go.
TEST(Upgrader, WaitsForTheProgramToExitAndForAHeldFile)
{
    plat::SingleInstanceLock program;
    if (!program.Acquire(plat::kSingleInstanceName))
        GTEST_SKIP() << "a QuilvoLite of this user is running";
    Installation in;
    const std::string app = in.App();
    in.Write(app + "libquilvolite.so", "old library");
    in.Download({{"a1", "libquilvolite.so", "", "new library"}});
    FILE* held = plat::OpenFile(app + "libquilvolite.so", "rb", plat::Share::DenyAll);
    ASSERT_NE(held, nullptr);

    in.Start();
    const auto logHas = [&](const std::string& text) { return in.Read(in.Data("logs/QuilvoLiteUpgrade.log")).find(text) != std::string::npos; };
    ASSERT_TRUE(WaitFor([&] { return logHas("Upgrading Quilvo Lite..."); }, std::chrono::seconds(10)));
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_FALSE(logHas("Backing up files"));
    EXPECT_FALSE(fs::exists(in.Path("launched")));
    program.Release();

    EXPECT_TRUE(WaitFor([&] { return logHas("Copy failed"); }, std::chrono::seconds(10)));
    plat::CloseFile(held);
    EXPECT_EQ(in.Wait(), 0) << in.Stderr();
    const std::vector<std::string> log = in.Log();
    const int retries = Count(log, std::string("\tCopy failed, retrying in 500 ms, because: ") + kBusy);
    EXPECT_GE(retries, 1);
    EXPECT_LT(retries, 50);
    EXPECT_EQ(CountWarnings(log), 0) << ::testing::PrintToString(log);
    ExpectRestarted(in, "old");
    EXPECT_EQ(in.Read(app + "libquilvolite.so"), "new library");
}

// A launcher that cannot be started: the box says why, and the run ends as it would have.
TEST(Upgrader, TellsTheUserWhenTheProgramCannotBeRestarted)
{
    Installation in;
    fs::remove(in.App() + "QuilvoLite");
    EXPECT_EQ(in.Run(), 1);
    const std::vector<std::string> log = in.Log();
    ExpectInOrder(log, {"Starting " + in.App() + "QuilvoLite process",
                        "Quilvo Lite: Unable to restart program because: (2) No such file or directory", "Bye!"});
    EXPECT_EQ(log.back(), "Bye!");
}

// The hand-over with the real program: QuilvoLite from the build runs; the upgrader asks it to
// exit, waits until it has let go of its lock, replaces its main library (keeping the old one
// as a backup) and starts it again from the app folder.
TEST(Upgrader, ReplacesTheLibraryOfTheRunningProgramAndRestartsIt)
{
    if (!fs::exists(QVL_APP_DIR "/QuilvoLite") || !fs::exists(QVL_APP_DIR "/libquilvolite.so"))
        GTEST_SKIP() << "QuilvoLite and libquilvolite.so are not built";
    if (plat::SingleInstanceLock::IsTaken(plat::kSingleInstanceName))
        GTEST_SKIP() << "a QuilvoLite of this user is running";
    Installation in;
    const std::string app = in.App();
    in.InstallProgram();
    const auto starts = [&] { return in.ProgramStarts(); };
    const pid_t first = in.Spawn(plat::kLauncherName);
    bool ended = false;
    WaitFor([&] { return (ended = waitpid(first, nullptr, WNOHANG) == first) || starts().size() == 1; },
            std::chrono::seconds(30));
    if (ended && starts().empty())
        GTEST_SKIP() << "another copy took the single-instance lock first";
    ASSERT_EQ(starts().size(), 1u) << in.Read(in.Path("QuilvoLite.stderr"));
    const std::string oldLibrary = in.Read(app + "libquilvolite.so");
    in.Download({{"f00d", "libquilvolite.so", "", oldLibrary}});

    EXPECT_EQ(in.Run(), 0) << in.Stderr();
    EXPECT_EQ(WaitForExit(first, std::chrono::seconds(10)), 0);
    ASSERT_TRUE(WaitFor([&] { return starts().size() == 2; }, std::chrono::seconds(30)))
        << in.Read(in.Data("logs/QuilvoLite.log"));
    const pid_t restarted = pid_t(std::stoi(starts()[1]));
    EXPECT_NE(restarted, first);
    // The restarted copy is not a child of this test: end it as the user's session would.
    kill(restarted, SIGTERM);
    EXPECT_TRUE(WaitFor([&] { return !plat::ProcessExists(uint32_t(restarted)); }, std::chrono::seconds(30)));

    const std::vector<std::string> log = in.Log();
    EXPECT_EQ(CountWarnings(log), 0) << ::testing::PrintToString(log);
    ExpectInOrder(log, {"Copying libquilvolite.so to the backup folder",
                        "Copying file '" + in.Updates() + "f00d' to '" + app + "libquilvolite.so'",
                        "Starting " + app + "QuilvoLite process", "Bye!"});
    EXPECT_TRUE(in.Read(in.Data("program-backup/libquilvolite.so")) == oldLibrary);
    plat::FileTimes times;
    ASSERT_TRUE(plat::GetFileTimes(app + "libquilvolite.so", times));
    EXPECT_EQ(times.lastWrite, kEntryTime);
}

}  // namespace
