// The engine: include expansion and its failures, error reports mapped to file and line, calls
// into script, the callback queue and branch points, collection reports.
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/MessageBox.h"
#include "script/theme/Theme.h"
#include "tests/script/ScriptTestSupport.h"

namespace {

struct IncludeErrorCase {
    const char* pszName;
    std::map<std::string, std::string> files;   // "main.js" is run
    const char* pszFile;                        // expected file of the report, in the folder
    int nLine;                                  // expected line in that file
    const char* pszLineText;                    // expected "Error line", or null for none
};

TEST_F(ScriptTest, ErrorsAreReportedAtTheirFileAndLine)
{
    const IncludeErrorCase kCases[] = {
        {"syntax error in the third line of an include",
         {{"main.js", "var a = 1;\n#include \"inc.js\"\nvar b = 2;\n"},
          {"inc.js", "var x = 1;\nvar y = 2;\nvar = ;\n"}},
         "inc.js", 3, "var = ;"},
        {"error on the first line of the main file",
         {{"main.js", "var = ;\nvar ok = 1;\n"}}, "main.js", 1, "var = ;"},
        {"error in the outer file after a nested include",
         {{"main.js", "var m = 0;\n#include \"outer.js\"\nvar n = 1;\n"},
          {"outer.js", "var o = 1;\n#include \"inner.js\"\nvar p = 2;\nnull.f;\n"},
          {"inner.js", "var i1 = 1;\nvar i2 = 2;\nvar i3 = 3;\n"}},
         "outer.js", 4, "null.f;"},
        {"run-time error in the main file after includes",
         {{"main.js", "#include \"a.js\"\n  #include \"b.js\"\n\nmissingFunction();\n"},
          {"a.js", "var a = 1;\n"}, {"b.js", "var b = 1;\r\nvar c = 2;\r\n"}},
         "main.js", 4, "missingFunction();"},
        {"#include after code on the same line is not expanded",
         {{"main.js", "var a = 1;\nvar b = 2; #include \"inc.js\"\n"}, {"inc.js", "var c = 3;\n"}},
         "main.js", 2, "var b = 2; #include \"inc.js\""},
        {"lines ended by lone carriage returns",
         {{"main.js", "var a = 1;\r#include \"inc.js\"\rnull.f;\r"}, {"inc.js", "var c = 3;\r"}},
         "main.js", 3, "null.f;"},
    };
    for (const IncludeErrorCase& c : kCases) {
        SCOPED_TRACE(c.pszName);
        m_engine.m_vecReports.clear();
        std::string strFolder = WriteFiles(c.files);
        EXPECT_FALSE(m_engine.RunFile(strFolder + "main.js"));
        ASSERT_EQ(m_engine.m_vecReports.size(), 1u) << m_engine.AllReports();
        const CReport& report = m_engine.m_vecReports[0];
        EXPECT_EQ(report.nLevel, 1);
        std::string strHead = strFolder + c.pszFile + "(" + std::to_string(c.nLine) + ") : ";
        EXPECT_EQ(report.strText.rfind(strHead, 0), 0u) << report.strText;
        std::string strLine = c.pszLineText ? std::string("\nError line: ") + c.pszLineText : "";
        EXPECT_TRUE(report.strText.ends_with(strLine)) << report.strText;
        EXPECT_EQ(m_engine.GetLastError(), report.strText);
    }
}

TEST_F(ScriptTest, FailedIncludesStopTheWholeScript)
{
    // A chain of files f0 (the main file) ... fN, each including the next.
    auto Chain = [](int nLength) {
        std::map<std::string, std::string> files;
        for (int i = 0; i < nLength; ++i)
            files["f" + std::to_string(i) + ".js"] = "#include \"f" + std::to_string(i + 1) + ".js\"\n";
        files["f" + std::to_string(nLength) + ".js"] = "var deepest = true;\n";
        files["main.js"] = "ran = true;\n#include \"f0.js\"\n";
        return files;
    };
    struct Case {
        const char* pszName;
        std::map<std::string, std::string> files;
        const char* pszMessage;   // with {} for the folder; empty: the run succeeds
    } kCases[] = {
        {"missing include", {{"main.js", "ran = true;\n#include \"absent.js\"\n"}},
         "Failed to find include file 'absent.js' included in '{}main.js'"},
        {"include without a closing quote", {{"main.js", "ran = true;\n#include \"open.js\n"}, {"open.js", ""}},
         "Failed to find include file 'open.js' included in '{}main.js'"},
        {"file that includes itself", {{"main.js", "ran = true;\n#include \"main.js\"\n"}},
         "Include file 'main.js' included in '{}main.js' is already being included"},
        {"cycle of includes",
         {{"main.js", "ran = true;\n#include \"a.js\"\n"}, {"a.js", "#include \"b.js\"\n"},
          {"b.js", "#include \"a.js\"\n"}},
         "Include file 'a.js' included in '{}b.js' is already being included"},
        {"includes nested 17 deep", Chain(16),
         "Include file 'f16.js' included in '{}f15.js' is nested more than 16 levels deep"},
        {"includes nested 16 deep", Chain(15), ""},
        {"include name with format directives", {{"main.js", "ran = true;\n#include \"%n%s.js\"\n"}},
         "Failed to find include file '%n%s.js' included in '{}main.js'"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszName);
        m_engine.m_vecReports.clear();
        ASSERT_TRUE(m_engine.RunText("delete globalThis.ran; delete globalThis.deepest;", "reset.js"));
        std::string strFolder = WriteFiles(c.files);
        std::string strMessage = c.pszMessage;
        if (size_t nAt = strMessage.find("{}"); nAt != std::string::npos)
            strMessage.replace(nAt, 2, strFolder);
        bool bRan = m_engine.RunFile(strFolder + "main.js");
        if (strMessage.empty()) {
            EXPECT_TRUE(bRan) << m_engine.AllReports();
            EXPECT_EQ(Global("deepest"), "true");
            continue;
        }
        EXPECT_FALSE(bRan);
        EXPECT_EQ(Global("ran"), "<missing>");
        ASSERT_EQ(m_engine.m_vecReports.size(), 1u) << m_engine.AllReports();
        EXPECT_EQ(m_engine.m_vecReports[0].strText, strMessage);
        EXPECT_EQ(m_engine.m_vecReports[0].nLevel, 1);
        EXPECT_EQ(m_engine.GetLastError(), strMessage);
    }
}

TEST_F(ScriptTest, ScriptTextNeverReachesAFormat)
{
    EXPECT_FALSE(m_engine.RunText("var s = '%s%n%d%%'; null.f; // %n%s", "%s%n.js"));
    ASSERT_EQ(m_engine.m_vecReports.size(), 1u);
    EXPECT_EQ(m_engine.m_vecReports[0].strText.rfind("%s%n.js(1) : TypeError", 0), 0u)
        << m_engine.m_vecReports[0].strText;
    EXPECT_TRUE(m_engine.m_vecReports[0].strText.ends_with("Error line: var s = '%s%n%d%%'; null.f; // %n%s"));
}

TEST_F(ScriptTest, EmptyScriptIsReportedAndRuns)
{
    EXPECT_TRUE(m_engine.RunText("", "empty.js"));
    ASSERT_EQ(m_engine.m_vecReports.size(), 1u);
    EXPECT_EQ(m_engine.m_vecReports[0].nLevel, 0);
    EXPECT_EQ(m_engine.m_vecReports[0].strText, "\tScript file 'empty.js' did not have any content to execute");
}

TEST_F(ScriptTest, MissingScriptFileIsReported)
{
    EXPECT_FALSE(m_engine.RunFile("/nonexistent/theme.velasc"));
    ASSERT_EQ(m_engine.m_vecReports.size(), 1u);
    EXPECT_EQ(m_engine.m_vecReports[0].strText, "Failed to load script file '/nonexistent/theme.velasc'");
}

TEST_F(ScriptTest, CheckCompilesWithoutRunning)
{
    std::string strFolder = WriteFiles({{"main.js", "#include \"inc.js\"\nran = true;\nnull.f;\n"},
                                        {"inc.js", "function f() { return 1; }\n"}});
    EXPECT_TRUE(m_engine.CheckFile(strFolder + "main.js")) << m_engine.AllReports();
    EXPECT_EQ(Global("ran"), "<missing>");
    EXPECT_TRUE(m_engine.m_vecReports.empty());
    std::string strBroken = WriteFiles({{"broken.js", "var ok = 1;\n#include \"bad.js\"\n"},
                                        {"bad.js", "\nfunction (\n"}});
    EXPECT_FALSE(m_engine.CheckFile(strBroken + "broken.js"));
    ASSERT_EQ(m_engine.m_vecReports.size(), 1u);
    EXPECT_EQ(m_engine.m_vecReports[0].strText.rfind(strBroken + "bad.js(2) : SyntaxError", 0), 0u)
        << m_engine.m_vecReports[0].strText;
}

TEST_F(ScriptTest, CallFunctionByNameAndByValue)
{
    ASSERT_TRUE(m_engine.RunText("function yes() { return true; }\n"
                                 "function one() { return 1; }\n"
                                 "function boom() {\n  null.f;\n}\n"
                                 "var notAFunction = 3;\n"
                                 "function add(a, b) { sum = a + b; return true; }\n",
                                 "calls.js"));
    struct Case {
        const char* pszName;
        bool bCalled, bResult;
    } kCases[] = {{"yes", true, true}, {"one", true, false}, {"missing", false, false},
                  {"notAFunction", false, false}, {"boom", false, false}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszName);
        bool bResult = !c.bResult;
        EXPECT_EQ(Call(c.pszName, &bResult), c.bCalled);
        EXPECT_EQ(bResult, c.bResult);
    }
    // Only the failing call reported, at the line within the file.
    ASSERT_EQ(m_engine.m_vecReports.size(), 1u) << m_engine.AllReports();
    EXPECT_EQ(m_engine.m_vecReports[0].strText.rfind("calls.js(4) : TypeError", 0), 0u);

