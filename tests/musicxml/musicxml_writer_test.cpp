// The MusicXML export without outside tools: how a bar is written in note values, how keys are
// spelled, how a MIDI file is read back into notes, and the score's structure as pugixml reads it.
#include "output/musicxml_writer.h"

#include <gtest/gtest.h>

#include <numeric>

#include "musicxml/score_reading.h"
#include "output/music_names.h"

namespace vema {
namespace {

using testing::EdgeCaseScore;

struct Written {
  int32_t duration;
  std::string type;
  int dots = 0;
  int32_t tuplet = 0;
  bool operator==(const Written&) const = default;
  friend void PrintTo(const Written& w, std::ostream* out) {
    *out << w.duration << " " << w.type << std::string(static_cast<size_t>(w.dots), '.')
         << (w.tuplet > 0 ? " in 3:2 of " + std::to_string(w.tuplet) : "");
  }
};

std::vector<Written> Write(const std::vector<int32_t>& lines) {
  std::vector<Written> out;
  for (const NotePiece& p : NotateBar(lines)) out.push_back({p.duration, p.type, p.dots, p.tuplet});
  return out;
}

TEST(NotateBar, PlainDottedSyncopatedAndTripletValues) {
  const struct {
    std::vector<int32_t> lines;
    std::vector<Written> pieces;
  } cases[] = {
      {{0, 192}, {{192, "whole"}}},
      {{0, 72, 96, 192}, {{72, "quarter", 1}, {24, "eighth"}, {96, "half"}}},
      // A syncope is split at the beat; a note on the off-beat runs to the next beat first.
      {{0, 24, 72, 192},
       {{24, "eighth"}, {24, "eighth"}, {24, "eighth"}, {24, "eighth"}, {96, "half"}}},
      {{0, 16, 32, 48, 192},
       {{16, "eighth", 0, 48}, {16, "eighth", 0, 48}, {16, "eighth", 0, 48}, {144, "half", 1}}},
      // The blues bass: a quarter tied into a quarter triplet, then an eighth triplet.
      {{0, 80, 96, 192},
       {{48, "quarter"}, {32, "quarter", 0, 48}, {16, "eighth", 0, 48}, {96, "half"}}},
      {{0, 96, 128, 160, 192},
       {{96, "half"}, {32, "quarter", 0, 96}, {32, "quarter", 0, 96}, {32, "quarter", 0, 96}}},
      {{0, 64, 128, 192},
       {{64, "half", 0, 96}, {32, "quarter", 0, 96}, {32, "quarter", 0, 96}, {64, "half", 0, 96}}},
      {{0, 12, 48, 192}, {{12, "16th"}, {36, "eighth", 1}, {144, "half", 1}}},
      {{0, 48, 192}, {{48, "quarter"}, {144, "half", 1}}},
      {{0, 168, 192}, {{144, "half", 1}, {24, "eighth"}, {24, "eighth"}}},
      {{0, 9, 12, 18, 48, 192},
       {{9, "32nd", 1}, {3, "64th"}, {6, "32nd"}, {18, "16th", 1}, {12, "16th"}, {144, "half", 1}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Write(c.lines), c.pieces) << ::testing::PrintToString(c.lines);
  }
}

TEST(NotateBar, EveryTripletGroupHasOneBracketAndSpansKeepTheirLengths) {
  const std::vector<std::vector<int32_t>> bars = {{0, 16, 32, 48, 80, 96, 192},
                                                  {0, 96, 128, 160, 192},
                                                  {0, 1, 100, 101, 192},
                                                  {0, 5, 37, 190, 192},
                                                  {0, 8, 24, 40, 48, 192}};
  for (const auto& lines : bars) {
    const std::vector<NotePiece> pieces = NotateBar(lines);
    std::vector<int32_t> lengths(lines.size() - 1, 0);
    int open = 0;
    int32_t at = 0;
    for (const NotePiece& p : pieces) {
      EXPECT_EQ(p.start, at) << ::testing::PrintToString(lines);
      at += p.duration;
      lengths[p.span] += p.duration;
      if (p.tupletStart) ++open;
      EXPECT_EQ(p.tuplet > 0, open == 1) << ::testing::PrintToString(lines);
      if (p.tupletStop) --open;
      EXPECT_GE(open, 0);
    }
    EXPECT_EQ(open, 0);
    for (size_t s = 0; s + 1 < lines.size(); ++s) EXPECT_EQ(lengths[s], lines[s + 1] - lines[s]);
  }
}

TEST(Spelling, KeysWriteTheirOwnNotesAndTheUsualAccidentals) {
  const struct {
    int key, keyIndex;
    char step;
    int alter, octave;
  } cases[] = {{60, 0, 'C', 0, 4},   {61, 0, 'C', 1, 4},  {63, 0, 'E', -1, 4},
               {70, 0, 'B', -1, 4},  {66, 1, 'F', 1, 4},  {70, 8, 'B', -1, 4},
               {68, 15, 'G', 1, 4},  {61, 23, 'C', 1, 4}, {59, 14, 'C', -1, 4},
               {60, 7, 'B', 1, 3},   {62, 28, 'D', 0, 4}, {63, 28, 'E', -1, 4},
               {71, 14, 'C', -1, 5}, {65, 7, 'E', 1, 4},  {49, 12, 'D', -1, 3},
               {61, 99, 'C', 1, 4},  {21, 0, 'A', 0, 0},  {127, 0, 'G', 0, 9},
               {71, 23, 'B', 0, 4},  {66, 15, 'F', 1, 4}};  // the raised 6th of D and A minor
  for (const auto& c : cases) {
    const Spelling s = SpellKey(c.key, c.keyIndex);
    EXPECT_EQ(std::string(1, s.step) + std::to_string(s.alter) + "/" + std::to_string(s.octave),
              std::string(1, c.step) + std::to_string(c.alter) + "/" + std::to_string(c.octave))
        << c.key << " in " << c.keyIndex;
  }
  const std::pair<int, KeySignature> signatures[] = {
      {0, {0, false}}, {7, {7, false}},  {8, {-1, false}}, {14, {-7, false}}, {15, {0, true}},
      {22, {7, true}}, {23, {-1, true}}, {29, {-7, true}}, {-1, {0, false}},  {30, {0, false}}};
  for (const auto& [index, sig] : signatures) {
    EXPECT_EQ(KeySignatureOf(index).fifths, sig.fifths) << index;
    EXPECT_EQ(KeySignatureOf(index).minor, sig.minor) << index;
  }
  // Every key of the form's list by its Japanese name, as the piano roll shows it.
  const char* const names[kKeyCount] = {
      "ハ長調",   "ト長調",   "ニ長調",   "イ長調",   "ホ長調",   "ロ長調",   "嬰ヘ長調", "嬰ハ長調",
      "ヘ長調",   "変ロ長調", "変ホ長調", "変イ長調", "変ニ長調", "変ト長調", "変ハ長調", "イ短調",
      "ホ短調",   "ロ短調",   "嬰ヘ短調", "嬰ハ短調", "嬰ト短調", "嬰ニ短調", "嬰イ短調", "ニ短調",
      "ト短調",   "ハ短調",   "ヘ短調",   "変ロ短調", "変ホ短調", "変イ短調"};
  for (int k = 0; k < kKeyCount; ++k) EXPECT_EQ(KeyNameText(k), names[k]) << KeyList[static_cast<size_t>(k)];
  EXPECT_EQ(KeyNameText(-1), "?");
  EXPECT_EQ(KeyNameText(kKeyCount), "?");
}

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

TEST(ReadMidiNotes, ChannelsRunningStatusScalingAndDamagedTracks) {
  // Division 96 (scaled to 48), a tempo of 60, programs, running status, note-on velocity 0 as a
  // note-off, a drum hit, a note held to the end of its track, a channel the song does not use.
  std::vector<uint8_t> file = Bytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0, 96});
  const std::vector<uint8_t> track =
      Bytes({0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40,  // tempo 1 000 000 us
             0x00, 0xF0, 0x03, 0x7E, 0x7F, 0xF7,        // a system-exclusive message
             0x00, 0xC0, 0x05, 0x00, 0xC2, 0x21,        // melody program 5, bass program 33
             0x00, 0x90, 60,   64,                      // melody C4 on
             0x60, 62,   64,                            // (96) running status: D4 on
             0x00, 60,   0,                             // C4 off by velocity 0
             0x00, 0x99, 36,   100,                     // a drum hit
             0x00, 0x95, 70,   64,                      // channel 6: not part of the song
             0x81, 0x40, 0x80, 62,   0,                 // (288) D4 off
             0x00, 0x92, 40,   64,                      // bass E2, never released
             0x60, 0xFF, 0x2F, 0x00});                  // (384) end
  file.insert(file.end(), {'M', 'T', 'r', 'k', 0, 0, 0, static_cast<uint8_t>(track.size())});
  file.insert(file.end(), track.begin(), track.end());
  // A damaged second track: a chord note, then a data byte without a status, then more notes.
  const std::vector<uint8_t> damaged = Bytes(
      {0x00, 0x91, 64, 64, 0x30, 0x81, 64, 0, 0x00, 0x40, 0x00, 0x91, 65, 64, 0x30, 0x81, 65, 0});
  file.insert(file.end(), {'M', 'T', 'r', 'k', 0, 0, 1, 0});  // claims more than there is
  file.insert(file.end(), damaged.begin(), damaged.end());
  std::string error;
  const std::optional<MidiNotes> notes = ReadMidiNotes(file, error);
  ASSERT_TRUE(notes) << error;
  EXPECT_EQ(notes->melody, (std::vector<ScoreNote>{{0, 48, 60}, {48, 96, 62}}));
  EXPECT_EQ(notes->bass, (std::vector<ScoreNote>{{144, 48, 40}}));
  EXPECT_EQ(notes->chords, (std::vector<ScoreNote>{{0, 24, 64}}));
  EXPECT_EQ(notes->drums, (std::vector<ScoreNote>{{48, 0, 36}}));
  EXPECT_EQ(notes->programs, (std::array<int, 3>{5, 33, 0}));
  EXPECT_EQ(notes->microsecondsPerQuarter, 1000000);
  EXPECT_EQ(notes->endTick, 192);

