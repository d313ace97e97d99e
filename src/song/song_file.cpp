#include "song/song_file.h"

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

bool TrackEventsComplete(std::span<const uint8_t> track) {
  size_t pos = 0;
  uint8_t running = 0;  // the status that data bytes without their own continue
  while (pos < track.size()) {
    uint32_t value = 0;
    if (!ReadQuantity(track, pos, value) || pos >= track.size()) return false;  // delta time
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

}  // namespace

bool IsCompleteSmf(std::span<const uint8_t> bytes) {
  if (bytes.size() < 14 || std::memcmp(bytes.data(), "MThd", 4) != 0) return false;
  const uint32_t headerLength = BigEndian(bytes, 4, 4);
  if (headerLength < 6 || headerLength > bytes.size() - 8) return false;
  const uint32_t format = BigEndian(bytes, 8, 2);
  const uint32_t tracks = BigEndian(bytes, 10, 2);
  const uint32_t division = BigEndian(bytes, 12, 2);
  if (format > 2 || tracks == 0 || (format == 0 && tracks != 1) || division == 0) return false;
  size_t at = 8 + headerLength;
  uint32_t found = 0;
  while (found < tracks) {
    if (bytes.size() - at < 8) return false;
    const uint32_t length = BigEndian(bytes, at + 4, 4);
    if (length > bytes.size() - at - 8) return false;
    if (std::memcmp(bytes.data() + at, "MTrk", 4) == 0) {
      if (!TrackEventsComplete(bytes.subspan(at + 8, length))) return false;
      ++found;
    }
    at += 8 + length;
  }
  return true;
}

std::optional<std::vector<uint8_t>> ReadSongFile(const std::string& path, const std::string& name,
                                                 std::string& error) {
  std::optional<std::vector<uint8_t>> bytes = ReadFileBytes(path, kMaxSongFileBytes);
  if (!bytes) {
    error = "ファイルを開けません[" + name + "]";
  } else if (!IsCompleteSmf(*bytes)) {
    error = "ファイルが壊れています[" + name + "]";
    bytes.reset();
  }
  return bytes;
}

}  // namespace vema
