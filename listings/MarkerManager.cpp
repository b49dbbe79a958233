#include "listings/MarkerManager.h"

#include <algorithm>
#include <cstring>

#include "foundation/FileUtils.h"
#include "foundation/FolderPaths.h"
#include "foundation/KRXML.h"
#include "foundation/Log.h"
#include "platform/Clock.h"
#include "platform/File.h"

namespace {

// The line on which the content of the nth "code" element of the file starts (1 = the first).
int CodeLine(const std::string& text, int nth)
{
    size_t at = 0;
    for (int seen = 0;; ++seen) {
        at = text.find("<code", at);
        if (at == std::string::npos)
            return 1;
        at += 5;
        if (at < text.size() && (text[at] == '>' || std::strchr(" \t\r\n", text[at]))) {
            if (seen == nth)
                break;
        } else {
            --seen;   // "<codex" or the like
        }
    }
    const size_t end = text.find('>', at);
    return 1 + int(std::count(text.begin(), text.begin() + (end == std::string::npos ? at : end + 1), '\n'));
}

bool ReadBool(const KRXML::CElement& element, const char* name, bool fallback)
{
    const char* value = element.GetAttribute(name);
    if (!value)
        return fallback;
    const std::string text = value;
    return text == "true" || text == "yes" || (text != "false" && text != "no" && std::atoi(value) != 0);
}

}  // namespace

std::recursive_mutex CMarkerManager::s_lock;

CMarkerManager& CMarkerManager::Instance()
{
    static CMarkerManager manager;
    return manager;
}

int CMarkerManager::LoadTemplates(const std::string& strFolder)
{
    int loaded = 0;
    for (const plat::FileInfo& file : plat::FindFiles(strFolder + "*.qvmarker"))
        if (!file.isDirectory)
            loaded += LoadTemplateFile(strFolder + file.name);
    return loaded;
}

int CMarkerManager::LoadTemplates(const CFolderPaths& folders)
{
    int loaded = 0;
    for (const char* key : {"app-marker-templates-folder", "marker-templates-folder"}) {
        std::string folder;
        try {
            if (!folders.FindFolder(key, folder))
                continue;
        } catch (CBaseException* e) {
            LogWarning("CMarkerManager::LoadTemplates Failed to find the folder '%s' because %s", key, e->GetText());
            e->Delete();
            continue;
        }
        loaded += LoadTemplates(folder);
    }
    return loaded;
}

int CMarkerManager::LoadTemplateFile(const std::string& strPath)
{
    LogInfo("Loading marker template file %s", strPath.c_str());
    std::string text;
    if (!ReadWholeFile(strPath, text)) {
        LogWarning("Failed to load file '%s'", strPath.c_str());
        return 0;
    }
    KRXML::CElement* parsed = nullptr;
    if (!KRXML::ParseText(text.data(), ptrdiff_t(text.size()), false, parsed)) {
        LogWarning("Failed to load marker template");
        return 0;
    }
    KRXML::CElementPtr root(parsed);
    const KRXML::CElement* templates = root->FindChild("markertemplates");
    if (!templates) {
        LogWarning("Failed to find 'markertemplates' in template");
        return 0;
    }

    int codeElements = 0;
    int loaded = 0;
    for (const KRXML::CElement* element : templates->GetChildren()) {
        if (element->m_strName != "template") {
            LogWarning("Failed to find 'template' in template file");
            continue;
        }
        auto pTemplate = std::make_shared<CMarkerTemplate>();
        CMarkerTemplate& type = *pTemplate;
        const char* name = element->GetAttribute("name");
        LogInfo("Loading marker type: %s", name ? name : "");
        int32_t id = 0;
        if (!name || !*name || !element->GetAttributeInt("id", id)) {
            LogWarning("Marker either has no name or ID");
            codeElements += element->FindChild("code") ? 1 : 0;
            continue;
        }
        type.m_strName = name;
        type.m_nID = id;
        type.m_strFile = strPath;
        int32_t version = 1;
        if (element->GetAttributeInt("version", version))
            type.m_nVersion = version;
        type.m_bAllowMarkers = ReadBool(*element, "allow-markers", true);
        if (const char* term = element->GetAttribute("searchterm"); term && *term)
            type.m_searchTerms.push_back(term);

        for (const KRXML::CElement* child : element->GetChildren()) {
            if (child->m_strName == "code") {
                if (type.m_strCode.empty()) {
                    type.m_strCode = child->m_strValue;
                    type.m_nCodeLine = CodeLine(text, codeElements);
                }
                ++codeElements;
            } else if (child->m_strName == "keycommands") {
                for (const KRXML::CElement* command : child->GetChildren()) {
                    if (command->m_strName != "keycommand") {
                        LogWarning("Some other tag instead of keycommand found in '%s'", strPath.c_str());
                        continue;
                    }
                    const char* commandName = command->GetAttribute("command");
                    const char* code = command->GetAttribute("code");
                    type.m_keyCommands.push_back({commandName ? commandName : "", code ? code : ""});
                }
            } else if (child->m_strName == "searchterms" && type.m_nVersion > 1) {
                for (const KRXML::CElement* term : child->GetChildren())
                    if (term->m_strName == "searchterm" && !term->m_strValue.empty())
                        type.m_searchTerms.push_back(term->m_strValue);
            } else if (child->m_strName == "options") {
                for (const KRXML::CElement* option : child->GetChildren()) {
                    const char* optionName = option->GetAttribute("name");
                    if (!optionName)
                        continue;
                    auto attribute = [option](const char* key) {
                        const char* value = option->GetAttribute(key);
                        return std::string(value ? value : "");
                    };
                    type.m_options.push_back(
                        {optionName, attribute("type"), attribute("default"), attribute("min"), attribute("max"), ""});
                }
            }
        }
        type.LoadOptions();

        std::lock_guard<std::recursive_mutex> guard(s_lock);
        if (auto found = m_templates.find(type.m_nID); found != m_templates.end())
            LogInfo("Replacing marker ID %d, name '%s'", type.m_nID, found->second->m_strName.c_str());
        LogInfo("Loaded marker type '%s', version '%d', code starts on line '%d'", type.m_strName.c_str(),
                type.m_nVersion, type.m_nCodeLine);
        m_templates[type.m_nID] = std::move(pTemplate);
        ++loaded;
    }
    return loaded;
}

