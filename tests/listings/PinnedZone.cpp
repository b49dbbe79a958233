// Every listings test runs in a time zone with daylight saving and in a fixed locale, so that
// local times and date texts are the same on every machine.
#include <gtest/gtest.h>

#include "listings/DateTime.h"
#include "platform/Clock.h"

namespace {

class PinnedZone : public ::testing::Environment {
public:
    void SetUp() override {
        plat::SetTimeZone("Europe/London");
        CDateTime::LoadLocaleTexts("C.UTF-8");
    }
};

const auto* const g_zone = ::testing::AddGlobalTestEnvironment(new PinnedZone);

}  // namespace
