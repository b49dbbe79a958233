// The class binding, through the test classes: the messages of bad calls, tiny-id property
// dispatch, constructors, ownership and finalisation, and queued calls to objects that the
// collector may take at any time.
#include <atomic>
#include <random>
#include <thread>

#include "script/TestObjects.h"
#include "tests/script/ScriptTestSupport.h"

namespace {

class BindingTest : public ScriptTest {
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        m_pTestApp = DefineTestObjects(m_engine);
        ASSERT_TRUE(m_pTestApp);
    }
    std::unique_ptr<CJSObject> m_pTestApp;
};

TEST_F(BindingTest, BadCallsReportTheirMessages)
{
    struct Case {
        const char* pszScript;
        bool bRuns;                       // the statement completes
        std::vector<const char*> reports;  // each appears in the reports, in order
        const char* pszResult = nullptr;  // the value of "result" when it runs
    } kCases[] = {
        {"result = new TestImage();", false, {"Error: TestImage objects cannot be created in script"}},
        {"result = TestRect(0, 0, 1, 1);", false,
         {"Error: class 'TestRect' constructor cannot be called like a function"}},
        {"result = TestRect.prototype.left;", false, {"Error: class 'TestRect' cannot be a base class"}},
        {"result = Object.create(TestRect.prototype).width;", false,
         {"Error: class 'TestRect' cannot be a base class"}},
        {"result = TestRect.prototype.offset(1, 1);", false, {"Error: class 'TestRect' cannot be a base class"}},
        {"result = new TestApp();", false, {"Error: class 'TestApp' failed to create it's object"}},
        {"result = new TestRect(1);", false,
         {"Error: TestRect - Incorrect number of arguments (needed: 4, got: 1)",
          "Error: class 'TestRect' failed to create it's object"}},
        {"result = new TestRect(0, 0, 1, 1).offset(1);", false,
         {"Error: offset - Incorrect number of arguments (needed: 2, got: 1)"}},
        {"result = testApp.area(new TestPoint(1, 2));", false,
         {"Object is not expected type 'TestRect', you gave 'TestPoint'"}},
        {"result = testApp.area({});", false, {"Object is not expected type 'TestRect', you gave 'Object'"}},
        {"result = testApp.area(5);", false, {"Object is not an object, expected type 'TestRect'"}},
        {"result = testApp.area(TestRect.prototype);", false, {"class 'TestRect' cannot be a base class"}},
        {"result = testApp.echoText(5);", true, {"Variable is not a string, was (number)"}, "undefined"},
        {"result = testApp.echoText(function () {});", true, {"Variable is not a string, was (function)"},
         "undefined"},
        {"result = testApp.echoInt('7');", true, {"Variable is not an int, was (string)"}, "0"},
        {"result = testApp.echoInt(null);", true, {"Variable is not an int, was (object)"}, "0"},
        {"result = testApp.echoBool(undefined);", true, {"Variable is not an boolean, was (undefined)"},
         "false"},
        {"result = testApp.missing;", false,
         {"class 'TestApp' OnGetProperty called but the default has not been overridden",
          "Error: class 'TestApp' does not have property 3"}},
        {"result = 1; testApp.makeImage(3).tag = 1; result = 2;", false,
         {"class 'TestImage' OnSetProperty called but the default has not been overridden"}, "1"},
        {"result = testApp.echoText('fine') + testApp.echoInt(2.9) + testApp.echoBool(true);", true, {},
         "fine2true"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszScript);
        m_engine.m_vecReports.clear();
        ASSERT_TRUE(m_engine.RunText("delete globalThis.result;", "reset.js"));
        // Each report names the script's file and line.
        EXPECT_EQ(m_engine.RunText(std::string("var other = 0;\n") + c.pszScript, "case.js"), c.bRuns);
        std::string strReports = m_engine.AllReports();
        size_t nFrom = 0;
        for (const char* pszReport : c.reports) {
            size_t nAt = strReports.find(pszReport, nFrom);
            ASSERT_NE(nAt, std::string::npos) << pszReport << " in:\n" << strReports;
            size_t nLineStart = strReports.rfind('\n', nAt);
            nLineStart = nLineStart == std::string::npos ? 0 : nLineStart + 1;
            EXPECT_EQ(strReports.compare(nLineStart, 12, "case.js(2) :"), 0) << strReports;
            nFrom = nAt;
        }
        EXPECT_EQ(m_engine.m_vecReports.size(), c.reports.size()) << strReports;
        if (c.pszResult) {
            EXPECT_EQ(Global("result"), c.pszResult);
        }
    }
}

