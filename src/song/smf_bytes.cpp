#include "song/smf_bytes.h"

#include <algorithm>

namespace vema {

void AppendDeltaTime(std::vector<uint8_t>& out, int64_t ticks) {
  const uint32_t value =
      static_cast<uint32_t>(std::clamp<int64_t>(ticks, 0, static_cast<int64_t>(kMaxDeltaTime)));
  uint8_t groups[4];
  int count = 0;
  uint32_t rest = value;
  do {
    groups[count++] = static_cast<uint8_t>(rest & 0x7F);
    rest >>= 7;
  } while (rest != 0);
  for (int i = count - 1; i >= 0; --i) {
    out.push_back(static_cast<uint8_t>(groups[i] | (i > 0 ? 0x80 : 0x00)));
  }
}

int32_t KeyIntoMidiRange(int64_t key) {
  if (key < 1) key += ((1 - key + 11) / 12) * 12;
  if (key > 127) key -= ((key - 127 + 11) / 12) * 12;
  return static_cast<int32_t>(key);
}

uint8_t DataByte(int64_t value) { return static_cast<uint8_t>(std::clamp<int64_t>(value, 0, 127)); }

void AppendAscii(std::vector<uint8_t>& out, std::string_view text) {
  out.insert(out.end(), text.begin(), text.end());
}

void AppendBigEndian32(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value >> 24));
  out.push_back(static_cast<uint8_t>(value >> 16));
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

std::vector<uint8_t> MakeTrackChunk(std::span<const uint8_t> data) {
  std::vector<uint8_t> chunk;
  chunk.reserve(data.size() + 8);
  AppendAscii(chunk, "MTrk");
  AppendBigEndian32(chunk, static_cast<uint32_t>(data.size()));
  chunk.insert(chunk.end(), data.begin(), data.end());
  return chunk;
}

}  // namespace vema
