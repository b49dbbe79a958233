// The script object `system` (class `System`): operating-system services for the theme script.
#pragma once
#include "script/ScriptEngine.h"

bool DefineSystemObject(CScriptEngine& engine);
