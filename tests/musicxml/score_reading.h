// Reading a MusicXML score back as the notes it sounds, a song with what notation must take care
// of (triplets, syncopes, notes across bar lines, rests, key changes and odd chord names), and
// the check of scores against the MusicXML 4.0 schema.
#pragma once

#include <algorithm>
#include <cmath>
#include <map>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "output/song_score.h"
#include "support/child_process.h"

namespace vema::testing {

// Notes sorted by start and key.
inline std::vector<ScoreNote> Sorted(std::vector<ScoreNote> notes) {
  std::sort(notes.begin(), notes.end(), [](const ScoreNote& a, const ScoreNote& b) {
    return a.start != b.start ? a.start < b.start : a.key < b.key;
  });
  return notes;
}

// Part partIndex of a partwise score; an empty node when there is none.
inline pugi::xml_node PartOf(const pugi::xml_document& doc, size_t partIndex) {
  for (pugi::xml_node p : doc.child("score-partwise").children("part")) {
    if (partIndex-- == 0) return p;
  }
  return {};
}

// One part of a partwise score as it sounds: tied notes joined into one, starts and lengths in
// ticks of 48 to the quarter note, sorted by start and key.  Rests only move the time on.
inline std::vector<ScoreNote> SoundingNotes(const pugi::xml_document& doc, size_t partIndex) {
  std::vector<ScoreNote> notes;
  const pugi::xml_node part = PartOf(doc, partIndex);
  double divisions = 1, time = 0, last = 0;
  std::map<int, size_t> tied;  // key -> the note a tie continues
  const auto ticks = [&divisions](double d) { return d * 48.0 / divisions; };
  for (pugi::xml_node measure : part.children("measure")) {
    for (pugi::xml_node e : measure.children()) {
      const std::string name = e.name();
      if (name == "attributes" && e.child("divisions"))
        divisions = e.child("divisions").text().as_double();
      if (name == "backup") time -= ticks(e.child("duration").text().as_double());
      if (name == "forward") time += ticks(e.child("duration").text().as_double());
      if (name != "note" || e.child("grace")) continue;
      const double duration = ticks(e.child("duration").text().as_double());
      const bool chord = e.child("chord");
      const double start = chord ? time - last : time;
      if (!chord) {
        time += duration;
        last = duration;
      }
      const pugi::xml_node pitch = e.child("pitch");
      if (!pitch) continue;
      static const std::map<std::string, int> kSteps = {{"C", 0}, {"D", 2}, {"E", 4}, {"F", 5},
                                                        {"G", 7}, {"A", 9}, {"B", 11}};
      const int key = (pitch.child("octave").text().as_int() + 1) * 12 +
                      kSteps.at(pitch.child("step").text().as_string()) +
                      static_cast<int>(std::lround(pitch.child("alter").text().as_double()));
      bool tieStart = false, tieStop = false;
      for (pugi::xml_node tie : e.children("tie")) {
        tieStart |= std::string(tie.attribute("type").value()) == "start";
        tieStop |= std::string(tie.attribute("type").value()) == "stop";
      }
      const auto open = tied.find(key);
      if (tieStop && open != tied.end()) {
        notes[open->second].length += static_cast<int32_t>(std::lround(duration));
        if (!tieStart) tied.erase(open);
        continue;
      }
      notes.push_back({static_cast<int32_t>(std::lround(start)),
                       static_cast<int32_t>(std::lround(duration)), key});
      if (tieStart) tied[key] = notes.size() - 1;
    }
  }
  return Sorted(std::move(notes));
}

// Six bars: bar 1 a blues bass rhythm and quarter triplets, bar 2 a syncope and a note held into
// bar 3, bar 3 (E-flat minor) eighth triplets, bar 4 (C-sharp major) a late start and a dotted
// half on beat 2, bars 5 and 6 silent.  Chords: a slash chord, a flat root, an add chord (refused),
// a flat ninth, an "on" chord and an unknown letter.
inline SongScore EdgeCaseScore() {
  SongScore s;
  s.title = "テスト曲「雨の日」とても長い題名が続きます" + std::string(200, 'x');
  s.bars = 6;
  s.keys = {0, 0, 28, 7, 7, 15};
  s.chords = {"C/E", "B-m7", "Cadd9", "F#7-9", "AmonC", "Xyz"};
  s.notes.melody = {{0, 80, 60},   {80, 16, 62},  {96, 32, 64},  {128, 32, 65},  {160, 32, 67},
                    {192, 24, 69}, {216, 48, 71}, {264, 12, 72}, {288, 192, 74}, {480, 16, 63},
                    {496, 16, 66}, {512, 16, 70}, {588, 36, 73}, {624, 144, 60}};
  s.notes.bass = {{0, 192, 40}, {192, 192, 46}, {576, 96, 49}, {672, 96, 56}};
  s.notes.chords = {{24, 168, 52},  {24, 168, 60}, {24, 168, 67}, {264, 120, 58}, {264, 120, 62},
                    {264, 120, 65}, {384, 16, 63}, {400, 16, 66}, {416, 16, 70}};
  s.notes.drums = {{0, 0, 36}, {48, 0, 42}};
  s.notes.programs = {73, 33, 127};
  s.notes.endTick = 6 * 192;
  return s;
}

inline bool Have(const std::string& tool) { return Shell("command -v " + tool).status == 0; }

#define REQUIRE_TOOL(tool, package) \
  if (!vema::testing::Have(tool))   \
  GTEST_SKIP() << "SKIP: " tool " is missing (Debian package " package ")"

// xmllint's complaints about the files (offline, schema/ holds the schema), or "" when valid.
inline std::string Validate(const std::vector<std::string>& files) {
  const std::string schema = VEMA_SCHEMA_DIR;
  std::string command = "XML_CATALOG_FILES=" + schema + "/catalog-local.xml xmllint --nonet " +
                        "--noout --schema " + schema + "/musicxml.xsd";
  for (const std::string& f : files) command += " '" + f + "'";
  const auto [output, status] = Shell(command);
  return status == 0 ? "" : output;
}

}  // namespace vema::testing
