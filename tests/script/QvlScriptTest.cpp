// "qvl script": what a theme author sees when running and checking scripts from the shell.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

struct Outcome {
    int nExitCode = -1;
    std::string strOut, strErr;
};

std::string ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class QvlScriptTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = std::filesystem::temp_directory_path() /
                   ("qvl-cli-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(m_folder);
        std::filesystem::create_directories(m_folder);
        if (!std::filesystem::exists(QVL_APP_DIR "/qvl"))
            GTEST_SKIP() << "qvl is not built";
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    void Write(const std::string& strName, const std::string& strText)
    {
        std::ofstream(m_folder / strName, std::ios::binary) << strText;
    }

    Outcome Qvl(const std::string& strArguments)
    {
        std::string strCommand = std::string(QVL_APP_DIR "/qvl ") + strArguments + " >" +
                                 (m_folder / "out").string() + " 2>" + (m_folder / "err").string();
        Outcome outcome;
        int nStatus = std::system(strCommand.c_str());
        outcome.nExitCode = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
        outcome.strOut = ReadAll(m_folder / "out");
        outcome.strErr = ReadAll(m_folder / "err");
        return outcome;
    }

    std::string Path(const std::string& strName) { return (m_folder / strName).string(); }

    std::filesystem::path m_folder;
};

TEST_F(QvlScriptTest, RunPrintsWhatTheScriptLogged)
{
    Write("main.js", "#include \"lib.js\"\ndebugOut('sum', add(2, 3), 'done');\n");
    Write("lib.js", "function add(a, b) { return a + b; }\n");
    Outcome outcome = Qvl("script run " + Path("main.js"));
    EXPECT_EQ(outcome.nExitCode, 0) << outcome.strErr;
    EXPECT_EQ(outcome.strOut, "sum 5 done\n");
    EXPECT_EQ(outcome.strErr, "");
}

TEST_F(QvlScriptTest, BrokenScriptPrintsTheMappedReportAndFails)
{
    Write("main.js", "debugOut('before');\n#include \"lib.js\"\nvar after = 1;\n");
    Write("lib.js", "var a = 1;\nundefinedFunction();\n");
    Outcome outcome = Qvl("script run " + Path("main.js"));
    EXPECT_EQ(outcome.nExitCode, 1);
    EXPECT_EQ(outcome.strOut, "before\n");
    EXPECT_EQ(outcome.strErr, Path("lib.js") + "(2) : ReferenceError: undefinedFunction is not defined\n"
                                               "Error line: undefinedFunction();\n");
}

TEST_F(QvlScriptTest, CheckOnlyCompiles)
{
    Write("runs-badly.js", "debugOut('ran');\nnull.f;\n");
    Outcome outcome = Qvl("script check " + Path("runs-badly.js"));
    EXPECT_EQ(outcome.nExitCode, 0) << outcome.strErr;
    EXPECT_EQ(outcome.strOut, "");
    Write("broken.js", "var ok = 1;\nvar = 2;\n");
    outcome = Qvl("script check " + Path("broken.js"));
    EXPECT_EQ(outcome.nExitCode, 1);
    EXPECT_EQ(outcome.strErr.rfind(Path("broken.js") + "(2) : SyntaxError", 0), 0u) << outcome.strErr;
}

TEST_F(QvlScriptTest, TestObjectsOnRequestAndUsage)
{
    Write("objects.js", "debugOut(new TestRect(0, 0, 4, 2).width, typeof testApp);\n");
    Outcome outcome = Qvl("script run " + Path("objects.js") + " --define-test-objects");
    EXPECT_EQ(outcome.nExitCode, 0) << outcome.strErr;
    EXPECT_EQ(outcome.strOut, "4 object\n");
    outcome = Qvl("script run " + Path("objects.js"));
    EXPECT_EQ(outcome.nExitCode, 1);
    EXPECT_NE(outcome.strErr.find("TestRect is not defined"), std::string::npos) << outcome.strErr;
    EXPECT_EQ(Qvl("script").nExitCode, 2);
    EXPECT_EQ(Qvl("script check " + Path("objects.js") + " --define-test-objects").nExitCode, 2);
}

}  // namespace