    JSContext* cx = m_engine.GetContext();
    CScriptEngine::CEnter enter(m_engine);
    JS::RootedValueArray<2> args(cx);
    args[0].setInt32(2);
    args[1].setInt32(5);
    bool bResult = false;
    EXPECT_TRUE(m_engine.CallFunction(m_engine.GetGlobalObject(), "add", &bResult, args));
    EXPECT_TRUE(bResult);
    EXPECT_EQ(Global("sum"), "7");
    JS::RootedValue function(cx);
    ASSERT_TRUE(JS_GetProperty(cx, m_engine.GetGlobalObject(), "add", &function));
    args[1].setInt32(10);
    EXPECT_TRUE(m_engine.CallFunction(m_engine.GetGlobalObject(), function, &bResult, args, true));
    EXPECT_EQ(Global("sum"), "12");
}

TEST_F(ScriptTest, ReportsOutsideScriptHaveNoFile)
{
    m_engine.ReportScriptError("something %s happened");
    ASSERT_EQ(m_engine.m_vecReports.size(), 1u);
    EXPECT_EQ(m_engine.m_vecReports[0].strText, "JscriptError: something %s happened");
}

TEST_F(ScriptTest, RunawayRecursionIsAnErrorNotACrash)
{
    EXPECT_FALSE(m_engine.RunText("function r(n) { return r(n + 1) + 1; }\nr(0);", "deep.js"));
    EXPECT_NE(m_engine.AllReports().find("too much recursion"), std::string::npos) << m_engine.AllReports();
}