  // A note held past the end of the longest song (96 bars) ends there; a note that starts after
  // it is no song of this program.
  const auto song = [](std::vector<uint8_t> events) {
    std::vector<uint8_t> file = Bytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 48});
    const auto size = static_cast<uint32_t>(events.size());
    file.insert(file.end(), {'M', 'T', 'r', 'k', static_cast<uint8_t>(size >> 24),
                             static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 8),
                             static_cast<uint8_t>(size)});
    file.insert(file.end(), events.begin(), events.end());
    return file;
  };
  const std::optional<MidiNotes> held =
      ReadMidiNotes(song(Bytes({0x00, 0x90, 60, 64, 0xFF, 0xFF, 0xFF, 0x7F, 0x80, 60, 0})), error);
  ASSERT_TRUE(held) << error;
  EXPECT_EQ(held->melody, (std::vector<ScoreNote>{{0, 96 * 192, 60}}));
  EXPECT_EQ(held->endTick, 96 * 192);
  EXPECT_FALSE(ReadMidiNotes(song(Bytes({0x81, 0x90, 0x00, 0x90, 60, 64, 0x01, 0x80, 60, 0})), error));
  EXPECT_EQ(error, "the song has notes after bar 96, more bars than any form has");
  EXPECT_TRUE(ReadMidiNotes(song(Bytes({0x81, 0x8F, 0x7F, 0x90, 60, 64, 0x01, 0x80, 60, 0})), error))
      << "a note in the last tick of bar 96";

  const std::vector<uint8_t> refused[] = {
      Bytes({'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 1, 0, 1, 0, 96}),
      Bytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1, 0xE7, 0x28}),  // SMPTE time
      Bytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1, 0, 0}),        // no ticks
      Bytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 3, 0, 1, 0, 96}),
      Bytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1})};
  for (const auto& bytes : refused) {
    EXPECT_FALSE(ReadMidiNotes(bytes, error)) << ::testing::PrintToString(bytes);
    EXPECT_FALSE(error.empty());
  }
}

