// The script engine: one SpiderMonkey runtime per process and, over it, the engine that runs the
// theme's scripts. The engine compiles script texts after expanding their #include directives,
// calls script functions from native code, turns script errors into reports that name the
// source file and line, and runs the callbacks that other threads queue for the script thread.
#pragma once
#include <jsapi.h>

#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Start and end of the script library for the whole process: InitScriptLibrary before the first
// runtime (CScriptRuntime calls it), ShutDownScriptLibrary once after the last runtime is gone.
// The library cannot be started again after it was shut down.
bool InitScriptLibrary();
void ShutDownScriptLibrary();

// printf-style formatting into a text of any length. Outside text goes in as an argument only.
std::string FormatScriptText(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));
std::string FormatScriptTextV(const char* pszFormat, va_list args);

// The script runtime: SpiderMonkey's context of the creating thread, with its heap limit. Every
// engine over it, and all script, runs on that thread.
class CScriptRuntime {
public:
    static constexpr uint32_t kMaxHeapBytes = 0xFFFFFFFFu;

    explicit CScriptRuntime(uint32_t uMaxHeapBytes = kMaxHeapBytes);
    ~CScriptRuntime();   // after every engine over it has been deleted
    CScriptRuntime(const CScriptRuntime&) = delete;
    CScriptRuntime& operator=(const CScriptRuntime&) = delete;

    JSContext* GetContext() const { return m_pContext; }   // null when it could not be made

private:
    struct CJobReporter;
    std::unique_ptr<CJobReporter> m_pJobReporter;
    JSContext* m_pContext = nullptr;
};

// Work that another thread hands to the script thread (CScriptEngine::QueueCallback). It runs at
// the next branch point of running script, then it is destroyed.
class CQueuedCallback {
public:
    virtual ~CQueuedCallback() = default;
    virtual void Run() = 0;
    virtual void Destroy() { delete this; }
};

class CScriptEngine {
public:
    enum class GCPhase { Begin, End, MarkEnd, FinalizeEnd };

    CScriptEngine();
    virtual ~CScriptEngine();
    CScriptEngine(const CScriptEngine&) = delete;
    CScriptEngine& operator=(const CScriptEngine&) = delete;

    // The text of an included file: the file of the include name's name and extension in the
    // including file's folder.
    virtual bool LoadInclude(const std::string& strName, const std::string& strIncludingPath,
                             std::string& strText);
    // Every report of the engine ends here: level 0 is information, others are errors.
    virtual void Report(int nLevel, const std::string& strText);
    // Called at branch points of running script; false stops the script.
    virtual bool OnBranch();
    // Reports the phase when collection logging is on. Runs inside the collector: it must not
    // touch script objects (nor may Report, when it is called from here).
    virtual bool OnGarbageCollection(GCPhase phase);

    // Makes the global object of class "Global" with the standard classes on the runtime. Only
    // one engine at a time may use a runtime.
    bool Create(CScriptRuntime& runtime);

    // Every use of the context lies between Enter and Leave; they nest on the script thread.
    void Enter();
    void Leave();
    class CEnter {
    public:
        explicit CEnter(CScriptEngine& engine) : m_engine(engine) { m_engine.Enter(); }
        ~CEnter() { m_engine.Leave(); }
        CEnter(const CEnter&) = delete;
        CEnter& operator=(const CEnter&) = delete;
    private:
        CScriptEngine& m_engine;
    };

    // Expands the includes of the text, compiles it under the file name and runs it.
    bool RunText(const std::string& strText, const std::string& strFileName, int nLineOffset = 0);
    // Reads the whole file and runs it.
    bool RunFile(const std::string& strPath);
    // Expands and compiles without running: reports what a run would report before it starts.
    bool CheckText(const std::string& strText, const std::string& strFileName);
    bool CheckFile(const std::string& strPath);

    // Calls the function property of that name of the object with the object as "this". True
    // when the function exists and returned normally; *pbResult is then whether it answered
    // true. A failure of the call is reported. bCollect runs a collection after a good call.
    bool CallFunction(JS::HandleObject obj, const char* pszName, bool* pbResult,
                      const JS::HandleValueArray& args, bool bCollect = false);
    // The same with a function value.
    bool CallFunction(JS::HandleObject obj, JS::HandleValue function, bool* pbResult,
                      const JS::HandleValueArray& args, bool bCollect = false);

