#include <gtest/gtest.h>

#include <filesystem>

#include "output/midi_reader.h"
#include "output/midi_writer.h"
#include "output/smf_bytes.h"
#include "support/test_support.h"

namespace vema {
namespace {

using testing::ParseMidiFile;
using testing::ParseTrackChunk;
using testing::TempDir;
using testing::TestSession;
using Bytes = std::vector<uint8_t>;

constexpr int32_t kEnd = -999;

struct Cell {
  int32_t length;
  int32_t pitch;
  int8_t octave;
};

void SetMelody(Session& session, std::initializer_list<Cell> cells) {
  int step = 0;
  for (const Cell& c : cells) {
    session.noteTrack.at(step, 0) = TrackNote{c.length, c.pitch, c.octave};
    ++step;
  }
  session.noteTrack.at(step, 0).length = -1;
}

// The voicing of an all-C form, as the chord module gives it.
void SetCVoicing(MidiWriter& writer, int bars) {
  writer.voicings.assign(static_cast<size_t>(bars), {60, 64, 67, kEnd});
  writer.voicings.push_back({kEnd});
  writer.bassNotes.assign(static_cast<size_t>(bars), 48);
  writer.bassNotes.push_back(kEnd);
}

// Melody track event bytes between the program change and the end of track.
Bytes MelodyEvents(const MidiWriter& writer) {
  return Bytes(writer.melodyTrack.begin() + 11, writer.melodyTrack.end() - 4);
}

// ---- delta times and keys --------------------------------------------------------------------

TEST(SmfBytes, DeltaTimesAreVariableLengthQuantities) {
  const std::vector<std::pair<int64_t, Bytes>> cases = {
      {0, {0x00}},          {48, {0x30}},         {127, {0x7F}},
      {128, {0x81, 0x00}},  {192, {0x81, 0x40}},  {384, {0x83, 0x00}},
      {16383, {0xFF, 0x7F}}, {16384, {0x81, 0x80, 0x00}},
      {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}}};
  for (const auto& [ticks, bytes] : cases) {
    Bytes out;
    AppendDeltaTime(out, ticks);
    EXPECT_EQ(out, bytes) << ticks;
  }
  Bytes huge;
  AppendDeltaTime(huge, int64_t{1} << 40);
  EXPECT_EQ(huge, (Bytes{0xFF, 0xFF, 0xFF, 0x7F}));
}

TEST(SmfBytes, KeysMoveByOctavesIntoOneToOneTwentySeven) {
  EXPECT_EQ(KeyIntoMidiRange(60), 60);
  EXPECT_EQ(KeyIntoMidiRange(1), 1);
  EXPECT_EQ(KeyIntoMidiRange(127), 127);
  EXPECT_EQ(KeyIntoMidiRange(0), 12);     // a c in octave 0 is no rest
  EXPECT_EQ(KeyIntoMidiRange(-1), 11);
  EXPECT_EQ(KeyIntoMidiRange(-12), 12);
  EXPECT_EQ(KeyIntoMidiRange(-13), 11);
  EXPECT_EQ(KeyIntoMidiRange(128), 116);
  EXPECT_EQ(KeyIntoMidiRange(139), 127);
  EXPECT_EQ(KeyIntoMidiRange(140), 116);
  EXPECT_EQ(KeyIntoMidiRange(127 * 12 + 11), 119);
}

// ---- melody ----------------------------------------------------------------------------------

TEST(MelodyTrack, NotesRestsAndDeltaBytes) {
  TestSession t;
  Session& session = *t.session;
  session.instrumentPrograms[0] = 73;
  SetMelody(session, {{96, 0, 5}, {192, 1, 5}, {48, 5, 6}, {96, 0, 4}, {96, 0, 4}, {24, 8, 4},
                      {96, 0, 5}});
  MidiWriter writer(session);
  ASSERT_EQ(writer.BuildMelodyTrack(), 1);
  const Bytes expected = {0x60, 0x90, 60, 0x60, 0x81, 0x40, 0x80, 60, 0x00,   // rest 96, c 192
                          0x00, 0x90, 76, 0x60, 0x30, 0x80, 76, 0x00,         // e 48
                          0x81, 0x40, 0x90, 55, 0x60, 0x18, 0x80, 55, 0x00};  // 2 rests, g 24
  EXPECT_EQ(MelodyEvents(writer), expected);
  EXPECT_EQ(Bytes(writer.melodyTrack.begin(), writer.melodyTrack.begin() + 11),
            (Bytes{'M', 'T', 'r', 'k', 0, 0, 0, static_cast<uint8_t>(expected.size() + 7), 0x00,
                   0xC0, 73}));
  // Key and length of every note in order, rests excluded; the trailing rest gives nothing.
  EXPECT_EQ(session.log.text(), "音高 60 音長 192\n音高 76 音長 48\n音高 55 音長 24\n");
}

TEST(MelodyTrack, CollectStopsAtAZeroLengthAndTheEndOfTheTable) {
  TestSession t;
  Session& session = *t.session;
  SetMelody(session, {{48, 1, 5}, {0, 3, 5}, {48, 5, 5}});
  MidiWriter writer(session);
  ASSERT_EQ(writer.CollectMelodyNotes(), 1);
  EXPECT_EQ(writer.melodyNotes, (std::vector<std::pair<int32_t, int32_t>>{{60, 48}}));

  // A voice without an end mark stops at step 3000.
  for (int step = 0; step < kTrackSteps; ++step) session.noteTrack.at(step, 0) = {24, 1, 5};
  ASSERT_EQ(writer.CollectMelodyNotes(), 1);
  EXPECT_EQ(writer.melodyNotes.size(), static_cast<size_t>(kTrackSteps));
  ASSERT_EQ(writer.BuildMelodyTrack(), 1);
  EXPECT_EQ(ParseTrackChunk(writer.melodyTrack).endTick, int64_t{kTrackSteps} * 24);
}

TEST(MelodyTrack, AnEmptyMelodyGivesAnEmptyTrack) {
  TestSession t;
  SetMelody(*t.session, {});
  MidiWriter writer(*t.session);
  ASSERT_EQ(writer.BuildMelodyTrack(), 1);
  EXPECT_TRUE(writer.melodyNotes.empty());
  EXPECT_EQ(writer.melodyTrack,
            (Bytes{'M', 'T', 'r', 'k', 0, 0, 0, 7, 0x00, 0xC0, 0, 0x00, 0xFF, 0x2F, 0x00}));
  EXPECT_TRUE(t.platform.messages.empty());
}

TEST(MelodyTrack, KeysOutsideTheMidiRangeMoveByOctaves) {
  TestSession t;
  Session& session = *t.session;
  // c in octave 0 (key 0), b in octave -1 (key -1), c in octave 11 (key 132), g in octave 10
  // (key 127), c+ in octave -3 (key -35).
  SetMelody(session, {{48, 1, 0}, {48, 12, -1}, {48, 1, 11}, {48, 8, 10}, {48, 2, -3}});
  MidiWriter writer(session);
  ASSERT_EQ(writer.BuildMelodyTrack(), 1);
  std::vector<int32_t> keys;
  for (const auto& [key, length] : writer.melodyNotes) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<int32_t>{12, 11, 120, 127, 1}));
  // Every note is played (none became a rest) and no data byte is a status byte.
  const testing::MidiTrack track = ParseTrackChunk(writer.melodyTrack);
  EXPECT_EQ(testing::CountNoteOns(track), 5);
  EXPECT_NE(session.log.text().find("音高 12 音長 48\n音高 11 音長 48\n音高 120 "),
            std::string::npos);
}

