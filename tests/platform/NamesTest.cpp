#include "platform/Names.h"
#include "platform/Network.h"

#include <gtest/gtest.h>

using namespace plat;

TEST(Names, ProgramFiles)
{
    struct { const char* name; bool program, executable; } cases[] = {
        {"QuilvoLite", true, true},
        {"/opt/qvl/QuilvoLiteUpgrader", true, true},
        {"qvl", true, true},
        {"quilvolite", false, false},
        {"libquilvolite.so", true, false},
        {"libkrdcagg.SO", true, false},
        {"libfoo.so.1", true, false},
        {"libfoo.so.1.2.3", true, false},
        {".so", false, false},
        {"libfoo.so.x", false, false},
        {"libfoo.so.", false, false},
        {"notes.sol", false, false},
        {"default.qvltheme", true, false},
        {"Dark.QVLTheme", true, false},
        {"theme.qvltheme.bak", false, false},
        {"settings.dat", false, false},
        {"dir.so/readme", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsProgramFile(c.name), c.program) << c.name;
        EXPECT_EQ(IsExecutableName(c.name), c.executable) << c.name;
    }
}

TEST(Network, AddressesLeaveOutLoopbackAndLinkLocal)
{
    for (uint32_t a : GetIPv4Addresses()) {
        EXPECT_NE(a >> 24, 127u);
        EXPECT_NE(a >> 16, 0xA9FEu);
        EXPECT_NE(a, 0u);
    }
}
