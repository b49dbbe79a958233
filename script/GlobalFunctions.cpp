#include "script/GlobalFunctions.h"

#include <cmath>

#include <js/Conversions.h>

#include "listings/DateTime.h"
#include "platform/MessageBox.h"
#include "script/AppObject.h"
#include "script/JSObject.h"

namespace {

std::string AppName()
{
    CAppObject* pApp = CAppObject::Get();
    return pApp ? pApp->GetName() : std::string();
}

bool SetText(JSContext* cx, const JS::CallArgs& args, const std::string& text)
{
    JSString* str = JSNewText(cx, text);
    if (!str)
        return false;
    args.rval().setString(str);
    return true;
}

bool DebugOut(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    std::string text;
    for (unsigned i = 0; i < args.length(); ++i) {
        if (i)
            text += ' ';
        text += ScriptValueText(cx, args[i]);
    }
    // The text goes in as an argument, never as a format, so "%" needs no doubling.
    if (CAppObject* pApp = CAppObject::Get())
        pApp->ReportText(FormatScriptText("\t\tDEBUG: %s", text.c_str()));
    args.rval().setUndefined();
    return true;
}

bool GetCommandLineArgument(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, "GetCommandLineArgument", 1, false))
        return false;
    CAppObject* pApp = CAppObject::Get();
    return SetText(cx, args, pApp ? pApp->GetArguments().GetValue(JSValueToText(cx, args[0])) : std::string());
}

bool DoesCommandLineArgumentExist(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, "DoesCommandLineArgumentExist", 1, false))
        return false;
    CAppObject* pApp = CAppObject::Get();
    args.rval().setBoolean(pApp && pApp->GetArguments().Exists(JSValueToText(cx, args[0])));
    return true;
}

bool Alert(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, "js_alert", 1, false))
        return false;
    plat::MessageBox(0, JSValueToText(cx, args[0]), AppName(), plat::MB_OK);
    args.rval().setUndefined();
    return true;
}

bool MessageBox(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, "messageBox", 2, false))
        return false;
    const std::string text = JSValueToText(cx, args[0]);
    const std::string caption = JSValueToText(cx, args[1]);
    const uint32_t flags = args.length() > 2 ? static_cast<uint32_t>(JSValueToInt(cx, args[2])) : 0;
    args.rval().setInt32(plat::MessageBox(0, text, caption, flags));
    return true;
}

template <bool (CDateTime::*Text)(std::string&) const>
bool FormatDate(JSContext* cx, unsigned argc, JS::Value* vp, const char* pszName)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, pszName, 1, false))
        return false;
    std::string text;
    (DateArgument(cx, args[0]).*Text)(text);
    return SetText(cx, args, text);
}

bool FormatTime(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, "formatTime", 1, false))
        return false;
    std::string text;
    DateArgument(cx, args[0]).GetTimeText(text);
    return SetText(cx, args, text);
}

bool FormatShortDate(JSContext* cx, unsigned argc, JS::Value* vp)
{
    return FormatDate<&CDateTime::GetShortDateText>(cx, argc, vp, "formatShortDate");
}

bool FormatLongDate(JSContext* cx, unsigned argc, JS::Value* vp)
{
    return FormatDate<&CDateTime::GetLongDateText>(cx, argc, vp, "formatLongDate");
}

bool RunGarbageCollector(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, "runGarbageCollector", 0, true))
        return false;
    if (CScriptEngine* pEngine = CScriptEngine::FromContext(cx))
        pEngine->CollectGarbage();
    args.rval().setUndefined();
    return true;
}

const JSFunctionSpec kGlobalFunctions[] = {
    JS_FN("debugOut", DebugOut, 0, 0),
    JS_FN("getCommandLineArgument", GetCommandLineArgument, 1, 0),
    JS_FN("doesCommandLineArgumentExist", DoesCommandLineArgumentExist, 1, 0),
    JS_FN("alert", Alert, 1, 0),
    JS_FN("formatTime", FormatTime, 1, 0),
    JS_FN("formatShortDate", FormatShortDate, 1, 0),
    JS_FN("formatLongDate", FormatLongDate, 1, 0),
    JS_FN("runGarbageCollector", RunGarbageCollector, 0, 0),
    JS_FN("messageBox", MessageBox, 2, 0),
    JS_FS_END};

const CJSConstantSpec kMessageBoxConstants[] = {
    {plat::MB_OK, "knMBOK"},
    {plat::MB_OKCANCEL, "knMBOKCancel"},
    {plat::MB_YESNO, "knMBYesNo"},
    {plat::MB_YESNOCANCEL, "knMBYesNoCancel"},
    {plat::MB_RETRYCANCEL, "knMBRetryCancel"},
    {plat::MB_ABORTRETRYIGNORE, "knMBAbortRetryIgnore"},
    {6, "knMBCancelTryContinue"},
    {plat::MB_ICONEXCLAMATION, "knMBIconExclamation"},
    {plat::MB_ICONINFORMATION, "knMBIconInformation"},
    {plat::MB_ICONQUESTION, "knMBIconQuestion"},
    {plat::MB_ICONSTOP, "knMBIconStop"},
    {plat::MB_DEFBUTTON1, "knMBDefault1"},
    {plat::MB_DEFBUTTON2, "knMBDefault2"},
    {plat::MB_DEFBUTTON3, "knMBDefault3"},
    {0x300, "knMBDefault4"},
    {plat::IDYES, "knMBReturnYes"},
    {plat::IDNO, "knMBReturnNo"},
    {plat::IDOK, "knMBReturnOK"},
    {plat::IDCANCEL, "knMBReturnCancel"},
    {plat::IDABORT, "knMBReturnAbort"},
    {11, "knMBReturnContinue"},
    {plat::IDIGNORE, "knMBReturnIgnore"},
    {plat::IDRETRY, "knMBReturnRetry"},
    {10, "knMBReturnTryAgain"},
    {0, nullptr}};

}  // namespace

bool DefineGlobalFunctions(CScriptEngine& engine)
{
    JSContext* cx = engine.GetContext();
    if (!cx)
        return false;
    CScriptEngine::CEnter enter(engine);
    return engine.DefineFunctions(kGlobalFunctions) &&
           DefineConstants(cx, engine.GetGlobalObject(), kMessageBoxConstants);
}

std::string ScriptValueText(JSContext* cx, JS::HandleValue value)
{
    JS::RootedString str(cx, JS::ToString(cx, value));
    JS::UniqueChars utf8 = str ? JS_EncodeStringToUTF8(cx, str) : nullptr;
    if (!utf8) {
        JS_ClearPendingException(cx);
        return std::string();
    }
    return utf8.get();
}

CDateTime DateArgument(JSContext* cx, JS::HandleValue value)
{
    if (!value.isObject()) {
        JSReport(cx, "Variable is not an int, was (%s)", JS::InformalValueTypeName(value));
        return CDateTime();
    }
    // The Date's instant, to the minute: its local fields would name two instants in the hour
    // that comes twice when the clocks go back.
    JS::RootedObject date(cx, &value.toObject());
    JS::RootedValue result(cx);
    double milliseconds = 0;
    if (!JS_CallFunctionName(cx, date, "getTime", JS::HandleValueArray::empty(), &result) ||
        !JS::ToNumber(cx, result, &milliseconds)) {
        JS_ClearPendingException(cx);
        return CDateTime();
    }
    if (!std::isfinite(milliseconds))
        return CDateTime();
    return CDateTime(static_cast<int64_t>(std::floor(milliseconds / 60000.0)) * 60);
}
