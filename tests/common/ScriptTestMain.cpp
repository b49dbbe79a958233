// The main of the test programs that run script: the script library is set up once for the
// whole program, before the first test, and shut down after the last.
#include <gtest/gtest.h>

#include "script/ScriptEngine.h"

namespace {

struct ScriptLibrary : ::testing::Environment {
    void SetUp() override { ASSERT_TRUE(InitScriptLibrary()); }
    void TearDown() override { ShutDownScriptLibrary(); }
};

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new ScriptLibrary);
    return RUN_ALL_TESTS();
}
