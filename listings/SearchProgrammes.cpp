#include "listings/SearchProgrammes.h"

#include "listings/ProgrammeDB.h"
#include "listings/ProgrammeDetails.h"

std::vector<std::string> GetProgrammeSearchTexts(const CProgramme& programme)
{
    const CProgrammeDetails& details = programme.GetDetails();
    std::string people;
    for (const char* role : kRoleLabels) {
        for (const std::string& name : details.GetPeople(role)) {
            if (!people.empty())
                people += ", ";
            people += name;
        }
    }
    return {programme.GetTitle(), details.GetDescription(), people};
}

std::vector<ProgrammeSearchResult> SearchProgrammes(CProgrammeDBFlat& database,
                                                    const std::vector<CChannelAssignmentPtr>& lineUp,
                                                    uint32_t uFrom, uint32_t uTo, const CSearchExpression& search)
{
    std::vector<ProgrammeSearchResult> results;
    CProgrammeList list;
    for (const CChannelAssignmentPtr& pAssignment : lineUp) {
        database.GetProgrammeList(pAssignment, uFrom, uTo, list, false);
        for (const CProgrammePtr& pProgramme : list) {
            if (pProgramme->GetPlaceholderKind() != CProgramme::kRealProgramme)
                continue;
            CSearchExpression::Hits hits;
            if (search.Matches(GetProgrammeSearchTexts(*pProgramme), &hits))
                results.push_back({pProgramme, std::move(hits)});
        }
    }
    return results;
}
