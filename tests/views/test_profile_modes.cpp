// The view styles and scale modes the profile page offers and the tool accepts by name.
#include "profile_modes.h"

#include <gtest/gtest.h>

TEST(ProfileModes, NamesMapToTheirIndexAndNothingElseDoes)
{
    EXPECT_EQ(qm::ViewStyleIndex("ribbon"), 0);
    EXPECT_EQ(qm::ViewStyleIndex("line"), 2);
    EXPECT_EQ(qm::ViewStyleIndex("Ribbon"), -1);
    EXPECT_EQ(qm::ScaleModeIndex("50-55"), qm::kScale50To55);
    EXPECT_EQ(qm::ScaleModeIndex("manual"), qm::kScaleManual);
    EXPECT_EQ(qm::ScaleModeIndex("40:60"), -1);
}

TEST(ProfileModes, PresetsGiveTheirRangesAndManualHasNone)
{
    EXPECT_TRUE(qm::PresetScale(qm::kScaleAuto)->automatic);
    const qm::ScaleRange wide = *qm::PresetScale(qm::kScale40To60);
    EXPECT_FALSE(wide.automatic);
    EXPECT_EQ(wide.min, 40000);
    EXPECT_EQ(wide.max, 60000);
    EXPECT_EQ(qm::PresetScale(qm::kScale50To55)->min, 50000);
    EXPECT_EQ(qm::PresetScale(qm::kScale50To55)->max, 55000);
    EXPECT_FALSE(qm::PresetScale(qm::kScaleManual));
    EXPECT_FALSE(qm::PresetScale(-1));
}
