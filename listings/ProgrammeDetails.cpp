#include "listings/ProgrammeDetails.h"

#include <algorithm>

#include "foundation/NameHash.h"
#include "foundation/RegExp.h"

namespace {

constexpr std::string_view kWhitespace = " \t\r\n\v\f";

std::string Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(kWhitespace);
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(kWhitespace);
    return std::string(text.substr(first, last - first + 1));
}

// A decimal number as the C library's atoi reads it (leading white space, a sign, digits),
// saturated to 32 bits; end receives the position after the digits.
int ReadInt(std::string_view text, size_t pos, size_t* end = nullptr) {
    while (pos < text.size() && kWhitespace.find(text[pos]) != std::string_view::npos) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    int64_t value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        value = std::min<int64_t>(value * 10 + (text[pos] - '0'), int64_t(1) << 32);
        ++pos;
    }
    if (end) *end = pos;
    value = negative ? -value : value;
    return static_cast<int>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

size_t FindNoCase(std::string_view text, std::string_view needle, size_t from) {
    if (needle.size() > text.size()) return std::string_view::npos;
    for (size_t i = from; i + needle.size() <= text.size(); ++i)
        if (NamesEqual(text.substr(i, needle.size()), needle)) return i;
    return std::string_view::npos;
}

// Finds ". " followed by a line break (CR, or else LF). Answers its position and where the
// text after the line break begins (past ". ", the break and an LF that follows a CR).
bool FindSentenceBreak(const std::string& text, size_t& at, size_t& after) {
    at = text.find(". \r");
    if (at == std::string::npos) at = text.find(". \n");
    if (at == std::string::npos) return false;
    after = at + 3;
    if (text[at + 2] == '\r' && after < text.size() && text[after] == '\n') ++after;
    return true;
}

// The first match of the pattern in the text, or empty. A pattern too costly to match counts
// as no match.
std::string FirstMatch(const CRegExp& pattern, const std::string& text, size_t group = 0) {
    CRegExpMatch match;
    try {
        if (pattern.Search(text, match)) return match.GetText(group);
    } catch (const CRegExpException&) {
    }
    return {};
}

std::string WithoutCommas(std::string text) {
    std::erase(text, ',');
    return text;
}

}  // namespace

CProgrammeDetails::CProgrammeDetails(const std::string& strRaw) {
    for (const char* label : kRoleLabels) m_people.emplace_back(label, std::vector<std::string>());
    Parse(strRaw);
}

const std::vector<std::string>& CProgrammeDetails::GetPeople(std::string_view role) const {
    static const std::vector<std::string> kNone;
    for (const auto& [label, names] : m_people)
        if (NamesEqual(label, role)) return names;
    return kNone;
}

