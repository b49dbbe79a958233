// The script classes Point, Size and Rect: the shapes that windows, images and drawing pass to
// and from the theme script, and the helpers native code uses to hand them out and read them.
#pragma once
#include "platform/Surface.h"
#include "script/JSObject.h"

// Defines Point, Size and Rect on the engine's global object.
bool DefineGeometryClasses(CScriptEngine& engine);

const CJSClassRecord& PointClassRecord();
const CJSClassRecord& SizeClassRecord();
const CJSClassRecord& RectClassRecord();

// New script objects holding the value, owned by script; null (with a pending error or a
// report) when the object cannot be made.
JSObject* NewPointObject(JSContext* cx, const plat::Point& point);
JSObject* NewSizeObject(JSContext* cx, const plat::Size& size);
JSObject* NewRectObject(JSContext* cx, const plat::Rect& rect);

// The value of a Point, Size or Rect object. Anything else reports the conversion message
// ("Object is not expected type 'Rect', you gave 'Point'" and the like) and answers false.
bool GetPointFromValue(JSContext* cx, JS::HandleValue value, plat::Point& point);
bool GetSizeFromValue(JSContext* cx, JS::HandleValue value, plat::Size& size);
bool GetRectFromValue(JSContext* cx, JS::HandleValue value, plat::Rect& rect);
