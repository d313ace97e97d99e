// Playing into a MIDI output port, with a JACK server on its dummy driver as the MIDI system and
// the test's own input port as the instrument: every message in order and in time, the notes
// ended at the end, at STOP and at Ctrl-C, a port that goes away, the choice of output.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "app/playback.h"
#include "app/player_loader.h"
#include "song/midi_sequence.h"
#include "song/smf_bytes.h"
#include "support/child_process.h"
#include "support/jack_midi.h"
#include "app/tiny_song_files.h"

namespace vema {
namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using testing::MidiReceiver;

// A song of three tracks at 48 ticks to the quarter: a conductor with 120 quarters a minute,
// then 240 from tick 96; quarter notes on channel 0 after a program change; drum hits on
// channel 9 every eighth.  The last note ends at tick 48 * quarters.
Bytes ShortSong(int quarters) {
  const auto track = [](const std::vector<std::pair<int64_t, Bytes>>& events) {
    Bytes data;
    int64_t last = 0;
    for (const auto& [tick, bytes] : events) {
      AppendDeltaTime(data, tick - last);
      data.insert(data.end(), bytes.begin(), bytes.end());
      last = tick;
    }
    AppendDeltaTime(data, 0);
    data.insert(data.end(), {0xFF, 0x2F, 0x00});
    return MakeTrackChunk(data);
  };
  const int64_t end = 48 * quarters;
  std::vector<std::pair<int64_t, Bytes>> conductor = {{0, {0xFF, 0x51, 3, 0x07, 0xA1, 0x20}},
                                                      {96, {0xFF, 0x51, 3, 0x03, 0xD0, 0x90}}};
  std::vector<std::pair<int64_t, Bytes>> melody = {{0, {0xC0, 10}}};
  std::vector<std::pair<int64_t, Bytes>> drums;
  for (int i = 0; i < quarters; ++i) {
    const auto key = static_cast<uint8_t>(60 + i % 12);
    melody.push_back({48 * i, {0x90, key, 100}});
    melody.push_back({48 * i + 47, {0x80, key, 0}});
    for (int half : {0, 24}) {
      drums.push_back({48 * i + half, {0x99, 36, 90}});
      drums.push_back({48 * i + half + 12, {0x89, 36, 0}});
    }
  }
  conductor.push_back({end, {0xFF, 0x01, 0}});  // the conductor lasts as long as the notes
  Bytes song = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 3, 0, 48};
  for (const auto& events : {conductor, melody, drums}) {
    const Bytes chunk = track(events);
    song.insert(song.end(), chunk.begin(), chunk.end());
  }
  return song;
}

// The all-notes-off of a channel.
Bytes AllNotesOff(int channel) { return {static_cast<uint8_t>(0xB0 | channel), 123, 0}; }

class PortPlayback : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { jack = new testing::JackServer(); }
  static void TearDownTestSuite() {
    delete jack;
    jack = nullptr;
  }
  void SetUp() override {
    if (!jack->problem().empty()) GTEST_SKIP() << "SKIP: " << jack->problem();
    receiver = std::make_unique<MidiReceiver>("vema-receiver");
    player = LoadSongPlayer(dir.str(), "", VEMA_PLAYER_MODULE);
  }
  void Song(int quarters) {
    song = ShortSong(quarters);
    testing::WriteAll(dir.File("out.mid"), song);
  }
  void Play() {
    player->Command(kPlayerOpen);
    player->Command(kPlayerPlay);
  }
  void StopAndClose() {
    for (const char* command : {kPlayerStop, kPlayerSeekStart, kPlayerClose}) player->Command(command);
  }

  static testing::JackServer* jack;
  testing::TempDir dir;
  Bytes song;
  std::unique_ptr<MidiReceiver> receiver;
  std::unique_ptr<SongPlayer> player;
};
testing::JackServer* PortPlayback::jack = nullptr;