void CProgrammeDetails::Parse(const std::string& raw) {
    // The episode line: "Name. Series 3, episode 5." on the first line, or a first sentence
    // ending in ". " and a line break.
    const size_t firstBreak = raw.find('\r');
    const size_t series = firstBreak != std::string::npos && firstBreak > 0 ? raw.rfind("Series", firstBreak - 1)
                                                                           : std::string::npos;
    size_t restStart = 0;
    size_t at = 0, after = 0;
    if (series != std::string::npos) {
        if (series > 2) m_strEpisodeName = raw.substr(0, series - 2);
        m_strEpisodeDetails = raw.substr(0, firstBreak - 1);
        size_t numberEnd = 0;
        m_nSeries = static_cast<uint16_t>(ReadInt(raw, series + 6, &numberEnd));
        if (m_nSeries != 0 && numberEnd < raw.size() && raw[numberEnd] == ',') {
            const size_t episode = raw.find("episode", numberEnd);
            if (episode == std::string::npos) {
                m_nSeries = 0;
                m_strDescription = raw;
                return;
            }
            m_nEpisode = static_cast<uint16_t>(ReadInt(raw, std::min(episode + 8, raw.size())));
            m_strSeries = std::to_string(m_nSeries);
            m_strEpisode = std::to_string(m_nEpisode);
            restStart = std::min(raw.find('\r', episode), raw.size());
        } else {
            m_nSeries = 0;
            if (FindSentenceBreak(raw, at, after)) {
                m_strEpisodeName = raw.substr(0, at);
                restStart = after;
            } else {
                m_strEpisodeName.clear();
                m_strEpisodeDetails.clear();
            }
        }
    } else if (FindSentenceBreak(raw, at, after)) {
        m_strEpisodeName = m_strEpisodeDetails = raw.substr(0, at);
        restStart = after;
    }

    // Episode markers in the episode name.
    const size_t special = m_strEpisodeName.find("Special Episode ");
    if (special != std::string::npos) {
        m_nEpisode = static_cast<uint16_t>(ReadInt(m_strEpisodeName, special + 16));
        if (m_nEpisode != 0) {
            m_bSpecialEpisode = true;
            m_strEpisodeName = Trim(std::string_view(m_strEpisodeName).substr(0, special));
        }
    } else if (const size_t marker = m_strEpisodeName.find("Episode "); marker != std::string::npos) {
        const uint16_t number = static_cast<uint16_t>(ReadInt(m_strEpisodeName, marker + 8));
        if (number != 0) {
            m_nEpisode = number;
            m_strEpisodeName = Trim(std::string_view(m_strEpisodeName).substr(0, marker));
        }
    }

    // The people section begins at the first "Director:", or else at the first "Starring:"
    // (at "Guest Starring:" when that is the label it ends).
    const std::string rest = raw.substr(restStart);
    size_t people = rest.find("Director:");
    if (people == std::string::npos) {
        people = rest.find("Starring:");
        if (people != std::string::npos && people >= 6 && rest.compare(people - 6, 6, "Guest ") == 0) people -= 6;
    }
    const bool hasPeople = people != std::string::npos;
    if (hasPeople) {
        m_strDescription = Trim(std::string_view(rest).substr(0, people));
        ParsePeople(rest, people);
    } else {
        people = 0;
    }

    // Qualifiers: the text of a final parenthesised list.
    size_t end = rest.size();
    while (end > people && (rest[end - 1] == '\r' || rest[end - 1] == '\n')) --end;
    size_t open = std::string::npos;
    if (end > people && rest[end - 1] == ')') {
        open = rest.rfind('(', end - 1);
        if (open != std::string::npos && open >= people) m_strQualifiers = rest.substr(open + 1, end - 2 - open);
        else open = std::string::npos;
    }
    if (!hasPeople)
        m_strDescription = Trim(std::string_view(rest).substr(people, open == std::string::npos ? std::string::npos : open - people));

    if (!m_strEpisodeDetails.empty() && m_strEpisodeDetails.back() != '.') m_strEpisodeDetails += '.';

    if (m_nEpisode == 0) {
        static const CRegExp kPart("Part ([0-9]+)");
        const std::string part = FirstMatch(kPart, m_strQualifiers, 1);
        if (!part.empty()) {
            m_nEpisode = static_cast<uint16_t>(ReadInt(part, 0));
            m_strEpisode = std::to_string(m_nEpisode);
        }
    }
    ParseQualifierValues();
}

// For each role label, the comma-separated names that follow it up to the end of its line.
void CProgrammeDetails::ParsePeople(const std::string& text, size_t from) {
    for (auto& [label, names] : m_people) {
        const size_t found = FindNoCase(text, label, from);
        if (found == std::string::npos) continue;
        size_t pos = found + label.size();
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
        const size_t lineEnd = std::min(text.find('\r', pos), text.size());
        std::string_view line = std::string_view(text).substr(pos, lineEnd - pos);
        for (;;) {
            const size_t comma = line.find(',');
            std::string name = Trim(line.substr(0, comma));
            if (!name.empty()) names.push_back(std::move(name));
            if (comma == std::string_view::npos) break;
            line.remove_prefix(comma + 1);
        }
    }
}

void CProgrammeDetails::ParseQualifierValues() {
    static const CRegExp kStarRating("\\d Star");
    static const CRegExp kYear("(^|, )[1-2][0-9][0-9][0-9]($|, )");
    static const CRegExp kCertificate("(^|, )(U|UC|A|12|12A|15|PG|18|R18)($|, )");
    const std::string stars = FirstMatch(kStarRating, m_strQualifiers);
    if (!stars.empty()) m_nStarRating = ReadInt(stars, 0);
    const std::string year = FirstMatch(kYear, m_strQualifiers);
    if (!year.empty()) m_nYear = ReadInt(WithoutCommas(year), 0);
    m_strCertificate = Trim(WithoutCommas(FirstMatch(kCertificate, m_strQualifiers)));
}
