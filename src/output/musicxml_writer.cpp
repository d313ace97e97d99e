#include "output/musicxml_writer.h"

#include <algorithm>
#include <map>
#include <pugixml.hpp>
#include <sstream>

#include "accomp/instrument_settings.h"
#include "melody/chord.h"
#include "output/music_names.h"

namespace vema {
namespace {

constexpr int32_t kBeat = kTicksPerQuarter;     // 48
constexpr int32_t kHalfBar = kTicksPerBar / 2;  // 96

struct NoteValue {
  int32_t ticks;
  const char* type;
  int dots;
};

// Written values, longest first (ticks of a plain, not triplet, note).
constexpr NoteValue kValues[] = {{192, "whole", 0},  {144, "half", 1},   {96, "half", 0},
                                 {72, "quarter", 1}, {48, "quarter", 0}, {36, "eighth", 1},
                                 {24, "eighth", 0},  {18, "16th", 1},    {12, "16th", 0},
                                 {9, "32nd", 1},     {6, "32nd", 0},     {3, "64th", 0}};

// The grid a value below a beat must start on.
int32_t SubBeatGrid(int32_t ticks) {
  switch (ticks) {
    case 36:
    case 24:
      return 12;
    case 18:
    case 12:
      return 6;
    case 9:
    case 6:
      return 3;
    default:
      return 1;
  }
}

// A value of a beat or more starts on a beat (what is left of the bar keeps a whole note to the
// first beat and a dotted half to the first two).
bool OnBeatFits(int32_t at, int32_t ticks) { return ticks >= kBeat && at % kBeat == 0; }

// A length that no written value gives exactly keeps its ticks under the nearest shorter type.
NoteValue Inexact(int32_t ticks) {
  for (const NoteValue& v : kValues) {
    if (v.dots == 0 && v.ticks <= ticks) return {ticks, v.type, 0};
  }
  return {ticks, "64th", 0};
}

struct Segment {
  int32_t start;
  int32_t end;
  int32_t group;  // 0: plain values; 48 or 96: a triplet group of that length
};

std::vector<Segment> SegmentsOf(std::span<const int32_t> lines) {
  const auto inside = [&lines](int32_t from, int32_t to) {
    std::vector<int32_t> out;
    for (const int32_t x : lines) {
      if (x > from && x < to) out.push_back(x - from);
    }
    return out;
  };
  std::vector<Segment> segments;
  const auto add = [&segments](Segment s) {
    if (s.group == 0 && !segments.empty() && segments.back().group == 0) {
      segments.back().end = s.end;
    } else {
      segments.push_back(s);
    }
  };
  for (int32_t half = 0; half < kTicksPerBar; half += kHalfBar) {
    const std::vector<int32_t> lines96 = inside(half, half + kHalfBar);
    const bool quarterTriplets =
        !lines96.empty() &&
        std::all_of(lines96.begin(), lines96.end(), [](int32_t x) { return x % 32 == 0; }) &&
        std::any_of(lines96.begin(), lines96.end(), [](int32_t x) { return x % kBeat != 0; });
    if (quarterTriplets) {
      add({half, half + kHalfBar, kHalfBar});
      continue;
    }
    for (int32_t beat = half; beat < half + kHalfBar; beat += kBeat) {
      const std::vector<int32_t> lines48 = inside(beat, beat + kBeat);
      const auto all = [&lines48](int32_t grid) {
        return std::all_of(lines48.begin(), lines48.end(),
                           [grid](int32_t x) { return x % grid == 0; });
      };
      add({beat, beat + kBeat, !all(3) && all(4) ? kBeat : 0});
    }
  }
  return segments;
}

void PlainPieces(size_t span, int32_t at, int32_t end, std::vector<NotePiece>& out) {
  while (at < end) {
    const int32_t left = end - at;
    const NoteValue* chosen = nullptr;
    if (at % kBeat == 0) {
      for (const NoteValue& v : kValues) {
        if (v.ticks <= left && OnBeatFits(at, v.ticks)) {
          chosen = &v;
          break;
        }
      }
    }
    NoteValue inexact{};
    if (chosen == nullptr) {
      const int32_t beatEnd = std::min(end, (at / kBeat + 1) * kBeat);
      for (const NoteValue& v : kValues) {
        if (v.ticks < kBeat && v.ticks <= beatEnd - at && at % SubBeatGrid(v.ticks) == 0) {
          chosen = &v;
          break;
        }
      }
      if (chosen == nullptr) {
        inexact = Inexact(beatEnd - at);
        chosen = &inexact;
      }
    }
    out.push_back({span, at, chosen->ticks, chosen->type, chosen->dots, 0, false, false});
    at += chosen->ticks;
  }
}

// Inside a triplet group three written values take the time of two.
void TripletPieces(size_t span, int32_t at, int32_t end, int32_t group,
                   std::vector<NotePiece>& out) {
  while (at < end) {
    const int32_t left = end - at;
    NoteValue chosen = Inexact(left);
    for (const NoteValue& v : kValues) {
      if (v.ticks % 3 == 0 && v.ticks * 2 / 3 <= left) {
        chosen = {v.ticks * 2 / 3, v.type, v.dots};
        break;
      }
    }
    out.push_back({span, at, chosen.ticks, chosen.type, chosen.dots, group, false, false});
    at += chosen.ticks;
  }
}

// ---------------------------------------------------------------------------------------------
// The parts.

// A note or chord of a part, or a rest (no keys), on the song's time line.
struct PartEvent {
  int32_t start = 0;
  int32_t end = 0;
  std::vector<int> keys;
};

// One voice of chords and rests from the notes of a part: notes starting together make a chord
// as long as its longest note, cut where the next chord starts; rests fill the gaps.
std::vector<PartEvent> VoiceOf(const std::vector<ScoreNote>& notes, int32_t songEnd) {
  std::map<int32_t, PartEvent> chords;
  for (const ScoreNote& n : notes) {
    if (n.length <= 0 || n.start < 0 || n.start >= songEnd) continue;
    PartEvent& e = chords[n.start];
    e.start = n.start;
    e.end = std::max(e.end, std::min(songEnd, n.start + n.length));
    if (std::find(e.keys.begin(), e.keys.end(), n.key) == e.keys.end()) e.keys.push_back(n.key);
  }
  std::vector<PartEvent> voice;
  int32_t at = 0;
  for (auto it = chords.begin(); it != chords.end(); ++it) {
    PartEvent e = it->second;
    const auto next = std::next(it);
    if (next != chords.end()) e.end = std::min(e.end, next->first);
    if (e.start > at) voice.push_back({at, e.start, {}});
    std::sort(e.keys.begin(), e.keys.end());
    voice.push_back(e);
    at = e.end;
  }
  if (at < songEnd) voice.push_back({at, songEnd, {}});
  return voice;
}

struct PartLayout {
  const char* id;
  const char* name;
  const char* abbreviation;
  int channel;  // 1-based
  int program;  // 0..127
  const std::vector<ScoreNote>* notes;
  const char* clefSign;
  int clefLine;
  bool harmonies;  // the chord symbols and the tempo go above this part
};

std::string InstrumentName(int program) {
  const std::string& entry = GmProgramNames()[static_cast<size_t>(std::clamp(program, 0, 127))];
  std::string name = entry.size() > 7 ? entry.substr(7) : entry;  // after "| 001: "
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

void Text(pugi::xml_node parent, const char* name, const std::string& text) {
  parent.append_child(name).text().set(text.c_str());
}
void Text(pugi::xml_node parent, const char* name, long long value) {
  parent.append_child(name).text().set(value);
}

void AddKey(pugi::xml_node attributes, int keyIndex) {
  const KeySignature sig = KeySignatureOf(keyIndex);
  pugi::xml_node key = attributes.append_child("key");
  Text(key, "fifths", sig.fifths);
  Text(key, "mode", sig.minor ? "minor" : "major");
}

bool IsNoteLetter(char c) { return c >= 'A' && c <= 'G'; }

// The chord of a bar above the melody: a chord symbol for a name the program reads, else the
// name as words (a refused name sounds as its root alone and is shown as written).
void AddChordSymbol(pugi::xml_node measure, const std::string& chord) {
  if (chord.empty()) return;
  const ChordParts parts = DescribeChord(chord);
  if (!parts.accepted || !IsNoteLetter(parts.letter) ||
      (parts.slash && !IsNoteLetter(parts.bassLetter))) {
    pugi::xml_node direction = measure.append_child("direction");
    direction.append_attribute("placement") = "above";
    Text(direction.append_child("direction-type"), "words", chord);
    return;
  }
  pugi::xml_node harmony = measure.append_child("harmony");
  pugi::xml_node root = harmony.append_child("root");
  Text(root, "root-step", std::string(1, parts.letter));
  if (parts.alter != 0) Text(root, "root-alter", parts.alter);
  const ChordKind kind = ChordKindOf(parts.intervals);
  pugi::xml_node kindNode = harmony.append_child("kind");
  kindNode.text().set(kind.kind);
  if (!parts.quality.empty()) kindNode.append_attribute("text") = CleanText(parts.quality).c_str();
  if (parts.slash) {
    pugi::xml_node bass = harmony.append_child("bass");
    Text(bass, "bass-step", std::string(1, parts.bassLetter));
    if (parts.bassAlter != 0) Text(bass, "bass-alter", parts.bassAlter);
  }
  for (const auto& [value, alter, how] : kind.degrees) {
    pugi::xml_node degree = harmony.append_child("degree");
    Text(degree, "degree-value", value);
    Text(degree, "degree-alter", alter);
    Text(degree, "degree-type", how == 0 ? "add" : "alter");
  }
}

void AddTempo(pugi::xml_node measure, double perMinute) {
  pugi::xml_node direction = measure.append_child("direction");
  direction.append_attribute("placement") = "above";
  pugi::xml_node metronome = direction.append_child("direction-type").append_child("metronome");
  Text(metronome, "beat-unit", "quarter");
  std::ostringstream number;
  number << perMinute;
  Text(metronome, "per-minute", number.str());
  direction.append_child("sound").append_attribute("tempo") = perMinute;
}

// A span of a bar: part of an event, with the ties it continues and starts.
struct BarSpan {
  int32_t start = 0;
  int32_t end = 0;
  const PartEvent* event = nullptr;
  bool tiedIn = false;
  bool tiedOut = false;
};

void AddNote(pugi::xml_node measure, const NotePiece& piece, const BarSpan& span, int key,
             bool chordTone, bool tieIn, bool tieOut, int keyIndex) {
  pugi::xml_node note = measure.append_child("note");
  if (chordTone) note.append_child("chord");
  if (span.event->keys.empty()) {
    pugi::xml_node rest = note.append_child("rest");
    if (piece.duration == kTicksPerBar && piece.start == 0) {
      rest.append_attribute("measure") = "yes";
    }
  } else {
    const Spelling s = SpellKey(key, keyIndex);
    pugi::xml_node pitch = note.append_child("pitch");
    Text(pitch, "step", std::string(1, s.step));
    if (s.alter != 0) Text(pitch, "alter", s.alter);
    Text(pitch, "octave", s.octave);
  }
  Text(note, "duration", piece.duration);
  if (tieIn) note.append_child("tie").append_attribute("type") = "stop";
  if (tieOut) note.append_child("tie").append_attribute("type") = "start";
  Text(note, "voice", 1);
  const bool measureRest = span.event->keys.empty() && piece.duration == kTicksPerBar;
  if (!measureRest) {
    Text(note, "type", piece.type);
    for (int d = 0; d < piece.dots; ++d) note.append_child("dot");
  }
  if (piece.tuplet > 0) {
    pugi::xml_node modification = note.append_child("time-modification");
    Text(modification, "actual-notes", 3);
    Text(modification, "normal-notes", 2);
    const char* unit = piece.tuplet == kBeat ? "eighth" : "quarter";
    if (std::string_view(unit) != piece.type) Text(modification, "normal-type", unit);
  }
  if (tieIn || tieOut || piece.tupletStart || piece.tupletStop) {
    pugi::xml_node notations = note.append_child("notations");
    if (tieIn) notations.append_child("tied").append_attribute("type") = "stop";
    if (tieOut) notations.append_child("tied").append_attribute("type") = "start";
    if (!chordTone && piece.tupletStart) {
      pugi::xml_node tuplet = notations.append_child("tuplet");
      tuplet.append_attribute("type") = "start";
      tuplet.append_attribute("bracket") = "yes";
    }
    if (!chordTone && piece.tupletStop)
      notations.append_child("tuplet").append_attribute("type") = "stop";
  }
}

void AddPart(pugi::xml_node root, const SongScore& score, const PartLayout& layout) {
  pugi::xml_node part = root.append_child("part");
  part.append_attribute("id") = layout.id;
  const int32_t songEnd = score.EndTick();
  const std::vector<PartEvent> voice = VoiceOf(*layout.notes, songEnd);
  size_t first = 0;  // the first event that may reach into the bar
  for (int bar = 0; bar < score.bars; ++bar) {
    const int32_t barStart = bar * kTicksPerBar;
    const int32_t barEnd = barStart + kTicksPerBar;
    const int keyIndex = score.KeyOf(bar);
    pugi::xml_node measure = part.append_child("measure");
    measure.append_attribute("number") = bar + 1;
    if (bar == 0 || score.KeyChangesAt(bar)) {
      pugi::xml_node attributes = measure.append_child("attributes");
      if (bar == 0) Text(attributes, "divisions", kTicksPerQuarter);
      AddKey(attributes, keyIndex);
      if (bar == 0) {
        pugi::xml_node time = attributes.append_child("time");
        Text(time, "beats", 4);
        Text(time, "beat-type", 4);
        pugi::xml_node clef = attributes.append_child("clef");
        Text(clef, "sign", layout.clefSign);
        Text(clef, "line", layout.clefLine);
      }
    }
    if (layout.harmonies) {
      if (bar == 0) AddTempo(measure, score.QuarterNotesPerMinute());
      AddChordSymbol(measure, score.ChordOf(bar));
    }

    std::vector<BarSpan> spans;
    while (first < voice.size() && voice[first].end <= barStart) ++first;
    for (size_t i = first; i < voice.size() && voice[i].start < barEnd; ++i) {
      const PartEvent& e = voice[i];
      const bool sounds = !e.keys.empty();
      spans.push_back({std::max(e.start, barStart) - barStart, std::min(e.end, barEnd) - barStart,
                       &e, sounds && e.start < barStart, sounds && e.end > barEnd});
    }
    std::vector<int32_t> lines;
    for (const BarSpan& s : spans) lines.push_back(s.start);
    lines.push_back(kTicksPerBar);
    const std::vector<NotePiece> pieces = NotateBar(lines);
    for (size_t p = 0; p < pieces.size(); ++p) {
      const NotePiece& piece = pieces[p];
      const BarSpan& span = spans[piece.span];
      const bool sounds = !span.event->keys.empty();
      const bool firstOfSpan = p == 0 || pieces[p - 1].span != piece.span;
      const bool lastOfSpan = p + 1 == pieces.size() || pieces[p + 1].span != piece.span;
      const bool tieIn = sounds && (!firstOfSpan || span.tiedIn);
      const bool tieOut = sounds && (!lastOfSpan || span.tiedOut);
      if (!sounds) {
        AddNote(measure, piece, span, 0, false, false, false, keyIndex);
        continue;
      }
      for (size_t k = 0; k < span.event->keys.size(); ++k) {
        AddNote(measure, piece, span, span.event->keys[k], k > 0, tieIn, tieOut, keyIndex);
      }
    }
  }
}

}  // namespace

std::vector<NotePiece> NotateBar(std::span<const int32_t> lines) {
  std::vector<NotePiece> pieces;
  if (lines.size() < 2) return pieces;
  const std::vector<Segment> segments = SegmentsOf(lines);
  for (size_t span = 0; span + 1 < lines.size(); ++span) {
    for (const Segment& seg : segments) {
      const int32_t from = std::max(lines[span], seg.start);
      const int32_t to = std::min(lines[span + 1], seg.end);
      if (from >= to) continue;
      if (seg.group == 0) {
        PlainPieces(span, from, to, pieces);
      } else {
        TripletPieces(span, from, to, seg.group, pieces);
      }
    }
  }
  for (const Segment& seg : segments) {
    if (seg.group == 0) continue;
    for (NotePiece& p : pieces) {
      if (p.start == seg.start) p.tupletStart = true;
      if (p.start + p.duration == seg.end) p.tupletStop = true;
    }
  }
  return pieces;
}

std::string BuildMusicXml(const SongScore& score) {
  pugi::xml_document doc;
  pugi::xml_node declaration = doc.append_child(pugi::node_declaration);
  declaration.append_attribute("version") = "1.0";
  declaration.append_attribute("encoding") = "UTF-8";
  doc.append_child(pugi::node_doctype)
      .set_value(
          "score-partwise PUBLIC \"-//Recordare//DTD MusicXML 4.0 Partwise//EN\" "
          "\"http://www.musicxml.org/dtds/partwise.dtd\"");
  pugi::xml_node root = doc.append_child("score-partwise");
  root.append_attribute("version") = "4.0";
  if (!score.title.empty()) Text(root.append_child("work"), "work-title", CleanText(score.title));
  Text(root.append_child("identification").append_child("encoding"), "software", "VEMA");

  const MidiNotes& n = score.notes;
  const PartLayout parts[] = {{"P1", "旋律", "旋", 1, n.programs[0], &n.melody, "G", 2, true},
                            {"P2", "ベース", "ベ", 3, n.programs[1], &n.bass, "F", 4, false},
                            {"P3", "コード", "コ", 2, n.programs[2], &n.chords, "G", 2, false}};
  pugi::xml_node list = root.append_child("part-list");
  for (const PartLayout& layout : parts) {
    pugi::xml_node scorePart = list.append_child("score-part");
    scorePart.append_attribute("id") = layout.id;
    Text(scorePart, "part-name", layout.name);
    Text(scorePart, "part-abbreviation", layout.abbreviation);
    const std::string instrumentId = std::string(layout.id) + "-I1";
    pugi::xml_node instrument = scorePart.append_child("score-instrument");
    instrument.append_attribute("id") = instrumentId.c_str();
    Text(instrument, "instrument-name", InstrumentName(layout.program));
    pugi::xml_node midi = scorePart.append_child("midi-instrument");
    midi.append_attribute("id") = instrumentId.c_str();
    Text(midi, "midi-channel", layout.channel);
    Text(midi, "midi-program", std::clamp(layout.program, 0, 127) + 1);
  }
  for (const PartLayout& layout : parts) AddPart(root, score, layout);

  std::ostringstream out;
  doc.save(out, "  ", pugi::format_indent, pugi::encoding_utf8);
  return out.str();
}

}  // namespace vema
