// Point, Size and Rect as the theme script sees them, and the helpers through which native code
// hands them out and reads them back.
#include "script/GeometryObjects.h"
#include "tests/script/ScriptTestSupport.h"

namespace {

class GeometryTest : public ScriptTest {
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        ASSERT_TRUE(DefineGeometryClasses(m_engine));
    }

    // Runs the statement (which sets "result"); answers whether it completed.
    bool Run(const std::string& strScript)
    {
        m_engine.m_vecReports.clear();
        EXPECT_TRUE(m_engine.RunText("delete globalThis.result;", "reset.js"));
        return m_engine.RunText(strScript, "case.js");
    }
};

TEST_F(GeometryTest, ScriptCallsAnswerAndReport)
{
    struct Case {
        const char* pszScript;
        bool bRuns;
        const char* pszResult;               // "result" when it runs
        std::vector<const char*> reports;    // each appears, in order
    } kCases[] = {
        // Points and sizes start at (0, 0) whatever the arguments; writes convert to int.
        {"var p = new Point(5, 6); result = [p.x, p.y].join();", true, "0,0", {}},
        {"var p = new Point(); p.x = 7.9; p.y = -3; result = [p.x, p.y].join();", true, "7,-3", {}},
        {"var s = new Size(1, 2); s.cx = 4; result = [s.cx, s.cy].join();", true, "4,0", {}},
        {"var p = new Point(); p.x = 'a'; result = p.x;", true, "0", {"Variable is not an int, was (string)"}},
        // The constructor's counts and the copy.
        {"result = new Rect();", false, nullptr,
         {"Incorrect number of paramaters given to Rect constructor", "class 'Rect' failed to create it's object"}},
        {"result = new Rect(1, 2);", false, nullptr, {"Incorrect number of paramaters given to Rect constructor"}},
        {"result = new Rect(new Point());", false, nullptr,
         {"Object is not expected type 'Rect', you gave 'Point'", "Variable passed is not a Rect object",
          "class 'Rect' failed to create it's object"}},
        {"result = new Rect(3);", false, nullptr,
         {"Object is not an object, expected type 'Rect'", "Variable passed is not a Rect object"}},
        {"var a = new Rect(1, 2, 3, 4); var b = new Rect(a); a.left = 0; b.top = 9;\n"
         "result = [a.left, a.top, b.left, b.top, b.right, b.bottom].join();",
         true, "0,2,1,9,3,4", {}},
        {"result = Rect(0, 0, 1, 1);", false, nullptr, {"class 'Rect' constructor cannot be called like a function"}},
        {"result = Rect.prototype.left;", false, nullptr, {"class 'Rect' cannot be a base class"}},
        // Edges: left and top are inside, right and bottom are not.
        {"var r = new Rect(0, 0, 10, 5); var p = new Point();\n"
         "var a = []; for (var [x, y] of [[0, 0], [9, 4], [10, 0], [0, 5], [-1, 2], [5, -1]])\n"
         "{ p.x = x; p.y = y; a.push(r.isPointInRect(p)); } result = a.join();",
         true, "true,true,false,false,false,false", {}},
        {"result = new Rect(0, 0, 0, 0).isPointInRect(new Point());", true, "false", {}},
        {"result = new Rect(0, 0, 1, 1).isPointInRect(new Size());", false, nullptr,
         {"Object is not expected type 'Point', you gave 'Size'", "Variable passed is not a Point object"}},
        {"result = new Rect(0, 0, 1, 1).isPointInRect();", false, nullptr,
         {"isPointInRect - Incorrect number of arguments (needed: 1, got: 0)"}},
        // Changes.
        {"var r = new Rect(10, 20, 30, 60); r.inflate(2, -3);\n"
         "result = [r.left, r.top, r.right, r.bottom, r.width(), r.height()].join();",
         true, "8,23,32,57,24,34", {}},
        {"var r = new Rect(10, 20, 30, 60); r.offset(-15, 5);\n"
         "result = [r.left, r.top, r.right, r.bottom].join();",
         true, "-5,25,15,65", {}},
        {"var r = new Rect(10, 20, 30, 60); r.moveTo(100, -1);\n"
         "result = [r.left, r.top, r.right, r.bottom].join();",
         true, "100,-1,120,39", {}},
        {"var r = new Rect(1, 1, 2, 2); r.offset(1);", false, nullptr,
         {"offset - Incorrect number of arguments (needed: 2, got: 1)"}},
        {"var r = new Rect(5, 5, 2, 9); var s = r.getSize(); result = [s.cx, s.cy, s instanceof Size].join();",
         true, "-3,4,true", {}},
        {"result = new Rect(0, 0, 1, 1).getSize(1);", false, nullptr,
         {"getSize - Incorrect number of arguments (needed: 0, got: 1)"}},
        // Coordinates wrap as 32-bit values rather than overflow.
        {"var r = new Rect(2147483647, 0, 2147483647, 0); r.offset(1, 0); result = [r.left, r.width()].join();",
         true, "-2147483648,0", {}},
        {"var r = new Rect(-2147483648, 0, 2147483647, 0); result = r.width();", true, "-1", {}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszScript);
        EXPECT_EQ(Run(c.pszScript), c.bRuns);
        const std::string strReports = m_engine.AllReports();
        size_t nFrom = 0;
        for (const char* pszReport : c.reports) {
            const size_t nAt = strReports.find(pszReport, nFrom);
            ASSERT_NE(nAt, std::string::npos) << pszReport << " in:\n" << strReports;
            nFrom = nAt;
        }
        if (c.reports.empty()) {
            EXPECT_EQ(strReports, "");
        }
        if (c.pszResult) {
            EXPECT_EQ(Global("result"), c.pszResult);
        }
    }
}

