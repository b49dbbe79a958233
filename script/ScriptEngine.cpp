#include "script/ScriptEngine.h"

#include <js/CompilationAndEvaluation.h>
#include <js/ErrorReport.h>
#include <js/Exception.h>
#include <js/friend/ErrorMessages.h>
#include <js/Initialization.h>
#include <js/SourceText.h>
#include <js/Warnings.h>
#include <jsfriendapi.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <string_view>

#include "foundation/FileUtils.h"
#include "foundation/Log.h"
#include "platform/MessageBox.h"
#include "script/theme/Theme.h"

namespace {

// Native stack that script may use before it gets "too much recursion" instead of a crash.
constexpr size_t kNativeStackQuota = 1024 * 1024;
// How often running script reaches a branch point when nothing else asks for one.
constexpr auto kBranchInterval = std::chrono::milliseconds(50);
// Includes nest at most this deep below the main file.
constexpr size_t kMaxIncludeDepth = 16;

const JSClass kGlobalClass = {"Global", JSCLASS_GLOBAL_FLAGS, &JS::DefaultGlobalClassOps, nullptr, nullptr, nullptr};

enum class LibraryState { Uninitialised, Running, ShutDown };
std::mutex g_lockLibrary;
LibraryState g_libraryState = LibraryState::Uninitialised;

// Callbacks being run at a branch point; a callback that makes script run again must not
// start a second drain inside the first.
int g_nDraining = 0;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view TrimLeft(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    return text;
}

void TrimRight(std::string& strText)
{
    while (!strText.empty() && std::isspace(static_cast<unsigned char>(strText.back())))
        strText.pop_back();
}

std::string FolderOf(const std::string& strPath)
{
    size_t nSlash = strPath.find_last_of('/');
    return nSlash == std::string::npos ? std::string() : strPath.substr(0, nSlash + 1);
}

std::string FileNameOf(const std::string& strPath)
{
    size_t nSlash = strPath.find_last_of('/');
    return nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
}

// The lines of a script text as the engine counts them: ended by LF, CR LF, CR, U+2028 or U+2029.
std::vector<std::string_view> SplitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    size_t nStart = 0;
    for (size_t i = 0; i < text.size();) {
        size_t nTerminator = 0;
        if (text[i] == '\n')
            nTerminator = 1;
        else if (text[i] == '\r')
            nTerminator = (i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
        else if (text.compare(i, 3, "\xE2\x80\xA8") == 0 || text.compare(i, 3, "\xE2\x80\xA9") == 0)
            nTerminator = 3;
        if (nTerminator == 0) {
            ++i;
            continue;
        }
        lines.push_back(text.substr(nStart, i - nStart));
        i += nTerminator;
        nStart = i;
    }
    lines.push_back(text.substr(nStart));
    return lines;
}

constexpr std::string_view kBeginMarker = "/*begincode:(";
constexpr std::string_view kEndMarker = "/*endcode";

// Finds the file and the line within it of line nIndex (from 0) of an expanded text: walking
// upwards, the nearest begin marker that is not closed again names the file, and every line in
// between that belongs to that file itself (not to a file it included) counts.
void MapLine(const std::string& strSource, int nLineOffset, long nIndex, std::string& strFile,
             int& nLine, std::string& strLineText)
{
    std::vector<std::string_view> lines = SplitLines(strSource);
    if (nIndex < 0 || nIndex >= static_cast<long>(lines.size())) {
        strFile.clear();
        nLine = static_cast<int>(nIndex - nLineOffset + 1);
        return;
    }
    strLineText = std::string(lines[static_cast<size_t>(nIndex)]);
    int nDepth = 0;
    long nCount = nLineOffset;
    for (long k = nIndex - 1; k >= 0; --k) {
        std::string_view line = TrimLeft(lines[static_cast<size_t>(k)]);
        if (line.starts_with(kEndMarker)) {
            ++nDepth;
        } else if (line.starts_with(kBeginMarker)) {
            if (nDepth > 0) {
                --nDepth;
                continue;
            }
            line.remove_prefix(kBeginMarker.size());
            size_t nClose = line.rfind(")*/");
            strFile = std::string(line.substr(0, nClose == std::string_view::npos ? line.size() : nClose));
            break;
        } else if (nDepth == 0) {
            ++nCount;
        }
    }
    nLine = static_cast<int>(nCount - nLineOffset + 1);
}

std::string ToUtf8(JSContext* cx, const char16_t* pChars, size_t nLength)
{
    JS::RootedString str(cx, JS_NewUCStringCopyN(cx, pChars, nLength));
    JS::UniqueChars utf8 = str ? JS_EncodeStringToUTF8(cx, str) : nullptr;
    if (!utf8)
        JS_ClearPendingException(cx);
    return utf8 ? utf8.get() : "";
}

}  // namespace

