// Parser only: song files of arbitrary bytes, judged as the player judges them before playing.
// A file judged whole stays whole with bytes appended, and stops being whole when its last
// track is cut.  A whole file reads into the messages a MIDI output is sent: channel messages
// only, in time order, none past the end.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "song/midi_sequence.h"
#include "song/song_file.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

void CheckSequence(std::span<const uint8_t> bytes) {
  const std::optional<vema::MidiSequence> song = vema::ReadMidiSequence(bytes);
  if (!song) Fail("a whole file gave no sequence");
  int64_t tick = 0, time = 0;
  for (const vema::TimedMidiMessage& m : song->messages) {
    if (m.bytes[0] < 0x80 || m.bytes[0] > 0xEF) Fail("a message without a channel status");
    if (m.size != (m.Kind() == 0xC0 || m.Kind() == 0xD0 ? 2 : 3)) Fail("a message of a wrong size");
    for (uint8_t i = 1; i < m.size; ++i) {
      if (m.bytes[i] >= 0x80) Fail("a data byte with its high bit set");
    }
    if (m.tick < tick || m.microseconds < time) Fail("messages out of time order");
    if ((song->channelsUsed >> m.Channel() & 1) == 0) Fail("a channel used but not counted");
    tick = m.tick;
    time = m.microseconds;
  }
  if (tick > song->endTick || time > song->endMicroseconds) Fail("a message after the end");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  if (!vema::IsCompleteSmf(bytes)) {
    if (vema::ReadMidiSequence(bytes)) Fail("a damaged file gave a sequence");
    return 0;
  }
  CheckSequence(bytes);
  std::vector<uint8_t> longer(data, data + size);
  longer.insert(longer.end(), {0x4D, 0x54, 0x72, 0x6B, 0xFF});
  if (!vema::IsCompleteSmf(longer)) {
    std::fprintf(stderr, "a whole file judged damaged with bytes appended\n");
    std::abort();
  }
  // The header alone (with its track count) is never a whole file.
  if (vema::IsCompleteSmf(bytes.first(14))) {
    std::fprintf(stderr, "a header alone judged whole\n");
    std::abort();
  }
  return 0;
}
