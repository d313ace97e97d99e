// The generation tables that the composition phases fill in a fixed order.
#pragma once

#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "song/form.h"

namespace vema {

inline constexpr int kBarEntries = 20;      // 19 notes and the -1 end mark
inline constexpr int kTrackSteps = 3000;
inline constexpr int kTrackVoices = 16;
inline constexpr int kNoMidiImage = 0xffff;

struct BarNote {
  int32_t length = 0;  // ticks; 0 = tie mark; -1 ends the bar
  int32_t pitch = 0;   // 0 = rest, 1..12 = c .. b
  int32_t octave = 0;
  int32_t rule = 0;    // melodic rule 0..10
};

using BarNotes = std::array<BarNote, kBarEntries>;
using BarNoteTable = std::array<BarNotes, kMaxBars>;

struct PatternPair {
  int32_t first = 0;
  int32_t second = 0;
};
using BarPatternPair = std::array<PatternPair, kMaxBars>;

struct TrackNote {
  int32_t length = 0;  // -1 ends the voice
  int32_t pitch = 0;
  int8_t octave = 0;
};

// 3000 steps x 16 voice columns; voice 0 is the melody, voice 1 the bass line.  All cells start
// zero.  The 576 KB are taken zeroed from the system (calloc), so that the pages a song never
// reaches are neither cleared nor touched.
class NoteTrackTable {
 public:
  NoteTrackTable() : cells_(Allocate()) {}
  NoteTrackTable(const NoteTrackTable& other) : cells_(Allocate()) { *this = other; }
  NoteTrackTable& operator=(const NoteTrackTable& other);
  NoteTrackTable(NoteTrackTable&&) = default;
  NoteTrackTable& operator=(NoteTrackTable&&) = default;

  TrackNote& at(int step, int voice) {
    return cells_[static_cast<size_t>(step) * kTrackVoices + static_cast<size_t>(voice)];
  }
  const TrackNote& at(int step, int voice) const {
    return cells_[static_cast<size_t>(step) * kTrackVoices + static_cast<size_t>(voice)];
  }
  // Every step of one voice back to its state before any composition.
  void ClearVoice(int voice) {
    for (int step = 0; step < kTrackSteps; ++step) at(step, voice) = TrackNote{};
  }

 private:
  static constexpr size_t kCells = static_cast<size_t>(kTrackSteps) * kTrackVoices;
  struct Free {
    void operator()(TrackNote* cells) const { std::free(cells); }
  };
  static std::unique_ptr<TrackNote[], Free> Allocate();

  std::unique_ptr<TrackNote[], Free> cells_;
};

// The trace of one composition (UTF-8 in memory, written as CP932 to work.txt).
class GenerationLog {
 public:
  void Reset(std::string_view banner) {
    if (muted_) return;
    used_ = 0;
    Append(banner);
  }
  void Append(std::string_view text) {
    if (muted_ || text.empty()) return;
    std::memcpy(Room(text.size()), text.data(), text.size());
    used_ += text.size();
  }
  void Appendf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  std::string_view text() const { return {bytes_.get(), used_}; }
  // A muted log keeps nothing from then on (for compositions that are only compared).
  void Mute() { muted_ = true; }

 private:
  // Where `count` more bytes go (at the end of the text); the room grows by doubling, starting
  // with enough for a long song's trace.
  char* Room(size_t count) {
    if (capacity_ - used_ < count) Grow(count);
    return bytes_.get() + used_;
  }
  void Grow(size_t count);
  void AppendInt(int value, int width);

  std::unique_ptr<char[]> bytes_;  // the text, then room
  size_t used_ = 0;
  size_t capacity_ = 0;
  bool muted_ = false;
};

struct MidiImage {
  std::vector<uint8_t> bytes;
  int32_t count = kNoMidiImage;  // 0xffff until the first song was written
  SongForm form{};               // the form the song was composed with (its keys and chords)
};

// Slots: 0 note-length database (.mld), 1 melody style (.ton), 2..4 unused kinds.
using CurrentDbFiles = std::array<std::string, 5>;

// Chord tones (pitch classes 0..11) of the chord parsed last, first tone first, ended by -1.
using ChordToneTable = std::array<int8_t, 12>;

// The scale of the bar prepared last: seven pitch numbers, tonic first.
using KeyScale = std::array<int8_t, 7>;
inline constexpr KeyScale kInitialKeyScale = {10, 12, 1, 3, 5, 6, 8};

// State of the rule chaining; lives for the whole session and is never reset.
struct ChainState {
  int8_t sameRun = 0;
  int8_t reverseRun = 0;
  int8_t otherRun = 0;
  int8_t expectedPitch = 0;
  int8_t hightmode = 0;
  int32_t reverseDesire = 0;  // kept in full; capped at 100 from above after each step
  int32_t repeatedLast = 0;
};

}  // namespace vema