TEST(CleanText, KeepsTextAndReplacesWhatXmlCannotHold) {
  const std::pair<std::string, std::string> cases[] = {{"雨の日 C/E\tx\n", "雨の日 C/E\tx\n"},
                                                       {"a\x01"
                                                        "b\x7F"
                                                        "c\r",
                                                        "a?b?c?"},
                                                       {"\xE3\x81", "??"},  // a cut character
                                                       {"\xC0\xAF", "??"},  // no valid lead byte
                                                       {"\xED\xA0\x80z", "?z"},  // a surrogate
                                                       {"\xEF\xBF\xBE", "?"},    // U+FFFE
                                                       {"\xF0\x9F\x8E\xB5", "\xF0\x9F\x8E\xB5"}};
  for (const auto& [in, out] : cases) EXPECT_EQ(CleanText(in), out) << in;
}

// ---------------------------------------------------------------------------------------------
// The score as pugixml reads it, where the reference set (parts, instruments, titles, whole
// songs) does not reach.

struct Parsed {
  explicit Parsed(const SongScore& score) : text(BuildMusicXml(score)) {
    result = doc.load_string(text.c_str());
  }
  std::vector<pugi::xml_node> Measures(size_t part) const {
    std::vector<pugi::xml_node> out;
    for (pugi::xml_node m : testing::PartOf(doc, part).children("measure")) out.push_back(m);
    return out;
  }
  std::string text;
  pugi::xml_document doc;
  pugi::xml_parse_result result;
};

