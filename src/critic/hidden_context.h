// Draws made out of sight: a melody context over the same tables whose person hears nothing,
// whose trace is muted and whose random source is a copy of the context's, so that candidates can
// be drawn and compared without a word to anyone and without moving the context's own source.
#pragma once

#include "critic/silent_platform.h"
#include "melody/melody_context.h"
#include "song/random.h"
#include "song/tables.h"

namespace vema {

class HiddenContext {
 public:
  explicit HiddenContext(const MelodyContext& c)
      : random(c.random),
        context{silent,      c.form,  c.compositionDb, c.style,      c.barNotes, c.patternPairs,
                c.noteTrack, quiet_, c.chordTones,     c.keyScale, c.chain,    random} {
    quiet_.Mute();
    random.SetPlatform(&silent);
  }
  HiddenContext(const HiddenContext&) = delete;
  HiddenContext& operator=(const HiddenContext&) = delete;

  SilentPlatform silent;
  GenerationLog quiet_;        // muted
  RandomSource random;         // the copy the hidden draws take from
  const MelodyContext context;  // the tables of the given context, with the three above
};

}  // namespace vema
