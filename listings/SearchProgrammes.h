// A keyword search over the programme database: the programmes of a time range whose title,
// description or people match a search expression, with the keyword tests that matched.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "listings/ChannelAssignment.h"
#include "listings/Programme.h"
#include "listings/SearchExpression.h"

class CProgrammeDBFlat;

struct ProgrammeSearchResult {
    CProgrammePtr m_pProgramme;
    CSearchExpression::Hits m_hits;
};

// The texts a programme is searched by, in this order: its title, its plain description and
// the names of its cast and crew joined with ", ".
std::vector<std::string> GetProgrammeSearchTexts(const CProgramme& programme);

// The real programmes (no placeholders) of [uFrom, uTo) of each line-up entry in turn, in
// start order within an entry, that the expression matches.
std::vector<ProgrammeSearchResult> SearchProgrammes(CProgrammeDBFlat& database,
                                                    const std::vector<CChannelAssignmentPtr>& lineUp,
                                                    uint32_t uFrom, uint32_t uTo, const CSearchExpression& search);
