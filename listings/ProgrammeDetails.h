// What a programme's free-text schedule description holds, taken apart: the episode line
// (episode name, series and episode numbers), the plain description, the cast and crew by role,
// and the parenthesised qualifiers with the year, star rating and certificate found in them.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Role labels, in the order in which the people section is read.
inline constexpr const char* kRoleGuestStarring = "Guest Starring:";
inline constexpr const char* kRoleDirector = "Director:";
inline constexpr const char* kRoleStarring = "Starring:";
inline constexpr const char* kRoleWriter = "Writer:";
inline constexpr const char* kRoleExecutiveProducer = "Executive Producer:";
inline constexpr const char* kRoleProducer = "Producer:";
inline constexpr std::array<const char*, 6> kRoleLabels = {kRoleGuestStarring, kRoleDirector, kRoleStarring,
                                                           kRoleWriter, kRoleExecutiveProducer, kRoleProducer};

class CProgrammeDetails {
public:
    explicit CProgrammeDetails(const std::string& strRaw);

    const std::string& GetDescription() const { return m_strDescription; }
    const std::string& GetEpisodeName() const { return m_strEpisodeName; }
    const std::string& GetEpisodeDetails() const { return m_strEpisodeDetails; }
    uint16_t GetSeriesNumber() const { return m_nSeries; }
    uint16_t GetEpisodeNumber() const { return m_nEpisode; }
    const std::string& GetSeriesNumberText() const { return m_strSeries; }
    const std::string& GetEpisodeNumberText() const { return m_strEpisode; }
    bool IsSpecialEpisode() const { return m_bSpecialEpisode; }
    const std::string& GetQualifiers() const { return m_strQualifiers; }
    // The names of a role label (compared without regard to case); empty when absent.
    const std::vector<std::string>& GetPeople(std::string_view role) const;
    int GetStarRating() const { return m_nStarRating; }
    int GetYear() const { return m_nYear; }
    const std::string& GetCertificate() const { return m_strCertificate; }

private:
    void Parse(const std::string& raw);
    void ParsePeople(const std::string& text, size_t from);
    void ParseQualifierValues();

    std::string m_strDescription;
    std::string m_strEpisodeName;
    std::string m_strEpisodeDetails;
    uint16_t m_nSeries = 0;
    uint16_t m_nEpisode = 0;
    std::string m_strSeries;
    std::string m_strEpisode;
    bool m_bSpecialEpisode = false;
    std::string m_strQualifiers;
    std::vector<std::pair<std::string, std::vector<std::string>>> m_people;
    int m_nStarRating = 0;
    int m_nYear = 0;
    std::string m_strCertificate;
};
