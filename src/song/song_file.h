// Reading a song (a Standard MIDI File such as "out.mid") for the player: only a regular file
// whose chunks and events hold together is handed on, so that a missing, special, cut-off or
// damaged file gets a message instead of the player's own complaints or silence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vema {

// Songs larger than this are not read (the program writes far smaller ones).
inline constexpr size_t kMaxSongFileBytes = 16 << 20;

// True when the bytes are a whole Standard MIDI File: a header chunk of format 0..2 with at
// least one track and a division, then as many track chunks as the header counts (other chunks
// are skipped), each inside the file and made of complete events up to its end-of-track event.
bool IsCompleteSmf(std::span<const uint8_t> bytes);

// How long a whole Standard MIDI File plays, from its start to its last event (an end of track
// included), in seconds by its tempo changes (120 quarter notes a minute before the first); 0
// for bytes that are no whole file.
double SongSeconds(std::span<const uint8_t> bytes);

// The bytes of the song at path, or nullopt with the message for it in error:
// "ファイルを開けません[NAME]" when it is no regular file that can be read,
// "ファイルが大きすぎます[NAME]" (TooLargeMessage) when it is larger than kMaxSongFileBytes,
// "ファイルが壊れています[NAME]" when it is not a whole Standard MIDI File.
std::optional<std::vector<uint8_t>> ReadSongFile(const std::string& path, const std::string& name,
                                                 std::string& error);

}  // namespace vema
