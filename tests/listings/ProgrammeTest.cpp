#include "listings/Programme.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/Clock.h"

namespace {

using Names = std::vector<std::string>;

TEST(ProgrammeDetails, WorkedExample) {
    const CProgrammeDetails d("The Big Day. Series 3, episode 5.\r\nText. Director: A\rStarring: B, C\r"
                              "(Subtitles, 1999, 3 Star, PG)");
    EXPECT_EQ(d.GetEpisodeName(), "The Big Day");
    EXPECT_EQ(d.GetEpisodeDetails(), "The Big Day. Series 3, episode 5.");
    EXPECT_EQ(d.GetSeriesNumber(), 3);
    EXPECT_EQ(d.GetEpisodeNumber(), 5);
    EXPECT_EQ(d.GetSeriesNumberText(), "3");
    EXPECT_EQ(d.GetEpisodeNumberText(), "5");
    EXPECT_FALSE(d.IsSpecialEpisode());
    EXPECT_EQ(d.GetDescription(), "Text.");
    EXPECT_EQ(d.GetPeople(kRoleDirector), Names{"A"});
    EXPECT_EQ(d.GetPeople("starring:"), (Names{"B", "C"}));
    EXPECT_EQ(d.GetPeople(kRoleGuestStarring), Names{});
    EXPECT_EQ(d.GetPeople("Narrator:"), Names{});
    EXPECT_EQ(d.GetQualifiers(), "Subtitles, 1999, 3 Star, PG");
    EXPECT_EQ(d.GetYear(), 1999);
    EXPECT_EQ(d.GetStarRating(), 3);
    EXPECT_EQ(d.GetCertificate(), "PG");
}

struct DetailsCase {
    const char* raw;
    const char* episodeName;
    const char* episodeDetails;
    int series;
    int episode;
    bool special;
    const char* description;
    const char* qualifiers;
};

TEST(ProgrammeDetails, EpisodeLinesAndDescriptions) {
    const DetailsCase cases[] = {
        // No line break and no sentence break: everything but the qualifiers is description.
        {"A quiet film about bees. (Subtitles)", "", "", 0, 0, false, "A quiet film about bees.", "Subtitles"},
        // "Series" without a comma after its number.
        {"Big Night. Series 2 Special\r\nText.", "", "", 0, 0, false, "Big Night. Series 2 Special\r\nText.", ""},
        {"Big Match Special Episode 3. \r\nHighlights.", "Big Match", "Big Match Special Episode 3.", 0, 3, true,
         "Highlights.", ""},
        {"Finale Special Episode 0. \r\nEnd.", "Finale Special Episode 0", "Finale Special Episode 0.", 0, 0, false,
         "End.", ""},
        {"Night Shift Episode 4. \nLate.", "Night Shift", "Night Shift Episode 4.", 0, 4, false, "Late.", ""},
        // A sentence break ending in a lone CR: the description starts right after it.
        {"Title. \rDescription here", "Title", "Title.", 0, 0, false, "Description here", ""},
        {"Drama. (Part 2)", "", "", 0, 2, false, "Drama.", "Part 2"},
        {"Drama. (Part 2)\r\n\r\n", "", "", 0, 2, false, "Drama.", "Part 2"},
        // The series form with nothing after "episode": the number reads as 0.
        {"Show. Series 3, episode\r", "Show", "Show. Series 3, episod.", 3, 0, false, "", ""},
        // The series form without any "episode": the whole text is the description.
        {"Show. Series 3, the end\rText", "Show", "Show. Series 3, the en", 0, 0, false,
         "Show. Series 3, the end\rText", ""},
        {"Series 1, episode 2\rPlot (12A)", "", "Series 1, episode .", 1, 2, false, "Plot", "12A"},
        {"", "", "", 0, 0, false, "", ""},
    };
    for (const DetailsCase& c : cases) {
        SCOPED_TRACE(c.raw);
        const CProgrammeDetails d(c.raw);
        EXPECT_EQ(d.GetEpisodeName(), c.episodeName);
        EXPECT_EQ(d.GetEpisodeDetails(), c.episodeDetails);
        EXPECT_EQ(d.GetSeriesNumber(), c.series);
        EXPECT_EQ(d.GetEpisodeNumber(), c.episode);
        EXPECT_EQ(d.IsSpecialEpisode(), c.special);
        EXPECT_EQ(d.GetDescription(), c.description);
        EXPECT_EQ(d.GetQualifiers(), c.qualifiers);
    }
    EXPECT_EQ(CProgrammeDetails("Drama. (Part 2)").GetEpisodeNumberText(), "2");
    EXPECT_EQ(CProgrammeDetails("Night Shift Episode 4. \nLate.").GetEpisodeNumberText(), "");
}

TEST(ProgrammeDetails, PeopleSections) {
    // "Starring:" is also found inside "Guest Starring:", so both lists hold the guests.
    const CProgrammeDetails withDirector("Plot.\rDirector: D\rGuest Starring: G1, G2\rStarring: S\r(1999)");
    EXPECT_EQ(withDirector.GetDescription(), "Plot.");
    EXPECT_EQ(withDirector.GetPeople(kRoleDirector), Names{"D"});
    EXPECT_EQ(withDirector.GetPeople(kRoleGuestStarring), (Names{"G1", "G2"}));
    EXPECT_EQ(withDirector.GetPeople(kRoleStarring), (Names{"G1", "G2"}));
    EXPECT_EQ(withDirector.GetYear(), 1999);

    // Without a director the section starts at "Guest Starring:", not inside it.
    const CProgrammeDetails guestsFirst("Plot.\rGuest Starring: G\rStarring: S");
    EXPECT_EQ(guestsFirst.GetDescription(), "Plot.");
    EXPECT_EQ(guestsFirst.GetPeople(kRoleGuestStarring), Names{"G"});

    const CProgrammeDetails crew("Plot.\rStarring:   A ,  B,C,\rWRITER: W\rExecutive Producer: E\r");
    EXPECT_EQ(crew.GetPeople(kRoleStarring), (Names{"A", "B", "C"}));
    EXPECT_EQ(crew.GetPeople(kRoleWriter), Names{"W"});
    EXPECT_EQ(crew.GetPeople(kRoleExecutiveProducer), Names{"E"});
    EXPECT_EQ(crew.GetPeople(kRoleProducer), Names{"E"});   // found inside "Executive Producer:"
    EXPECT_EQ(crew.GetDescription(), "Plot.");
}

TEST(ProgrammeDetails, QualifierValues) {
    const struct { const char* qualifiers; int year; int stars; const char* certificate; } cases[] = {
        {"(1999)", 1999, 0, ""},
        {"(21999)", 0, 0, ""},
        {"(Subtitles, 2004)", 2004, 0, ""},
        {"(Colour, 1999 remake)", 0, 0, ""},
        {"(4 Star, 15)", 0, 4, "15"},
        {"(Subtitles, UC)", 0, 0, "UC"},
        {"(12A, Widescreen)", 0, 0, "12A"},
        {"(R18, 3000)", 0, 0, "R18"},
        {"(Repeat)", 0, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.qualifiers);
        const CProgrammeDetails d(std::string("Film. ") + c.qualifiers);
        EXPECT_EQ(d.GetYear(), c.year);
        EXPECT_EQ(d.GetStarRating(), c.stars);
        EXPECT_EQ(d.GetCertificate(), c.certificate);
    }
}

TEST(Programme, FieldsCategoryAndPlaceholders) {
    CCategoryList::Instance().SetCategories({std::make_shared<CCategory>(7, "Films")});
    const auto assignment = std::make_shared<CChannelAssignment>(0, 21, "21", "");
    const uint32_t start = 1711846800;   // 02:00 BST, 31 March 2024
    CProgramme film("Film", "A film. (1999)", 7, start, start + 95 * 60, 555, 21, assignment, {1, 9}, start - 10);
    EXPECT_EQ(film.GetCategory()->GetName(), "Films");
    EXPECT_EQ(film.GetDuration(), 95);
    EXPECT_EQ(film.GetDurationSummary(), "1 hour and 35 minutes");
    EXPECT_EQ(film.GetKeywordNames({"a", "b"}), (Names{"b", ""}));
    EXPECT_EQ(film.GetDetails().GetYear(), 1999);
    EXPECT_EQ(film.GetChannelAssignment(), assignment);

    const CProgramme unknown("X", "", 999, start, start + 60, 1, 21, nullptr, {}, 0);
    EXPECT_EQ(unknown.GetCategory()->GetID(), 33u);
    EXPECT_EQ(unknown.GetCategory()->GetName(), "Unknown");

    plat::FakeClock clock(start + 60);
    plat::SetClock(&clock);
    EXPECT_TRUE(film.IsOnNow());
    EXPECT_FALSE(film.IsOld());
    EXPECT_EQ(film.GetTimeSummary(), "1 hour and 34 minutes left");
    clock.Advance(95 * 60);
    EXPECT_TRUE(film.IsOld());
    EXPECT_FALSE(film.IsOnNow());
    plat::SetClock(nullptr);

    CProgramme shortGap("", "", 33, start, start + 6 * 3600, 0, 21, nullptr, {}, 0);
    shortGap.MarkPlaceholder(CProgramme::kGapPlaceholder);
    EXPECT_EQ(shortGap.GetTitle(), "");
    CProgramme longGap("", "", 33, start, start + 6 * 3600 + 60, 0, 21, nullptr, {}, 0);
    longGap.MarkPlaceholder(CProgramme::kGapPlaceholder);
    EXPECT_EQ(longGap.GetPlaceholderKind(), CProgramme::kGapPlaceholder);
    EXPECT_EQ(longGap.GetTitle(), "Programmes start again on Sunday, March 31, 2024 at 08:01");
    CProgrammeList list;
    list.Add(std::make_shared<CProgramme>("after 2038", "", 1, 0x80000000u + 60, 0xF0000000u, 2, 21, nullptr,
                                          std::vector<uint16_t>{}, 0));
    EXPECT_EQ(list.GetAt(0)->GetStart().GetYear(), 2038);
    EXPECT_EQ(list.GetAt(0)->GetDuration(), 0xFFFF);   // too long for 16 bits: held at the most
    CCategoryList::Instance().SetCategories({});
}

TEST(Programme, DetailsAreBuiltOnceAcrossThreads) {
    const auto p = std::make_shared<CProgramme>("T", "Plot.\rStarring: A, B", 1, 100, 200, 1, 1, nullptr,
                                                std::vector<uint16_t>{}, 0);
    const CProgrammeDetails* seen[4] = {};
    std::vector<std::thread> threads;
    for (auto& slot : seen) threads.emplace_back([&p, &slot] { slot = &p->GetDetails(); });
    for (auto& t : threads) t.join();
    for (const auto* d : seen) EXPECT_EQ(d, seen[0]);
    EXPECT_EQ(seen[0]->GetPeople(kRoleStarring), (Names{"A", "B"}));
}

}  // namespace
