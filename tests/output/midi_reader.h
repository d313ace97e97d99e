// A small reader of Standard MIDI File track data for the tests, written independently of the
// writer: events with their absolute times, running status resolved.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace vema::testing {

struct MidiEvent {
  int64_t tick = 0;
  uint8_t status = 0;           // 0xFF for meta events
  std::vector<uint8_t> data;    // data bytes (for meta events: type, then the payload)
};

struct MidiTrack {
  std::vector<MidiEvent> events;
  int64_t endTick = 0;  // the time of the end-of-track event
};

inline uint32_t ReadVariable(std::span<const uint8_t> bytes, size_t& at) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    if (at >= bytes.size()) throw std::runtime_error("delta past the end");
    const uint8_t b = bytes[at++];
    value = (value << 7) | (b & 0x7F);
    if ((b & 0x80) == 0) return value;
  }
  throw std::runtime_error("delta longer than four bytes");
}

// Parses the data of one track (after the chunk head).
inline MidiTrack ParseTrackData(std::span<const uint8_t> bytes) {
  MidiTrack track;
  size_t at = 0;
  int64_t tick = 0;
  uint8_t running = 0;
  while (at < bytes.size()) {
    tick += ReadVariable(bytes, at);
    if (at >= bytes.size()) throw std::runtime_error("event past the end");
    MidiEvent event;
    event.tick = tick;
    uint8_t status = bytes[at];
    if (status & 0x80) {
      ++at;
    } else {
      if (running == 0) throw std::runtime_error("data byte without status");
      status = running;
    }
    event.status = status;
    if (status == 0xFF) {
      if (at + 1 >= bytes.size()) throw std::runtime_error("short meta event");
      const uint8_t type = bytes[at++];
      const uint32_t length = ReadVariable(bytes, at);
      if (at + length > bytes.size()) throw std::runtime_error("meta past the end");
      event.data.push_back(type);
      event.data.insert(event.data.end(), bytes.begin() + static_cast<long>(at),
                        bytes.begin() + static_cast<long>(at + length));
      at += length;
      track.events.push_back(event);
      if (type == 0x2F) {
        track.endTick = tick;
        if (at != bytes.size()) throw std::runtime_error("bytes after the end of track");
        return track;
      }
      continue;
    }
    running = status;
    const int count = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
    for (int i = 0; i < count; ++i) {
      if (at >= bytes.size()) throw std::runtime_error("short event");
      if (bytes[at] & 0x80) throw std::runtime_error("status byte where a data byte belongs");
      event.data.push_back(bytes[at++]);
    }
    track.events.push_back(event);
  }
  throw std::runtime_error("no end of track");
}

inline uint32_t BigEndian32(std::span<const uint8_t> bytes, size_t at) {
  return (uint32_t{bytes[at]} << 24) | (uint32_t{bytes[at + 1]} << 16) |
         (uint32_t{bytes[at + 2]} << 8) | uint32_t{bytes[at + 3]};
}

// Parses one chunk ("MTrk" + length + data) and checks that its length covers it exactly.
inline MidiTrack ParseTrackChunk(std::span<const uint8_t> chunk) {
  if (chunk.size() < 8 || std::string(chunk.begin(), chunk.begin() + 4) != "MTrk") {
    throw std::runtime_error("not a track chunk");
  }
  if (BigEndian32(chunk, 4) != chunk.size() - 8) throw std::runtime_error("wrong chunk length");
  return ParseTrackData(chunk.subspan(8));
}

struct MidiFileView {
  int format = 0;
  int division = 0;
  std::vector<MidiTrack> tracks;
};

inline MidiFileView ParseMidiFile(std::span<const uint8_t> bytes) {
  if (bytes.size() < 14 || std::string(bytes.begin(), bytes.begin() + 4) != "MThd") {
    throw std::runtime_error("no header");
  }
  MidiFileView file;
  file.format = bytes[8] << 8 | bytes[9];
  const int count = bytes[10] << 8 | bytes[11];
  file.division = bytes[12] << 8 | bytes[13];
  size_t at = 14;
  for (int i = 0; i < count; ++i) {
    if (at + 8 > bytes.size()) throw std::runtime_error("missing track");
    const size_t length = BigEndian32(bytes, at + 4);
    if (at + 8 + length > bytes.size()) throw std::runtime_error("track past the end");
    file.tracks.push_back(ParseTrackChunk(bytes.subspan(at, 8 + length)));
    at += 8 + length;
  }
  if (at != bytes.size()) throw std::runtime_error("bytes after the last track");
  return file;
}

// Note-ons (velocity > 0) of a track.
inline int CountNoteOns(const MidiTrack& track) {
  int count = 0;
  for (const MidiEvent& e : track.events) {
    count += (e.status & 0xF0) == 0x90 && e.data.size() == 2 && e.data[1] > 0 ? 1 : 0;
  }
  return count;
}

// The time of the last note-off (note-on with velocity 0 counts as one).
inline int64_t LastNoteOffTick(const MidiTrack& track) {
  int64_t last = 0;
  for (const MidiEvent& e : track.events) {
    const bool off = (e.status & 0xF0) == 0x80 ||
                     ((e.status & 0xF0) == 0x90 && e.data.size() == 2 && e.data[1] == 0);
    if (off) last = e.tick;
  }
  return last;
}

}  // namespace vema::testing
