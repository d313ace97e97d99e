// The messages of a MIDI file as a player sends them: tracks merged by time, tempo changes,
// running status, time code; checked against an independent reader (mido) on a composed song.
#include <gtest/gtest.h>

#include <sstream>

#include "app/tiny_song_files.h"
#include "song/midi_sequence.h"
#include "song/smf_bytes.h"
#include "support/child_process.h"

namespace vema {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Header(int tracks, uint16_t division) {
  return {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, static_cast<uint8_t>(tracks),
          static_cast<uint8_t>(division >> 8), static_cast<uint8_t>(division)};
}

Bytes Track(const Bytes& data) { return MakeTrackChunk(data); }

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

struct Expected {
  int64_t tick, microseconds;
  Bytes bytes;
};

TEST(MidiSequence, MergesTracksByTimeWithTempoChangesRunningStatusAndTimeCode) {
  // Conductor: 120 quarters a minute, 60 from tick 96.  Track 1: a program change, a note whose
  // end is a note-on of velocity 0 in running status, system exclusive (left out), a note from
  // tick 96 to 288 (a delta time of two bytes).  Track 2: channel 1 at ticks 0 and 96, after track 1 at the same ticks.
  const Bytes conductor = Track({0x00, 0xFF, 0x51, 3, 0x07, 0xA1, 0x20, 0x60, 0xFF, 0x51, 3, 0x0F,
                                 0x42, 0x40, 0x00, 0xFF, 0x2F, 0x00});
  const Bytes melody = Track({0x00, 0xC0, 0x05, 0x00, 0x90, 0x3C, 0x64, 0x30, 0x3C, 0x00, 0x00,
                              0xF0, 0x02, 0x7F, 0xF7, 0x30, 0x90, 0x40, 0x64, 0x81, 0x40, 0x80,
                              0x40, 0x00, 0x00, 0xFF, 0x2F, 0x00});
  const Bytes second = Track({0x00, 0xB1, 0x07, 0x64, 0x60, 0xE1, 0x00, 0x40, 0x00, 0xFF, 0x2F, 0x00});
  struct Case {
    const char* what;
    Bytes file;
    std::vector<Expected> messages;
    int64_t endTick, endMicroseconds;
    uint16_t channels;
  };
  const Case cases[] = {
      {"tempo changes",
       Join({Header(3, 48), conductor, melody, second}),
       {{0, 0, {0xC0, 0x05}},
        {0, 0, {0x90, 0x3C, 0x64}},
        {0, 0, {0xB1, 0x07, 0x64}},
        {48, 500000, {0x90, 0x3C, 0x00}},
        {96, 1000000, {0x90, 0x40, 0x64}},
        {96, 1000000, {0xE1, 0x00, 0x40}},
        {288, 5000000, {0x80, 0x40, 0x00}}},
       288,
       5000000,
       0b11},
      // 25 frames a second of 40 ticks: a millisecond a tick, whatever the tempo says.
      {"time code",
       Join({Header(2, 0xE728), conductor, melody}),
       {{0, 0, {0xC0, 0x05}},
        {0, 0, {0x90, 0x3C, 0x64}},
        {48, 48000, {0x90, 0x3C, 0x00}},
        {96, 96000, {0x90, 0x40, 0x64}},
        {288, 288000, {0x80, 0x40, 0x00}}},
       288,
       288000,
       0b1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::optional<MidiSequence> song = ReadMidiSequence(c.file);
    ASSERT_TRUE(song);
    ASSERT_EQ(song->messages.size(), c.messages.size());
    for (size_t i = 0; i < c.messages.size(); ++i) {
      const TimedMidiMessage& m = song->messages[i];
      EXPECT_EQ(m.tick, c.messages[i].tick) << i;
      EXPECT_EQ(m.microseconds, c.messages[i].microseconds) << i;
      EXPECT_EQ(Bytes(m.bytes, m.bytes + m.size), c.messages[i].bytes) << i;
    }
    EXPECT_EQ(song->endTick, c.endTick);
    EXPECT_EQ(song->endMicroseconds, c.endMicroseconds);
    EXPECT_EQ(song->channelsUsed, c.channels);
  }
  // Between ticks and times both ways, inside and past the tempo changes.
  const MidiSequence song = *ReadMidiSequence(cases[0].file);
  for (const auto& [tick, microseconds] :
       std::vector<std::pair<int64_t, int64_t>>{{0, 0}, {24, 250000}, {144, 2000000}, {400, 7333333}}) {
    EXPECT_EQ(song.MicrosecondsAt(tick), microseconds) << tick;
    EXPECT_NEAR(static_cast<double>(song.TickAt(microseconds)), static_cast<double>(tick), 1) << tick;
  }
  EXPECT_EQ(song.TickAt(-5), 0);
  EXPECT_EQ(song.FirstAt(96), 4u);
  EXPECT_EQ(song.FirstAt(97), 6u);
  // A damaged file is no sequence.
  EXPECT_FALSE(ReadMidiSequence(Bytes(cases[0].file.begin(), cases[0].file.end() - 3)));
}

TEST(MidiSequence, AgreesWithAnIndependentReaderOnAComposedSong) {
  testing::TempDir dir;
  testing::WriteTinyFolder(dir.str());
  testing::ComposeIn(dir.str(), 21, kRock);
  // mido: every channel message in playing order, with its time in microseconds.
  const auto [listing, status] = testing::Shell(
      "/usr/bin/python3 -c \"import sys, mido\n"
      "t = 0.0\n"
      "for m in mido.MidiFile(sys.argv[1], charset='cp932'):\n"
      "    t += m.time\n"
      "    if not m.is_meta and m.type != 'sysex':\n"
      "        print(round(t * 1e6), m.bytes())\" " +
      dir.File("out.mid"));
  ASSERT_EQ(status, 0) << listing;
  const MidiSequence song = *ReadMidiSequence(testing::ReadAll(dir.File("out.mid")));
  std::ostringstream ours;
  for (const TimedMidiMessage& m : song.messages) {
    ours << m.microseconds << " [";
    for (uint8_t i = 0; i < m.size; ++i) ours << (i > 0 ? ", " : "") << int{m.bytes[i]};
    ours << "]\n";
  }
  EXPECT_GT(song.messages.size(), 200u);
  EXPECT_EQ(ours.str(), listing);
}

}  // namespace
}  // namespace vema
