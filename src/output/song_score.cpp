#include "output/song_score.h"

#include <algorithm>
#include <deque>
#include <map>
#include <vector>

#include "song/text.h"

namespace vema {
namespace {

// The end of the longest song, in ticks of 48 to the quarter note.
constexpr int64_t kMaxSongTicks = int64_t{kMaxBars} * kTicksPerBar;

class ByteCursor {
 public:
  explicit ByteCursor(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  bool AtEnd() const { return pos_ >= bytes_.size(); }
  size_t Left() const { return AtEnd() ? 0 : bytes_.size() - pos_; }
  bool Byte(uint8_t& value) {
    if (AtEnd()) return false;
    value = bytes_[pos_++];
    return true;
  }
  bool Peek(uint8_t& value) const {
    if (AtEnd()) return false;
    value = bytes_[pos_];
    return true;
  }
  bool BigEndian(size_t count, uint32_t& value) {
    if (Left() < count) return false;
    value = 0;
    for (size_t i = 0; i < count; ++i) value = (value << 8) | bytes_[pos_++];
    return true;
  }
  // A variable-length quantity of at most four bytes.
  bool Quantity(uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
      uint8_t b = 0;
      if (!Byte(b)) return false;
      value = (value << 7) | (b & 0x7F);
      if ((b & 0x80) == 0) return true;
    }
    return false;
  }
  bool Skip(size_t count) {
    if (Left() < count) return false;
    pos_ += count;
    return true;
  }
  std::span<const uint8_t> Take(size_t count) {
    const size_t n = std::min(count, Left());
    const std::span<const uint8_t> part = bytes_.subspan(pos_, n);
    pos_ += n;
    return part;
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

// The notes of one channel while a track is read: notes still held, by key, earliest first.
struct OpenNotes {
  std::map<int, std::deque<int64_t>> held;
  int sounding = 0;  // notes held now
};

std::vector<ScoreNote>* ListOf(MidiNotes& notes, int channel) {
  switch (channel) {
    case 0:
      return &notes.melody;
    case 1:
      return &notes.chords;
    case 2:
      return &notes.bass;
    case 9:
      return &notes.drums;
    default:
      return nullptr;
  }
}

class TrackReader {
 public:
  TrackReader(MidiNotes& notes, uint32_t division, bool& tempoSeen)
      : notes_(notes), division_(division), tempoSeen_(tempoSeen) {}

  // Reads the notes of a track as far as it goes.  False, with the reason, when it holds what no
  // song of this program holds: a note after the last bar of the longest form, more notes at
  // once than a chord has, more notes on a channel than the longest song has ticks.
  bool Read(std::span<const uint8_t> data, std::string& error) {
    error_ = &error;
    ByteCursor in(data);
    int64_t tick = 0;
    uint8_t running = 0;
    while (!in.AtEnd() && error.empty()) {
      uint32_t delta = 0;
      if (!in.Quantity(delta)) break;
      tick += delta;
      uint8_t status = 0;
      if (!in.Peek(status)) break;
      if (status >= 0x80) {
        in.Byte(status);
      } else if (running != 0) {
        status = running;
      } else {
        break;  // a data byte without a status: the rest of the track is not readable
      }
      if (status == 0xFF) {
        uint8_t type = 0;
        uint32_t length = 0;
        if (!in.Byte(type) || !in.Quantity(length)) break;
        const std::span<const uint8_t> meta = in.Take(length);
        if (meta.size() < length || type == 0x2F) break;
        if (type == 0x51 && length == 3 && !tempoSeen_) {
          notes_.microsecondsPerQuarter = (meta[0] << 16) | (meta[1] << 8) | meta[2];
          if (notes_.microsecondsPerQuarter > 0) tempoSeen_ = true;
        }
        running = 0;
        continue;
      }
      if (status == 0xF0 || status == 0xF7) {
        uint32_t length = 0;
        if (!in.Quantity(length) || !in.Skip(length)) break;
        running = 0;
        continue;
      }
      if (status > 0xF0) break;  // no system message belongs into a file
      running = status;
      const int kind = status >> 4;
      const int channel = status & 0x0F;
      uint8_t first = 0, second = 0;
      if (!in.Byte(first) || first >= 0x80) break;
      if (kind != 0xC && kind != 0xD && (!in.Byte(second) || second >= 0x80)) break;
      if (kind == 0x9 && second > 0) {
        NoteOn(channel, first, tick);
      } else if (kind == 0x8 || kind == 0x9) {
        NoteOff(channel, first, tick);
      } else if (kind == 0xC) {
        if (channel == 0) notes_.programs[0] = first;
        if (channel == 2) notes_.programs[1] = first;
        if (channel == 1) notes_.programs[2] = first;
      }
    }
    // Notes still held end where the track ends.
    for (auto& [channel, open] : open_) {
      for (auto& [key, starts] : open.held) {
        for (const int64_t start : starts) Add(channel, key, start, tick);
      }
    }
    return error.empty();
  }

 private:
  // A tick in 48 to the quarter note, never past the end of the longest song.
  int64_t Scaled(int64_t tick) const {
    return std::min(tick * kTicksPerQuarter / static_cast<int64_t>(division_), kMaxSongTicks);
  }

  void Refuse(const std::string& why) {
    if (error_->empty()) *error_ = why;
  }

  void NoteOn(int channel, int key, int64_t tick) {
    if (ListOf(notes_, channel) == nullptr) return;
    if (Scaled(tick) >= kMaxSongTicks) {
      Refuse("the song has notes after bar " + std::to_string(kMaxBars) +
             ", more bars than any form has");
      return;
    }
    if (channel == 9) {
      // Hits at one tick sound together.
      if (tick != lastHit_) hitsAtOnce_ = 0;
      lastHit_ = tick;
      if (++hitsAtOnce_ > kMaxNotesAtOnce) RefuseTooMany(channel);
      Add(channel, key, tick, tick);
      return;
    }
    OpenNotes& open = open_[channel];
    if (++open.sounding > kMaxNotesAtOnce) RefuseTooMany(channel);
    open.held[key].push_back(tick);
  }

  void RefuseTooMany(int channel) {
    Refuse("the song sounds more than " + std::to_string(kMaxNotesAtOnce) +
           " notes at once on channel " + std::to_string(channel + 1) +
           ", more than any chord of this program has");
  }

  void NoteOff(int channel, int key, int64_t tick) {
    auto channelIt = open_.find(channel);
    if (channelIt == open_.end()) return;
    auto keyIt = channelIt->second.held.find(key);
    if (keyIt == channelIt->second.held.end() || keyIt->second.empty()) return;
    const int64_t start = keyIt->second.front();
    keyIt->second.pop_front();
    --channelIt->second.sounding;
    Add(channel, key, start, tick);
  }

  void Add(int channel, int key, int64_t start, int64_t end) {
    std::vector<ScoreNote>* list = ListOf(notes_, channel);
    if (list == nullptr) return;
    const auto from = static_cast<int32_t>(Scaled(start));
    const auto to = static_cast<int32_t>(Scaled(end));
    if (channel != 9 && to <= from) return;  // a note of no length after scaling is not kept
    if (list->size() >= static_cast<size_t>(kMaxSongTicks)) {
      Refuse("the song has more than " + std::to_string(kMaxSongTicks) + " notes on channel " +
             std::to_string(channel + 1) + ", more than any song of this program has");
      return;
    }
    list->push_back({from, to - from, key});  // a drum hit starts and ends at once
    notes_.endTick = std::max(notes_.endTick, to);
  }

  MidiNotes& notes_;
  uint32_t division_;
  bool& tempoSeen_;
  std::string* error_ = nullptr;
  std::map<int, OpenNotes> open_;
  int64_t lastHit_ = -1;
  int hitsAtOnce_ = 0;
};

void SortNotes(std::vector<ScoreNote>& list) {
  std::sort(list.begin(), list.end(), [](const ScoreNote& a, const ScoreNote& b) {
    return a.start != b.start ? a.start < b.start : a.key < b.key;
  });
}

// Letters of the pitch classes of C major, for spelling.
constexpr char kLetters[7] = {'C', 'D', 'E', 'F', 'G', 'A', 'B'};
constexpr int kNaturalClass[7] = {0, 2, 4, 5, 7, 9, 11};

int Mod12(int value) { return ((value % 12) + 12) % 12; }

// The alteration that makes a letter sound as a pitch class, in -6..5.
int AlterTo(int letterIndex, int pitchClass) {
  int alter = Mod12(pitchClass - kNaturalClass[letterIndex]);
  if (alter > 6) alter -= 12;
  return alter;
}

}  // namespace

std::optional<MidiNotes> ReadMidiNotes(std::span<const uint8_t> bytes, std::string& error) {
  ByteCursor in(bytes);
  uint32_t id = 0, length = 0, format = 0, tracks = 0, division = 0;
  if (!in.BigEndian(4, id) || id != 0x4D546864 /* MThd */ || !in.BigEndian(4, length) ||
      length < 6 || !in.BigEndian(2, format) || !in.BigEndian(2, tracks) ||
      !in.BigEndian(2, division) || !in.Skip(length - 6)) {
    error = "no Standard MIDI File";
    return std::nullopt;
  }
  if (format > 2) {
    error = "no Standard MIDI File (format " + std::to_string(format) + ")";
    return std::nullopt;
  }
  if ((division & 0x8000) != 0 || division == 0) {
    error = "the MIDI file does not count its time in ticks per quarter note";
    return std::nullopt;
  }
  MidiNotes notes;
  bool tempoSeen = false;
  error.clear();
  while (in.Left() >= 8) {
    uint32_t chunk = 0, size = 0;
    in.BigEndian(4, chunk);
    in.BigEndian(4, size);
    const std::span<const uint8_t> data = in.Take(size);
    if (chunk == 0x4D54726B /* MTrk */ && !TrackReader(notes, division, tempoSeen).Read(data, error)) {
      return std::nullopt;
    }
  }
  for (auto* list : {&notes.melody, &notes.chords, &notes.bass, &notes.drums}) SortNotes(*list);
  return notes;
}

double SongScore::QuarterNotesPerMinute() const {
  const int32_t micro = notes.microsecondsPerQuarter > 0 ? notes.microsecondsPerQuarter : 500000;
  return 60000000.0 / micro;
}

int SongScore::KeyOf(int bar) const {
  return bar >= 0 && bar < static_cast<int>(keys.size()) ? keys[static_cast<size_t>(bar)] : 0;
}

const std::string& SongScore::ChordOf(int bar) const {
  static const std::string kNone;
  return bar >= 0 && bar < static_cast<int>(chords.size()) ? chords[static_cast<size_t>(bar)]
                                                           : kNone;
}

bool SongScore::KeyChangesAt(int bar) const {
  if (bar <= 0 || bar >= bars) return false;
  const KeySignature now = KeySignatureOf(KeyOf(bar));
  const KeySignature before = KeySignatureOf(KeyOf(bar - 1));
  return now.fifths != before.fifths || now.minor != before.minor;
}

std::optional<SongScore> MakeSongScore(std::span<const uint8_t> midi, const SongForm& form,
                                       const std::string& title, std::string& error) {
  std::optional<MidiNotes> notes = ReadMidiNotes(midi, error);
  if (!notes) return std::nullopt;
  return MakeSongScore(std::move(*notes), form, title);
}

SongScore MakeSongScore(MidiNotes notes, const SongForm& form, const std::string& title) {
  SongScore score;
  score.title = CleanText(title);
  score.bars = form.BarCount();
  for (int b = 0; b < score.bars; ++b) {
    score.keys.push_back(form.keyIndex[static_cast<size_t>(b)]);
    score.chords.push_back(CleanText(Cp932ToUtf8(form.Chord(b))));
  }
  const int32_t end = score.EndTick();
  for (auto* list : {&notes.melody, &notes.chords, &notes.bass, &notes.drums}) {
    std::erase_if(*list, [end](const ScoreNote& n) { return n.start >= end; });
    for (ScoreNote& n : *list) n.length = std::min(n.length, end - n.start);
  }
  notes.endTick = std::min(notes.endTick, end);
  score.notes = std::move(notes);
  return score;
}

KeySignature KeySignatureOf(int keyIndex) {
  if (keyIndex < 0 || keyIndex >= kKeyCount) return {};
  const bool minor = keyIndex >= 15;
  const int inMode = keyIndex % 15;
  return {inMode <= 7 ? inMode : -(inMode - 7), minor};
}

Spelling SpellKey(int midiKey, int keyIndex) {
  const KeySignature sig = KeySignatureOf(keyIndex);
  // The seven notes of the key: letters in the order of fifths take the sharps or flats.
  std::array<int, 7> alters{};                           // per letter C..B
  constexpr int kSharpOrder[7] = {3, 0, 4, 1, 5, 2, 6};  // F C G D A E B
  for (int i = 0; i < std::abs(sig.fifths); ++i) {
    const int letter = sig.fifths > 0 ? kSharpOrder[i] : kSharpOrder[6 - i];
    alters[static_cast<size_t>(letter)] = sig.fifths > 0 ? 1 : -1;
  }
  const int pitchClass = Mod12(midiKey);
  int letter = -1;
  for (int l = 0; l < 7; ++l) {
    if (Mod12(kNaturalClass[l] + alters[static_cast<size_t>(l)]) == pitchClass) letter = l;
  }
  if (letter < 0) {
    // Between two notes of the key: the lower one raised or the upper one lowered.  Sharp keys
    // and the raised sixth and seventh of a minor key raise; flat keys lower; C major and A minor
    // write C#, Eb, F#, G#, Bb.
    const int tonic = Mod12(sig.fifths * 7 + (sig.minor ? 9 : 0));
    const int degree = Mod12(pitchClass - tonic);
    bool raise = sig.fifths > 0;
    if (sig.fifths == 0) raise = pitchClass != 3 && pitchClass != 10;
    if (sig.minor && (degree == 11 || degree == 9)) raise = true;
    int lower = -1, upper = -1;
    for (int l = 0; l < 7; ++l) {
      const int cls = Mod12(kNaturalClass[l] + alters[static_cast<size_t>(l)]);
      if (cls == Mod12(pitchClass - 1)) lower = l;
      if (cls == Mod12(pitchClass + 1)) upper = l;
    }
    letter = raise ? lower : upper;
    if (letter < 0 || std::abs(AlterTo(letter, pitchClass)) > 1) letter = raise ? upper : lower;
    if (letter < 0) letter = 0;  // not reached: every gap of a key's scale has both neighbours
  }
  Spelling s;
  s.step = kLetters[letter];
  s.alter = AlterTo(letter, pitchClass);
  s.octave = (midiKey - s.alter) / 12 - 1;
  return s;
}

std::string CleanText(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    size_t length = 0;
    uint32_t code = 0;
    if (byte < 0x80) {
      length = 1;
      code = byte;
    } else if (byte >= 0xC2 && byte <= 0xDF) {
      length = 2;
      code = byte & 0x1F;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
      length = 3;
      code = byte & 0x0F;
    } else if (byte >= 0xF0 && byte <= 0xF4) {
      length = 4;
      code = byte & 0x07;
    }
    bool whole = length > 0 && i + length <= utf8.size();
    for (size_t k = 1; whole && k < length; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + k]);
      whole = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    if (!whole) {  // a stray byte: it alone becomes "?"
      out += '?';
      ++i;
      continue;
    }
    constexpr uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool allowed = code >= kShortest[length] && code <= 0x10FFFF &&
                         !(code >= 0xD800 && code <= 0xDFFF) && code != 0xFFFE && code != 0xFFFF &&
                         code != 0x7F && (code >= 0x20 || code == '\t' || code == '\n');
    if (allowed) {
      out.append(utf8.substr(i, length));
    } else {
      out += '?';
    }
    i += length;
  }
  return out;
}

}  // namespace vema
