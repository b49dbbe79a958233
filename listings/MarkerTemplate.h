// A marker type as a "*.qvmarker" template file describes it: its name and id, the script code
// that gives its markers their behaviour, key commands, search terms and options, with the
// user's option values kept beside the file in a ".options" file.
#pragma once
#include <string>
#include <vector>

#include "listings/Marker.h"

class CMarkerTemplate {
public:
    struct KeyCommand {
        std::string m_strCommand;
        std::string m_strCode;
    };
    struct Option {
        std::string m_strName;
        std::string m_strType;       // "int" is checked against m_nMin and m_nMax
        std::string m_strDefault;
        std::string m_strMin;
        std::string m_strMax;
        std::string m_strValue;      // the user's value; empty: the default applies
    };

    std::string m_strName;
    int m_nID = 0;
    int m_nVersion = 1;
    bool m_bAllowMarkers = true;
    std::string m_strCode;
    int m_nCodeLine = 1;             // the line of the template file on which the code starts
    std::vector<KeyCommand> m_keyCommands;
    std::vector<std::string> m_searchTerms;
    std::vector<Option> m_options;
    std::string m_strFile;           // the template file it came from

    // The script code with "$MarkerName", "$MarkerTypeID", "$MarkerBlob" and "$MarkerIcon"
    // replaced by the marker's values. Names, blobs and icons are written as the content of a
    // JavaScript string literal (quotes, backslashes and line breaks escaped), so the code must
    // place them inside quotes; the type id is a number.
    static std::string Substitute(const std::string& strCode, const CMarker& marker);
    std::string GetCode(const CMarker& marker) const { return Substitute(m_strCode, marker); }

    // The name of the type's default marker: "%d-defaults" with the type id.
    std::string GetDefaultMarkerName() const { return std::to_string(m_nID) + "-defaults"; }

    // The value of an option (the user's or else the default); "" for an unknown name.
    // Integer options are kept within their minimum and maximum.
    std::string GetOptionValue(const std::string& strName) const;
    // False for an unknown option.
    bool SetOptionValue(const std::string& strName, const std::string& strValue);

    // The ".options" file beside the template file.
    std::string GetOptionsFile() const;
    // Reads the user's values; a missing file leaves the defaults, a malformed one is logged.
    void LoadOptions();
    bool SaveOptions() const;
};
