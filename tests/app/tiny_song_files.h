// Working folders for whole compositions (a tiny deterministic one: every half bar is the
// pattern "48, 48", so every bar holds four quarter notes; a copy of the shipped one), and what
// the tests of the commands read back from them.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "accomp/accompaniment.h"
#include "app/compose_command.h"
#include "editors/custom_form_store.h"
#include "melody/melody_style_db.h"
#include "output/song_score.h"
#include "song/composition_db.h"
#include "support/test_support.h"

namespace vema::testing {

// The style leads every rule row to rule 10. Stored forms: 0 one period of C, F, G7, C; 1 two
// periods in A minor.
inline void WriteTinyFolder(const std::string& dir, uint8_t kind = 0) {
  CompositionDb db;
  db.kind = kind;
  db.noteLengthPatterns[0] = db.noteLengthPatterns[1] = 48;
  db.noteLengthPatterns[2] = -1;
  db.lastTransitionIndex.fill(-1);
  for (int k = 0; k < kTransitionKinds; ++k) {
    db.lastTransitionIndex[static_cast<size_t>(k) + 1] = 1;
    for (int j = 0; j < 2; ++j) db.transitions[static_cast<size_t>(k * 1000 + j)] = {0, 0, 1};
  }
  WriteAll(dir + "/default.mld", EncodeCompositionDb(db));
  MelodyStyleDb style;
  for (auto& table : style.table) {
    for (auto& row : table) row[10] = 100;
  }
  style.settings = {0, 10, 3, 0, 0, 0, 0, 0};
  const std::string bytes = style.Encode();
  WriteAll(dir + "/default.ton", std::vector<uint8_t>(bytes.begin(), bytes.end()));
  CustomFormTable table;
  table.count = 2;
  const char* const chords[] = {"C", "F", "G7", "C", "Am", "Dm7", "E7", "Am"};
  for (int i = 0; i < 2; ++i) {
    SongForm form = BlankForm();
    form.lastPeriod = i;
    for (int bar = 0; bar < kMaxBars; ++bar) {
      form.SetChord(bar, chords[(bar % 8) / 2 + (i == 1 ? 4 : 0)]);
      form.keyIndex[static_cast<size_t>(bar)] = i == 1 ? 15 : 0;
    }
    table.names[static_cast<size_t>(i)] = "form " + std::to_string(i);
    table.forms[static_cast<size_t>(i)] = form;
  }
  WriteAll(dir + "/default.db", EncodeCustomForms(table));
}

// Starts a session in a folder and composes as the window does, the feel dialog answered with
// feel; the messages shown.
inline std::vector<ScriptedPlatform::Message> ComposeIn(const std::string& dir, uint32_t seed,
                                                        int feel = kStandard) {
  TestSession t(dir, seed);
  StartUp(*t.session);
  t.platform.feelAnswers = {feel};
  ComposeCommand(*t.session);
  return t.platform.messages;
}

// A song of one quarter note at 120 quarters a minute (half a second) as out.mid of a folder.
inline void WriteQuarterNoteSong(const std::string& dir) {
  const char song[] =
      "MThd\0\0\0\6\0\0\0\1\0\x30MTrk\0\0\0\14\0\x90\x3C\x64\x30\x80\x3C\0\0\xFF\x2F\0";
  WriteAll(dir + "/out.mid", std::vector<uint8_t>(song, song + sizeof song - 1));
}

// Waits until done() holds; false when it did not within the time.
inline bool WaitUntil(const std::function<bool()>& done, int milliseconds = 3000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// vema-cli run on a command line whose words hold no spaces.
inline CliRun RunCliLine(const std::string& line, const SongPlayerFactory& players = {}) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string word; in >> word;) words.push_back(word);
  return RunCliWords(words, players);
}

// The notes of a MIDI file; none (and a failed expectation) when it cannot be read.
inline MidiNotes NotesOfFile(const std::string& path) {
  std::string error;
  const std::optional<MidiNotes> notes = ReadMidiNotes(ReadAll(path), error);
  EXPECT_TRUE(notes) << path << ": " << error;
  return notes.value_or(MidiNotes{});
}

}  // namespace vema::testing
