// The Standard MIDI File writer: "out.mid" (format 1, 48 ticks to the quarter note) with a
// conductor track, the melody and the chord, bass and drum tracks of the accompaniment, and the
// same bytes in MidiImage.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "accomp/accompaniment.h"
#include "output/writer_context.h"

namespace vema {

inline constexpr const char* kMidiFileName = "out.mid";
inline constexpr const char* kNoMelodyMessage =
    "メロディーはまだ生成されていません。\n伴奏パタンのみ作成します。";
inline constexpr const char* kComposedMessage = "作曲完了！！";
inline constexpr const char* kFileNotCreatedMessage = "File could not created! ";

// The 36-byte conductor track chunk (chunk head included: 44 bytes).
std::vector<uint8_t> ConductorTrackChunk();

class MidiWriter {
 public:
  explicit MidiWriter(const WriterContext& context) : context_(context) {}

  // The whole step of a composition: voices the chords, writes "out.mid" (into the context's
  // set when it has one), copies the bytes into MidiImage and shows "作曲完了！！".  When the
  // file cannot be created it shows "File could not created! " (in a set: marks the set failed,
  // whose owner says so) and leaves MidiImage as it was.  True when written.
  bool Write(int feel);

  // The same file built in memory only (chord voicing included); MidiImage is not touched.
  std::vector<uint8_t> BuildFile(int feel);

  // Fills voicings and bassNotes for every bar of the form.
  void BuildChordVoicing();
  // Fills melodyNotes from voice 0 of NoteTrackTable; 0 (after its message) when no melody has
  // been generated yet.
  int CollectMelodyNotes();
  // Builds melodyTrack; 0 when there is no melody.
  int BuildMelodyTrack();
  void BuildChordTrack(int feel);
  void BuildBassTrack(int feel);
  void BuildDrumTrack(int feel, int bars);
  // Header, conductor and every track over the voicing already in place.
  std::vector<uint8_t> AssembleFile(int feel);

  // Working lists, sized to the song.
  std::vector<std::pair<int32_t, int32_t>> melodyNotes;  // (key, ticks); key 0 is a rest
  VoicingRows voicings;
  std::vector<int32_t> bassNotes;
  std::vector<uint8_t> melodyTrack;  // whole chunks
  std::vector<uint8_t> chordTrack;
  std::vector<uint8_t> bassTrack;
  std::vector<uint8_t> drumTrack;

 private:
  WriterContext context_;
};

}  // namespace vema