bool InitScriptLibrary()
{
    std::lock_guard<std::mutex> lock(g_lockLibrary);
    if (g_libraryState == LibraryState::Uninitialised && JS_Init())
        g_libraryState = LibraryState::Running;
    return g_libraryState == LibraryState::Running;
}

void ShutDownScriptLibrary()
{
    std::lock_guard<std::mutex> lock(g_lockLibrary);
    if (g_libraryState == LibraryState::Running)
        JS_ShutDown();
    g_libraryState = LibraryState::ShutDown;
}

std::string FormatScriptTextV(const char* pszFormat, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    int nLength = std::vsnprintf(nullptr, 0, pszFormat, copy);
    va_end(copy);
    if (nLength <= 0)
        return {};
    std::string strText(static_cast<size_t>(nLength), '\0');
    std::vsnprintf(strText.data(), strText.size() + 1, pszFormat, args);
    return strText;
}

std::string FormatScriptText(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    std::string strText = FormatScriptTextV(pszFormat, args);
    va_end(args);
    return strText;
}

// ---- runtime --------------------------------------------------------------------------------

// Promise jobs that fail are handed back to the embedding to report, in the realm of their
// global object.
struct CScriptRuntime::CJobReporter : js::ScriptEnvironmentPreparer {
    JSContext* m_pContext = nullptr;

    void invoke(JS::HandleObject global, Closure& closure) override
    {
        JSAutoRealm realm(m_pContext, global);
        if (closure(m_pContext))
            return;
        if (CScriptEngine* pEngine = CScriptEngine::FromContext(m_pContext))
            pEngine->ReportPendingException();
        else
            JS_ClearPendingException(m_pContext);
    }
};

CScriptRuntime::CScriptRuntime(uint32_t uMaxHeapBytes)
{
    if (!InitScriptLibrary())
        return;
    JSContext* cx = JS_NewContext(uMaxHeapBytes);
    if (!cx)
        return;
    if (!js::UseInternalJobQueues(cx) || !JS::InitSelfHostedCode(cx)) {
        JS_DestroyContext(cx);
        return;
    }
    JS_SetNativeStackQuota(cx, kNativeStackQuota);
    JS_AddInterruptCallback(cx, CScriptEngine::OnInterrupt);
    m_pJobReporter = std::make_unique<CJobReporter>();
    m_pJobReporter->m_pContext = cx;
    js::SetScriptEnvironmentPreparer(cx, m_pJobReporter.get());
    m_pContext = cx;
}

CScriptRuntime::~CScriptRuntime()
{
    if (m_pContext)
        JS_DestroyContext(m_pContext);
}

// ---- engine ---------------------------------------------------------------------------------

// Marks script as running for the branch watcher. The start of the outermost run is its first
// branch point, and its end runs the promise jobs that the script left.
struct CScriptEngine::CRunning {
    explicit CRunning(CScriptEngine& engine) : m_engine(engine)
    {
        {
            std::lock_guard<std::mutex> lock(m_engine.m_lockWatch);
            if (m_engine.m_nRunning++ != 0)
                return;
        }
        m_engine.m_cvWatch.notify_all();
        m_engine.DrainCallbacks();
    }
    ~CRunning()
    {
        if (m_engine.m_nRunning == 1)
            js::RunJobs(m_engine.m_pContext);
        std::lock_guard<std::mutex> lock(m_engine.m_lockWatch);
        --m_engine.m_nRunning;
    }
    CScriptEngine& m_engine;
};