    bool DefineFunction(const char* pszName, JSNative function, unsigned nArgs);
    bool DefineFunctions(const JSFunctionSpec* pTable);
    void CollectGarbage();

    // Any thread: hands the callback to the script thread (the engine owns it from here).
    void QueueCallback(CQueuedCallback* pCallback);

    // Formats and hands the text to Report.
    void ReportFormat(int nLevel, const char* pszFormat, ...) __attribute__((format(printf, 3, 4)));
    // Reports a script error at the running script's file and line (without an error report
    // when no script is running).
    void ReportScriptError(const std::string& strMessage);
    // Reports the pending exception of the context, if there is one, and clears it.
    void ReportPendingException();

    JSContext* GetContext() const { return m_pContext; }
    JS::HandleObject GetGlobalObject() const { return m_global; }
    const std::string& GetLastError() const { return m_strLastError; }
    void SetGarbageCollectionLogging(bool bOn) { m_bLogGarbageCollection = bOn; }

    // The engine that uses the context, or null.
    static CScriptEngine* FromContext(JSContext* cx);

    // The prototype of a class defined on this engine's global object (the binding keeps them).
    JSObject* GetPrototype(const JSClass* pClass) const;
    void SetPrototype(const JSClass* pClass, JS::HandleObject proto);

private:
    struct CRunning;
    friend class CScriptRuntime;

    bool Compile(const std::string& strText, const std::string& strFileName, int nLineOffset,
                 JS::MutableHandleScript script);
    bool Expand(const std::string& strText, const std::string& strPath, std::vector<std::string>& chain,
                std::string& strOut);
    void FailInclude(const std::string& strText);
    // The error reporter: maps the report's line of the compiled text back to its file and line.
    void ReportError(const std::string& strMessage, bool bHasReport, const char* pszFile,
                     unsigned nLine, const std::string& strReportLine, int nLevel);
    void Destroy();

    void RequestBranch();
    void WatchBranches();
    static bool OnInterrupt(JSContext* cx);
    bool HandleInterrupt();
    void DrainCallbacks();
    static void OnGCStatus(JSContext* cx, JSGCStatus status, JS::GCReason reason, void* data);
    static void OnFinalizeStatus(JS::GCContext* gcx, JSFinalizeStatus status, void* data);
    static void OnWarning(JSContext* cx, JSErrorReport* report);

    JSContext* m_pContext = nullptr;
    JS::PersistentRootedObject m_global;
    JS::PersistentRootedScript m_script;   // the last compiled script ("script_root")
    std::map<const JSClass*, std::unique_ptr<JS::PersistentRootedObject>> m_mapPrototypes;

    std::string m_strScriptText;   // the last compiled text, after wrapping and expansion
    std::map<std::string, std::string> m_mapSourceTexts;   // every compiled text by file name
    int m_nLineOffset = 0;
    std::string m_strLastError;
    bool m_bLogGarbageCollection = false;
    bool m_bMarkEndReported = false;

    std::recursive_mutex m_lockEngine;
    std::vector<JS::Realm*> m_vecRealms;   // realms left by the nested Enters

    std::mutex m_lockQueue;
    std::vector<CQueuedCallback*> m_vecQueue;

    // Branch points: interrupts are requested when a callback is queued and, while script
    // runs, at a steady interval by the watcher thread.
    std::mutex m_lockWatch;
    std::condition_variable m_cvWatch;
    int m_nRunning = 0;
    bool m_bInterruptPending = false;
    bool m_bStopWatching = false;
    std::thread m_threadWatcher;
};

// The application's engine: included files come from the loaded theme, and errors are logged
// and shown in a message box.
class CThemeScriptEngine : public CScriptEngine {
public:
    // The theme's file of that name, as written (the including file's path plays no part).
    bool LoadInclude(const std::string& strName, const std::string& strIncludingPath,
                     std::string& strText) override;
    void Report(int nLevel, const std::string& strText) override;
};