TEST_F(BindingTest, FailingNativesRaiseCatchableErrors)
{
    ASSERT_TRUE(m_engine.RunText("try { new TestImage(); } catch (e) { caught = e.message; }", "catch.js"));
    EXPECT_EQ(Global("caught"), "TestImage objects cannot be created in script");
    EXPECT_TRUE(m_engine.m_vecReports.empty()) << m_engine.AllReports();
}

TEST_F(BindingTest, PropertiesDispatchByTinyId)
{
    ASSERT_TRUE(m_engine.RunText(
                    "var r = new TestRect(0, 0, 10, 5);\n"
                    "r.left = 2; r.width = 100; r.extra = 'mine';\n"
                    "var p = new TestPoint(3, 4); p.y = 9;\n"
                    "var image = testApp.makeImage(12);\n"
                    "testApp.name = 'Guide';\n"
                    "knTestOne = 5; delete knTestHalf;\n"
                    "result = [r.left, r.width, r.extra, p.x, p.y, r.contains(new TestPoint(3, 3)),\n"
                    "          r.contains(p), image.width, image instanceof TestImage,\n"
                    "          r instanceof TestRect, testApp.name, testApp.area(r),\n"
                    "          Object.keys(r).join('+'), knTestOne, knTestHalf].join(',');\n",
                    "props.js"))
        << m_engine.AllReports();
    EXPECT_EQ(Global("result"), "2,8,mine,3,9,true,false,12,true,true,Guide,40,extra,1,0.5");
    EXPECT_TRUE(m_engine.m_vecReports.empty()) << m_engine.AllReports();
}

TEST_F(BindingTest, ScriptObjectsAreFinalisedAndStaticsAreNot)
{
    int nBefore = LiveTestObjects();
    ASSERT_TRUE(m_engine.RunText("var keep = new TestRect(0, 0, 1, 1);\n"
                                 "for (var i = 0; i < 2000; i++) { new TestRect(0, 0, i, i); testApp.makeImage(i); }\n"
                                 "made = testApp.liveObjects;",
                                 "churn.js"));
    EXPECT_GE(std::stoi(Global("made")), nBefore + 1);
    m_engine.CollectGarbage();
    EXPECT_EQ(LiveTestObjects(), nBefore + 1);   // only "keep"
    ASSERT_TRUE(m_engine.RunText("keep = null; testApp.collect(); afterCollect = testApp.liveObjects;", "drop.js"));
    EXPECT_EQ(Global("afterCollect"), std::to_string(nBefore));

    // The static object keeps its native object, bound until the engine goes.
    ASSERT_TRUE(m_engine.RunText("testApp.name = 'still here'; name = testApp.name;", "static.js"));
    EXPECT_EQ(Global("name"), "still here");
    EXPECT_NE(m_pTestApp->GetScriptObject(), nullptr);
    EXPECT_EQ(m_pTestApp->GetEngine(), &m_engine);
    EXPECT_FALSE(m_pTestApp->IsOwnedByScript());
}

TEST(BindingLifetime, EngineEndUnbindsStaticsAndDeletesScriptOwnedObjects)
{
    int nBefore = LiveTestObjects();
    CScriptRuntime runtime;
    std::unique_ptr<CJSObject> pTestApp;
    {
        CRecordingEngine engine;
        ASSERT_TRUE(engine.Create(runtime));
        pTestApp = DefineTestObjects(engine);
        ASSERT_TRUE(pTestApp);
        ASSERT_TRUE(engine.RunText("var held = [new TestRect(0, 0, 1, 1), testApp.makeImage(2)];", "held.js"));
        EXPECT_EQ(LiveTestObjects(), nBefore + 2);
    }
    EXPECT_EQ(LiveTestObjects(), nBefore);
    EXPECT_EQ(pTestApp->GetScriptObject(), nullptr);
    EXPECT_EQ(pTestApp->GetEngine(), nullptr);
}

