#include "output/midi_writer.h"

#include <cstdio>

#include "melody/chord.h"
#include "output/output_files.h"
#include "song/file_io.h"
#include "song/smf_bytes.h"

namespace vema {

std::vector<uint8_t> ConductorTrackChunk() {
  static constexpr uint8_t kEvents[] = {
      0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08,              // time signature 4/4
      0x00, 0xFF, 0x7F, 0x03, 0x00, 0x00, 0x41,                    // sequencer-specific
      0x00, 0xFF, 0x7F, 0x05, 0x00, 0x00, 0x77, 0x0E, 0x00,        // sequencer-specific
      0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,                    // tempo 120
      0x83, 0x00, 0xFF, 0x2F, 0x00};                               // end at tick 384
  return MakeTrackChunk(kEvents);
}

void MidiWriter::BuildChordVoicing() {
  vema::BuildChordVoicing(context_.form, context_.chordTones, context_.platform, context_.log,
                          voicings, bassNotes);
}

int MidiWriter::CollectMelodyNotes() {
  melodyNotes.clear();
  const NoteTrackTable& track = context_.noteTrack;
  if (track.at(0, 0).length == 0) {
    context_.platform.ShowMessage(kNoMelodyMessage, MessageIcon::kPlain);
    return 0;
  }
  for (int step = 0; step < kTrackSteps; ++step) {
    const TrackNote& note = track.at(step, 0);
    if (note.length <= 0) break;  // 0 or the end mark -1 (a negative length is no note either)
    int32_t key = 0;
    if (note.pitch != 0) {
      key = KeyIntoMidiRange(static_cast<int64_t>(note.octave) * 12 + note.pitch - 1);
    }
    melodyNotes.emplace_back(key, note.length);
  }
  return 1;
}

int MidiWriter::BuildMelodyTrack() {
  melodyTrack.clear();
  if (CollectMelodyNotes() == 0) return 0;
  // A program outside 0..127 is clamped so that it never becomes a status byte.
  std::vector<uint8_t> data = {0x00, 0xC0, DataByte(context_.instrumentPrograms[0])};
  int64_t pending = 0;
  for (const auto& [key, length] : melodyNotes) {
    if (key == 0) {
      pending += length;
      continue;
    }
    AppendDeltaTime(data, pending);
    data.insert(data.end(), {0x90, static_cast<uint8_t>(key), 0x60});
    AppendDeltaTime(data, length);
    data.insert(data.end(), {0x80, static_cast<uint8_t>(key), 0x00});
    pending = 0;
    context_.log.Appendf("音高 %d ", key);
    context_.log.Appendf("音長 %d\n", length);
  }
  data.insert(data.end(), {0x00, 0xFF, 0x2F, 0x00});
  melodyTrack = MakeTrackChunk(data);
  return 1;
}

void MidiWriter::BuildChordTrack(int feel) {
  chordTrack = BuildChordTrackChunk(voicings, feel, context_.instrumentPrograms[2]);
}

void MidiWriter::BuildBassTrack(int feel) {
  bassTrack = BuildBassTrackChunk(bassNotes, feel, context_.instrumentPrograms[1]);
}

void MidiWriter::BuildDrumTrack(int feel, int bars) { drumTrack = BuildDrumTrackChunk(feel, bars); }

std::vector<uint8_t> MidiWriter::AssembleFile(int feel) {
  std::vector<uint8_t> file;
  AppendAscii(file, "MThd");
  file.insert(file.end(), {0x00, 0x00, 0x00, 0x06, 0x00, 0x01, 0x00, 0x05, 0x00, 0x30});
  const std::vector<uint8_t> conductor = ConductorTrackChunk();
  file.insert(file.end(), conductor.begin(), conductor.end());
  if (BuildMelodyTrack() == 1) {
    file.insert(file.end(), melodyTrack.begin(), melodyTrack.end());
  } else {
    file[11] = 0x04;
  }
  BuildChordTrack(feel);
  file.insert(file.end(), chordTrack.begin(), chordTrack.end());
  BuildBassTrack(feel);
  file.insert(file.end(), bassTrack.begin(), bassTrack.end());
  BuildDrumTrack(feel, context_.form.BarCount());
  file.insert(file.end(), drumTrack.begin(), drumTrack.end());
  return file;
}

std::vector<uint8_t> MidiWriter::BuildFile(int feel) {
  BuildChordVoicing();
  return AssembleFile(feel);
}

bool MidiWriter::Write(int feel) {
  BuildChordVoicing();
  const std::string path = context_.PathOf(kMidiFileName);
  if (!CanWriteFile(path)) {
    // Before the tracks are built: a file that cannot be written leaves no melody in the trace.
    if (context_.files != nullptr) {
      context_.files->Fail(path);
    } else {
      context_.platform.ShowMessage(kFileNotCreatedMessage, MessageIcon::kStop);
    }
    return false;
  }
  std::vector<uint8_t> file = AssembleFile(feel);
  if (!WriteOutputFile(context_, kMidiFileName, file)) return false;
  context_.midiImage.count = static_cast<int32_t>(file.size());
  context_.midiImage.bytes = std::move(file);
  context_.midiImage.form = context_.form;
  context_.platform.ShowMessage(kComposedMessage, MessageIcon::kPlain);
  return true;
}

}  // namespace vema
