// The global functions and constants of the theme script: logging, message boxes, date texts,
// command-line arguments and the collector.
#pragma once
#include <string>

#include "listings/DateTime.h"
#include "script/ScriptEngine.h"

// Defines them on the engine's global object.
bool DefineGlobalFunctions(CScriptEngine& engine);

// Any script value as text, the way script itself converts it ("5" for the number 5).
std::string ScriptValueText(JSContext* cx, JS::HandleValue value);

// The instant of a script Date, to the minute (seconds 0); invalid after a report for a value
// that is not an object, and for an object without a valid time.
CDateTime DateArgument(JSContext* cx, JS::HandleValue value);
