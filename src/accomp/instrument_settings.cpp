#include "accomp/instrument_settings.h"

#include <cstdio>

#include "critic/melody_choice.h"

namespace vema {
namespace {

constexpr std::array<const char*, kGmProgramCount> kInstrumentNames = {
    "Piano1",       "Piano2",       "Piano3",       "Honky-tonk",   "E.Piano1",
    "E.Piano2",     "Harpsichord",  "Clav",         "Celesta",      "Glockenspiel",
    "Music Box",    "Vibraphone",   "Marimba",      "Xylophone",    "Tubular-bell",
    "Santur",       "Organ1",       "Organ2",       "Organ3",       "Church Org.1",
    "Reed Organ",   "Accordion Fr", "Harmonica",    "Bandoneon",    "Nylon-str.Gt",
    "Steel-str.Gt", "Jazz Gt.",     "Clean Gt.",    "Muted Gt.",    "Overdrive.Gt",
    "DistortionGt", "Gt.Harmonics", "Acoustic Bs.", "Fingered Bs.", "Picked Bass",
    "Fretless Bs.", "Slap Bass1",   "Slap Bass2",   "Synth Bass1",  "Synth Bass2",
    "Violin",       "Viola",        "Cello",        "Contrabass",   "Tremolo Str",
    "PizzicatoStr", "Harp",         "Timpani",      "Strings",      "SlowStrings",
    "Syn.Strings1", "Syn.Strings2", "Choir Aahs",   "Voice Oohs",   "SynVox",
    "OrchestraHit", "Trumpet",      "Trombone",     "Tuba",         "MutedTrumpet",
    "French Horn",  "Brass1",       "Synth Brass1", "Synth Brass2", "Soprano Sax",
    "Alto Sax",     "Tenor Sax",    "Baritone Sax", "Oboe",         "English Horn",
    "Bassoon",      "Clarinet",     "Piccolo",      "Flute",        "Recoder",
    "Ran Flute",    "Bottle Blow",  "Shakuhachi",   "Whistle",      "Ocarina",
    "Square Wave",  "Saw Wave",     "Syn.Calliope", "Chiffer Lead", "Charang",
    "Slolo Vox",    "5th Saw Wave", "OBass & Lead", "Fantasia",     "Warm pad",
    "Polysynth",    "Space Voice",  "Bowed Glass",  "Metal pad",    "Halo pad",
    "Sweep Pad",    "Ice Rain",     "Soundtrack",   "Crystal",      "Atmosphere",
    "Brightness",   "Goblin",       "Echo Drops",   "Star Theme",   "Sitar",
    "Banjo",        "Shamisen",     "Koto",         "Kalimba",      "Bagpipe",
    "Fiddle",       "Shanai",       "Tinkle Bell",  "Agogo",        "Steel Drums",
    "Woodblock",    "Taiko",        "Melo.Tom1",    "Synth Drum",   "Reverse Cym",
    "Gt.FreNoise",  "Breath Noise", "Seashore",     "Bird",         "Telephone1",
    "Helicopter",   "Applause",     "Gun Shot"};

std::array<std::string, kGmProgramCount> BuildNames() {
  std::array<std::string, kGmProgramCount> names;
  for (int i = 0; i < kGmProgramCount; ++i) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "| %03d: %-12s", i + 1, kInstrumentNames[i]);
    names[i] = entry;
  }
  return names;
}

int ClampProgram(int32_t program) {
  return program < 0 ? 0 : program >= kGmProgramCount ? kGmProgramCount - 1 : program;
}

}  // namespace

const std::array<std::string, kGmProgramCount>& GmProgramNames() {
  static const std::array<std::string, kGmProgramCount> names = BuildNames();
  return names;
}

int InstrumentSettings::ProgramOfTab(int tab) const {
  return ClampProgram(programs_[static_cast<size_t>(tab)]);
}

void InstrumentSettings::Store(int selection) {
  if (selection < 0 || selection >= kGmProgramCount) return;  // nothing selected
  listPosition_ = selection;
  programs_[static_cast<size_t>(currentTab_)] = selection;
}

int InstrumentSettings::OnShown() {
  listPosition_ = ProgramOfTab(currentTab_);
  return listPosition_;
}

void InstrumentSettings::OnSelectionChanged(int selection) { Store(selection); }

int InstrumentSettings::OnTabChanged(int newTab, int selection) {
  Store(selection);
  if (newTab >= 0 && newTab < kInstrumentTabCount) currentTab_ = static_cast<int8_t>(newTab);
  listPosition_ = ProgramOfTab(currentTab_);
  return listPosition_;
}

void InstrumentSettings::OnClose(int selection) {
  if (shownFlag_) *shownFlag_ = 0;
  Store(selection);
}

void InstrumentSettings::OnCancel() {
  if (shownFlag_) *shownFlag_ = 0;
}

int MelodyOctaveEntry(int32_t setting) {
  if (setting >= kMinMelodyOctave && setting <= kMaxMelodyOctave) {
    return setting - kMinMelodyOctave + 1;
  }
  return 0;
}

int32_t MelodyOctaveOfEntry(int entry) {
  if (entry >= 1 && entry < static_cast<int>(kMelodyOctaveLabels.size())) {
    return kMinMelodyOctave + entry - 1;
  }
  return kAutoMelodyOctave;
}

}  // namespace vema
