// All state of one running program: the form, the databases, the generation tables, the log,
// the last MIDI image, the chain state and the random source.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/song_state.h"
#include "song/platform.h"
#include "song/random.h"
#include "editors/custom_form_store.h"
#include "editors/editor_context.h"
#include "melody/melody_context.h"
#include "melody/melody_style_db.h"
#include "output/writer_context.h"
#include "song/composition_db.h"
#include "song/form.h"
#include "song/tables.h"

namespace vema {

inline constexpr size_t kStatusBytes = 20;
inline constexpr size_t kTitleBytes = 255;      // CP932 bytes of the song title
inline const std::string kBlankStatus(kStatusBytes, ' ');

struct SessionOptions {
  std::string dir = ".";                 // the working directory of the files
  std::optional<uint32_t> seed;          // fixes the random sequence
};

struct Session {
  explicit Session(Platform& platform, SessionOptions options = {});
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  Platform& platform() { return *platform_; }
  // Another person from now on (the random source's too); returns the one before.
  Platform& SetPlatform(Platform& platform) {
    Platform& before = *platform_;
    platform_ = &platform;
    random.SetPlatform(&platform);
    return before;
  }
  // The path of a file of the working directory.
  std::string PathOf(const std::string& name) const { return ResolvePath(dir, name); }

  // What each subsystem reads and writes, assembled from the state the session owns.
  MelodyContext Melody();
  WriterContext Writers() { return Writers(*platform_); }
  // The same with another person hearing about failures.
  WriterContext Writers(Platform& platform);
  EditorContext Editors();

  std::string dir;

  // Song data and generation tables.
  SongForm form{};
  BarNoteTable barNotes{};
  BarPatternPair patternPairs{};
  NoteTrackTable noteTrack;
  GenerationLog log;
  MidiImage midiImage;
  CurrentDbFiles dbFiles;

  // Databases.
  CompositionDb compositionDb;
  MelodyStyleDb style;
  CustomFormTable customForms;

  // Session state.
  std::string title;              // UTF-8, at most 255 CP932 bytes
  std::string statusText = kBlankStatus;
  std::string inputText;          // the shared input text of the one-line prompt
  int8_t accompanimentFeel = 0;   // 0 march, 1 standard, 2 blues, 3 rock
  std::array<int32_t, 3> instrumentPrograms{};  // melody, bass, chords
  int32_t playing = 0;            // 1 from a play command until the next stop (or composition)
  int32_t bestOf = 1;             // melodies composed per composition; the best-scoring is kept
  // The melody's shift in octaves, -1..2 (0: the literal composition), or kAutoMelodyOctave
  // (critic/melody_choice.h): chosen per song by the critic.
  int32_t melodyOctave = 0;
  // The shift in octaves that the current melody was given (what melodyOctave came to).
  int32_t melodyShift = 0;

  // Melody state shared between bars and compositions.
  ChordToneTable chordTones{};
  KeyScale keyScale = kInitialKeyScale;
  ChainState chain;

  RandomSource random;

  // The song history: the current song's entry, undo and redo (app/song_state.h).
  SongState song;

 private:
  Platform* platform_;
};

// Start-up: loads "default.mld", "default.ton" and "default.db" in this order.
void StartUp(Session& session);

}  // namespace vema