std::string Describe(pugi::xml_node measure) {
  std::string out;
  if (pugi::xml_node h = measure.child("harmony")) {
    out += std::string(h.child("root").child_value("root-step")) +
           h.child("root").child_value("root-alter") + " " + h.child_value("kind") + " [" +
           h.child("kind").attribute("text").value() + "]";
    if (h.child("bass")) {
      out += std::string(" /") + h.child("bass").child_value("bass-step") +
             h.child("bass").child_value("bass-alter");
    }
    for (pugi::xml_node d : h.children("degree")) {
      out += std::string(" ") + d.child_value("degree-type") + d.child_value("degree-value") + ":" +
             d.child_value("degree-alter");
    }
  }
  for (pugi::xml_node d : measure.children("direction")) {
    if (d.child("direction-type").child("words")) {
      out += std::string("words ") + d.child("direction-type").child_value("words");
    }
  }
  if (pugi::xml_node key = measure.child("attributes").child("key")) {
    out += std::string(" key ") + key.child_value("fifths") + " " + key.child_value("mode");
  }
  return out;
}

// Every quality: MusicXML's kind of chord in the export, and the name as a musician writes it,
// which the piano roll shows.
TEST(MusicXml, EveryChordQualityHasItsKindAndItsWrittenName) {
  const std::array<const char*, 3> cases[] = {
      {"C", "C major []", "C"},
      {"C+", "C augmented [+]", "Caug"},
      {"Caug", "C augmented [aug]", "Caug"},
      {"C-5", "C major [-5] alter5:-1", "C(♭5)"},
      {"C6", "C major-sixth [6]", "C6"},
      {"C69", "C major-sixth [69] add9:0", "C6(9)"},
      {"C7", "C dominant [7]", "C7"},
      {"C7sus4", "C suspended-fourth [7sus4] add7:0", "C7sus4"},
      {"C7-9", "C dominant [7-9] add9:-1", "C7(♭9)"},
      {"C7+5", "C augmented-seventh [7+5]", "C7(♯5)"},
      {"C7-5", "C dominant [7-5] alter5:-1", "C7(♭5)"},
      {"C9", "C dominant-ninth [9]", "C9"},
      {"CM7", "C major-seventh [M7]", "CM7"},
      {"CM9", "C major-ninth [M9]", "CM9"},
      {"CM79", "C major-ninth [M79]", "CM9"},
      {"Cdim", "C diminished [dim]", "Cdim"},
      {"Cdim7", "C diminished-seventh [dim7]", "Cdim7"},
      {"Cm", "C minor [m]", "Cm"},
      {"Cm-5", "C diminished [m-5]", "Cm(♭5)"},
      {"Cm7", "C minor-seventh [m7]", "Cm7"},
      {"Cm7-5", "C half-diminished [m7-5]", "Cm7(♭5)"},
      {"CmM7", "C major-minor [mM7]", "CmM7"},
      {"Cm7M7", "C major-minor [m7M7]", "CmM7"},
      {"Cm6", "C minor-sixth [m6]", "Cm6"},
      {"Cm69", "C minor-sixth [m69] add9:0", "Cm6(9)"},
      {"Cm9", "C minor-ninth [m9]", "Cm9"},
      {"Cm79", "C minor-ninth [m79]", "Cm9"},
      {"Csus4", "C suspended-fourth [sus4]", "Csus4"},
      {"B-", "B-1 major []", "B♭"},
      {"E-/B-", "E-1 major [] /B-1", "E♭/B♭"},
      {"G#m7onD#", "G1 minor-seventh [m7] /D1", "G♯m7/D♯"},
      {"Cadd9", "words Cadd9", "Cadd9"},
      {"Xm7", "words Xm7", "Xm7"},
      {"C/X", "words C/X", "C/X"}};
  SongScore score;
  score.bars = static_cast<int>(std::size(cases));
  score.keys.assign(std::size(cases), 0);
  for (const auto& c : cases) score.chords.push_back(c[0]);
  const Parsed xml(score);
  const std::vector<pugi::xml_node> measures = xml.Measures(0);
  ASSERT_EQ(measures.size(), std::size(cases));
  for (size_t i = 0; i < measures.size(); ++i) {
    SCOPED_TRACE(cases[i][0]);
    const std::string text = Describe(measures[i]);
    EXPECT_EQ(text.substr(0, text.find(" key")), cases[i][1]);
    EXPECT_EQ(ChordSymbolText(cases[i][0]), cases[i][2]);
  }
}