TEST_F(PortPlayback, EveryMessageArrivesInOrderAndInTimeThenAllNotesOff) {
  Song(8);
  std::string error;
  const std::vector<std::string> outputs = player->ListOutputs(error);
  ASSERT_NE(std::find(outputs.begin(), outputs.end(), receiver->port()), outputs.end());
  player->SetOutput(receiver->port());
  Play();
  EXPECT_EQ(player->TakeNotice().kind, PlayerNotice::Kind::kNone);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const int tick = player->PlayingTick();
  EXPECT_GT(tick, 10);  // 300 ms at 48 ticks a half second: about 29
  EXPECT_LT(tick, 60);
  ASSERT_TRUE(player->WaitUntilEnd(error)) << error;
  EXPECT_EQ(player->PlayingTick(), -1);
  StopAndClose();

  const MidiSequence expected = *ReadMidiSequence(song);
  receiver->WaitFor(expected.messages.size() + 2);  // the last ones may still be on their way
  const auto received = receiver->Messages();
  ASSERT_EQ(received.size(), expected.messages.size() + 2) << "the song, then two all-notes-off";
  // In time: every message's arrival against its time in the file, after taking away the
  // median offset (the time a message takes to arrive).  A busy machine holds messages back now
  // and then by tens of milliseconds (a bare RtMidi sender too); the benchmark measures the
  // timing closely, this catches a wrong tempo (a whole beat is 250 ms here).
  std::vector<double> offsets;
  for (size_t i = 0; i < expected.messages.size(); ++i) {
    const TimedMidiMessage& m = expected.messages[i];
    EXPECT_EQ(received[i].bytes, Bytes(m.bytes, m.bytes + m.size)) << i;
    const auto at = std::chrono::duration_cast<std::chrono::microseconds>(received[i].at -
                                                                          received[0].at);
    offsets.push_back(static_cast<double>(at.count() - m.microseconds) / 1000);
  }
  std::vector<double> sorted = offsets;
  std::sort(sorted.begin(), sorted.end());
  const double offset = sorted[sorted.size() / 2];
  std::vector<double> deviations;
  for (size_t i = 0; i < offsets.size(); ++i) {
    deviations.push_back(std::abs(offsets[i] - offset));
    EXPECT_LT(deviations.back(), 200) << i;
  }
  std::sort(deviations.begin(), deviations.end());
  EXPECT_LT(deviations[deviations.size() / 2], 20) << "the median deviation in milliseconds";
  EXPECT_EQ(received[expected.messages.size()].bytes, AllNotesOff(0));
  EXPECT_EQ(received.back().bytes, AllNotesOff(9));
  // 1 s at 120, then 288 ticks at 240 a minute: 2.5 s in all.
  const auto length = received.back().at - received.front().at;
  EXPECT_GT(length, std::chrono::milliseconds(2300));
  EXPECT_LT(length, std::chrono::milliseconds(2800));
}

TEST_F(PortPlayback, StopEndsTheSoundingNotesAndSeekJumps) {
  Song(64);
  player->SetOutput(receiver->port());
  Play();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // A jump while playing: from about tick 29 to tick 480, where the notes sound at once.
  player->Seek(480);
  const int tick = player->PlayingTick();
  EXPECT_GE(tick, 480);
  EXPECT_LT(tick, 500);
  const Bytes note480 = {0x90, static_cast<uint8_t>(60 + 10 % 12), 100};
  ASSERT_TRUE(testing::WaitUntil([&] {  // it ends at tick 527, 245 ms later
    const auto bytes = receiver->Bytes();
    return std::find(bytes.begin(), bytes.end(), note480) != bytes.end();
  }));
  const size_t before = receiver->Messages().size();
  player->Command(kPlayerStop);
  EXPECT_EQ(player->PlayingTick(), -1);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto bytes = receiver->Bytes();
  // After the seek: the song's program change again, then the notes of tick 480 on; those of
  // ticks 192 to 432 (keys 64 to 69) were left out.
  const auto change = std::find(bytes.begin(), bytes.end(), Bytes{0xC0, 10});
  EXPECT_NE(std::find(change + 1, bytes.end(), Bytes{0xC0, 10}), bytes.end()) << "chased";
  for (uint8_t key = 64; key <= 69; ++key) {
    EXPECT_EQ(std::find(bytes.begin(), bytes.end(), Bytes{0x90, key, 100}), bytes.end()) << key;
  }
  // At the stop: a note-off for every note sounding, then all-notes-off, then nothing more.
  ASSERT_GE(bytes.size(), before + 2);
  std::vector<Bytes> sounding;
  for (const Bytes& message : std::vector<Bytes>(bytes.begin(), bytes.begin() + before)) {
    if ((message[0] & 0xF0) == 0x90 && message[2] > 0) sounding.push_back({message[0], message[1]});
    if ((message[0] & 0xF0) == 0x80 || (message[0] & 0xF0) == 0xB0) {
      std::erase_if(sounding, [&](const Bytes& on) {
        return (on[0] & 0x0F) == (message[0] & 0x0F) && (message[1] == on[1] || message[1] == 123);
      });
    }
  }
  EXPECT_FALSE(sounding.empty()) << "a note was sounding at the stop";
  for (const Bytes& on : sounding) {
    const Bytes off = {static_cast<uint8_t>(0x80 | (on[0] & 0x0F)), on[1], 0};
    EXPECT_NE(std::find(bytes.begin() + static_cast<long>(before), bytes.end(), off), bytes.end());
  }
  EXPECT_EQ(bytes[bytes.size() - 2], AllNotesOff(0));
  EXPECT_EQ(bytes.back(), AllNotesOff(9));
  StopAndClose();
}

