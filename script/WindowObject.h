// The script class `Window`: a top-level window that the theme script makes, its timers (whose
// functions stay alive while their timer runs) and the functions its window events call. The
// window behind it is the window section the application makes for script windows.
#pragma once
#include <cstdint>
#include <memory>
#include <unordered_map>

#include "script/JSObject.h"

class CWindowSection;

class CJSWindow : public CJSObject {
public:
    enum { kCaption = 1, kCursor = 2 };

    // The window section comes from the application (CAppObject::CreateWindowSection).
    explicit CJSWindow(CJSWindow* pParent);
    ~CJSWindow() override;

    static const CJSClassRecord& ClassRecord();
    // Defines the class `Window` and the cursor and tray-icon constants.
    static bool DefineWindowClass(CScriptEngine& engine);
    // Destroys every script window and lets go of its timer functions: the engine is going.
    static void DestroyAll();

    // The value is an object of class `Window`. pNative is its native object, null when it has
    // none (then "Variable passed is not a CJSWindow object" has been reported).
    static bool FromValue(JSContext* cx, JS::HandleValue value, CJSWindow*& pNative);

    // The section; null only when the application could not make one.
    CWindowSection* GetWindowSection() const { return m_pSection.get(); }
    // Calls the function that timerStart stored under the id, with this window as "this";
    // false when that id has no function (stopped meanwhile) or the call failed.
    bool CallTimerFunction(uintptr_t uTimerId);
    // Calls the window object's function of that name; false when it is missing or failed.
    bool CallWindowFunction(const char* pszName, const JS::HandleValueArray& args);
    // The window is gone, and with it its timers.
    void ForgetTimers() { m_mapTimers.clear(); }

    // Script functions.
    bool Create(JSContext* cx, const JS::CallArgs& args);
    bool TimerStart(JSContext* cx, const JS::CallArgs& args);
    bool TimerStop(JSContext* cx, const JS::CallArgs& args);
    bool GetRect(JSContext* cx, const JS::CallArgs& args);
    bool GetClientCursorPosition(JSContext* cx, const JS::CallArgs& args);

    bool GetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp) override;
    bool SetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp) override;

private:
    CJSObject::CRef m_parent;
    std::unique_ptr<CWindowSection> m_pSection;
    // Timer id to the script function it calls, rooted while the timer exists.
    std::unordered_map<uintptr_t, std::unique_ptr<JS::PersistentRootedValue>> m_mapTimers;
};