// Ties across bar lines in real songs are pinned by the reference set.
TEST(MusicXml, TripletBracketsAndMeasureRests) {
  const Parsed xml(EdgeCaseScore());
  const std::vector<pugi::xml_node> m = xml.Measures(0);
  const auto count = [](pugi::xml_node measure, const char* path) {
    return measure.select_nodes(path).size();
  };
  // Bar 1: an eighth-triplet group and a quarter-triplet group; bar 3: one group.
  EXPECT_EQ(count(m[0], "note/notations/tuplet[@type='start' and @bracket='yes']"), 2u);
  EXPECT_EQ(count(m[0], "note/notations/tuplet[@type='stop']"), 2u);
  EXPECT_EQ(count(m[0], "note/time-modification[actual-notes=3 and normal-notes=2]"), 5u);
  EXPECT_EQ(count(m[0], "note/time-modification/normal-type"), 1u);  // the quarter among eighths
  EXPECT_EQ(count(m[2], "note/notations/tuplet[@type='start']"), 1u);
  // Silent bars are one measure rest.
  for (size_t bar : {4u, 5u}) {
    EXPECT_EQ(count(m[bar], "note"), 1u);
    EXPECT_EQ(count(m[bar], "note/rest[@measure='yes']"), 1u);
  }
}

}  // namespace
}  // namespace vema