TEST_F(PortPlayback, APortThatGoesAwayEndsPlaybackWithANotice) {
  Song(64);
  player->SetOutput(receiver->port());
  Play();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const std::string port = receiver->port();
  receiver->Close();
  const auto start = Clock::now();
  std::string error;
  EXPECT_FALSE(player->WaitUntilEnd(error));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(error, "the MIDI output " + port + " went away");
  EXPECT_EQ(player->PlayingTick(), -1);
  const PlayerNotice notice = player->TakeNotice();
  EXPECT_EQ(notice.kind, PlayerNotice::Kind::kPortLost);
  EXPECT_EQ(notice.port, port);
  EXPECT_EQ(NoticeText(notice),
            "MIDI出力「" + port + "」が使えなくなったため、演奏を止めました。");
  StopAndClose();
}

TEST_F(PortPlayback, AMissingPortIsToldAndNotesGoToTheChosenPort) {
  Song(8);
  player->SetOutput("nobody:in");
  Play();  // the built-in synthesizer plays instead (or finds no sound device): no hang
  const PlayerNotice missing = player->TakeNotice();
  EXPECT_EQ(missing.kind, PlayerNotice::Kind::kPortMissing);
  EXPECT_EQ(missing.port, "nobody:in");
  EXPECT_EQ(player->TakeNotice().kind, PlayerNotice::Kind::kNone);  // told once
  StopAndClose();
  EXPECT_TRUE(receiver->Messages().empty());

  // A click in the piano roll: the note on the chosen port, with its program (none for drums),
  // ended after its length.
  player->SetOutput(receiver->port());
  player->SoundNote(2, 40, 64, 90, 200);
  player->SoundNote(9, 40, 38, 100, 100);
  ASSERT_TRUE(receiver->WaitFor(5));
  const auto received = receiver->Messages();
  EXPECT_EQ(receiver->Bytes(), (std::vector<Bytes>{{0xC2, 40}, {0x92, 64, 90}, {0x99, 38, 100},
                                                   {0x89, 38, 0}, {0x82, 64, 0}}));
  const auto held = received[4].at - received[1].at;
  EXPECT_GT(held, std::chrono::milliseconds(180));
  EXPECT_LT(held, std::chrono::milliseconds(300));
  // With nothing more to play, the program's output port is let go after a while.
  EXPECT_EQ(testing::JackPorts("^VEMA.*:out$").size(), 1u);
  EXPECT_TRUE(testing::WaitUntil([] { return testing::JackPorts("^VEMA.*:out$").empty(); }, 5000));
}

TEST_F(PortPlayback, TheCommandLineListsPortsPlaysToTheEndAndStopsCleanlyOnCtrlC) {
  Song(8);
  const std::string cli = std::string(VEMA_CLI) + " play --dir " + dir.str();
  const auto [list, listed] = testing::Shell(cli + " --port list");
  EXPECT_EQ(listed, 0);
  EXPECT_NE(("\n" + list).find("\n" + receiver->port() + "\n"), std::string::npos) << list;
  const auto [missing, refused] = testing::Shell(cli + " --port nobody:in");
  EXPECT_EQ(refused, 1);
  EXPECT_NE(missing.find("error: there is no MIDI output named \"nobody:in\""), std::string::npos);

  const auto [played, status] = testing::Shell("timeout 20 " + cli + " --port " + receiver->port());
  EXPECT_EQ(status, 0) << played;
  const MidiSequence expected = *ReadMidiSequence(song);
  receiver->WaitFor(expected.messages.size() + 2);
  EXPECT_EQ(receiver->Messages().size(), expected.messages.size() + 2);

  // Ctrl-C after half a second of a long song: the notes end, the exit status says so.
  Song(64);
  const size_t before = receiver->Messages().size();
  const auto [stopped, interrupted] = testing::Shell(
      "timeout --preserve-status -s INT 1 " + cli + " --port " + receiver->port());
  EXPECT_EQ(interrupted, 130) << stopped;
  ASSERT_TRUE(receiver->WaitFor(before + 3));
  const auto bytes = receiver->Bytes();
  EXPECT_LT(bytes.size() - before, 40u);  // about a second of the song
  EXPECT_EQ(bytes.back(), AllNotesOff(9));
}

}  // namespace
}  // namespace vema
