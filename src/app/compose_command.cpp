#include "app/compose_command.h"

#include <string>

#include "accomp/accompaniment.h"
#include "app/folder_writes.h"
#include "app/playback.h"
#include "app/session.h"
#include "critic/melody_choice.h"
#include "melody/note_length_generator.h"
#include "melody/pitch_generator.h"
#include "output/midi_writer.h"
#include "output/mml_writer.h"

namespace vema {
namespace {

void SetStatus(Session& session, std::string_view status) {
  session.statusText = std::string(status);
  session.platform().ShowStatus(session.statusText);
}

}  // namespace

bool IsMelodyDbKind(int kind) { return kind == 0 || kind == 3 || kind == 5; }

std::optional<double> ComposeCommand(Session& session) {
  return Compose(session, true).score;
}

bool WriteSongFiles(Session& session, FolderWrites& writes,
                    const std::function<void()>& whileLocked) {
  SetStatus(session, kStatusMidi);
  MidiWriter(writes.Writers()).Write(session.accompanimentFeel);

  SetStatus(session, kStatusMml);
  WriteMmlFile(writes.Writers());
  return writes.Commit(whileLocked);
}

Composition Compose(Session& session, bool writeFiles) {
  Composition result;
  if (session.playing == 1) StopCommand(session);

  SetStatus(session, kStatusNoteLengths);
  // Best of N: the candidates are composed out of sight first; the chosen one is then composed
  // again from its start, as if it had been the only composition.
  std::optional<MelodyChoice> choice;
  if (session.bestOf > 1 && IsMelodyDbKind(session.compositionDb.kind)) {
    choice = ChooseMelody(session.Melody(), session.bestOf);
    session.random = choice->chosenStart;
    RunChosenLengths(session.Melody(), *choice);
  } else {
    NoteLengthGenerator(session.Melody()).Run();
  }

  SetStatus(session, kStatusPitches);
  if (!IsMelodyDbKind(session.compositionDb.kind)) {
    session.platform().ShowMessage(kWrongDbKindMessage, MessageIcon::kStop);
    return result;
  }
  result.composed = true;
  // A failed pitch phase leaves no melody behind, not the previous song's.
  const int pitches = choice ? RunChosenPitches(session.Melody(), *choice)
                             : PitchGenerator(session.Melody()).Run();
  if (pitches == 0) session.noteTrack.ClearVoice(0);
  session.melodyShift =
      pitches != 0 ? ApplyMelodyOctave(session.Melody(), session.melodyOctave) : 0;
  if (choice) session.random = choice->end;  // the random source runs on past every candidate

  SetStatus(session, kStatusAccompaniment);
  ChooseAccompanimentFeel(session.platform(), session.accompanimentFeel);
  if (choice && choice->score >= 0) result.score = choice->score;  // else no candidate had a melody
  if (!writeFiles) return result;

  {
    // out.mid, out.mml and work.txt are written as one set while no other run writes here.
    FolderWrites writes(session);
    result.written = WriteSongFiles(session, writes);
  }

  session.playing = 0;
  SetStatus(session, kBlankStatus);
  return result;
}

}  // namespace vema
