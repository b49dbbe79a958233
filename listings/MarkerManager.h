// The marker types and the markers of the process: loads the "*.qvmarker" template files,
// keeps the markers, tells which markers a programme matches, and removes standard and
// expired markers. Matching and removal share one process-wide lock.
#pragma once
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "listings/Marker.h"
#include "listings/MarkerTemplate.h"

class CFolderPaths;

class CMarkerManager {
public:
    static CMarkerManager& Instance();

    // Loads every "*.qvmarker" file of the folder (ending in "/"), in name order; a template
    // whose id is already loaded replaces the earlier one. Returns the number of templates
    // loaded from the folder.
    int LoadTemplates(const std::string& strFolder);
    // The types that come with the program ("app-marker-templates-folder"), then the user's
    // ("marker-templates-folder"), which replace shipped types of the same id. Answers the
    // number of templates loaded.
    int LoadTemplates(const CFolderPaths& folders);
    // Loads one template file; answers the number of templates loaded from it (0 when it
    // cannot be read or parsed).
    int LoadTemplateFile(const std::string& strPath);
    std::vector<std::shared_ptr<const CMarkerTemplate>> GetTemplates() const;
    std::shared_ptr<const CMarkerTemplate> GetTemplate(int nID) const;   // null when unknown
    void RemoveAllTemplates();

    // Markers already added are changed only while this lock is held.
    static std::unique_lock<std::recursive_mutex> Lock() { return std::unique_lock<std::recursive_mutex>(s_lock); }

    void AddMarker(CMarkerPtr pMarker);
    bool RemoveMarker(const CMarkerPtr& pMarker);
    std::vector<CMarkerPtr> GetMarkers() const;
    void RemoveAllMarkers();

    // The names used when matching the texts of programmes (channel names and keywords); the
    // channel-name function is called under the markers' lock.
    void SetNames(CMarker::Names names);

    bool Matches(const CMarker& marker, const CProgramme& programme) const;
    // The markers that the programme matches, in the order they were added.
    std::vector<CMarkerPtr> GetMatchingMarkers(const CProgramme& programme) const;

    void RemoveStandardMarkers();
    // Removes markers for one showing whose start lies more than a day before now.
    void RemoveExpiredMarkers();

private:
    static std::recursive_mutex s_lock;   // the markers' process-wide lock

    std::map<int, std::shared_ptr<const CMarkerTemplate>> m_templates;
    std::vector<CMarkerPtr> m_markers;
    CMarker::Names m_names;
};
