// The script class ChannelAssignment: a line-up entry as the theme script sees it, with its
// channel, display name, channel id, unique assigned id and EPG number.
#pragma once
#include "listings/ChannelAssignment.h"
#include "script/JSObject.h"

extern const CJSClassRecord g_channelAssignmentClass;

// A script ChannelAssignment for the entry, or null for none; false after a report.
bool ChannelAssignmentValue(JSContext* cx, const CChannelAssignmentPtr& pAssignment, JS::MutableHandleValue rval);
