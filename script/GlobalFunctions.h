// The global functions and constants of the theme script: logging, message boxes, date texts,
// command-line arguments and the collector.
#pragma once
#include <string>

#include "script/ScriptEngine.h"

// Defines them on the engine's global object.
bool DefineGlobalFunctions(CScriptEngine& engine);

// Any script value as text, the way script itself converts it ("5" for the number 5).
std::string ScriptValueText(JSContext* cx, JS::HandleValue value);
