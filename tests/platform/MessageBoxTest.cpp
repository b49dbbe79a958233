#include "platform/MessageBox.h"

#include "platform/Process.h"

#include <gtest/gtest.h>

using namespace plat;

TEST(MessageBoxTest, DefaultAnswers)
{
    struct { uint32_t flags; int answer; } cases[] = {
        {MB_OK, IDOK},
        {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
        {MB_YESNO | MB_ICONQUESTION, IDYES},
        {MB_YESNO | MB_DEFBUTTON2, IDNO},
        {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
        {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDRETRY},
        {MB_RETRYCANCEL, IDRETRY},
        {MB_OK | MB_DEFBUTTON3, IDOK},   // no third button: the first
    };
    for (const auto& c : cases)
        EXPECT_EQ(DefaultAnswer(c.flags), c.answer) << std::hex << c.flags;
}

namespace {
int g_desktopCalls = 0;
int DesktopBox(uintptr_t, const std::string&, const std::string&, uint32_t)
{
    ++g_desktopCalls;
    return IDIGNORE;
}
}  // namespace

TEST(MessageBoxTest, HeadlessAnswersFromTheQueueThenTheDefault)
{
    g_desktopCalls = 0;
    const std::string saved = GetEnv("QVL_PLATFORM");
    SetEnv("QVL_PLATFORM", "headless");
    EXPECT_EQ(CurrentBackend(), Backend::Headless);
    std::vector<std::string> logged;
    SetMessageBoxLogHook([&](const std::string& line) { logged.push_back(line); });
    SetDesktopMessageBoxImpl(DesktopBox);   // not used by the headless backend

    QueueMessageBoxAnswer(IDNO);
    EXPECT_EQ(MessageBox(0, "Delete it?", "Quilvo Lite", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBox(0, "Delete it?", "Quilvo Lite", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(MessageBox(0, "Done", "Quilvo Lite", MB_OK), IDOK);
    EXPECT_EQ(g_desktopCalls, 0);
    ASSERT_EQ(logged.size(), 3u);
    EXPECT_EQ(logged[2], "Quilvo Lite: Done");
    const auto shown = TakeShownMessageBoxes();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].text, "Delete it?");
    EXPECT_EQ(shown[1].flags, MB_YESNO | MB_DEFBUTTON2);
    EXPECT_EQ(shown[2].answer, IDOK);
    EXPECT_TRUE(TakeShownMessageBoxes().empty());

    SetEnv("QVL_PLATFORM", "desktop");
    EXPECT_EQ(MessageBox(0, "x", "y", MB_OK), IDIGNORE);
    EXPECT_EQ(g_desktopCalls, 1);
    SetDesktopMessageBoxImpl(nullptr);   // no desktop backend built: the headless one answers
    EXPECT_EQ(MessageBox(0, "x", "y", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
    SetMessageBoxLogHook(nullptr);
    TakeShownMessageBoxes();
    SetEnv("QVL_PLATFORM", saved);
}