TEST(MelodyTrack, NoMelodyYetShowsTheMessage) {
  TestSession t;
  MidiWriter writer(*t.session);
  EXPECT_EQ(writer.BuildMelodyTrack(), 0);
  ASSERT_EQ(t.platform.messages.size(), 1u);
  EXPECT_EQ(t.platform.messages[0].text,
            "メロディーはまだ生成されていません。\n伴奏パタンのみ作成します。");
  EXPECT_EQ(t.platform.messages[0].icon, MessageIcon::kPlain);
}

TEST(MelodyTrack, AProgramOutsideTheGeneralMidiRangeStaysADataByte) {
  TestSession t;
  t.session->instrumentPrograms[0] = 300;
  SetMelody(*t.session, {{48, 1, 5}});
  MidiWriter writer(*t.session);
  writer.BuildMelodyTrack();
  EXPECT_LT(writer.melodyTrack[10], 0x80);
}

// ---- whole file ------------------------------------------------------------------------------

TEST(MidiFile, HeaderAndConductorTrack) {
  TestSession t;
  Session& session = *t.session;
  SetMelody(session, {{192, 1, 5}, {192, 3, 5}});
  MidiWriter writer(session);
  SetCVoicing(writer, 8);
  const Bytes file = writer.AssembleFile(kMarch);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 14),
            (Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 5, 0, 0x30}));
  const Bytes conductor = {'M',  'T',  'r',  'k',  0,    0,    0,    0x24, 0x00, 0xFF, 0x58,
                           0x04, 0x04, 0x02, 0x18, 0x08, 0x00, 0xFF, 0x7F, 0x03, 0x00, 0x00,
                           0x41, 0x00, 0xFF, 0x7F, 0x05, 0x00, 0x00, 0x77, 0x0E, 0x00, 0x00,
                           0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x83, 0x00, 0xFF, 0x2F, 0x00};
  EXPECT_EQ(Bytes(file.begin() + 14, file.begin() + 14 + 44), conductor);
  EXPECT_EQ(ConductorTrackChunk(), conductor);
  // The tracks follow in the order melody, chord, bass, drums.
  Bytes tracks = writer.melodyTrack;
  for (const Bytes* chunk : {&writer.chordTrack, &writer.bassTrack, &writer.drumTrack}) {
    tracks.insert(tracks.end(), chunk->begin(), chunk->end());
  }
  EXPECT_EQ(Bytes(file.begin() + 58, file.end()), tracks);
  const auto view = ParseMidiFile(file);
  EXPECT_EQ(view.format, 1);
  EXPECT_EQ(view.division, 48);
  ASSERT_EQ(view.tracks.size(), 5u);
  EXPECT_EQ(view.tracks[0].endTick, 384);
  EXPECT_EQ(view.tracks[1].endTick, 384);
  EXPECT_EQ(view.tracks[2].endTick, 8 * 192);
  EXPECT_EQ(view.tracks[3].endTick, 8 * 192);
  EXPECT_EQ(view.tracks[4].endTick, 8 * 192 - 24);
}