TEST_F(ScriptTest, PromiseJobsRunAfterTheScript)
{
    EXPECT_TRUE(m_engine.RunText("Promise.resolve(5).then(function (v) { settled = v; });\n"
                                 "(async function () { await null; awaited = true; })();",
                                 "promise.js"));
    EXPECT_EQ(Global("settled"), "5");
    EXPECT_EQ(Global("awaited"), "true");
}

TEST_F(ScriptTest, CollectionPhasesAreReportedWhenAskedFor)
{
    m_engine.CollectGarbage();
    EXPECT_TRUE(m_engine.m_vecReports.empty());
    m_engine.SetGarbageCollectionLogging(true);
    m_engine.CollectGarbage();
    EXPECT_EQ(m_engine.AllReports(),
              "Garbage collector running; JSGC_BEGIN\n"
              "Garbage collector running; JSGC_MARK_END\n"
              "Garbage collector running; JSGC_FINALIZE_END\n"
              "Garbage collector running; JSGC_END\n");
    for (const CReport& report : m_engine.m_vecReports)
        EXPECT_EQ(report.nLevel, 0);
}

TEST_F(ScriptTest, ThemeEngineReadsIncludesFromTheThemeAndShowsErrors)
{
    // Includes are looked up in the theme by the name as written, whatever the including path.
    std::string strTheme = WriteFiles({{"theme.velasc", ""}});
    std::filesystem::create_directories(m_folder / "scripts");
    WriteFiles({{"scripts/lib.js", "var fromTheme = 1;\nnull.f;\n"}, {"lib.js", "var wrongFile = 1;\n"}});
    ASSERT_TRUE(CTheme::Instance().LoadTheme(strTheme));
    std::vector<plat::ShownMessageBox> boxes;
    bool bRan = true, bEmptyRan = false;
    std::thread([&] {
        CScriptRuntime runtime;
        CThemeScriptEngine engine;
        ASSERT_TRUE(engine.Create(runtime));
        plat::TakeShownMessageBoxes();
        bRan = engine.RunText("#include \"scripts\\lib.js\"\n", "/elsewhere/theme.velasc");
        boxes = plat::TakeShownMessageBoxes();
        bEmptyRan = engine.RunText("", "empty.js");   // information is only logged
        std::vector<plat::ShownMessageBox> more = plat::TakeShownMessageBoxes();
        boxes.insert(boxes.end(), more.begin(), more.end());
    }).join();
    EXPECT_FALSE(bRan);
    EXPECT_TRUE(bEmptyRan);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Quilvo Lite Error");
    EXPECT_EQ(boxes[0].flags, plat::MB_OK | plat::MB_ICONERROR);
    EXPECT_EQ(boxes[0].text, "/elsewhere/lib.js(2) : TypeError: null has no properties\nError line: null.f;");
}

