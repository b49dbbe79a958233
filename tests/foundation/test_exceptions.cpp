#include <gtest/gtest.h>

#include <climits>
#include <functional>

#include "foundation/Exceptions.h"
#include "platform/Error.h"

TEST(Exceptions, CodeTexts)
{
    const std::pair<int, const char*> cases[] = {
        {0, "Out of memory"},        {1, "Open failed"},
        {2, "IO failure"},           {3, "Data format error"},
        {4, "Unknown error"},        {5, "Unknown error"},
        {6, "Connection failure"},   {7, "Request Failure"},
        {8, "Unknown user identification code"},
        {9, "Internal Error"},       {10, "Initialisation Failure"},
        {11, "Invalid function call"}, {12, "Operation Cancelled"},
        {13, "Data access error"},   {14, "Not found"},
        {15, "Unknown error"},       {-1, "Unknown error"},
        {INT_MIN, "Unknown error"},  {INT_MAX, "Unknown error"},
    };
    for (auto [nCode, pText] : cases) {
        CBaseException* e = new CBaseException(nCode);
        EXPECT_STREQ(e->GetText(), pText) << nCode;
        e->Delete();
    }
}

TEST(Exceptions, OwnTextOrCodeText)
{
    using Make = std::function<CBaseException*(int, std::string)>;
    const std::pair<const char*, Make> kinds[] = {
        {"extra", [](int c, std::string t) { return new CExtraInfoException(c, std::move(t)); }},
        {"store", [](int c, std::string t) { return new CFileStoreException(c, std::move(t)); }},
        {"locked", [](int c, std::string t) { return new CFileStoreLockedException(c, std::move(t)); }},
        {"gzip", [](int c, std::string t) { return new CCompressedFileException(c, std::move(t)); }},
    };
    for (const auto& [pName, make] : kinds) {
        CBaseException* e = make(2, "");
        EXPECT_STREQ(e->GetText(), "IO failure") << pName;
        EXPECT_EQ(e->m_nCode, 2);
        e->Delete();
        e = make(1, "Failed to open file 'x'");
        EXPECT_STREQ(e->GetText(), "Failed to open file 'x'") << pName;
        e->Delete();
    }
}

TEST(Exceptions, HandlersSeeOnlyTheirOwnKinds)
{
    // A locked-store failure passes a plain store handler and reaches the general one.
    const char* pCaughtBy = "none";
    try {
        try {
            throw new CFileStoreLockedException(1, "held");
        } catch (CFileStoreException* e) {
            pCaughtBy = "store";
            e->Delete();
        }
    } catch (CBaseException* e) {
        pCaughtBy = "base";
        EXPECT_STREQ(e->GetText(), "held");
        e->Delete();
    }
    EXPECT_STREQ(pCaughtBy, "base");

    try {
        throw new CLastErrorException(9, 2);
    } catch (CExtraInfoException* e) {
        EXPECT_EQ(e->m_nCode, 9);
        EXPECT_STREQ(e->GetText(), FormatLastError(2).c_str());
        e->Delete();
    }
}

TEST(Exceptions, FormatLastError)
{
    const std::string strNoEntry = plat::SystemErrorMessage(2);
    ASSERT_FALSE(strNoEntry.empty());
    EXPECT_EQ(FormatLastError(2), "(2) " + strNoEntry);
    EXPECT_EQ(FormatLastError(987654), "Unknown error");

    // 0 stands for the calling thread's last error, also for CLastErrorException.
    plat::SetLastError(13);
    EXPECT_EQ(FormatLastError(0), "(13) " + plat::SystemErrorMessage(13));
    CLastErrorException* e = new CLastErrorException(2);
    EXPECT_EQ(std::string(e->GetText()), "(13) " + plat::SystemErrorMessage(13));
    e->Delete();
}
