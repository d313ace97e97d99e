// What the writers read and write: the form, the melody and bass voices and the instruments
// they write, the chord-tone table the voicing parses into, the trace, the MIDI image, the
// folder the files go to (and the set they are written as) and the person who hears about
// failures.  The program assembles it
// from the state it owns.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "song/composition_db.h"
#include "song/file_io.h"
#include "song/form.h"
#include "song/platform.h"
#include "song/tables.h"

namespace vema {

struct WriterContext {
  Platform& platform;
  const std::string& dir;
  const SongForm& form;
  const NoteTrackTable& noteTrack;
  const std::array<int32_t, 3>& instrumentPrograms;  // melody, bass, chords
  ChordToneTable& chordTones;
  GenerationLog& log;
  MidiImage& midiImage;
  // The set that the files go into, written as one when the set is committed; none: each file
  // is written at once.
  FileSet* files = nullptr;

  // The path of a file of the output folder.
  std::string PathOf(const std::string& name) const { return ResolvePath(dir, name); }
};

}  // namespace vema