CScriptEngine::CScriptEngine() = default;

CScriptEngine::~CScriptEngine()
{
    Destroy();
    std::lock_guard<std::mutex> lock(m_lockQueue);
    for (CQueuedCallback* pCallback : m_vecQueue)
        pCallback->Destroy();
}

bool CScriptEngine::LoadInclude(const std::string& strName, const std::string& strIncludingPath,
                                std::string& strText)
{
    return ReadWholeFile(FolderOf(strIncludingPath) + FileNameOf(strName), strText);
}

void CScriptEngine::Report(int, const std::string&) {}

bool CScriptEngine::OnBranch() { return true; }

bool CScriptEngine::OnGarbageCollection(GCPhase phase)
{
    if (!m_bLogGarbageCollection)
        return true;
    static const char* const kPhaseNames[] = {"JSGC_BEGIN", "JSGC_END", "JSGC_MARK_END",
                                              "JSGC_FINALIZE_END"};
    ReportFormat(0, "Garbage collector running; %s", kPhaseNames[static_cast<int>(phase)]);
    return true;
}

bool CScriptEngine::Create(CScriptRuntime& runtime)
{
    JSContext* cx = runtime.GetContext();
    if (!cx || m_pContext || JS_GetContextPrivate(cx))
        return false;
    std::lock_guard<std::recursive_mutex> lock(m_lockEngine);
    m_pContext = cx;
    JS_SetContextPrivate(cx, this);
    JS::SetWarningReporter(cx, OnWarning);
    JS_SetGCCallback(cx, OnGCStatus, this);
    JS_AddFinalizeCallback(cx, OnFinalizeStatus, this);

    JS::RealmOptions options;
    JS::RootedObject global(cx, JS_NewGlobalObject(cx, &kGlobalClass, nullptr,
                                                   JS::FireOnNewGlobalHook, options));
    bool bCreated = global != nullptr;
    if (bCreated) {
        JSAutoRealm realm(cx, global);
        bCreated = JS::InitRealmStandardClasses(cx);
    }
    if (!bCreated) {
        JS_ClearPendingException(cx);
        Destroy();
        return false;
    }
    m_global.init(cx, global);
    m_script.init(cx);
    m_threadWatcher = std::thread(&CScriptEngine::WatchBranches, this);
    return true;
}

void CScriptEngine::Destroy()
{
    if (!m_pContext)
        return;
    if (m_threadWatcher.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_lockWatch);
            m_bStopWatching = true;
        }
        m_cvWatch.notify_all();
        m_threadWatcher.join();
    }
    std::lock_guard<std::recursive_mutex> lock(m_lockEngine);
    JSContext* cx = m_pContext;
    JS_SetGCCallback(cx, nullptr, nullptr);
    JS_RemoveFinalizeCallback(cx, OnFinalizeStatus);
    JS::SetWarningReporter(cx, nullptr);
    m_mapPrototypes.clear();
    if (m_script.initialized())
        m_script.reset();
    if (m_global.initialized())
        m_global.reset();
    // Nothing roots this engine's objects any more: collect them now, so that native objects
    // owned by script are deleted, and static ones unbound, while the engine still exists.
    JS_GC(cx);
    JS_SetContextPrivate(cx, nullptr);
    std::lock_guard<std::mutex> lockWatch(m_lockWatch);   // other threads may be queueing
    m_pContext = nullptr;
}

void CScriptEngine::Enter()
{
    m_lockEngine.lock();
    m_vecRealms.push_back(m_pContext ? JS::EnterRealm(m_pContext, m_global) : nullptr);
}

