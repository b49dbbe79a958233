// The script class DrawContext: text, fonts and filled rectangles through a drawing context of
// the drawing library. One made by script has no context and draws and measures nothing.
#pragma once
#include "drawing/DrawDC.h"
#include "script/JSObject.h"

bool DefineDrawContextClass(CScriptEngine& engine);
const CJSClassRecord& DrawContextClassRecord();

// The drawing context behind a DrawContext value; null for a DrawContext without one. Anything
// that is not a DrawContext reports the conversion message and answers false.
bool GetDrawDCFromValue(JSContext* cx, JS::HandleValue value, CDrawDC*& pDC);

// A DrawContext script object over a drawing context for as long as this lives, for example for
// one paint. When this ends the object loses the context, so a script that kept the object
// draws nothing through it rather than through a context that is gone.
class CScriptDrawContext {
public:
    // Enter the engine first; GetObject is null when the object could not be made.
    CScriptDrawContext(JSContext* cx, CDrawDC* pDC);
    ~CScriptDrawContext();
    CScriptDrawContext(const CScriptDrawContext&) = delete;
    CScriptDrawContext& operator=(const CScriptDrawContext&) = delete;

    JSObject* GetObject() const;

private:
    CJSObject::CRef m_object;
};