TEST_F(GeometryTest, NativeCodeHandsOutAndReadsBackValues)
{
    CScriptEngine::CEnter enter(m_engine);
    JSContext* cx = m_engine.GetContext();
    JS::RootedObject global(cx, m_engine.GetGlobalObject());

    JS::RootedValue rect(cx, JS::ObjectValue(*NewRectObject(cx, {-1, 2, 30, 40})));
    JS::RootedValue point(cx, JS::ObjectValue(*NewPointObject(cx, {3, 4})));
    JS::RootedValue size(cx, JS::ObjectValue(*NewSizeObject(cx, {5, 6})));
    ASSERT_TRUE(JS_SetProperty(cx, global, "r", rect) && JS_SetProperty(cx, global, "p", point) &&
                JS_SetProperty(cx, global, "s", size));
    ASSERT_TRUE(m_engine.RunText("r.offset(1, 1); p.x = 8; s.cy = 7; inside = r.isPointInRect(p);", "use.js"))
        << m_engine.AllReports();
    EXPECT_EQ(Global("inside"), "true");

    plat::Rect r;
    plat::Point p;
    plat::Size s;
    ASSERT_TRUE(GetRectFromValue(cx, rect, r));
    ASSERT_TRUE(GetPointFromValue(cx, point, p));
    ASSERT_TRUE(GetSizeFromValue(cx, size, s));
    EXPECT_EQ(r, (plat::Rect{0, 3, 31, 41}));
    EXPECT_EQ(p, (plat::Point{8, 4}));
    EXPECT_EQ(s, (plat::Size{5, 7}));

    m_engine.m_vecReports.clear();
    EXPECT_FALSE(GetRectFromValue(cx, point, r));
    JS::RootedValue number(cx, JS::Int32Value(4));
    EXPECT_FALSE(GetPointFromValue(cx, number, p));
    EXPECT_EQ(r, (plat::Rect{0, 3, 31, 41}));   // untouched
    EXPECT_NE(m_engine.AllReports().find("Object is not expected type 'Rect', you gave 'Point'"), std::string::npos);
    EXPECT_NE(m_engine.AllReports().find("Object is not an object, expected type 'Point'"), std::string::npos);
}

}  // namespace
