// The listings for the theme script: the objects app.listingsManager and app.channelManager,
// the classes Category, Channel, ChannelAssignment and Programme behind what they answer, and
// the global constants of the programme sort modes and people roles.
#pragma once
#include <string>

#include "listings/Category.h"
#include "listings/Channel.h"
#include "script/JSObject.h"

// Defines the classes and the constants.
bool DefineListingsClasses(CScriptEngine& engine);

// app.getListingsManager() and app.getChannelManager(): the property of that name of app,
// defined on the first call.
bool GetListingsManagerObject(CScriptEngine& engine, JS::HandleObject app, JS::MutableHandleValue result);
bool GetChannelManagerObject(CScriptEngine& engine, JS::HandleObject app, JS::MutableHandleValue result);

// Script values for the listings classes; false after a report.
bool TextValue(JSContext* cx, const std::string& text, JS::MutableHandleValue vp);
// A new object of the class bound to the native object, or null when there is none.
bool NativeValue(JSContext* cx, const CJSClassRecord& record, CJSObject* pNative, JS::MutableHandleValue rval);
bool CategoryValue(JSContext* cx, const CCategoryPtr& pCategory, JS::MutableHandleValue rval);
bool ChannelValue(JSContext* cx, const CChannelPtr& pChannel, JS::MutableHandleValue rval);
