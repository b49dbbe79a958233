// The native side of the script object `app`: what the theme script asks of the application.
// The application derives from it; the script classes reach it through Get().
#pragma once
#include <cstdint>
#include <string>

#include "foundation/FolderPaths.h"
#include "script/CommandLineArguments.h"
#include "script/JSObject.h"

class CJSWindow;
class CWindowSection;

class CAppObject : public CJSObject {
public:
    enum { kName = 1, kBuildNumber = 2, kVersion = 3, kProductID = 6 };
    static constexpr int kProductNumber = 4;

    CAppObject();
    ~CAppObject() override;

    // The application while it exists, else null.
    static CAppObject* Get();
    static const CJSClassRecord& ClassRecord();

    // Defines the class `App` and the objects `app`, `app.paths` and `app.settings` with the
    // functions every application has; false after a report when one cannot be made.
    bool DefineScriptObjects(CScriptEngine& engine, CJSObject& paths, CJSObject& settings);
    // The further functions of the guide: updating, hot keys.
    bool DefineGuideFunctions(CScriptEngine& engine);

    // Calls app.onIdle(count), then collects; the script's answer (false when it has none).
    bool CallOnIdle(uint32_t count);
    // The message loop until a quit message, then app.onQuit() (see `app.run`).
    void RunUntilQuit();

    const std::string& GetName() const { return m_strName; }
    void SetName(const std::string& name) { m_strName = name; }
    CCommandLineArguments& GetArguments() { return m_arguments; }
    // The engine while the theme runs, else null.
    CScriptEngine* GetScriptEngine() const { return m_pScriptEngine; }
    JSObject* GetAppObject() const { return GetScriptObject(); }

    bool GetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp) override;
    bool SetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp) override;

    // What the application itself answers.
    virtual int RunMessageLoop() = 0;
    virtual void ReportText(const std::string& text) = 0;
    virtual CFolderPaths& GetPaths() = 0;
    virtual void SetMainWindowHandle(uint32_t hwnd) = 0;
    virtual bool IsUpdating() const = 0;
    // Starts an update run whose failures are reported to the window (app.updateListings).
    virtual void UpdateListings(uint32_t hwnd) {}
    // Cancels and deletes the update run, if there is one (app.stopUpdating).
    virtual void StopUpdating() {}
    // The window section behind a script `Window`; null when the application has no windows.
    virtual CWindowSection* CreateWindowSection(CJSWindow& window) { return nullptr; }
    virtual bool IsInternetAvailable() { return false; }
    virtual std::string GetProductVersionText() const = 0;
    virtual std::string GetBuildNumberText() const = 0;

protected:
    CScriptEngine* m_pScriptEngine = nullptr;

private:
    std::string m_strName = "No name set";
    CCommandLineArguments m_arguments;
};