void CScriptEngine::Leave()
{
    JS::Realm* pOldRealm = m_vecRealms.back();
    m_vecRealms.pop_back();
    if (m_pContext)
        JS::LeaveRealm(m_pContext, pOldRealm);
    m_lockEngine.unlock();
}

CScriptEngine* CScriptEngine::FromContext(JSContext* cx)
{
    return cx ? static_cast<CScriptEngine*>(JS_GetContextPrivate(cx)) : nullptr;
}

// ---- compiling and running ------------------------------------------------------------------

void CScriptEngine::FailInclude(const std::string& strText)
{
    m_strLastError = strText;
    Report(1, strText);
}

bool CScriptEngine::Expand(const std::string& strText, const std::string& strPath,
                           std::vector<std::string>& chain, std::string& strOut)
{
    std::string strWrapped = "/*begincode:(" + strPath + ")*/\r\n" + strText + "\r\n/*endcode:(" +
                             strPath + ")*/\r\n";
    static constexpr std::string_view kDirective = "#include";
    size_t nPos = 0;
    while ((nPos = strWrapped.find(kDirective, nPos)) != std::string::npos) {
        size_t nAfter = nPos + kDirective.size();
        size_t nLineStart = nPos;
        while (nLineStart > 0 && strWrapped[nLineStart - 1] != '\r' && strWrapped[nLineStart - 1] != '\n')
            --nLineStart;
        bool bDirective = std::all_of(strWrapped.begin() + static_cast<long>(nLineStart),
                                      strWrapped.begin() + static_cast<long>(nPos), IsBlank);
        size_t nQuote = nAfter;
        while (nQuote < strWrapped.size() && IsBlank(strWrapped[nQuote]))
            ++nQuote;
        if (!bDirective || nQuote >= strWrapped.size() || strWrapped[nQuote] != '"') {
            nPos = nAfter;   // left for the compiler to reject
            continue;
        }
        size_t nClose = strWrapped.find_first_of("\"\r\n", nQuote + 1);
        if (nClose == std::string::npos)
            nClose = strWrapped.size();
        std::string strName = strWrapped.substr(nQuote + 1, nClose - nQuote - 1);
        std::replace(strName.begin(), strName.end(), '\\', '/');
        std::string strIncludedPath = FolderOf(strPath) + FileNameOf(strName);
        std::string strIncluded;
        if (nClose == strWrapped.size() || strWrapped[nClose] != '"') {   // no closing quote
            FailInclude(FormatScriptText("Failed to find include file '%s' included in '%s'",
                                         strName.c_str(), strPath.c_str()));
            return false;
        }
        if (std::find(chain.begin(), chain.end(), strIncludedPath) != chain.end()) {
            FailInclude(FormatScriptText("Include file '%s' included in '%s' is already being included",
                                         strName.c_str(), strPath.c_str()));
            return false;
        }
        if (chain.size() > kMaxIncludeDepth) {
            FailInclude(FormatScriptText("Include file '%s' included in '%s' is nested more than %d levels deep",
                                         strName.c_str(), strPath.c_str(), static_cast<int>(kMaxIncludeDepth)));
            return false;
        }
        if (!LoadInclude(strName, strPath, strIncluded)) {
            FailInclude(FormatScriptText("Failed to find include file '%s' included in '%s'",
                                         strName.c_str(), strPath.c_str()));
            return false;
        }
        chain.push_back(strIncludedPath);
        std::string strExpanded;
        bool bExpanded = Expand(strIncluded, strIncludedPath, chain, strExpanded);
        chain.pop_back();
        if (!bExpanded)
            return false;
        strWrapped.replace(nPos, nClose + 1 - nPos, strExpanded);
        nPos += strExpanded.size();
    }
    strOut = std::move(strWrapped);
    return true;
}

