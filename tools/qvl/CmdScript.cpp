// qvl script: runs or checks a theme script outside the program, with #include expansion and
// the error reports of the program's script engine, so theme authors can try their scripts.
#include <js/Conversions.h>

#include <cstdio>

#include "script/ScriptEngine.h"
#include "script/TestObjects.h"
#include "tools/qvl/Command.h"

namespace {

// Reports go to standard error, in the engine's format.
class CConsoleScriptEngine : public CScriptEngine {
public:
    void Report(int, const std::string& strText) override
    {
        std::fprintf(stderr, "%s\n", strText.c_str());
    }
};

// debugOut(...): the arguments as text, joined by blanks, on standard output.
bool DebugOut(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    std::string strLine;
    for (unsigned i = 0; i < args.length(); ++i) {
        JS::RootedString str(cx, JS::ToString(cx, args[i]));
        JS::UniqueChars utf8 = str ? JS_EncodeStringToUTF8(cx, str) : nullptr;
        if (!utf8)
            return false;
        strLine += (i ? " " : "") + std::string(utf8.get());
    }
    std::printf("%s\n", strLine.c_str());
    std::fflush(stdout);
    args.rval().setUndefined();
    return true;
}

int RunScript(const qvl::Arguments& args);

const qvl::Command kScriptCommand = {
    "script", "run FILE [--define-test-objects] | check FILE",
    "runs a theme script, or only compiles it, reporting errors at their file and line",
    "run: expands the #include directives of FILE (included files come from the including\n"
    "file's folder), runs it and exits with 1 when it fails. debugOut(...) prints its arguments\n"
    "on standard output; --define-test-objects also defines the binding's test classes\n"
    "(TestPoint, TestRect, TestImage, TestApp and the object testApp).\n"
    "check: expands and compiles FILE without running it.\n"
    "Errors are written to standard error as \"FILE(LINE) : MESSAGE\" and \"Error line: TEXT\".",
    RunScript};
const qvl::CommandRegistration g_registration(kScriptCommand);

int RunScript(const qvl::Arguments& args)
{
    bool bRun = !args.empty() && args[0] == "run";
    bool bCheck = !args.empty() && args[0] == "check";
    bool bTestObjects = bRun && args.size() == 3 && args[2] == "--define-test-objects";
    if (!(bRun || bCheck) || args.size() < 2 || (args.size() > 2 && !bTestObjects))
        return qvl::UsageError(kScriptCommand);

    bool bSucceeded = false;
    {
        CScriptRuntime runtime;
        CConsoleScriptEngine engine;
        if (!engine.Create(runtime)) {
            std::fprintf(stderr, "qvl: the script engine could not be started\n");
            ShutDownScriptLibrary();
            return qvl::kExitFailure;
        }
        std::unique_ptr<CJSObject> pTestApp;
        if (bTestObjects && !(pTestApp = DefineTestObjects(engine)))
            std::fprintf(stderr, "qvl: the test objects could not be defined\n");
        else if (bCheck)
            bSucceeded = engine.CheckFile(args[1]);
        else if (engine.DefineFunction("debugOut", DebugOut, 0))
            bSucceeded = engine.RunFile(args[1]);
    }
    ShutDownScriptLibrary();
    return bSucceeded ? qvl::kExitOk : qvl::kExitFailure;
}

}  // namespace