TEST(MidiFile, WithoutAMelodyTheFileHasFourTracks) {
  TestSession t;
  MidiWriter writer(*t.session);
  SetCVoicing(writer, 8);
  const Bytes file = writer.AssembleFile(kRock);
  EXPECT_EQ(file[11], 4);
  const auto view = ParseMidiFile(file);
  ASSERT_EQ(view.tracks.size(), 4u);
  // The first track after the conductor is the chord track (program change on channel 2).
  EXPECT_EQ(view.tracks[1].events.front().status, 0xC1);
  EXPECT_EQ(t.platform.messages.size(), 1u);
}

TEST(MidiFile, ProgramsOfTheThreeInstrumentTracks) {
  TestSession t;
  Session& session = *t.session;
  session.instrumentPrograms = {10, 33, 48};
  SetMelody(session, {{192, 1, 5}});
  MidiWriter writer(session);
  SetCVoicing(writer, 1);
  const auto view = ParseMidiFile(writer.AssembleFile(kStandard));
  EXPECT_EQ(view.tracks[1].events.front().status, 0xC0);
  EXPECT_EQ(view.tracks[1].events.front().data[0], 10);
  EXPECT_EQ(view.tracks[2].events.front().data[0], 48);
  EXPECT_EQ(view.tracks[3].events.front().data[0], 33);
  EXPECT_EQ(view.tracks[4].events.front().status, 0xB9);
}

