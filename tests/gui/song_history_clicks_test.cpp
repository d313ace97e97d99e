// The song history in the main window, clicked and typed as a person does: ◀ and ▶ (and
// Alt+Left, Alt+Right) make an earlier song current again, the three re-roll buttons beside COMP
// make new songs, Ctrl+Z, Ctrl+Y and Ctrl+Shift+Z undo and redo; each writes the files again,
// and SAVE and the piano roll follow.
#include <gtest/gtest.h>

#include "app/export_command.h"
#include "app/main_window_logic.h"
#include "app/piano_roll.h"
#include "app/song_state.h"
#include "gui/piano_roll_dlg.h"
#include "gui/vema_dlg.h"
#include "gui/window_harness.h"
#include "output/song_score.h"

namespace vema::gui_test {
namespace {

using SongHistoryClicks = ProgramTest;

TEST_F(SongHistoryClicks, StepReRollUndoAndRedoWriteEachSongAgain) {
  const auto files = [this] { return ReadOutputFiles(dir); };
  const auto drums = [this] { return NotesOfSong(dir).drums; };
  ExpectButtonsInPlace(kHistoryButtons);
  // Before any song ◀ does nothing, and a re-roll says there is no song.
  Press(kIdHistoryBack);
  EXPECT_TRUE(modals.seen().empty());
  modals.Queue(ClickButton(wxID_OK));
  Press(kIdNewMelody);
  ASSERT_EQ(modals.seen().size(), 1u);
  EXPECT_EQ(modals.seen()[0].message, "曲が生成されていません。");

  std::vector<OutputFiles> songs;
  for (int i = 0; i < 2; ++i) {
    Compose(ClickButton(1));  // the feel dialog's "適用": march
    songs.push_back(files());
  }
  EXPECT_EQ(PlaceInHistory(session()).index, 2);

  // ◀ and ▶: the earlier song again, byte for byte, without a message; SAVE's song follows.
  size_t shown = modals.seen().size();
  Press(kIdHistoryBack);
  EXPECT_TRUE(files() == songs[0]);
  EXPECT_EQ(session().midiImage.bytes, songs[0].mid);
  EXPECT_EQ(HistoryPlaceText(PlaceInHistory(session()).index, PlaceInHistory(session()).count), "1/2");
  Press(kIdHistoryForward);
  EXPECT_TRUE(files() == songs[1]);
  EXPECT_EQ(modals.seen().size(), shown);

  // The three re-rolls: each a new song, added to the history.
  Press(kIdNewMelody);
  songs.push_back(files());
  EXPECT_FALSE(songs[2] == songs[1]);
  const std::vector<ScoreNote> marchDrums = drums();
  modals.Queue([](wxDialog& dialog) {  // the feel dialog: rock, "適用"
    Click(dialog.FindWindow(1008));
    Click(dialog.FindWindow(1));
  });
  Press(kIdNewFeel);
  songs.push_back(files());
  EXPECT_NE(drums(), marchDrums);
  Press(kIdNewRhythm);
  songs.push_back(files());
  EXPECT_FALSE(songs[4] == songs[3]);
  EXPECT_EQ(ReadHistoryForList(session()).entries.size(), 5u);
  Screenshot("history_main");

  // The keys: undo, redo both ways, and a step back and forth; the song each makes current.
  const struct {
    int key, modifiers;
    size_t song;
  } keys[] = {{'Z', wxMOD_CONTROL, 3},  {'Y', wxMOD_CONTROL, 4},
              {'Z', wxMOD_CONTROL, 3},  {'Z', wxMOD_CONTROL | wxMOD_SHIFT, 4},
              {WXK_LEFT, wxMOD_ALT, 3}, {WXK_RIGHT, wxMOD_ALT, 4}};
  Focus(&mainWindow());
  for (const auto& k : keys) {
    SCOPED_TRACE(&k - keys);
    PressKey(k.key, k.modifiers);
    Settle(500);
    EXPECT_TRUE(files() == songs[k.song]);
  }

  // The piano roll shows each song made current.
  Press(kIdRoll);
  ASSERT_NE(ShownWindow(CPianoRollDlg::kTitle), nullptr);
  Press(kIdHistoryBack);
  EXPECT_TRUE(files() == songs[3]);
  EXPECT_NE(ShownWindow(CPianoRollDlg::kTitle), nullptr);
  std::string error;
  const std::optional<SongScore> score = ScoreOfLastSong(session(), error);
  ASSERT_TRUE(score) << error;
  EXPECT_EQ(score->notes.drums, drums());
  Screenshot("history_roll");
}

}  // namespace
}  // namespace vema::gui_test