// ---- the callback queue ---------------------------------------------------------------------

// Runs a function on the script thread when drained.
class CFunctionCallback : public CQueuedCallback {
public:
    CFunctionCallback(std::function<void()> run, std::atomic<int>* pDestroyed = nullptr)
        : m_run(std::move(run)), m_pDestroyed(pDestroyed) {}
    void Run() override { m_run(); }
    void Destroy() override
    {
        if (m_pDestroyed)
            ++*m_pDestroyed;
        delete this;
    }

private:
    std::function<void()> m_run;
    std::atomic<int>* m_pDestroyed;
};

// Stops any script that is still running after a few seconds, so that a broken queue fails
// the test instead of hanging it.
class CGuardedEngine : public CRecordingEngine {
public:
    bool OnBranch() override
    {
        ++m_nBranches;
        return std::chrono::steady_clock::now() < m_deadline;
    }
    std::chrono::steady_clock::time_point m_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::atomic<int> m_nBranches{0};
};

class CallbackQueueTest : public ScriptTestWith<CGuardedEngine> {
protected:
    // Sets the global variable to true.
    CQueuedCallback* Setter(const char* pszName, std::atomic<int>* pDestroyed = nullptr)
    {
        return new CFunctionCallback([this, pszName] {
            CScriptEngine::CEnter enter(m_engine);
            JS::RootedValue value(m_engine.GetContext(), JS::TrueValue());
            EXPECT_TRUE(JS_SetProperty(m_engine.GetContext(), m_engine.GetGlobalObject(), pszName, value));
        }, pDestroyed);
    }
};

