// qvl search EXPR [FROM TO]: the programmes of the database whose title, description or people
// match a keyword search expression, printed as qvl db list prints them with the matched
// keywords added.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Exceptions.h"
#include "listings/ProgrammeDB.h"
#include "listings/SearchProgrammes.h"
#include "platform/Clock.h"
#include "tools/qvl/Command.h"
#include "tools/qvl/ListingsOptions.h"

namespace {

int RunSearch(const qvl::Arguments& args);

const qvl::Command kSearch = {
    "search",
    "EXPR [FROM TO] [--words|--anywhere] [--channel ID]... [--schedule-folder DIR] [--pending-folder DIR]"
    " [--app-folder DIR]",
    "searches the programme database with a keyword expression",
    "EXPR is keywords joined by and, or and not, with parentheses; double quotes keep a keyword\n"
    "whole (\"this or that\") and a backslash inside them makes the next character literal.\n"
    "Case is ignored. --words (the default) matches whole words only, --anywhere also inside\n"
    "words. Title, description and people are searched. Each programme of [FROM, TO) that\n"
    "matches is printed as qvl db list prints it, followed by a tab and the matched keywords.\n"
    "FROM and TO default to now and the end of the listings; times are written as for qvl db.\n"
    "The channels and folders are chosen as for qvl db.",
    RunSearch,
};

int RunSearch(const qvl::Arguments& args)
{
    qvl::ListingsOptions options;
    std::vector<std::string> words;
    auto mode = CSearchExpression::kWholeWords;
    for (size_t i = 0; i < args.size(); ++i) {
        bool bBad = false;
        if (qvl::TakeListingsOption(args, i, options, bBad)) {
            if (bBad)
                return qvl::UsageError(kSearch);
        } else if (args[i] == "--words") {
            mode = CSearchExpression::kWholeWords;
        } else if (args[i] == "--anywhere") {
            mode = CSearchExpression::kAnywhere;
        } else if (args[i].rfind("--", 0) == 0) {
            return qvl::UsageError(kSearch);
        } else {
            words.push_back(args[i]);
        }
    }
    uint32_t uFrom = 0;
    uint32_t uTo = 0;
    if ((words.size() != 1 && words.size() != 3) ||
        (words.size() == 3 && (!qvl::ParseTime(words[1], uFrom) || !qvl::ParseTime(words[2], uTo))))
        return qvl::UsageError(kSearch);

    std::unique_ptr<CSearchExpression> pSearch;
    try {
        pSearch = std::make_unique<CSearchExpression>(words[0], mode);
    } catch (CBaseException* e) {
        std::fprintf(stderr, "qvl search: %s\n", e->GetText());
        e->Delete();
        return qvl::kExitFailure;
    }

    std::vector<CChannelAssignmentPtr> lineUp;
    if (!qvl::LoadListingsLineUp(options, lineUp))
        return qvl::kExitFailure;
    ProgrammeDBHooks hooks;
    hooks.fillLineUp = [lineUp](CChannelAssignmentList& list) {
        for (const CChannelAssignmentPtr& pAssignment : lineUp)
            list.Add(pAssignment);
    };
    CProgrammeDBFlat database(options.strScheduleFolder, options.strPendingFolder, std::move(hooks));
    if (words.size() == 1) {
        uint32_t uFirst = 0;
        database.GetListingsBounds(uFirst, uTo);
        uFrom = uint32_t(plat::NowUnix());
    }
    for (const ProgrammeSearchResult& result : SearchProgrammes(database, lineUp, uFrom, uTo, *pSearch)) {
        const std::string line = qvl::ProgrammeLine(*result.m_pProgramme) + "\t" +
                                 qvl::Field(pSearch->ListMatches(result.m_hits)) + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return qvl::kExitOk;
}

const qvl::CommandRegistration kRegistration(kSearch);

}  // namespace
