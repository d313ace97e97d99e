#include "song/midi_sequence.h"

#include <algorithm>
#include <cmath>

#include "song/song_file.h"

namespace vema {
namespace {

// A song never plays longer than this (about 31 years): times stay far from overflowing.
constexpr double kLatestMicroseconds = 1e15;
constexpr double kDefaultMicrosecondsPerQuarter = 500000;  // 120 quarter notes a minute

uint32_t BigEndian(std::span<const uint8_t> bytes, size_t at, size_t width) {
  uint32_t value = 0;
  for (size_t i = 0; i < width; ++i) value = value << 8 | bytes[at + i];
  return value;
}

// The file is known to be whole, so every read below stays inside it; the checks only guard
// against reading past the end should that ever not hold.
class TrackReader {
 public:
  explicit TrackReader(std::span<const uint8_t> track) : track_(track) {}
  bool AtEnd() const { return pos_ >= track_.size(); }
  bool Byte(uint8_t& value) {
    if (AtEnd()) return false;
    value = track_[pos_++];
    return true;
  }
  uint8_t Peek() const { return track_[pos_]; }
  bool Quantity(uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
      uint8_t byte = 0;
      if (!Byte(byte)) return false;
      value = value << 7 | (byte & 0x7Fu);
      if ((byte & 0x80) == 0) return true;
    }
    return false;
  }
  bool Skip(uint32_t length, std::span<const uint8_t>* skipped = nullptr) {
    if (length > track_.size() - pos_) return false;
    if (skipped != nullptr) *skipped = track_.subspan(pos_, length);
    pos_ += length;
    return true;
  }

 private:
  std::span<const uint8_t> track_;
  size_t pos_ = 0;
};

struct TempoChange {
  int64_t tick;
  double microsecondsPerQuarter;
};

// One track's channel messages (times still to be set) and tempo changes; its end tick.
int64_t ReadTrack(std::span<const uint8_t> track, std::vector<TimedMidiMessage>& messages,
                  std::vector<TempoChange>& tempos) {
  TrackReader in(track);
  int64_t tick = 0;
  uint8_t running = 0;
  while (!in.AtEnd()) {
    uint32_t delta = 0;
    if (!in.Quantity(delta) || in.AtEnd()) break;
    tick += delta;
    uint8_t status = in.Peek();
    if (status >= 0x80) {
      in.Byte(status);
    } else if (running != 0) {
      status = running;
    } else {
      break;
    }
    if (status == 0xFF) {
      uint8_t type = 0;
      uint32_t length = 0;
      std::span<const uint8_t> data;
      if (!in.Byte(type) || !in.Quantity(length) || !in.Skip(length, &data)) break;
      if (type == 0x2F) break;
      if (type == 0x51 && data.size() == 3) {
        const uint32_t perQuarter = BigEndian(data, 0, 3);
        if (perQuarter > 0) tempos.push_back({tick, static_cast<double>(perQuarter)});
      }
      running = 0;
    } else if (status == 0xF0 || status == 0xF7) {
      uint32_t length = 0;
      if (!in.Quantity(length) || !in.Skip(length)) break;
      running = 0;
    } else if (status > 0xF0) {
      break;
    } else {
      TimedMidiMessage message;
      message.tick = tick;
      message.bytes[0] = status;
      message.size = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 2 : 3;
      for (uint8_t i = 1; i < message.size; ++i) {
        if (!in.Byte(message.bytes[i]) || message.bytes[i] >= 0x80) return tick;
      }
      messages.push_back(message);
      running = status;
    }
  }
  return tick;
}

}  // namespace

int64_t MidiSequence::MicrosecondsAt(int64_t tick) const {
  if (tempos.empty() || tick <= 0) return 0;
  auto it = std::upper_bound(tempos.begin(), tempos.end(), tick,
                             [](int64_t t, const Tempo& tempo) { return t < tempo.tick; });
  const Tempo& tempo = *std::prev(it);
  const double time = tempo.microseconds + static_cast<double>(tick - tempo.tick) * tempo.perTick;
  return std::llround(std::min(time, kLatestMicroseconds));
}

