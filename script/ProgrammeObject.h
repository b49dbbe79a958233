// The script class Programme: one programme as the theme script sees it, its times as Date
// objects, its parsed details, people and keywords, and its time and duration texts.
#pragma once
#include "listings/Programme.h"
#include "script/JSObject.h"

extern const CJSClassRecord g_programmeClass;

// An array of script Programmes, one for each programme of the list in its order; false after
// a report.
bool ProgrammeArray(JSContext* cx, const CProgrammeList& list, JS::MutableHandleValue rval);
