// The shipped default files: every stored form gets a whole melody.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "melody/note_length_generator.h"
#include "melody/pitch_generator.h"
#include "melody_fixture.h"

namespace vema {
namespace {

using testing::CountOf;
using testing::TempDir;
using testing::TestSession;

TEST(DefaultData, EveryStoredFormGetsAMelody) {
  const std::filesystem::path data = testing::DataDir();
  for (const char* name : {"default.mld", "default.ton", "default.db"}) {
    if (!std::filesystem::exists(data / name)) GTEST_SKIP() << name << " is not there yet";
  }
  TempDir dir;
  for (const char* name : {"default.mld", "default.ton", "default.db"}) {
    std::filesystem::copy_file(data / name, dir.path() / name);
  }
  TestSession ts(dir.str(), 42);
  Session& s = *ts.session;
  StartUp(s);
  ASSERT_TRUE(ts.platform.messages.empty());
  ASSERT_EQ(s.compositionDb.loaded, 1);
  ASSERT_TRUE(s.compositionDb.kind == 0 || s.compositionDb.kind == 3 || s.compositionDb.kind == 5);
  const int forms = s.customForms.Count();
  ASSERT_GT(forms, 0);
  for (int f = 0; f < forms; ++f) {
    SCOPED_TRACE("form " + std::to_string(f) + " " + s.customForms.names[static_cast<size_t>(f)]);
    s.form = s.customForms.forms[static_cast<size_t>(f)];
    NoteLengthGenerator(s).Run();
    PitchGenerator pitches(s);
    ASSERT_EQ(pitches.Run(), 1);
    EXPECT_TRUE(ts.platform.messages.empty());
    const int bars = s.form.BarCount();
    int notes = 0;
    for (int b = 0; b < bars; ++b) {
      int ticks = 0;
      for (const BarNote& note : s.barNotes[static_cast<size_t>(b)]) {
        if (note.length == -1) break;
        EXPECT_GT(note.length, 0);
        EXPECT_GE(note.pitch, 0);
        EXPECT_LE(note.pitch, 12);
        ticks += note.length;
        ++notes;
      }
      EXPECT_EQ(ticks, 192) << "bar " << b;
    }
    EXPECT_EQ(pitches.noteCount, notes);
    EXPECT_EQ(s.noteTrack.at(notes, 0).length, -1);
    EXPECT_EQ(s.noteTrack.at(bars * 8, 1).length, -1);
    const std::string& log = s.log.text();
    EXPECT_EQ(CountOf(log, "小節：New mode\n") + CountOf(log, "小節：Copy mode\n"), bars);
    EXPECT_EQ(CountOf(log, "小節***********************\n"), 2 * bars);
    // The octave check traces every cell of the melody after the bass voice's lines.
    const std::string lastBass = "\n" + std::to_string(bars - 1) + ":\n";
    const size_t tail = log.rfind(lastBass);
    ASSERT_NE(tail, std::string::npos);
    EXPECT_EQ(CountOf(log.substr(tail), "新tone="), notes);
  }
}

}  // namespace
}  // namespace vema