TEST(MidiFile, ANinetySixBarSongIsWrittenWhole) {
  TestSession t;
  Session& session = *t.session;
  session.form.lastPeriod = 11;
  // 96 bars of 19 notes (1824 melody notes), each bar 192 ticks.
  int step = 0;
  for (int bar = 0; bar < 96; ++bar) {
    for (int n = 0; n < 18; ++n) session.noteTrack.at(step++, 0) = {8, 1 + n % 12, 5};
    session.noteTrack.at(step++, 0) = {48, 8, 6};
  }
  session.noteTrack.at(step, 0).length = -1;
  MidiWriter writer(session);
  SetCVoicing(writer, 96);
  for (int bar = 0; bar < 96; ++bar) writer.voicings[bar] = {60, 64, 67, 70, kEnd};
  const Bytes file = writer.AssembleFile(kBlues);
  EXPECT_GT(file.size(), 50000u);  // more than a fixed 50000-byte list would hold
  const auto view = ParseMidiFile(file);
  ASSERT_EQ(view.tracks.size(), 5u);
  EXPECT_EQ(testing::CountNoteOns(view.tracks[1]), 96 * 19);
  EXPECT_EQ(view.tracks[1].endTick, 96 * 192);
  EXPECT_EQ(testing::CountNoteOns(view.tracks[2]), 96 * 12 * 4);
  EXPECT_EQ(view.tracks[3].endTick, 96 * 192);
  EXPECT_EQ(view.tracks[4].endTick, 96 * 192 - 16);
}

TEST(MidiFile, WriteCreatesOutMidAndTheImage) {
  TempDir dir;
  TestSession t(dir.str());
  Session& session = *t.session;
  session.form.SetChord(0, "C");
  for (int bar = 1; bar < 8; ++bar) session.form.SetChord(bar, "C");
  SetMelody(session, {{192, 1, 5}});
  MidiWriter writer(session);
  ASSERT_TRUE(writer.Write(kMarch));
  const Bytes onDisk = testing::ReadAll(dir.File("out.mid"));
  EXPECT_EQ(onDisk, session.midiImage.bytes);
  EXPECT_EQ(session.midiImage.count, static_cast<int32_t>(onDisk.size()));
  EXPECT_EQ(Bytes(onDisk.end() - 3, onDisk.end()), (Bytes{0xFF, 0x2F, 0x00}));
  ASSERT_FALSE(t.platform.messages.empty());
  EXPECT_EQ(t.platform.messages.back().text, "作曲完了！！");
  EXPECT_EQ(t.platform.messages.back().icon, MessageIcon::kPlain);
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.mid.tmp")));
}

TEST(MidiFile, AFileThatCannotBeCreatedKeepsTheImage) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("out.mid"));  // a folder in the file's place
  TestSession t(dir.str());
  Session& session = *t.session;
  session.midiImage.bytes = {1, 2, 3};
  session.midiImage.count = 3;
  SetMelody(session, {{192, 1, 5}});
  MidiWriter writer(session);
  EXPECT_FALSE(writer.Write(kMarch));
  EXPECT_EQ(session.midiImage.bytes, (Bytes{1, 2, 3}));
  EXPECT_EQ(session.midiImage.count, 3);
  ASSERT_EQ(t.platform.messages.back().text, "File could not created! ");
  EXPECT_EQ(t.platform.messages.back().icon, MessageIcon::kStop);
  for (const auto& m : t.platform.messages) EXPECT_NE(m.text, "作曲完了！！");
  // Nothing was built: no melody trace.
  EXPECT_EQ(session.log.text().find("音高"), std::string::npos);
}

}  // namespace
}  // namespace vema
