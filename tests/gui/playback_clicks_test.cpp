// Playback from the windows, clicked as a person clicks: the playing mark of the main window
// and the player's messages, with a recording stand-in for the player; and a MIDI output chosen
// in the instrument window (TONE) and played into, with the real player module and a JACK
// server on its dummy driver as the MIDI system.
#include <gtest/gtest.h>
#include <wx/combobox.h>

#include "app/main_window_logic.h"
#include "app/playback.h"
#include "app/player_loader.h"
#include "gui/instrument_dlg.h"
#include "gui/output_config.h"
#include "gui/vema_dlg.h"
#include "gui/window_harness.h"
#include "song/smf_bytes.h"
#include "support/jack_midi.h"
#include "support/recording_player.h"

namespace vema::gui_test {
namespace {

// The test's own config store, so that the choice of output touches no real one.
class PlaybackClicks : public ProgramTest {
 protected:
  ~PlaybackClicks() override {
    mainWindow().SetPlayer({});
    platform.SetPlayer({});
  }
  // The player the windows use from now on.
  void UsePlayer(SongPlayer* player) {
    mainWindow().SetPlayer([player] { return player; });
    platform.SetPlayer([player](const std::string& command) { player->Command(command); });
  }
  // Whether the main window's playing mark is lit, read from the screen.
  bool MarkLit() {
    Settle(100);
    const wxImage shot = Shot("playing_mark");
    const wxPoint lamp = mainWindow().ClientToScreen(
        wxPoint(kSoundingArea.left + 6, (kSoundingArea.top + kSoundingArea.bottom) / 2));
    return shot.IsOk() && shot.GetGreen(lamp.x, lamp.y) > 180 && shot.GetRed(lamp.x, lamp.y) < 140;
  }

  OwnConfig config{dir.File("config")};
};

TEST_F(PlaybackClicks, TheMarkShowsWhileASongSoundsAndThePlayersMessagesAreShown) {
  testing::RecordingPlayer player;
  UsePlayer(&player);
  EXPECT_FALSE(MarkLit());
  player.tick = 100;
  Press(kIdPlay);
  EXPECT_EQ(player.commands, (std::vector<std::string>{kPlayerOpen, kPlayerPlay}));
  EXPECT_TRUE(MarkLit());
  player.tick = -1;  // the song has got to its end
  Settle(400);
  EXPECT_FALSE(MarkLit());
  Press(kIdPlay);
  EXPECT_FALSE(MarkLit());  // played again, but still at its end
  // A MIDI output that went away while playing: a message over the main window.
  player.notices.push_back({PlayerNotice::Kind::kPortLost, "synth:in"});
  modals.Queue(ClickButton(wxID_OK));
  ASSERT_TRUE(RunUntil([&] { return !modals.seen().empty() && !modals.Open(); }));
  EXPECT_EQ(modals.Messages(),
            std::vector<std::string>{"MIDI出力「synth:in」が使えなくなったため、演奏を止めました。"});
  player.tick = 10;
  Press(kIdStop);
  EXPECT_FALSE(MarkLit());
}

TEST_F(PlaybackClicks, AMidiOutputChosenInToneIsKeptAndPlayedInto) {
  testing::JackServer jack;
  if (!jack.problem().empty()) GTEST_SKIP() << "SKIP: " << jack.problem();
  // Two seconds: four quarter notes at 120 quarters a minute.
  std::vector<uint8_t> notes;
  std::vector<std::vector<uint8_t>> expected;
  for (const uint8_t key : {60, 62, 64, 65}) {
    notes.insert(notes.end(), {0x00, 0x90, key, 0x64, 0x30, 0x80, key, 0x00});
    expected.push_back({0x90, key, 0x64});
    expected.push_back({0x80, key, 0x00});
  }
  expected.push_back({0xB0, 123, 0});
  notes.insert(notes.end(), {0x00, 0xFF, 0x2F, 0x00});
  std::vector<uint8_t> song = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0x30};
  const std::vector<uint8_t> track = MakeTrackChunk(notes);
  song.insert(song.end(), track.begin(), track.end());
  testing::WriteAll(dir.File("out.mid"), song);
  const std::unique_ptr<SongPlayer> player = LoadSongPlayer(dir.str(), "", VEMA_PLAYER_MODULE);
  UsePlayer(player.get());

  wxWindow* tone = OpenWindow(kIdTone, "音色の設定");
  ASSERT_NE(tone, nullptr);
  auto* outputs = wxDynamicCast(tone->FindWindow(CInstrumentDlg::kIdOutput), wxComboBox);
  ASSERT_NE(outputs, nullptr);
  EXPECT_EQ(Utf8(outputs->GetValue()), kBuiltInSynthesizer);
  EXPECT_EQ(outputs->GetCount(), 1u);
  // An instrument switched on now: the list, asked afresh as it drops down, has it; the arrow
  // keys and Return choose it.
  testing::MidiReceiver receiver("vema-window-test");
  Click(outputs, wxPoint(outputs->GetSize().x - 12, outputs->GetSize().y / 2));  // the arrow
  Settle(500);
  Screenshot("tone_outputs");
  PressKey(WXK_DOWN);
  PressKey(WXK_RETURN);
  ASSERT_TRUE(RunUntil([&] { return gui::LoadOutputChoice() == receiver.port(); }))
      << Utf8(outputs->GetValue());
  EXPECT_EQ(Utf8(outputs->GetValue()), receiver.port());

  Press(kIdPlay);
  EXPECT_TRUE(MarkLit());
  RunUntil([&] { return receiver.Messages().size() >= expected.size(); });
  EXPECT_EQ(receiver.Bytes(), expected);
  Settle(400);
  EXPECT_FALSE(MarkLit());  // the song has ended
  Press(kIdTone);           // hidden again
}

}  // namespace
}  // namespace vema::gui_test