int64_t MidiSequence::TickAt(int64_t microseconds) const {
  if (tempos.empty() || microseconds <= 0) return 0;
  const double time = static_cast<double>(microseconds);
  auto it = std::upper_bound(tempos.begin(), tempos.end(), time,
                             [](double t, const Tempo& tempo) { return t < tempo.microseconds; });
  const Tempo& tempo = *std::prev(it);
  const double ticks = static_cast<double>(tempo.tick) + (time - tempo.microseconds) / tempo.perTick;
  return static_cast<int64_t>(std::min(ticks, kLatestMicroseconds));
}

size_t MidiSequence::FirstAt(int64_t tick) const {
  return static_cast<size_t>(
      std::lower_bound(messages.begin(), messages.end(), tick,
                       [](const TimedMidiMessage& m, int64_t t) { return m.tick < t; }) -
      messages.begin());
}

std::optional<MidiSequence> ReadMidiSequence(std::span<const uint8_t> bytes) {
  if (!IsCompleteSmf(bytes)) return std::nullopt;
  MidiSequence song;
  const uint32_t headerLength = BigEndian(bytes, 4, 4);
  const uint32_t tracks = BigEndian(bytes, 10, 2);
  const uint32_t division = BigEndian(bytes, 12, 2);
  std::vector<TempoChange> tempos;
  size_t at = 8 + headerLength;
  for (uint32_t found = 0; found < tracks && bytes.size() - at >= 8;) {
    const uint32_t length = BigEndian(bytes, at + 4, 4);
    if (length > bytes.size() - at - 8) break;
    if (std::equal(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                   bytes.begin() + static_cast<std::ptrdiff_t>(at + 4), "MTrk")) {
      song.endTick = std::max(song.endTick, ReadTrack(bytes.subspan(at + 8, length),
                                                      song.messages, tempos));
      ++found;
    }
    at += 8 + length;
  }
  // Tracks were read one after the other: a stable sort by tick keeps the order of the tracks
  // and of each track at one tick.
  std::stable_sort(song.messages.begin(), song.messages.end(),
                   [](const TimedMidiMessage& a, const TimedMidiMessage& b) { return a.tick < b.tick; });
  std::stable_sort(tempos.begin(), tempos.end(),
                   [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });

  if (division & 0x8000) {
    // Time code: frames a second (the negated high byte) times ticks a frame; no tempo.
    const int framesPerSecond = -static_cast<int8_t>(division >> 8);
    const int ticksPerFrame = static_cast<int>(division & 0xFF);
    const double perSecond = std::max(1, framesPerSecond) * std::max(1, ticksPerFrame);
    song.tempos.push_back({0, 0, 1e6 / perSecond});
  } else {
    const double perQuarter = division;  // never 0 in a whole file
    song.tempos.push_back({0, 0, kDefaultMicrosecondsPerQuarter / perQuarter});
    for (const TempoChange& change : tempos) {
      MidiSequence::Tempo& last = song.tempos.back();
      const double time =
          last.microseconds + static_cast<double>(change.tick - last.tick) * last.perTick;
      const MidiSequence::Tempo next{change.tick, std::min(time, kLatestMicroseconds),
                       change.microsecondsPerQuarter / perQuarter};
      if (change.tick == last.tick) {
        last = next;  // the last change at a tick holds
      } else {
        song.tempos.push_back(next);
      }
    }
  }
  for (TimedMidiMessage& message : song.messages) {
    message.microseconds = song.MicrosecondsAt(message.tick);
    song.channelsUsed |= static_cast<uint16_t>(1u << message.Channel());
  }
  song.endMicroseconds = song.MicrosecondsAt(song.endTick);
  return song;
}

}  // namespace vema
