// The script class Image: a shared image of the image library handed to the theme script by
// system.getImage and theme.getImage, to measure, step through its frames and draw.
#pragma once
#include "images/Image.h"
#include "script/JSObject.h"

bool DefineImageClass(CScriptEngine& engine);
const CJSClassRecord& ImageClassRecord();

// A new Image object sharing the image, owned by script; null when it cannot be made.
JSObject* NewImageObject(JSContext* cx, CImagePtr pImage);
// The image behind an Image value; anything else reports the conversion message and answers
// null.
CImagePtr GetImageFromValue(JSContext* cx, JS::HandleValue value);
