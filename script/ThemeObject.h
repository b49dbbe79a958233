// The script object `theme` (class `Theme`): the files of the loaded theme for the theme script.
#pragma once
#include "script/ScriptEngine.h"

bool DefineThemeObject(CScriptEngine& engine);
