// MIDI files of arbitrary bytes read back as notes, under a form whose bars, keys and chord names
// come from the same bytes, then written as a MusicXML score and laid out as a piano roll: the
// score must be well-formed with every bar of every part exactly full, and every note of the roll
// must lie on its canvas.
#include <span>

#include "app/piano_roll.h"
#include "harness.h"
#include "output/musicxml_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  std::string error;
  std::optional<vema::MidiNotes> notes = vema::ReadMidiNotes(bytes, error);
  if (!notes) return 0;
  vema::SongForm form = vema::BlankForm();
  form.lastPeriod = static_cast<int32_t>(size % 13) - 1;  // -1 and 0..11: clamped by the form
  for (int bar = 0; bar < form.BarCount(); ++bar) {
    const size_t at = (static_cast<size_t>(bar) * 7) % (size > 0 ? size : 1);
    form.keyIndex[static_cast<size_t>(bar)] = size > 0 ? data[at] % 32 - 1 : 0;  // some invalid
    if (size > at + 1)
      form.SetChord(bar, std::string_view(reinterpret_cast<const char*>(data + at + 1),
                                          std::min<size_t>(9, size - at - 1)));
  }
  const vema::SongScore score = vema::MakeSongScore(std::move(*notes), form, "\x01題名\xff");
  const std::string xml = vema::BuildMusicXml(score);
  vema::fuzz::CheckScoreXml(xml, score.bars, size);
  vema::PianoRollLayout roll;
  roll.SetSong(score);
  for (const vema::RollNote& note : roll.Notes()) {
    if (note.rect.x < vema::PianoRollLayout::kKeyboardWidth || note.rect.width < 1 ||
        note.rect.x + note.rect.width > roll.Width() || note.rect.y < 0 ||
        note.rect.y + note.rect.height > roll.Height()) {
      vema::fuzz::Fail("a note lies off the piano roll", size);
    }
  }
  return 0;
}
