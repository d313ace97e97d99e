// Byte-level helpers of the Standard MIDI File writer: delta times, keys and track chunks.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace vema {

// The largest delta time a variable-length quantity can carry (four bytes).
inline constexpr uint32_t kMaxDeltaTime = 0x0FFFFFFF;

// Appends a delta time as a variable-length quantity: 7 bits per byte, most significant group
// first, the high bit set on every byte but the last.  Negative values count as 0, values past
// kMaxDeltaTime as kMaxDeltaTime.
void AppendDeltaTime(std::vector<uint8_t>& out, int64_t ticks);

// A key moved by whole octaves into 1..127 (up from below 1, down from above 127), so that it
// is a data byte and never the rest mark 0.
int32_t KeyIntoMidiRange(int64_t key);

// A data byte: the value clamped into 0..127.
uint8_t DataByte(int64_t value);

// Appends an ASCII chunk id or text.
void AppendAscii(std::vector<uint8_t>& out, std::string_view text);

// Appends a 32-bit big-endian value.
void AppendBigEndian32(std::vector<uint8_t>& out, uint32_t value);

// A track chunk: "MTrk", the big-endian length of the data, the data.
std::vector<uint8_t> MakeTrackChunk(std::span<const uint8_t> data);

}  // namespace vema