TEST_F(CallbackQueueTest, CallbackQueuedWhileIdleRunsAtTheNextScriptCall)
{
    ASSERT_TRUE(m_engine.RunText("var flag = false; function onIdle() { seen = flag; }", "idle.js"));
    std::atomic<int> nDestroyed{0};
    std::thread::id ranOn;
    std::thread([&] {
        m_engine.QueueCallback(new CFunctionCallback([&] { ranOn = std::this_thread::get_id(); }, &nDestroyed));
        m_engine.QueueCallback(Setter("flag", &nDestroyed));
    }).join();
    EXPECT_EQ(nDestroyed, 0);   // nothing runs while no script runs
    ASSERT_TRUE(Call("onIdle"));
    EXPECT_EQ(nDestroyed, 2);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(Global("seen"), "true");   // ran at the function's first branch point
}

TEST_F(CallbackQueueTest, LongRunningLoopDrainsTheQueue)
{
    using Clock = std::chrono::steady_clock;
    ASSERT_TRUE(m_engine.RunText("function spin() { var end = Date.now() + 2000; while (Date.now() < end) {} }",
                                 "spin.js"));
    std::atomic<Clock::rep> ranAt{0};
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        m_engine.QueueCallback(new CFunctionCallback([&] { ranAt = Clock::now().time_since_epoch().count(); }));
    });
    EXPECT_TRUE(Call("spin"));
    Clock::time_point returned = Clock::now();
    other.join();
    ASSERT_NE(ranAt, 0);
    // Run inside the loop, soon after it was queued, not when the loop ended (with room for a
    // busy machine to be late in waking the other thread).
    EXPECT_LT(Clock::time_point(Clock::duration(ranAt.load())), returned - std::chrono::milliseconds(1000));
}

TEST_F(CallbackQueueTest, CallbackMayQueueAnotherAndRunScript)
{
    ASSERT_TRUE(m_engine.RunText("function spin() { var end = Date.now() + 300; while (Date.now() < end) {} }\n"
                                 "function nested() { for (var i = 0; i < 100000; i++) {} nestedRan = true; }",
                                 "chain.js"));
    std::vector<std::string> order;
    m_engine.QueueCallback(new CFunctionCallback([&] {
        // Queues from the script thread while the queue is drained, then runs script from
        // inside the drain: no deadlock, no second drain inside the first, and the new
        // callback runs at a later branch point.
        order.push_back("first");
        m_engine.QueueCallback(new CFunctionCallback([&] { order.push_back("second"); }));
        EXPECT_TRUE(Call("nested"));
        order.push_back("first done");
    }));
    EXPECT_TRUE(Call("spin"));
    EXPECT_EQ(order, (std::vector<std::string>{"first", "first done", "second"}));
    EXPECT_EQ(Global("nestedRan"), "true");
}

TEST_F(CallbackQueueTest, RunningScriptReachesBranchPointsSteadily)
{
    ASSERT_TRUE(m_engine.RunText("function busy() { var end = Date.now() + 400; while (Date.now() < end) {} }",
                                 "busy.js"));
    int nBefore = m_engine.m_nBranches;
    EXPECT_TRUE(Call("busy"));
    EXPECT_GE(m_engine.m_nBranches - nBefore, 3);
}

TEST_F(CallbackQueueTest, StoppedScriptEndsWithoutReport)
{
    m_engine.m_deadline = std::chrono::steady_clock::now();
    EXPECT_FALSE(m_engine.RunText("for (;;) {}", "endless.js"));
    EXPECT_TRUE(m_engine.m_vecReports.empty()) << m_engine.AllReports();
}

TEST_F(CallbackQueueTest, QueuedCallbacksAreDestroyedWithTheEngine)
{
    CGuardedEngine second;
    EXPECT_FALSE(second.Create(m_runtime));   // one engine per runtime at a time
    // A runtime belongs to its thread: this one lives and dies on another.
    std::atomic<int> nDestroyed{0};
    bool bRan = false;
    std::thread([&] {
        CScriptRuntime runtime;
        CGuardedEngine engine;
        ASSERT_TRUE(engine.Create(runtime));
        engine.QueueCallback(new CFunctionCallback([&] { bRan = true; }, &nDestroyed));
    }).join();
    EXPECT_FALSE(bRan);
    EXPECT_EQ(nDestroyed, 1);
}

}  // namespace