TEST_F(BindingTest, StaticNativeDeletedBeforeItsObjectLeavesNoDanglingData)
{
    m_pTestApp.reset();
    EXPECT_FALSE(m_engine.RunText("testApp.name;", "gone.js"));
    EXPECT_NE(m_engine.AllReports().find("class 'TestApp' cannot be a base class"), std::string::npos)
        << m_engine.AllReports();
}

// Many native-backed objects, forced collections, and calls queued to them from several
// threads while script runs: calls to collected objects are dropped, the others run exactly
// once. Run under AddressSanitizer.
TEST_F(BindingTest, QueuedCallsToCollectedObjectsAreSafe)
{
    constexpr int kObjects = 200, kThreads = 4, kCallsPerThread = 2000;
    ASSERT_TRUE(m_engine.RunText(
        "var pings = 0, objects = [];\n"
        "function ping() { pings++; }\n"
        "for (var i = 0; i < 200; i++) {\n"
        "  objects.push(new TestRect(0, 0, i, i));\n"
        "  objects[i].onPing = ping;\n"
        "}\n"
        "function churn() {\n"
        "  for (var i = 0; i < 30000; i++) {\n"
        "    new TestPoint(i, i); testApp.makeImage(i);\n"
        "    if (i % 3000 == 0) testApp.collect();\n"
        "  }\n"
        "}\n"
        "function dropOdd() { for (var i = 1; i < objects.length; i += 2) objects[i] = null; testApp.collect(); }\n"
        "function noop() {}\n",
        "stress.js"))
        << m_engine.AllReports();

    std::vector<CJSObject::CRef> refs;
    {
        CScriptEngine::CEnter enter(m_engine);
        JSContext* cx = m_engine.GetContext();
        JS::RootedValue arrayValue(cx), value(cx);
        ASSERT_TRUE(JS_GetProperty(cx, m_engine.GetGlobalObject(), "objects", &arrayValue));
        JS::RootedObject array(cx, &arrayValue.toObject());
        for (int i = 0; i < kObjects; ++i) {
            ASSERT_TRUE(JS_GetElement(cx, array, i, &value));
            CJSObject* pNative = CJSObject::FromObject(&value.toObject());
            ASSERT_NE(pNative, nullptr);
            refs.push_back(pNative->GetRef());
        }
    }
    ASSERT_TRUE(Call("dropOdd"));
    int nDeleted = 0;
    for (const CJSObject::CRef& ref : refs)
        nDeleted += ref.Get() == nullptr;
    EXPECT_EQ(nDeleted, kObjects / 2);
    {
        // A compacting collection moves the survivors out of their half-empty arenas: each
        // native object must still know where its script object is.
        CScriptEngine::CEnter enter(m_engine);
        JSContext* cx = m_engine.GetContext();
        JS::PrepareForFullGC(cx);
        JS::NonIncrementalGC(cx, JS::GCOptions::Shrink, JS::GCReason::API);
        JS::RootedValue arrayValue(cx), value(cx);
        ASSERT_TRUE(JS_GetProperty(cx, m_engine.GetGlobalObject(), "objects", &arrayValue));
        JS::RootedObject array(cx, &arrayValue.toObject());
        for (int i = 0; i < kObjects; i += 2) {
            ASSERT_TRUE(JS_GetElement(cx, array, i, &value));
            ASSERT_NE(refs[i].Get(), nullptr);
            EXPECT_EQ(refs[i].Get()->GetScriptObject(), &value.toObject());
        }
    }

    std::atomic<int> nToLiving{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 random(t);
            for (int i = 0; i < kCallsPerThread; ++i) {
                int nTarget = static_cast<int>(random() % kObjects);
                nToLiving += nTarget % 2 == 0;
                m_engine.QueueCallback(new CScriptFunctionCallback(refs[nTarget], "onPing"));
            }
        });
    }
    ASSERT_TRUE(Call("churn")) << m_engine.AllReports();
    for (std::thread& thread : threads)
        thread.join();
    ASSERT_TRUE(Call("noop"));   // runs what was queued after churn ended
    EXPECT_EQ(Global("pings"), std::to_string(nToLiving.load()));
    EXPECT_TRUE(m_engine.m_vecReports.empty()) << m_engine.AllReports();
}

}  // namespace
