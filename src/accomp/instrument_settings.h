// The instrument window without its drawing: the 128 list entries, the three tabs and how the
// list, the tabs and the buttons change the instrument programs.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vema {

inline constexpr int kGmProgramCount = 128;
inline constexpr int kInstrumentTabCount = 3;

// The list entries, "| 001: Piano1      " .. "| 128: Gun Shot    " (19 characters each).
const std::array<std::string, kGmProgramCount>& GmProgramNames();

// The tab captions: melody, bass, chords (tab n edits program entry n).
inline constexpr std::array<const char*, kInstrumentTabCount> kInstrumentTabLabels = {
    "旋律の音色", "ﾍﾞｰｽの音色", "ｺｰﾄﾞの音色"};

// The melody octave choice of the window: its entries in order and the setting of each
// (critic/melody_choice.h): auto, -1, 0, +1, +2.
inline constexpr std::array<const char*, 5> kMelodyOctaveLabels = {"自動", "-1", "0", "+1",
                                                                   "+2"};
// The entry of a setting (a setting outside them: the entry of "auto"), and back (an entry
// outside them: auto).
int MelodyOctaveEntry(int32_t setting);
int32_t MelodyOctaveOfEntry(int entry);

class InstrumentSettings {
 public:
  // programs: melody, bass, chords; shownFlag: the main window's flag for this window.
  InstrumentSettings(std::array<int32_t, 3>& programs, int* shownFlag)
      : programs_(programs), shownFlag_(shownFlag) {}

  int currentTab() const { return currentTab_; }
  int listPosition() const { return listPosition_; }

  // The window was shown: the list position to select (the program of the current tab).
  int OnShown();
  // The list selection changed (-1: nothing selected): the choice takes effect at once.
  void OnSelectionChanged(int selection);
  // Another tab was chosen while the list had `selection`: keeps that for the old tab and
  // returns the list position to select for the new one.
  int OnTabChanged(int newTab, int selection);
  // "閉じる": clears the shown flag and keeps the selection.
  void OnClose(int selection);
  // "ｷｬﾝｾﾙ", Escape or the close box: clears the shown flag; earlier choices stay.
  void OnCancel();

 private:
  int ProgramOfTab(int tab) const;
  void Store(int selection);

  std::array<int32_t, 3>& programs_;
  int* shownFlag_;
  int8_t currentTab_ = 0;
  int listPosition_ = 0;
};

}  // namespace vema
