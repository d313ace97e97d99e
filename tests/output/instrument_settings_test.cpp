// The instrument window's logic and the feel dialog's choice.
#include <gtest/gtest.h>

#include "accomp/feel_choice.h"
#include "accomp/instrument_settings.h"

namespace vema {
namespace {

TEST(GmProgramNames, HoldsThe128EntriesInTheirFixedForm) {
  const auto& names = GmProgramNames();
  EXPECT_EQ(names[0], "| 001: Piano1      ");
  EXPECT_EQ(names[33], "| 034: Fingered Bs.");
  EXPECT_EQ(names[74], "| 075: Recoder     ");
  EXPECT_EQ(names[85], "| 086: Slolo Vox   ");
  EXPECT_EQ(names[87], "| 088: OBass & Lead");
  EXPECT_EQ(names[120], "| 121: Gt.FreNoise ");
  EXPECT_EQ(names[127], "| 128: Gun Shot    ");
  for (int i = 0; i < kGmProgramCount; ++i) {
    EXPECT_EQ(names[i].size(), 19u) << i;
    EXPECT_EQ(std::stoi(names[i].substr(2, 3)), i + 1);
  }
}

struct InstrumentFixture : ::testing::Test {
  std::array<int32_t, 3> programs{};
  int shown = 1;
  InstrumentSettings settings{programs, &shown};
};

TEST_F(InstrumentFixture, UntouchedWindowShowsPiano) {
  EXPECT_EQ(settings.OnShown(), 0);
  EXPECT_EQ(programs, (std::array<int32_t, 3>{0, 0, 0}));
}

TEST_F(InstrumentFixture, SelectingOnTheBassTabStoresTheBassProgramAtOnce) {
  settings.OnShown();
  EXPECT_EQ(settings.OnTabChanged(1, 0), 0);
  settings.OnSelectionChanged(33);  // "| 034: Fingered Bs."
  EXPECT_EQ(programs[1], 33);
  EXPECT_EQ(programs[0], 0);
  EXPECT_EQ(programs[2], 0);
}

TEST_F(InstrumentFixture, SwitchingTabsShowsEachTabsInstrument) {
  settings.OnSelectionChanged(40);                  // melody: Violin
  EXPECT_EQ(settings.OnTabChanged(2, 40), 0);       // chords: still piano
  settings.OnSelectionChanged(19);                  // chords: Church organ
  EXPECT_EQ(settings.OnTabChanged(0, 19), 40);      // back to the melody's violin
  EXPECT_EQ(settings.OnTabChanged(2, 40), 19);
  EXPECT_EQ(programs, (std::array<int32_t, 3>{40, 0, 19}));
  EXPECT_EQ(settings.currentTab(), 2);
}

TEST_F(InstrumentFixture, TabSurvivesHidingAndShowing) {
  settings.OnTabChanged(1, 0);
  settings.OnSelectionChanged(35);
  settings.OnCancel();
  EXPECT_EQ(settings.currentTab(), 1);
  EXPECT_EQ(settings.OnShown(), 35);
}

TEST_F(InstrumentFixture, CancelKeepsChoicesAndClearsTheFlag) {
  settings.OnSelectionChanged(56);
  settings.OnCancel();
  EXPECT_EQ(shown, 0);
  EXPECT_EQ(programs[0], 56);
}

TEST_F(InstrumentFixture, CloseStoresTheSelectionAndClearsTheFlag) {
  settings.OnClose(73);
  EXPECT_EQ(shown, 0);
  EXPECT_EQ(programs[0], 73);
}

TEST_F(InstrumentFixture, NoSelectionOrOutOfRangeStoresNothing) {
  settings.OnSelectionChanged(5);
  settings.OnSelectionChanged(-1);
  settings.OnSelectionChanged(128);
  EXPECT_EQ(settings.OnTabChanged(7, -1), 5);  // an unknown tab keeps the current one
  EXPECT_EQ(programs[0], 5);
  programs[2] = 999;  // a damaged value is shown as the nearest entry
  EXPECT_EQ(settings.OnTabChanged(2, 5), 127);
}

TEST(FeelChoice, EveryShowingChecksMarch) {
  FeelChoice choice;
  EXPECT_EQ(choice.index(), -1);
  choice.OnShown();
  EXPECT_EQ(choice.index(), 0);
  choice.Select(2);
  EXPECT_EQ(choice.Confirm(), 2);
  FeelChoice next;
  next.OnShown();
  EXPECT_EQ(next.Confirm(), 0);
  next.Select(9);
  EXPECT_EQ(next.Confirm(), 0);
}

TEST(FeelChoice, ClosedDialogKeepsTheStoredFeel) {
  int8_t feel = 0;
  StoreFeelAnswer(feel, std::nullopt);
  EXPECT_EQ(feel, 0);
  StoreFeelAnswer(feel, 2);
  EXPECT_EQ(feel, 2);
  StoreFeelAnswer(feel, std::nullopt);
  EXPECT_EQ(feel, 2);
  StoreFeelAnswer(feel, 4);
  EXPECT_EQ(feel, 2);
}

}  // namespace
}  // namespace vema