bool CScriptEngine::Compile(const std::string& strText, const std::string& strFileName,
                            int nLineOffset, JS::MutableHandleScript script)
{
    m_nLineOffset = nLineOffset;
    if (strText.empty())
        ReportFormat(0, "\tScript file '%s' did not have any content to execute", strFileName.c_str());
    std::vector<std::string> chain{strFileName};
    std::string strExpanded;
    if (!Expand(strText, strFileName, chain, strExpanded))
        return false;
    m_strScriptText = std::move(strExpanded);
    m_mapSourceTexts[strFileName] = m_strScriptText;

    JSContext* cx = m_pContext;
    JS::CompileOptions options(cx);
    options.setFileAndLine(strFileName.c_str(), 1);
    JS::SourceText<mozilla::Utf8Unit> source;
    if (source.init(cx, m_strScriptText.data(), m_strScriptText.size(), JS::SourceOwnership::Borrowed))
        script.set(JS::Compile(cx, options, source));
    if (!script) {
        ReportPendingException();
        return false;
    }
    m_script = script;
    return true;
}

bool CScriptEngine::RunText(const std::string& strText, const std::string& strFileName, int nLineOffset)
{
    if (!m_pContext)
        return false;
    CEnter enter(*this);
    JS::RootedScript script(m_pContext);
    if (!Compile(strText, strFileName, nLineOffset, &script))
        return false;
    CRunning running(*this);
    JS::RootedValue result(m_pContext);
    if (JS_ExecuteScript(m_pContext, script, &result))
        return true;
    ReportPendingException();
    return false;
}

bool CScriptEngine::RunFile(const std::string& strPath)
{
    std::string strText;
    if (!ReadWholeFile(strPath, strText)) {
        ReportFormat(1, "Failed to load script file '%s'", strPath.c_str());
        return false;
    }
    return RunText(strText, strPath);
}

bool CScriptEngine::CheckText(const std::string& strText, const std::string& strFileName)
{
    if (!m_pContext)
        return false;
    CEnter enter(*this);
    JS::RootedScript script(m_pContext);
    return Compile(strText, strFileName, 0, &script);
}

bool CScriptEngine::CheckFile(const std::string& strPath)
{
    std::string strText;
    if (!ReadWholeFile(strPath, strText)) {
        ReportFormat(1, "Failed to load script file '%s'", strPath.c_str());
        return false;
    }
    return CheckText(strText, strPath);
}

bool CScriptEngine::CallFunction(JS::HandleObject obj, const char* pszName, bool* pbResult,
                                 const JS::HandleValueArray& args, bool bCollect)
{
    if (pbResult)
        *pbResult = false;
    if (!m_pContext || !obj)
        return false;
    CEnter enter(*this);
    JS::RootedValue function(m_pContext);
    if (!JS_GetProperty(m_pContext, obj, pszName, &function)) {
        ReportPendingException();
        return false;
    }
    if (!function.isObject() || !JS::IsCallable(&function.toObject()))
        return false;
    return CallFunction(obj, function, pbResult, args, bCollect);
}

bool CScriptEngine::CallFunction(JS::HandleObject obj, JS::HandleValue function, bool* pbResult,
                                 const JS::HandleValueArray& args, bool bCollect)
{
    if (pbResult)
        *pbResult = false;
    if (!m_pContext)
        return false;
    CEnter enter(*this);
    JS::RootedValue result(m_pContext);
    bool bCalled;
    {
        CRunning running(*this);
        bCalled = JS_CallFunctionValue(m_pContext, obj, function, args, &result);
        if (!bCalled)
            ReportPendingException();
    }
    if (!bCalled)
        return false;
    if (pbResult)
        *pbResult = result.isTrue();
    if (bCollect)
        CollectGarbage();
    return true;
}

bool CScriptEngine::DefineFunction(const char* pszName, JSNative function, unsigned nArgs)
{
    if (!m_pContext)
        return false;
    CEnter enter(*this);
    return JS_DefineFunction(m_pContext, m_global, pszName, function, nArgs, 0) != nullptr;
}

bool CScriptEngine::DefineFunctions(const JSFunctionSpec* pTable)
{
    if (!m_pContext)
        return false;
    CEnter enter(*this);
    return JS_DefineFunctions(m_pContext, m_global, pTable);
}

