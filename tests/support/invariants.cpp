#include "support/invariants.h"

#include <string>

namespace vema::testing {
namespace {

uint32_t BigEndian(std::span<const uint8_t> bytes, size_t at, size_t count) {
  uint32_t value = 0;
  for (size_t i = 0; i < count; ++i) value = (value << 8) | bytes[at + i];
  return value;
}

// Reads a variable-length quantity; false when it runs past the end or is longer than 4 bytes.
bool ReadVarLen(std::span<const uint8_t> data, size_t& at, uint32_t& value) {
  value = 0;
  for (int i = 0; i < 4; ++i) {
    if (at >= data.size()) return false;
    const uint8_t b = data[at++];
    value = (value << 7) | (b & 0x7F);
    if ((b & 0x80) == 0) return true;
  }
  return false;
}

std::string ReadTrack(std::span<const uint8_t> data, MidiTrackSummary& track) {
  size_t at = 0;
  uint8_t status = 0;
  while (at < data.size()) {
    uint32_t delta = 0;
    if (!ReadVarLen(data, at, delta)) return "bad delta time";
    track.ticks += delta;
    if (at >= data.size()) return "event missing after a delta";
    if (data[at] & 0x80) status = data[at++];
    if (status == 0) return "data byte without a running status";
    if (status == 0xFF) {
      if (at >= data.size()) return "meta event cut";
      const uint8_t type = data[at++];
      uint32_t length = 0;
      if (!ReadVarLen(data, at, length) || at + length > data.size()) return "meta event cut";
      at += length;
      if (type == 0x2F) return at == data.size() ? "" : "bytes after the end of track";
      status = 0;
      continue;
    }
    if (status == 0xF0 || status == 0xF7) {
      uint32_t length = 0;
      if (!ReadVarLen(data, at, length) || at + length > data.size()) return "sysex cut";
      at += length;
      status = 0;
      continue;
    }
    const int kind = status >> 4;
    const size_t count = (kind == 0xC || kind == 0xD) ? 1 : 2;
    if (at + count > data.size()) return "channel event cut";
    for (size_t i = 0; i < count; ++i) {
      if (data[at + i] & 0x80) return "data byte of 128 or more";
    }
    if (kind == 0x9 && data[at + 1] > 0) ++track.noteOns;
    if (kind == 0x8 || (kind == 0x9 && data[at + 1] == 0)) ++track.noteOffs;
    at += count;
  }
  return "track without end of track";
}

}  // namespace

std::string ReadMidi(std::span<const uint8_t> bytes, MidiSummary& summary) {
  summary = {};
  if (bytes.size() < 14 || BigEndian(bytes, 0, 4) != 0x4D546864 || BigEndian(bytes, 4, 4) != 6) {
    return "no header chunk";
  }
  summary.format = static_cast<int>(BigEndian(bytes, 8, 2));
  const uint32_t tracks = BigEndian(bytes, 10, 2);
  summary.division = static_cast<int>(BigEndian(bytes, 12, 2));
  size_t at = 14;
  for (uint32_t t = 0; t < tracks; ++t) {
    if (at + 8 > bytes.size() || BigEndian(bytes, at, 4) != 0x4D54726B) return "track chunk missing";
    const uint32_t length = BigEndian(bytes, at + 4, 4);
    if (at + 8 + length > bytes.size()) return "track chunk longer than the file";
    MidiTrackSummary track;
    const std::string problem = ReadTrack(bytes.subspan(at + 8, length), track);
    if (!problem.empty()) return "track " + std::to_string(t) + ": " + problem;
    summary.tracks.push_back(track);
    at += 8 + length;
  }
  return at == bytes.size() ? "" : "bytes after the last track";
}

std::string CheckComposition(const Session& session) {
  const int bars = session.form.BarCount();
  const bool melody = session.noteTrack.at(0, 0).length != 0;
  if (melody) {
    int cell = 0;
    for (int b = 0; b < bars; ++b) {
      int sum = 0;
      int n = 0;
      for (; n < kBarEntries && session.barNotes[b][n].length != -1; ++n) {
        const BarNote& note = session.barNotes[b][n];
        if (note.length <= 0) return "bar " + std::to_string(b) + " holds a length of " +
                                     std::to_string(note.length);
        sum += note.length;
        const TrackNote& flat = session.noteTrack.at(cell++, 0);
        if (flat.length != note.length || flat.pitch != note.pitch) {
          return "voice 0 differs from bar " + std::to_string(b) + " note " + std::to_string(n);
        }
      }
      if (n == kBarEntries) return "bar " + std::to_string(b) + " has no end mark";
      if (sum != kTicksPerBar) {
        return "bar " + std::to_string(b) + " lasts " + std::to_string(sum) + " ticks";
      }
    }
    if (session.noteTrack.at(cell, 0).length != -1) return "voice 0 does not end after the bars";
  }
  if (session.midiImage.count == kNoMidiImage) return "";
  const auto size = static_cast<size_t>(session.midiImage.count);
  if (size > session.midiImage.bytes.size()) return "MIDI image count beyond its bytes";
  MidiSummary summary;
  const std::string problem = ReadMidi({session.midiImage.bytes.data(), size}, summary);
  if (!problem.empty()) return "MIDI image: " + problem;
  if (summary.tracks.size() < 4) return "MIDI image has fewer than 4 tracks";
  const size_t chord = summary.tracks.size() - 3;
  for (size_t t : {chord, chord + 1}) {
    if (summary.tracks[t].ticks != static_cast<int64_t>(bars) * kTicksPerBar) {
      return "accompaniment track " + std::to_string(t) + " lasts " +
             std::to_string(summary.tracks[t].ticks) + " ticks for " + std::to_string(bars) +
             " bars";
    }
  }
  return "";
}

}  // namespace vema::testing
