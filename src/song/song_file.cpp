#include "song/song_file.h"

#include <algorithm>
#include <cstring>

#include "song/file_io.h"

namespace vema {
namespace {

uint32_t BigEndian(std::span<const uint8_t> bytes, size_t at, size_t width) {
  uint32_t value = 0;
  for (size_t i = 0; i < width; ++i) value = value << 8 | bytes[at + i];
  return value;
}

// Reads a variable-length quantity of at most four bytes at pos.
bool ReadQuantity(std::span<const uint8_t> track, size_t& pos, uint32_t& value) {
  value = 0;
  for (int i = 0; i < 4; ++i) {
    if (pos >= track.size()) return false;
    const uint8_t byte = track[pos++];
    value = value << 7 | (byte & 0x7Fu);
    if ((byte & 0x80) == 0) return true;
  }
  return false;
}

// Skips length bytes at pos when they are inside the track.
bool Skip(std::span<const uint8_t> track, size_t& pos, uint32_t length) {
  if (length > track.size() - pos) return false;
  pos += length;
  return true;
}

// A tempo change: from this tick on, so many microseconds to the quarter note.
struct Tempo {
  uint64_t tick;
  uint32_t microseconds;
};

// Walks the events of a track chunk up to its end-of-track event: true when they are complete.
// The tempo changes are added to tempos (when given) and end is the tick of the last event.
bool WalkTrack(std::span<const uint8_t> track, std::vector<Tempo>* tempos, uint64_t& end) {
  size_t pos = 0;
  uint64_t tick = 0;
  uint8_t running = 0;  // the status that data bytes without their own continue
  while (pos < track.size()) {
    uint32_t value = 0;
    if (!ReadQuantity(track, pos, value) || pos >= track.size()) return false;  // delta time
    tick += value;
    end = tick;
    uint8_t status = track[pos];
    if (status >= 0x80) {
      ++pos;
    } else if (running != 0) {
      status = running;
    } else {
      return false;
    }
    if (status == 0xFF) {  // meta event: type, length, data
      if (pos >= track.size()) return false;
      const uint8_t type = track[pos++];
      if (!ReadQuantity(track, pos, value) || !Skip(track, pos, value)) return false;
      if (type == 0x2F) return true;  // end of track
      if (type == 0x51 && value == 3 && tempos != nullptr) {
        tempos->push_back({tick, BigEndian(track, pos - 3, 3)});
      }
      running = 0;
    } else if (status == 0xF0 || status == 0xF7) {  // system exclusive: length, data
      if (!ReadQuantity(track, pos, value) || !Skip(track, pos, value)) return false;
      running = 0;
    } else if (status > 0xF0) {
      return false;  // no system common or real-time messages in a file
    } else {
      const size_t data = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
      for (size_t i = 0; i < data; ++i) {
        if (pos >= track.size() || track[pos] >= 0x80) return false;
        ++pos;
      }
      running = status;
    }
  }
  return false;  // no end of track
}

// Walks a whole file: false when it is no whole Standard MIDI File.  division is the header's.
bool WalkFile(std::span<const uint8_t> bytes, std::vector<Tempo>* tempos, uint64_t& end,
              uint32_t& division) {
  if (bytes.size() < 14 || std::memcmp(bytes.data(), "MThd", 4) != 0) return false;
  const uint32_t headerLength = BigEndian(bytes, 4, 4);
  if (headerLength < 6 || headerLength > bytes.size() - 8) return false;
  const uint32_t format = BigEndian(bytes, 8, 2);
  const uint32_t tracks = BigEndian(bytes, 10, 2);
  division = BigEndian(bytes, 12, 2);
  if (format > 2 || tracks == 0 || (format == 0 && tracks != 1) || division == 0) return false;
  size_t at = 8 + headerLength;
  uint32_t found = 0;
  end = 0;
  while (found < tracks) {
    if (bytes.size() - at < 8) return false;
    const uint32_t length = BigEndian(bytes, at + 4, 4);
    if (length > bytes.size() - at - 8) return false;
    if (std::memcmp(bytes.data() + at, "MTrk", 4) == 0) {
      uint64_t trackEnd = 0;
      if (!WalkTrack(bytes.subspan(at + 8, length), tempos, trackEnd)) return false;
      end = std::max(end, trackEnd);
      ++found;
    }
    at += 8 + length;
  }
  return true;
}

}  // namespace

bool IsCompleteSmf(std::span<const uint8_t> bytes) {
  uint64_t end = 0;
  uint32_t division = 0;
  return WalkFile(bytes, nullptr, end, division);
}

double SongSeconds(std::span<const uint8_t> bytes) {
  std::vector<Tempo> tempos;
  uint64_t end = 0;
  uint32_t division = 0;
  if (!WalkFile(bytes, &tempos, end, division)) return 0;
  if ((division & 0x8000) != 0) {
    // Time code: frames a second (the negative high byte; 29 stands for 29.97) times ticks a
    // frame.
    const int frames = -static_cast<int8_t>(division >> 8);
    const double perSecond = (frames == 29 ? 29.97 : frames) * static_cast<double>(division & 0xFF);
    return perSecond > 0 ? static_cast<double>(end) / perSecond : 0;
  }
  std::stable_sort(tempos.begin(), tempos.end(),
                   [](const Tempo& a, const Tempo& b) { return a.tick < b.tick; });
  double seconds = 0;
  uint64_t tick = 0;
  double secondsPerTick = 0.5 / division;  // 120 quarter notes a minute until the first change
  for (const Tempo& tempo : tempos) {
    if (tempo.tick >= end) break;
    seconds += static_cast<double>(tempo.tick - tick) * secondsPerTick;
    tick = tempo.tick;
    secondsPerTick = tempo.microseconds / 1e6 / division;
  }
  return seconds + static_cast<double>(end - tick) * secondsPerTick;
}

std::optional<std::vector<uint8_t>> ReadSongFile(const std::string& path, const std::string& name,
                                                 std::string& error) {
  const std::optional<ReadableFile> file = ReadableFile::Open(path);
  if (file && file->size() > kMaxSongFileBytes) {
    error = TooLargeMessage(name, file->size(), kMaxSongFileBytes);
    return std::nullopt;
  }
  std::optional<std::vector<uint8_t>> bytes;
  if (file) {
    bytes.emplace(file->size());
    const ptrdiff_t got = file->ReadAt(0, *bytes);
    if (got < 0) {
      bytes.reset();
    } else {
      bytes->resize(static_cast<size_t>(got));
    }
  }
  if (!bytes) {
    error = "ファイルを開けません[" + name + "]";
  } else if (!IsCompleteSmf(*bytes)) {
    error = "ファイルが壊れています[" + name + "]";
    bytes.reset();
  }
  return bytes;
}

}  // namespace vema