std::vector<std::shared_ptr<const CMarkerTemplate>> CMarkerManager::GetTemplates() const
{
    std::lock_guard<std::recursive_mutex> guard(s_lock);
    std::vector<std::shared_ptr<const CMarkerTemplate>> all;
    for (const auto& [id, pTemplate] : m_templates)
        all.push_back(pTemplate);
    return all;
}

std::shared_ptr<const CMarkerTemplate> CMarkerManager::GetTemplate(int nID) const
{
    std::lock_guard<std::recursive_mutex> guard(s_lock);
    const auto found = m_templates.find(nID);
    return found == m_templates.end() ? nullptr : found->second;
}

void CMarkerManager::RemoveAllTemplates()
{
    std::lock_guard<std::recursive_mutex> guard(s_lock);
    m_templates.clear();
}

void CMarkerManager::AddMarker(CMarkerPtr pMarker)
{
    std::lock_guard<std::recursive_mutex> guard(s_lock);
    m_markers.push_back(std::move(pMarker));
}

bool CMarkerManager::RemoveMarker(const CMarkerPtr& pMarker)
{
    std::lock_guard<std::recursive_mutex> guard(s_lock);
    const auto found = std::find(m_markers.begin(), m_markers.end(), pMarker);
    if (found == m_markers.end())
        return false;
    m_markers.erase(found);
    return true;
}

std::vector<CMarkerPtr> CMarkerManager::GetMarkers() const
{
    std::lock_guard<std::recursive_mutex> guard(s_lock);
    return m_markers;
}

void CMarkerManager::RemoveAllMarkers()
{
    std::lock_guard<std::recursive_mutex> guard(s_lock);
    m_markers.clear();
}

void CMarkerManager::SetNames(CMarker::Names names)
{
    std::lock_guard<std::recursive_mutex> guard(s_lock);
    m_names = std::move(names);
}

bool CMarkerManager::Matches(const CMarker& marker, const CProgramme& programme) const
{
    std::lock_guard<std::recursive_mutex> guard(s_lock);
    return marker.Matches(programme, m_names);
}

std::vector<CMarkerPtr> CMarkerManager::GetMatchingMarkers(const CProgramme& programme) const
{
    std::lock_guard<std::recursive_mutex> guard(s_lock);
    std::vector<CMarkerPtr> matching;
    for (const CMarkerPtr& pMarker : m_markers)
        if (pMarker->Matches(programme, m_names))
            matching.push_back(pMarker);
    return matching;
}

void CMarkerManager::RemoveStandardMarkers()
{
    LogInfo("CMarkerManager::RemoveStandardMarkers");
    {
        std::lock_guard<std::recursive_mutex> guard(s_lock);
        for (size_t i = m_markers.size(); i-- > 0;)
            if (m_markers[i]->m_bStandard)
                m_markers.erase(m_markers.begin() + ptrdiff_t(i));
    }
    LogInfo("CMarkerManager::RemoveStandardMarkers - done");
}

void CMarkerManager::RemoveExpiredMarkers()
{
    LogInfo("CMarkerManager::RemoveExpiredMarkers");
    {
        const int64_t now = plat::NowUnix();
        std::lock_guard<std::recursive_mutex> guard(s_lock);
        for (size_t i = m_markers.size(); i-- > 0;)
            if (m_markers[i]->IsExpired(now))
                m_markers.erase(m_markers.begin() + ptrdiff_t(i));
    }
    LogInfo("CMarkerManager::RemoveExpiredMarkers - done");
}
