// The listings for the theme script: the objects app.listingsManager and app.channelManager,
// the classes Category and Channel behind what they answer, and the global constants of the
// programme sort modes and people roles.
#pragma once
#include "script/ScriptEngine.h"

// Defines the classes and the constants.
bool DefineListingsClasses(CScriptEngine& engine);

// app.getListingsManager() and app.getChannelManager(): the property of that name of app,
// defined on the first call.
bool GetListingsManagerObject(CScriptEngine& engine, JS::HandleObject app, JS::MutableHandleValue result);
bool GetChannelManagerObject(CScriptEngine& engine, JS::HandleObject app, JS::MutableHandleValue result);
