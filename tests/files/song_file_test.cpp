// Which song files the player takes: whole Standard MIDI Files only, judged by their chunks and
// events, so that a cut or damaged out.mid is reported instead of played as silence.
#include "song/song_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "accomp/accompaniment.h"
#include "app/compose_command.h"
#include "app/tiny_song_files.h"
#include "editors/custom_form_store.h"
#include "melody/melody_style_db.h"
#include "song/binary_io.h"
#include "song/composition_db.h"
#include "song/file_io.h"

namespace vema {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Smf(const std::string& text) { return Bytes(text.begin(), text.end()); }

const std::string kHeader("MThd\0\0\0\6\0\1\0\2\0\x30", 14);
const std::string kTempo("MTrk\0\0\0\x0b\0\xff\x51\3\7\xa1\x20\0\xff\x2f\0", 19);
// Sysex, a text event, a note on and its note off in running status, the end of the track.
const std::string kNotes("MTrk\0\0\0\x15\0\xf0\2\x7e\xf7\0\xff\1\1a\0\x90\x3c\x64\x30\x3c\0\0\xff\x2f\0", 29);

TEST(SongFile, AComposedSongIsWholeAndEveryCutOfItIsNot) {
  testing::TempDir dir;
  testing::WriteTinyFolder(dir.str());
  testing::ComposeIn(dir.str(), 7, kRock);
  const Bytes song = testing::ReadAll(dir.File("out.mid"));
  ASSERT_GT(song.size(), 100u);
  EXPECT_TRUE(IsCompleteSmf(song));
  for (size_t cut = 0; cut < song.size(); ++cut) {
    EXPECT_FALSE(IsCompleteSmf(std::span(song).first(cut))) << cut;
  }
  std::string error;
  EXPECT_EQ(ReadSongFile(dir.File("out.mid"), "out.mid", error), song);
  EXPECT_EQ(error, "");
  EXPECT_FALSE(ReadSongFile(dir.File("none.mid"), "none.mid", error));
  EXPECT_EQ(error, "ファイルを開けません[none.mid]");
  testing::WriteAll(dir.File("cut.mid"), Bytes(song.begin(), song.end() - 1));
  EXPECT_FALSE(ReadSongFile(dir.File("cut.mid"), "cut.mid", error));
  EXPECT_EQ(error, "ファイルが壊れています[cut.mid]");
}

TEST(SongFile, HeadersChunksAndEventsAreChecked) {
  using namespace std::string_literals;
  // Offsets in two: header 0..13, tempo chunk 14..32 (length byte 21), notes chunk 33..61
  // (length byte 40; events from 41: sysex at 42, text at 47, note on at 52, running at 55).
  const std::string two = kHeader + kTempo + kNotes;
  const auto with = [&](size_t at, char byte) {
    std::string s = two;
    s[at] = byte;
    return s;
  };
  std::string format0 = kHeader + kNotes;
  format0[9] = 0, format0[11] = 1;
  std::string noEnd = kNotes.substr(0, 8 + 17);  // the events up to the note off
  noEnd[7] = 17;
  // A text event of 130 bytes has a two-byte length; a delta time has at most four bytes.
  const std::string longText = "MThd\0\0\0\6\0\0\0\1\0\x30MTrk\0\0\0\x8b"s + "\0\xff\1\x81\2"s +
                               std::string(130, 't') + "\0\xff\x2f\0"s;
  const std::string longDelta = "MThd\0\0\0\6\0\0\0\1\0\x30MTrk\0\0\0\x08\x81\x81\x81\x81\0\xff\x2f\0"s;
  // Running status continues the last channel message, never a meta event.
  const std::string afterMeta = "MThd\0\0\0\6\0\0\0\1\0\x30MTrk\0\0\0\x0b\0\xff\1\0\0\x3c\0\0\xff\x2f\0"s;
  const std::pair<std::string, bool> cases[] = {
      {two, true},
      {two + "MTrk\xff\xff", true},                          // bytes after the last track
      {kHeader + "XFIL\0\0\0\1z"s + kTempo + kNotes, true},  // an unknown chunk is skipped
      {format0, true},
      {with(9, 3), false},                                     // format 3
      {with(11, 0), false},                                    // no tracks
      {with(11, 3), false},                                    // a track missing
      {with(13, 0), false},                                    // division 0
      {with(7, 5), false},                                     // header shorter than 6 bytes
      {with(21, '\x0a'), false},                               // end of track cut
      {with(40, '\x16'), false},                               // a chunk longer than the file
      {with(42, '\x3c'), false},                               // data byte without a status
      {with(53, '\x80'), false},                               // a data byte of 0x80 or more
      {with(42, '\xf2'), false},                               // system common in a file
      {with(43, '\x7f'), false},                               // sysex longer than its track
      {kHeader + kTempo + noEnd, false},                       // no end of track
      {afterMeta, false},
      {longText, true},
      {longDelta, false},
      {with(3, 'x'), false},                                   // no header chunk
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(IsCompleteSmf(Smf(cases[i].first)), cases[i].second) << "case " << i;
  }
}

// How long a song plays: its last event at its tempo changes (120 quarter notes a minute before
// the first), or in time code.
TEST(SongFile, SecondsFollowTheTempoChangesToTheLastEvent) {
  using namespace std::string_literals;
  const auto song = [](const std::string& division, const std::string& events) {
    const std::string track = events + "\0\xff\x2f\0"s;
    return Smf("MThd\0\0\0\6\0\0\0\1"s + division + "MTrk\0\0\0"s +
               static_cast<char>(track.size()) + track);
  };
  const std::string note = "\0\x90\x3c\x64\x60\x80\x3c\0"s;  // two quarter notes long
  const std::string slower = "\0\xff\x51\3\x0f\x42\x40"s;     // 60 quarter notes a minute
  const std::pair<Bytes, double> cases[] = {
      {song("\0\x30"s, note), 1.0},
      {song("\0\x30"s, slower + note), 2.0},
      {song("\0\x30"s, note + slower + "\x30\xff\1\0"s), 2.0},  // a quarter at 60 after it
      {song("\0\x18"s, note), 2.0},                               // 24 ticks to the quarter
      {song("\xe7\x28"s, note), 96.0 / (25 * 40)},                // 25 frames of 40 ticks
      {song("\xe3\x50"s, "\x81\x0c\xff\1\0"s), 140 / (29.97 * 80)},
      {Smf("MThd\0\0\0\6\0\0\0\1\0\x30"s), 0.0},                // no whole file
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_NEAR(SongSeconds(cases[i].first), cases[i].second, 1e-9) << "case " << i;
  }
  // The two tracks of a song end at its longer one.
  EXPECT_NEAR(SongSeconds(Smf(kHeader + kTempo + kNotes)), 0.5, 1e-9);
}

// An input far larger than any valid file of its kind is refused with a message that says so,
// before it is read; one just within the bound is read as before.
TEST(SongFile, InputsFarLargerThanAnyValidFileOfTheirKindAreRefusedWithTheirSize) {
  testing::TempDir dir;
  testing::WriteTinyFolder(dir.str());
  testing::ComposeIn(dir.str(), 7, kRock);
  struct Case {
    std::string name;
    uint64_t largest;  // of a valid file
    uint64_t refused;  // the size from which it is refused
    std::function<bool(std::string&)> read;
  };
  testing::TestSession t(dir.str());
  const Case cases[] = {
      {"out.mid", kMaxSongFileBytes, kMaxSongFileBytes + 1,
       [&](std::string& message) { return ReadSongFile(dir.File("out.mid"), "out.mid", message).has_value(); }},
      {"default.mld", kMldFileBytes, FarLargerThan(kMldFileBytes) + 1,
       [&](std::string&) { return CompositionDbLoader("default.mld").Load(t.session->compositionDb, t.platform, dir.str()); }},
      {"default.ton", kTonFileBytes, FarLargerThan(kTonFileBytes) + 1,
       [&](std::string&) { return t.session->style.Load("default.ton", t.platform, dir.str()); }},
      {"default.db", kCustomFormFileBytes, FarLargerThan(kCustomFormFileBytes) + 1,
       [&](std::string&) {
         ReadCustomFormFile(t.session->Editors());
         return t.session->customForms.fileState != CustomFormFileState::kUnreadable;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes original = testing::ReadAll(dir.File(c.name));
    for (const uint64_t size : {c.refused - 1, c.refused}) {
      std::filesystem::resize_file(dir.File(c.name), size);  // the rest reads as zeros
      t.platform.messages.clear();
      std::string message;
      const bool read = c.read(message);
      if (!t.platform.messages.empty()) message = t.platform.messages.back().text;
      const bool refused = size == c.refused;
      EXPECT_EQ(read, !refused) << size;
      EXPECT_EQ(message == TooLargeMessage(c.name, size, c.largest), refused) << message;
    }
    testing::WriteAll(dir.File(c.name), original);
  }
  EXPECT_EQ(TooLargeMessage("out.mid", 200 << 20, kMaxSongFileBytes),
            "ファイルが大きすぎます[out.mid]\nこの種類のファイルは大きくても 16 MB ですが、これは 200 MB "
            "あります。");
  EXPECT_EQ(TooLargeMessage("default.ton", 16 << 10, kTonFileBytes),
            "ファイルが大きすぎます[default.ton]\nこの種類のファイルは大きくても 5 KB ですが、これは 16 KB "
            "あります。");
}

}  // namespace
}  // namespace vema
