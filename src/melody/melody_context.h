// What the melody phases read and write: the form and the two databases they read, the tables
// they fill, the trace, the melody state kept between bars and compositions, the random source
// and the person.  The program assembles it from the state it owns; tests assemble their own.
#pragma once

#include "melody/melody_style_db.h"
#include "song/composition_db.h"
#include "song/form.h"
#include "song/platform.h"
#include "song/random.h"
#include "song/tables.h"

namespace vema {

struct MelodyContext {
  Platform& platform;
  const SongForm& form;
  const CompositionDb& compositionDb;
  const MelodyStyleDb& style;
  BarNoteTable& barNotes;
  BarPatternPair& patternPairs;
  NoteTrackTable& noteTrack;
  GenerationLog& log;
  ChordToneTable& chordTones;
  KeyScale& keyScale;
  ChainState& chain;
  RandomSource& random;
};

}  // namespace vema