void CScriptEngine::CollectGarbage()
{
    if (!m_pContext)
        return;
    CEnter enter(*this);
    JS_GC(m_pContext);
}

JSObject* CScriptEngine::GetPrototype(const JSClass* pClass) const
{
    auto it = m_mapPrototypes.find(pClass);
    return it == m_mapPrototypes.end() ? nullptr : it->second->get();
}

void CScriptEngine::SetPrototype(const JSClass* pClass, JS::HandleObject proto)
{
    m_mapPrototypes[pClass] = std::make_unique<JS::PersistentRootedObject>(m_pContext, proto);
}

// ---- reports --------------------------------------------------------------------------------

void CScriptEngine::ReportFormat(int nLevel, const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    std::string strText = FormatScriptTextV(pszFormat, args);
    va_end(args);
    Report(nLevel, strText);
}

void CScriptEngine::ReportScriptError(const std::string& strMessage)
{
    JS::AutoFilename file;
    unsigned nLine = 0;
    if (m_pContext && JS::DescribeScriptedCaller(m_pContext, &file, &nLine) && file.get())
        ReportError(strMessage, true, file.get(), nLine, std::string(), 1);
    else
        ReportError(strMessage, false, nullptr, 0, std::string(), 1);
}

void CScriptEngine::ReportPendingException()
{
    JSContext* cx = m_pContext;
    if (!cx || !JS_IsExceptionPending(cx))
        return;   // nothing pending: the script was stopped, not failed
    JS::ExceptionStack stack(cx);
    JS::ErrorReportBuilder builder(cx);
    if (!JS::StealPendingExceptionStack(cx, &stack) ||
        !builder.init(cx, stack, JS::ErrorReportBuilder::NoSideEffects)) {
        JS_ClearPendingException(cx);
        ReportFormat(1, "No error script error report");
        return;
    }
    const JSErrorReport* pReport = builder.report();
    std::string strLineText;
    if (pReport->linebuf())
        strLineText = ToUtf8(cx, pReport->linebuf(), pReport->linebufLength());
    const char* pszMessage = builder.toStringResult().c_str();
    ReportError(pszMessage ? pszMessage : "Script Error", true, pReport->filename, pReport->lineno,
                strLineText, 1);
}

void CScriptEngine::ReportError(const std::string& strMessage, bool bHasReport, const char* pszFile,
                                unsigned nLine, const std::string& strReportLine, int nLevel)
{
    std::string strText;
    if (!bHasReport) {
        strText = "JscriptError: " + strMessage;
    } else {
        std::string strFile = pszFile ? pszFile : "";
        int nMappedLine = m_nLineOffset + static_cast<int>(nLine);
        std::string strLineText = strReportLine;
        auto it = m_mapSourceTexts.find(strFile);
        const std::string& strSource = it != m_mapSourceTexts.end() ? it->second : m_strScriptText;
        if (!strSource.empty() && !strFile.empty() && nLine > 0 &&
            strSource.find(strFile) != std::string::npos)
            MapLine(strSource, m_nLineOffset, m_nLineOffset + static_cast<long>(nLine) - 1, strFile,
                    nMappedLine, strLineText);
        strText = strFile + "(" + std::to_string(nMappedLine) + ") : " + strMessage + "\n";
        TrimRight(strLineText);
        if (!strLineText.empty())
            strText += "Error line: " + strLineText + "\n";
    }
    TrimRight(strText);
    if (nLevel != 0)
        m_strLastError = strText;
    Report(nLevel, strText);
}

void CScriptEngine::OnWarning(JSContext* cx, JSErrorReport* pReport)
{
    CScriptEngine* pEngine = FromContext(cx);
    if (!pEngine || !pReport || pReport->errorNumber == JSMSG_TERMINATED)
        return;   // a script that OnBranch stopped ends quietly
    const char* pszMessage = pReport->message().c_str();
    pEngine->ReportError(pszMessage ? pszMessage : "Script warning", true, pReport->filename,
                         pReport->lineno, std::string(), 0);
}

