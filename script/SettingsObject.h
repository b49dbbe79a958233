// The script object `app.settings` (class `Settings`): the application's settings store for
// the theme script.
#pragma once
#include "foundation/SettingsStore.h"
#include "script/JSObject.h"

class CSettingsObject : public CJSObject {
public:
    explicit CSettingsObject(CSettingsStore& settings) : CJSObject(false), m_settings(settings) {}
    CSettingsStore& GetStore() { return m_settings; }

private:
    CSettingsStore& m_settings;
};

const CJSClassRecord& SettingsClassRecord();
