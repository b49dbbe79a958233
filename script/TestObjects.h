// Small script classes that take every path of the class binding, so that the binding can be
// tried from a script ("qvl script run --define-test-objects") and tested:
//
//   TestPoint(x, y)                      made by script; x, y (read and write)
//   TestRect(left, top, right, bottom)   made by script; left, top, right, bottom (read and
//                                        write), width (read only); contains(point),
//                                        offset(dx, dy) (exactly two numbers)
//   TestImage                            not made by script; width (read only) and tag, a
//                                        property its native object does not handle
//   TestApp                              may be constructed, but its factory makes nothing
//   testApp                              the static TestApp object: name (text, read and write),
//                                        liveObjects (read only), a property "missing" that its
//                                        native object does not handle; makeImage(width),
//                                        area(rect), echoText(value), echoInt(value),
//                                        echoBool(value), collect()
//   knTestOne, knTestHalf                global constants 1 and 0.5
#pragma once
#include <memory>

#include "script/JSObject.h"

// Defines the classes, the object testApp and the constants on the engine. The answer is testApp's native
// object: keep it while the engine exists.
std::unique_ptr<CJSObject> DefineTestObjects(CScriptEngine& engine);

// Native objects of TestPoint, TestRect and TestImage that exist now.
int LiveTestObjects();