// ---- branch points and the callback queue ---------------------------------------------------

void CScriptEngine::QueueCallback(CQueuedCallback* pCallback)
{
    {
        std::lock_guard<std::mutex> lock(m_lockQueue);
        m_vecQueue.push_back(pCallback);
    }
    RequestBranch();
}

void CScriptEngine::RequestBranch()
{
    std::lock_guard<std::mutex> lock(m_lockWatch);
    if (!m_pContext)
        return;
    m_bInterruptPending = true;
    JS_RequestInterruptCallback(m_pContext);
}

void CScriptEngine::WatchBranches()
{
    std::unique_lock<std::mutex> lock(m_lockWatch);
    while (!m_bStopWatching) {
        if (m_nRunning == 0 || m_bInterruptPending) {
            m_cvWatch.wait(lock);
            continue;
        }
        if (m_cvWatch.wait_for(lock, kBranchInterval, [this] { return m_bStopWatching; }))
            break;
        if (m_nRunning > 0 && !m_bInterruptPending) {
            m_bInterruptPending = true;
            JS_RequestInterruptCallback(m_pContext);
        }
    }
}

bool CScriptEngine::OnInterrupt(JSContext* cx)
{
    CScriptEngine* pEngine = FromContext(cx);
    return pEngine ? pEngine->HandleInterrupt() : true;
}

bool CScriptEngine::HandleInterrupt()
{
    {
        std::lock_guard<std::mutex> lock(m_lockWatch);
        m_bInterruptPending = false;
    }
    m_cvWatch.notify_all();
    DrainCallbacks();
    return OnBranch();
}

void CScriptEngine::DrainCallbacks()
{
    if (g_nDraining > 0)
        return;
    // Take the queued callbacks out and run them without the lock, so that a callback may
    // queue another one; those run at a later branch point.
    std::vector<CQueuedCallback*> vecBatch;
    {
        std::lock_guard<std::mutex> lock(m_lockQueue);
        vecBatch.swap(m_vecQueue);
    }
    if (vecBatch.empty())
        return;
    ++g_nDraining;
    for (CQueuedCallback* pCallback : vecBatch) {
        pCallback->Run();
        pCallback->Destroy();
    }
    --g_nDraining;
    bool bMore;
    {
        std::lock_guard<std::mutex> lock(m_lockQueue);
        bMore = !m_vecQueue.empty();
    }
    if (bMore)
        RequestBranch();
}

// ---- collection callbacks -------------------------------------------------------------------

void CScriptEngine::OnGCStatus(JSContext*, JSGCStatus status, JS::GCReason, void* pData)
{
    auto* pEngine = static_cast<CScriptEngine*>(pData);
    if (status == JSGC_BEGIN)
        pEngine->m_bMarkEndReported = false;
    pEngine->OnGarbageCollection(status == JSGC_BEGIN ? GCPhase::Begin : GCPhase::End);
}

void CScriptEngine::OnFinalizeStatus(JS::GCContext*, JSFinalizeStatus status, void* pData)
{
    auto* pEngine = static_cast<CScriptEngine*>(pData);
    if (status == JSFINALIZE_GROUP_PREPARE && !pEngine->m_bMarkEndReported) {
        pEngine->m_bMarkEndReported = true;
        pEngine->OnGarbageCollection(GCPhase::MarkEnd);
    } else if (status == JSFINALIZE_COLLECTION_END) {
        pEngine->OnGarbageCollection(GCPhase::FinalizeEnd);
    }
}

// ---- the application's engine ---------------------------------------------------------------

bool CThemeScriptEngine::LoadInclude(const std::string& strName, const std::string&, std::string& strText)
{
    return CTheme::Instance().ReadText(strName, strText);
}

void CThemeScriptEngine::Report(int nLevel, const std::string& strText)
{
    LogInfo("%s", strText.c_str());
    if (nLevel != 0)
        plat::MessageBox(0, strText, "Quilvo Lite Error", plat::MB_OK | plat::MB_ICONERROR);
}
